// The walk over the fixed drives and the system drive.
#include <string>

#include "unique.h"
#include "widthcalls.h"
#include "zqlog.h"
#include "zqsys.h"

namespace zq::sys {
namespace {

// The narrow forms say so in their entry lines and print the drive with %S.
struct DriveTexts {
  const wchar_t* fixedDriveEntry;
  const wchar_t* foundLine;
  const wchar_t* systemDriveEntry;
};
constexpr DriveTexts kDriveTexts[] = {
    {L"GetFixedDrive (ANSI)", L"GetFixedDrive Hard Drive %S found", L"zqSysGetSystemDrive (ANSI)"},
    {L"GetFixedDrive", L"GetFixedDrive Hard Drive %s found", L"zqSysGetSystemDrive"},
};
template <typename Char>
constexpr const DriveTexts& kTexts = kDriveTexts[sizeof(Char) == 1 ? 0 : 1];

template <typename Char>
constexpr const Char* kSystemDrive = L"SystemDrive";
template <>
constexpr const char* kSystemDrive<char> = "SystemDrive";

// The system's two-step read: the size, then the text into a buffer of it.
// A null buffer is the failure, with its status logged through the caller's
// lines; `filled` is what the second step wrote.
template <typename Char, typename Read>
UniqueCrt<Char> ReadAll(Read read, const wchar_t* failedLine, const wchar_t* memoryLine, int& status, DWORD& filled) {
  const DWORD size = read(nullptr, 0);
  if (size != 0) {
    UniqueCrt<Char> buffer = CallocArray<Char>(size);
    if (!buffer) {
      log::Line(log::kError, memoryLine, static_cast<int>(size * sizeof(Char)));
      status = ERROR_NOT_ENOUGH_MEMORY;
      return {};
    }
    filled = read(buffer.get(), size);
    if (filled != 0 && filled <= size) return buffer;
  }
  status = static_cast<int>(GetLastError());
  log::Line(log::kError, failedLine, status);
  return {};
}

// A drive of the list as the caller sees it: letter and colon.
template <typename Char>
std::basic_string<Char> DriveOf(const Char* root) {
  return std::basic_string<Char>(root, 2);
}

template <typename Char>
int GetFixedDrive(std::basic_string<Char>& drive) {
  log::Operation op(L"GetFixedDrive", L"%s", kTexts<Char>.fixedDriveEntry);
  int status = 0;
  DWORD filled = 0;
  const UniqueCrt<Char> list =
      ReadAll<Char>([](Char* buffer, DWORD size) { return GetLogicalDriveStringsT(size, buffer); },
                    L"GetFixedDrive Unable to retrieve drives (%d)", L"GetFixedDrive Memory allocation failed (%d bytes)",
                    status, filled);
  if (!list) return op.Exit(status, L"%s (%d)");

  // Entries are root paths ("C:\"); the key takes that form too.
  std::basic_string<Char> key = drive;
  if (key.find(Char('\\')) == std::basic_string<Char>::npos) key += Char('\\');

  const Char* first = nullptr;  // the first fixed drive of the list
  const Char* next = nullptr;   // the first fixed drive after the key
  bool keyMet = false;
  const Char* end = list.get() + filled;
  for (const Char* entry = list.get(); entry < end && *entry; entry += std::char_traits<Char>::length(entry) + 1) {
    if (!keyMet && key == entry) {
      keyMet = true;
      continue;
    }
    if (GetDriveTypeT(entry) != DRIVE_FIXED) continue;
    if (!first) first = entry;
    if (keyMet) {
      next = entry;
      break;
    }
  }

  // After a key of the list only a later drive counts; otherwise the first.
  const Char* found = keyMet ? next : first;
  if (!found) {
    log::Line(log::kError, L"GetFixedDrive Hard Drive not found");
    return op.Exit(static_cast<int>(ERROR_INVALID_DRIVE), L"%s (%d)");
  }
  drive = DriveOf(found);
  log::Line(log::kDetail, kTexts<Char>.foundLine, drive.c_str());
  return op.Exit(0, L"%s (%d)");
}

// Only success writes the exit line.
template <typename Char>
int GetSystemDrive(std::basic_string<Char>& drive) {
  log::Line(log::kEntry, L"%s", kTexts<Char>.systemDriveEntry);
  int status = 0;
  DWORD filled = 0;
  const UniqueCrt<Char> value =
      ReadAll<Char>([](Char* buffer, DWORD size) { return GetEnvironmentVariableT(kSystemDrive<Char>, buffer, size); },
                    L"zqSysGetSystemDrive Unable to get the SystemDrive environment variable (%d)",
                    L"zqSysGetSystemDrive Memory allocation failed (%d bytes)", status, filled);
  if (!value) return status;
  drive = value.get();
  log::Line(log::kExit, L"zqSysGetSystemDrive (%d)", 0);
  return 0;
}

// The exported buffer forms: the buffer's text in, the overload's string out.
template <typename Char>
int WithBuffer(const wchar_t* name, int (*overload)(std::basic_string<Char>&), Char* buffer, DWORD* size) {
  log::Line(log::kEntry, L"%s (%p,%p)", name, buffer, size);
  int status = 0;
  if (!size) {
    log::Line(log::kError, L"%s Invalid parameter.", name);
    status = ERROR_INVALID_PARAMETER;
  } else {
    if (!buffer) {
      status = 0;  // a size query
    } else if (*size < 3) {
      status = ERROR_INSUFFICIENT_BUFFER;
    } else {
      // A buffer may come without a terminator: read no further than its size.
      std::basic_string<Char> text(buffer, std::char_traits<Char>::find(buffer, *size, Char(0))
                                               ? std::char_traits<Char>::length(buffer)
                                               : *size);
      status = overload(text);
      const size_t copied = std::min<size_t>(text.size(), *size - 1);
      text.copy(buffer, copied);
      buffer[copied] = Char(0);
    }
    *size = 3;
  }
  log::Line(log::kExit, L"%s (%d)", name, status);
  return status;
}

}  // namespace
}  // namespace zq::sys

using namespace zq;

int zqSysGetFixedDrive(std::wstring& drive) { return sys::GetFixedDrive(drive); }
int zqSysGetFixedDrive(std::string& drive) { return sys::GetFixedDrive(drive); }
int zqSysGetSystemDrive(std::wstring& drive) { return sys::GetSystemDrive(drive); }
int zqSysGetSystemDrive(std::string& drive) { return sys::GetSystemDrive(drive); }

int zqSysGetFixedDriveW(wchar_t* pszBuffer, DWORD* pcchBuffer) {
  return sys::WithBuffer<wchar_t>(L"zqSysGetFixedDriveW", zqSysGetFixedDrive, pszBuffer, pcchBuffer);
}

int zqSysGetFixedDriveA(char* pszBuffer, DWORD* pcchBuffer) {
  return sys::WithBuffer<char>(L"zqSysGetFixedDriveA", zqSysGetFixedDrive, pszBuffer, pcchBuffer);
}

int zqSysGetSystemDriveW(wchar_t* pszBuffer, DWORD* pcchBuffer) {
  return sys::WithBuffer<wchar_t>(L"zqSysGetSystemDriveW", zqSysGetSystemDrive, pszBuffer, pcchBuffer);
}

int zqSysGetSystemDriveA(char* pszBuffer, DWORD* pcchBuffer) {
  return sys::WithBuffer<char>(L"zqSysGetSystemDriveA", zqSysGetSystemDrive, pszBuffer, pcchBuffer);
}
