// The walk over the fixed drives and the system drive.
#include <string>

#include "unique.h"
#include "zqlog.h"
#include "zqsys.h"

namespace zq::sys {
namespace {

// The wide and narrow system calls and the texts that differ between them.
template <typename Char>
struct Api;

template <>
struct Api<wchar_t> {
  static DWORD DriveStrings(DWORD size, wchar_t* buffer) { return GetLogicalDriveStringsW(size, buffer); }
  static UINT DriveType(const wchar_t* root) { return GetDriveTypeW(root); }
  static DWORD Environment(const wchar_t* name, wchar_t* buffer, DWORD size) {
    return GetEnvironmentVariableW(name, buffer, size);
  }
  static constexpr const wchar_t* kSystemDrive = L"SystemDrive";
  static constexpr const wchar_t* kFixedDriveEntry = L"GetFixedDrive";
  static constexpr const wchar_t* kFoundLine = L"GetFixedDrive Hard Drive %s found";
  static constexpr const wchar_t* kSystemDriveEntry = L"zqSysGetSystemDrive";
};

template <>
struct Api<char> {
  static DWORD DriveStrings(DWORD size, char* buffer) { return GetLogicalDriveStringsA(size, buffer); }
  static UINT DriveType(const char* root) { return GetDriveTypeA(root); }
  static DWORD Environment(const char* name, char* buffer, DWORD size) {
    return GetEnvironmentVariableA(name, buffer, size);
  }
  static constexpr const char* kSystemDrive = "SystemDrive";
  static constexpr const wchar_t* kFixedDriveEntry = L"GetFixedDrive (ANSI)";
  static constexpr const wchar_t* kFoundLine = L"GetFixedDrive Hard Drive %S found";
  static constexpr const wchar_t* kSystemDriveEntry = L"zqSysGetSystemDrive (ANSI)";
};

// A drive of the list as the caller sees it: letter and colon.
template <typename Char>
std::basic_string<Char> DriveOf(const Char* root) {
  return std::basic_string<Char>(root, 2);
}

template <typename Char>
int GetFixedDrive(std::basic_string<Char>& drive) {
  log::Operation op(L"GetFixedDrive", L"%s", Api<Char>::kFixedDriveEntry);
  const DWORD size = Api<Char>::DriveStrings(0, nullptr);
  if (size == 0) {
    int status = static_cast<int>(GetLastError());
    log::Line(log::kError, L"GetFixedDrive Unable to retrieve drives (%d)", status);
    return op.Exit(status, L"%s (%d)");
  }
  UniqueCrt<Char> list = CallocArray<Char>(size);
  if (!list) {
    log::Line(log::kError, L"GetFixedDrive Memory allocation failed (%d bytes)", static_cast<int>(size * sizeof(Char)));
    return op.Exit(static_cast<int>(ERROR_NOT_ENOUGH_MEMORY), L"%s (%d)");
  }
  const DWORD filled = Api<Char>::DriveStrings(size, list.get());
  if (filled == 0 || filled > size) {
    int status = static_cast<int>(GetLastError());
    log::Line(log::kError, L"GetFixedDrive Unable to retrieve drives (%d)", status);
    return op.Exit(status, L"%s (%d)");
  }

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
    if (Api<Char>::DriveType(entry) != DRIVE_FIXED) continue;
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
  log::Line(log::kDetail, Api<Char>::kFoundLine, drive.c_str());
  return op.Exit(0, L"%s (%d)");
}

// Only success writes the exit line.
template <typename Char>
int GetSystemDrive(std::basic_string<Char>& drive) {
  log::Line(log::kEntry, L"%s", Api<Char>::kSystemDriveEntry);
  const DWORD size = Api<Char>::Environment(Api<Char>::kSystemDrive, nullptr, 0);
  if (size == 0) {
    int status = static_cast<int>(GetLastError());
    log::Line(log::kError, L"zqSysGetSystemDrive Unable to get the SystemDrive environment variable (%d)", status);
    return status;
  }
  UniqueCrt<Char> value = CallocArray<Char>(size);
  if (!value) {
    log::Line(log::kError, L"zqSysGetSystemDrive Memory allocation failed (%d bytes)",
              static_cast<int>(size * sizeof(Char)));
    return static_cast<int>(ERROR_NOT_ENOUGH_MEMORY);
  }
  const DWORD read = Api<Char>::Environment(Api<Char>::kSystemDrive, value.get(), size);
  if (read == 0 || read > size) {
    int status = static_cast<int>(GetLastError());
    log::Line(log::kError, L"zqSysGetSystemDrive Unable to get the SystemDrive environment variable (%d)", status);
    return status;
  }
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
