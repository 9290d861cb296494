// What every family's tests share to check calls: expected log lines built
// from parts, formatted texts, and one table walker that checks a call's
// status and the whole sequence of lines it logged.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdarg>
#include <functional>
#include <string>
#include <vector>

#include "logcapture.h"

namespace zqtest {

using Lines = std::vector<LogLine>;

inline Lines operator+(Lines first, const Lines& second) {
  first.insert(first.end(), second.begin(), second.end());
  return first;
}

// An operation's entry line, the lines logged inside it, and its exit line.
inline Lines Around(const std::wstring& entry, const Lines& inside, const std::wstring& exit) {
  return Lines{{8, entry}} + inside + Lines{{16, exit}};
}

// A text as the log library formats it (msvcrt conventions: %s wide, %S narrow).
inline std::wstring Format(const wchar_t* format, ...) {
  va_list args;
  va_start(args, format);
  wchar_t text[1024];
  _vsnwprintf(text, 1024, format, args);
  text[1023] = L'\0';
  va_end(args);
  return text;
}

inline std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }
inline std::wstring Wide(const std::string& text) { return std::wstring(text.begin(), text.end()); }

// One row of a table: a call, its status and every line it logs (none
// given: lines not checked). Checks of the call's outputs go inside `call`.
struct Case {
  const char* what;
  std::function<long()> call;
  long status;
  Lines lines = {};
};

// A row whose call is one expression, named by its own text.
#define ZQ_CASE(call, status, ...) {#call, [&] { return static_cast<long>(call); }, status, __VA_ARGS__}

inline void RunCases(const std::vector<Case>& cases) {
  LogCapture log;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    log.Clear();
    EXPECT_EQ(c.call(), c.status);
    if (!c.lines.empty()) {
      EXPECT_EQ(log.Lines(), c.lines);
    }
  }
}

}  // namespace zqtest
