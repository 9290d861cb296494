// Folder emptying and removal for the installer actions.
#include "folders.h"

#include <windows.h>

#include <io.h>

#include "msisession.h"

namespace zq::msi {
namespace {

// A search of the C runtime, closed on every path.
using UniqueFind = Unique<intptr_t, _findclose, -1>;

bool IsDotEntry(const wchar_t* name) {
  return name[0] == L'.' && (name[1] == L'\0' || (name[1] == L'.' && name[2] == L'\0'));
}

void DeleteEntry(const wchar_t* folder, const _wfinddata64i32_t& entry) {
  PathBuffer path;
  if (!FormatPath(path, L"%s%s", folder, entry.name)) return;
  if ((entry.attrib & _A_SUBDIR) && (entry.attrib & FILE_ATTRIBUTE_REPARSE_POINT)) {
    // A link to a folder elsewhere: the link goes, never what it points to.
    RemoveDirectoryW(path);
  } else if (entry.attrib & _A_SUBDIR) {
    PathBuffer subfolder;
    // Without its trailing backslash the subfolder could not be searched: leave it whole.
    if (!FormatPath(subfolder, L"%s\\", path)) return;
    RemoveFolder(subfolder);
  }
  // For a folder this fails (it is gone, or it is a folder), and the path is scheduled.
  DeleteOrSchedule(path);
}

}  // namespace

void ScheduleDeletion(const wchar_t* path) {
  MoveFileExW(path, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
}

void DeleteOrSchedule(const wchar_t* path) {
  if (!DeleteFileW(path)) ScheduleDeletion(path);
}

void EmptyFolder(const wchar_t* folder) {
  PathBuffer pattern;
  if (!FormatPath(pattern, L"%s*", folder)) return;
  _wfinddata64i32_t entry{};
  UniqueFind search(_wfindfirst64i32(pattern, &entry));
  if (!search) return;
  do {
    if (!IsDotEntry(entry.name)) DeleteEntry(folder, entry);
  } while (_wfindnext64i32(search.get(), &entry) == 0);
}

void RemoveFolder(const wchar_t* folder) {
  EmptyFolder(folder);
  if (!RemoveDirectoryW(folder)) ScheduleDeletion(folder);
}

}  // namespace zq::msi
