// What the account tests share: the caches' keys, calls of the text functions
// in either width, and the keys at fixed paths that the tests own.
#pragma once

#include <windows.h>

#include <algorithm>
#include <initializer_list>
#include <cstring>
#include <string>
#include <type_traits>
#include <utility>

#include "calls.h"
#include "zqnet.h"

namespace nettest {

using namespace zqtest;

inline constexpr wchar_t kSystemCache[] = L"Software\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon\\DomainCache";
inline constexpr wchar_t kLibraryCache[] = L"SOFTWARE\\Quorvane\\System\\DomainCache";
inline constexpr wchar_t kUserCache[] = L"SOFTWARE\\Quorvane\\System\\UserCache";
// Last error set before a call: a function that sets none keeps it.
inline constexpr DWORD kKept = 0xDEAD;

// The text of a log line that dumps bytes.
inline std::wstring BinText(const std::wstring& label, const void* data, size_t size) {
  std::wstring text = label + L" [" + std::to_wstring(size) + L" bytes]";
  for (size_t i = 0; i < size; ++i) text += Format(L" %02X", static_cast<const unsigned char*>(data)[i]);
  return text;
}

// A buffer's text up to its terminator or the first '#' it was filled with.
template <typename Char>
std::wstring Until(const Char* text) {
  std::wstring result;
  for (; *text && *text != '#'; ++text) result += static_cast<wchar_t>(std::make_unsigned_t<Char>(*text));
  return result;
}

// What a call of a BOOL text function gave: the last error (kKept when it set
// none), the count, and the buffer's text with its terminator written as '|'.
struct Result {
  BOOL ok;
  DWORD error, count;
  std::wstring text;
  bool operator==(const Result&) const = default;
};
inline void PrintTo(const Result& r, std::ostream* out) {
  *out << "{" << r.ok << ", " << r.error << ", " << r.count << ", \"" << Narrow(r.text) << "\"}";
}

// Calls fn with the argument (bytes as given, null passes null), a buffer of
// 64 '#' or none, and the count.
template <typename Char>
Result Call(BOOL (*fn)(const Char*, Char*, DWORD*), const char* arg, bool buffer, DWORD count) {
  const std::basic_string<Char> argument = arg ? std::basic_string<Char>(arg, arg + strlen(arg)) : std::basic_string<Char>();
  Char text[65] = {};
  std::fill_n(text, 64, static_cast<Char>('#'));
  SetLastError(kKept);
  Result r{fn(arg ? argument.c_str() : nullptr, buffer ? text : nullptr, &count), GetLastError(), count, L""};
  for (int i = 0; i < 64 && text[i] != '#'; ++i) r.text += text[i] ? static_cast<wchar_t>(std::make_unsigned_t<Char>(text[i])) : L'|';
  return r;
}
inline Result Upn(bool wide, const char* upn, bool buffer, DWORD count) {
  return wide ? Call(zqNetGetUserNameDomainFromUPNW, upn, buffer, count) : Call(zqNetGetUserNameDomainFromUPNA, upn, buffer, count);
}

// A key at a fixed path under HKEY_LOCAL_MACHINE that only these tests use:
// removed at the start (also what a killed run left) and at the end, present
// in between with the given values unless asked otherwise.
struct FixedKey {
  explicit FixedKey(const std::wstring& key, bool present = true, std::initializer_list<std::pair<std::wstring, std::wstring>> values = {}) : path(key) {
    HKEY created = nullptr;
    Remove();
    if (present && !RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &created, nullptr)) RegCloseKey(created);
    for (const auto& [name, value] : values) Set(name, value);
  }
  ~FixedKey() { Remove(); }
  void Remove() const { RegDeleteTreeW(HKEY_LOCAL_MACHINE, path.c_str()), RegDeleteKeyW(HKEY_LOCAL_MACHINE, path.c_str()); }
  void Set(const std::wstring& name, const std::wstring& value) const {
    EXPECT_EQ(RegSetKeyValueW(HKEY_LOCAL_MACHINE, path.c_str(), name.c_str(), REG_SZ, value.c_str(), DWORD(value.size() * 2 + 2)), 0);
  }
  // The value's text, "-" when it is missing.
  std::wstring Get(const std::wstring& name) const {
    wchar_t data[512];
    DWORD size = sizeof data;
    return RegGetValueW(HKEY_LOCAL_MACHINE, path.c_str(), name.c_str(), RRF_RT_REG_SZ, nullptr, data, &size) ? L"-" : data;
  }
  const std::wstring path;
};

}  // namespace nettest
