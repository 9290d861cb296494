// The wide and narrow forms of the system calls that the families use, behind
// one name each: a function written once over the character type calls the
// form of its width. Log texts that differ per width stay with the function.
#pragma once

#include <windows.h>
#include <wtsapi32.h>

#include <cstring>
#include <cwchar>

namespace zq {

inline LSTATUS RegOpenKeyExT(HKEY root, const wchar_t* path, DWORD options, REGSAM access, HKEY* key) {
  return RegOpenKeyExW(root, path, options, access, key);
}
inline LSTATUS RegOpenKeyExT(HKEY root, const char* path, DWORD options, REGSAM access, HKEY* key) {
  return RegOpenKeyExA(root, path, options, access, key);
}

inline LSTATUS RegQueryValueExT(HKEY key, const wchar_t* name, DWORD* type, void* data, DWORD* size) {
  return RegQueryValueExW(key, name, nullptr, type, static_cast<BYTE*>(data), size);
}
inline LSTATUS RegQueryValueExT(HKEY key, const char* name, DWORD* type, void* data, DWORD* size) {
  return RegQueryValueExA(key, name, nullptr, type, static_cast<BYTE*>(data), size);
}

inline LSTATUS RegSetValueExT(HKEY key, const wchar_t* name, DWORD type, const void* data, DWORD size) {
  return RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), size);
}
inline LSTATUS RegSetValueExT(HKEY key, const char* name, DWORD type, const void* data, DWORD size) {
  return RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size);
}

inline BOOL LookupAccountNameT(const wchar_t* account, PSID sid, DWORD* sidSize, wchar_t* domain,
                               DWORD* domainSize, SID_NAME_USE* use) {
  return LookupAccountNameW(nullptr, account, sid, sidSize, domain, domainSize, use);
}
inline BOOL LookupAccountNameT(const char* account, PSID sid, DWORD* sidSize, char* domain, DWORD* domainSize,
                               SID_NAME_USE* use) {
  return LookupAccountNameA(nullptr, account, sid, sidSize, domain, domainSize, use);
}

inline DWORD GetLogicalDriveStringsT(DWORD size, wchar_t* buffer) { return GetLogicalDriveStringsW(size, buffer); }
inline DWORD GetLogicalDriveStringsT(DWORD size, char* buffer) { return GetLogicalDriveStringsA(size, buffer); }
inline UINT GetDriveTypeT(const wchar_t* root) { return GetDriveTypeW(root); }
inline UINT GetDriveTypeT(const char* root) { return GetDriveTypeA(root); }

inline DWORD GetEnvironmentVariableT(const wchar_t* name, wchar_t* buffer, DWORD size) {
  return GetEnvironmentVariableW(name, buffer, size);
}
inline DWORD GetEnvironmentVariableT(const char* name, char* buffer, DWORD size) {
  return GetEnvironmentVariableA(name, buffer, size);
}

inline BOOL WTSQuerySessionInformationT(WTS_INFO_CLASS info, wchar_t** buffer, DWORD* bytes) {
  return WTSQuerySessionInformationW(WTS_CURRENT_SERVER_HANDLE, WTS_CURRENT_SESSION, info, buffer, bytes);
}
inline BOOL WTSQuerySessionInformationT(WTS_INFO_CLASS info, char** buffer, DWORD* bytes) {
  return WTSQuerySessionInformationA(WTS_CURRENT_SERVER_HANDLE, WTS_CURRENT_SESSION, info, buffer, bytes);
}

// Length of a text stored in at most `count` characters (registry data need
// not carry a terminator).
inline size_t BoundedLength(const wchar_t* text, size_t count) { return wcsnlen(text, count); }
inline size_t BoundedLength(const char* text, size_t count) { return strnlen(text, count); }

// A literal of either width.
template <typename Char>
constexpr Char Literal(char c) {
  return static_cast<Char>(c);
}

// The platform's printf of each width (user32's wsprintf, not the CRT's).
template <typename... Args>
int wsprintfT(wchar_t* out, const wchar_t* format, Args... args) {
  return wsprintfW(out, format, args...);
}
template <typename... Args>
int wsprintfT(char* out, const char* format, Args... args) {
  return wsprintfA(out, format, args...);
}

// An enumeration that also reads the value's data.
inline LSTATUS RegEnumValueT(HKEY key, DWORD index, wchar_t* name, DWORD* length, DWORD* type, void* data,
                             DWORD* size) {
  return RegEnumValueW(key, index, name, length, nullptr, type, static_cast<BYTE*>(data), size);
}
inline LSTATUS RegEnumValueT(HKEY key, DWORD index, char* name, DWORD* length, DWORD* type, void* data,
                             DWORD* size) {
  return RegEnumValueA(key, index, name, length, nullptr, type, static_cast<BYTE*>(data), size);
}

}  // namespace zq
