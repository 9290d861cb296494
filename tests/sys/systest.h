// Helpers shared by the family's tests: formatted texts and expected log lines.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "logcapture.h"

namespace systest {

using Lines = std::vector<zqtest::LogLine>;

template <typename... Args>
std::wstring Format(const wchar_t* format, Args... args) {
  wchar_t text[256];
  _snwprintf(text, 256, format, args...);
  return text;
}

inline std::wstring Pointer(const void* value) { return Format(L"%p", value); }
inline std::wstring Wide(const std::string& text) { return std::wstring(text.begin(), text.end()); }
inline std::string Quoted(const wchar_t* text) { return testing::PrintToString(std::wstring(text ? text : L"(null)")); }

inline Lines operator+(Lines a, const Lines& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// An operation's entry line, the lines logged inside it, and its exit line
// "name (status)".
inline Lines Op(const std::wstring& name, long status, const Lines& inside = {}) {
  return Lines{{8, name}} + inside + Lines{{16, name + L" (" + std::to_wstring(status) + L")"}};
}

}  // namespace systest
