// Captures what the library writes to the log library, line by line.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace zqtest {

struct LogLine {
  unsigned level;
  std::wstring text;
  bool operator==(const LogLine&) const = default;
};

void PrintTo(const LogLine& line, std::ostream* out);

// Installs the log library's capture sink for its lifetime; keeps the lines
// of the module tag "PLATUTIL" (others are counted apart).
class LogCapture {
 public:
  LogCapture();
  ~LogCapture();
  LogCapture(const LogCapture&) = delete;
  LogCapture& operator=(const LogCapture&) = delete;

  const std::vector<LogLine>& Lines() const { return lines_; }
  // The texts alone, for checks that do not care about levels.
  std::vector<std::wstring> Texts() const;
  size_t OtherModuleLines() const { return otherModules_; }
  void Clear() { lines_.clear(); }

 private:
  static void Sink(void* context, const wchar_t* module, unsigned level, const wchar_t* text);
  std::vector<LogLine> lines_;
  size_t otherModules_ = 0;
};

}  // namespace zqtest
