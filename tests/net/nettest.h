// What the account tests share: expected log lines, the platform's own answers
// to compare with, calls of the text functions, and registry keys at fixed
// paths held for one test.
#pragma once

#include <windows.h>

#include <cstdarg>
#include <initializer_list>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "logcapture.h"
#include "zqnet.h"

namespace nettest {

using Lines = std::vector<zqtest::LogLine>;

inline constexpr wchar_t kSystemCache[] = L"Software\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon\\DomainCache";
inline constexpr wchar_t kLibraryCache[] = L"SOFTWARE\\Quorvane\\System\\DomainCache";
inline constexpr wchar_t kUserCache[] = L"SOFTWARE\\Quorvane\\System\\UserCache";
// Last error set before a call: a function that sets none keeps it.
inline constexpr DWORD kUntouched = 0xDEAD;

// A line as the log library formats it (msvcrt conventions: %s wide, %S narrow).
inline std::wstring Format(const wchar_t* format, ...) {
  va_list args;
  va_start(args, format);
  wchar_t text[1024];
  _vsnwprintf(text, 1024, format, args);
  text[1023] = L'\0';
  va_end(args);
  return text;
}

// The text of a vxlogLogBin line.
inline std::wstring BinText(const std::wstring& label, const void* data, size_t size) {
  std::wstring text = label + L" [" + std::to_wstring(size) + L" bytes]";
  for (size_t i = 0; i < size; ++i) text += Format(L" %02X", static_cast<const unsigned char*>(data)[i]);
  return text;
}

inline Lines Cat(std::initializer_list<Lines> parts) {
  Lines all;
  for (const Lines& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

// One logged call: its entry line, the lines in between, its exit line.
inline Lines Around(const std::wstring& entry, const Lines& middle, const std::wstring& exit) {
  return Cat({{{8, entry}}, middle, {{16, exit}}});
}

// The session's user or domain, straight from the session manager.
std::wstring SessionText(int infoClass);
std::string SessionTextA(int infoClass);
std::wstring SidText(PSID sid);
// The process token's user, its domain (LookupAccountSidW) and its SID as text.
struct AccountNames {
  std::wstring user, domain, sid;
};
AccountNames ProcessTokenUser();

// What a call of a BOOL text function gave: the buffer's text up to the first
// '#' it was filled with, its terminator written as '|' ("" when untouched).
struct Result {
  BOOL ok;
  DWORD error;  // the last error after a failure (kUntouched before the call), 0 after a success
  DWORD count;
  std::string text;
  bool operator==(const Result&) const = default;
};
inline void PrintTo(const Result& r, std::ostream* out) {
  *out << "{ok " << r.ok << ", error " << r.error << ", count " << r.count << ", \"" << r.text << "\"}";
}

using WideTextFunction = BOOL (*)(const wchar_t*, wchar_t*, DWORD*);
using NarrowTextFunction = BOOL (*)(const char*, char*, DWORD*);

// Calls the wide or the narrow form with an ASCII argument (nullptr passes
// null), a 64-character buffer (or none) and a count.
Result CallText(WideTextFunction wide, NarrowTextFunction narrow, bool useWide, const char* arg, bool buffer,
                DWORD count);

inline Result Upn(bool useWide, const char* upn, bool buffer, DWORD count) {
  return CallText(zqNetGetUserNameDomainFromUPNW, zqNetGetUserNameDomainFromUPNA, useWide, upn, buffer, count);
}

// A registry key at a fixed path under HKEY_LOCAL_MACHINE, held for one test:
// made present (created with its missing parents) or absent. On the way out
// what the test created is removed and a key that existed gets its values back.
// The keys held here have no subkeys.
class FixedKey {
 public:
  enum State { kPresent, kAbsent };
  explicit FixedKey(const std::wstring& path, State state = kPresent);
  ~FixedKey();
  FixedKey(const FixedKey&) = delete;
  FixedKey& operator=(const FixedKey&) = delete;

  void Set(const std::wstring& name, const std::wstring& value) const;
  std::optional<std::wstring> Get(const std::wstring& name) const;  // nothing when missing
  void Delete(const std::wstring& name) const;

 private:
  struct Value {
    std::wstring name;
    DWORD type;
    std::vector<BYTE> data;
  };
  std::wstring path_;
  std::wstring createdFrom_;  // the first missing component, when the key did not exist
  std::vector<Value> saved_;
};

}  // namespace nettest
