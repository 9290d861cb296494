// The installer custom actions: resource folders, merged folders, single files.
#include "zqmsi.h"

#include "folders.h"
#include "msisession.h"

namespace zq::msi {
namespace {

// Formats a folder path and hands it to `work` when it fits.
template <typename... Args>
void OnFolder(void (*work)(const wchar_t*), const wchar_t* format, Args... args) {
  PathBuffer folder;
  if (FormatPath(folder, format, args...)) work(folder);
}

// The start that both folder actions share; msi.dll stays loaded until the
// action returns.
struct FolderAction {
  UniqueModule installer;
  PathBuffer data;    // "D\"
  PathBuffer common;  // "CommonProgramFiles"

  // Hands "D\Resources\Merged\", then the common files' merged folder, to
  // `work`. ZQ_MSI_OK, or the result to return at once.
  UINT OnMergedFolders(MSIHANDLE session, void (*work)(const wchar_t*)) {
    if (UINT status = ReadCustomActionData(session, installer, data)) return status;
    // An empty value would make every folder relative to the installer's current one.
    if (data[0] == L'\0') return ZQ_MSI_NO_ACTION_DATA;
    OnFolder(work, L"%sResources\\Merged\\", data);
    DWORD length = GetEnvironmentVariableW(L"CommonProgramFiles", common, kPathChars);
    if (length == 0 || length >= static_cast<DWORD>(kPathChars)) return ZQ_MSI_NO_COMMON_FILES;
    OnFolder(work, L"%s\\Quorvane\\Resources\\Merged\\", common);
    return ZQ_MSI_OK;
  }
};

}  // namespace
}  // namespace zq::msi

using namespace zq::msi;

UINT WINAPI MSIDeleteResourceFiles(MSIHANDLE hInstall) {
  FolderAction action;
  if (UINT status = action.OnMergedFolders(hInstall, RemoveFolder)) return status;

  // The folders above the merged ones, innermost first; the system leaves
  // those that still hold files.
  OnFolder(ScheduleDeletion, L"%sResources\\", action.data);
  ScheduleDeletion(action.data);
  OnFolder(ScheduleDeletion, L"%s\\..\\", action.data);
  OnFolder(ScheduleDeletion, L"%s\\Quorvane\\Resources\\", action.common);
  OnFolder(ScheduleDeletion, L"%s\\Quorvane\\", action.common);
  return ZQ_MSI_OK;
}

// An empty path fails both the deletion and its scheduling: nothing is touched.
UINT WINAPI MSIDeleteFile(MSIHANDLE hInstall) {
  UniqueModule installer;
  PathBuffer data;
  if (UINT status = ReadCustomActionData(hInstall, installer, data)) return status;

  DeleteOrSchedule(data);
  return ZQ_MSI_OK;
}

UINT WINAPI MSICleanMergedFolders(MSIHANDLE hInstall) {
  FolderAction action;
  return action.OnMergedFolders(hInstall, EmptyFolder);
}
