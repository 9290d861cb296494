// The library's one way to report: every family logs through these helpers
// under the module tag "PLATUTIL".
#pragma once

#include <vxlog.h>

namespace zq::log {

inline constexpr const wchar_t kModuleTag[] = L"PLATUTIL";

// Levels, as the log library's readers expect them.
enum Level : unsigned {
  kProgress = 0,  // a step that succeeded, counts and sizes
  kError = 1,     // an error, or an argument out of range
  kDetail = 2,    // a decision, a value read, a system call's result
  kEntry = 8,     // the operation's name on entry
  kExit = 16,     // the operation's name and result on return
};

// One line. The format keeps the platform's wide conventions: %s is a wide
// string, %S a narrow one. Arguments go to the log library unformatted, so a
// level that is off costs no formatting here either.
template <typename... Args>
inline void Line(unsigned level, const wchar_t* format, Args... args) {
  ::vxlogLog(kModuleTag, level, format, args...);
}

// The bytes of a value, rendered by the log library.
inline void Bytes(unsigned level, const void* data, unsigned size, const wchar_t* label) {
  ::vxlogLogBin(kModuleTag, level, data, size, label);
}

// An exported operation: its entry line when it starts, and through Exit() its
// result as the last line, in the form that its family uses.
class Operation {
 public:
  // Entry line: the name alone.
  explicit Operation(const wchar_t* name) : name_(name) { Line(kEntry, L"%s", name); }

  // Entry line with its own format, such as L"zqSysGetUserSIDW(%p,%p)".
  template <typename... Args>
  Operation(const wchar_t* name, const wchar_t* entryFormat, Args... args) : name_(name) {
    Line(kEntry, entryFormat, args...);
  }

  Operation(const Operation&) = delete;
  Operation& operator=(const Operation&) = delete;

  const wchar_t* Name() const { return name_; }

  // Logs the result at level 16 with a format whose first placeholder is the
  // name (%s) and second the result, then hands the result back for return.
  // Exit line of an operation without a result: the name alone.
  void Exit() const { Line(kExit, L"%s", name_); }

  template <typename Result>
  Result Exit(Result result, const wchar_t* exitFormat) const {
    Line(kExit, exitFormat, name_, result);
    return result;
  }

 private:
  const wchar_t* name_;
};

}  // namespace zq::log

// A "name : text" line of an operation; the format is joined at compile time,
// so `text` must be a wide string literal.
#define ZQ_LOG_NAMED(operation, level, text, ...) \
  ::zq::log::Line((level), L"%s : " text, (operation).Name() __VA_OPT__(, ) __VA_ARGS__)
