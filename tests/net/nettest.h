// What the account tests share: expected log lines and the platform's own
// answers to compare with.
#pragma once

#include <windows.h>

#include <cstdarg>
#include <string>
#include <vector>

#include "logcapture.h"

namespace nettest {

using Lines = std::vector<zqtest::LogLine>;

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
  const auto* bytes = static_cast<const unsigned char*>(data);
  for (size_t i = 0; i < size; ++i) text += Format(L" %02X", bytes[i]);
  return text;
}

// The session's user or domain, straight from the session manager.
std::wstring SessionText(int infoClass);
std::string SessionTextA(int infoClass);
// The process token's user and domain, straight from LookupAccountSidW.
void TokenUserNames(std::wstring* user, std::wstring* domain);
// The SID of the process token's user, as text.
std::wstring TokenUserSidText();
// The SID of an account through LookupAccountNameW, as text ("" when unknown).
std::wstring AccountSidText(const std::wstring& account);
std::wstring SidText(PSID sid);

}  // namespace nettest
