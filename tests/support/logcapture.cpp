#include "logcapture.h"

#include <windows.h>

#include <cwchar>

#include "vxlog.h"

namespace zqtest {

void PrintTo(const LogLine& line, std::ostream* out) {
  std::string text;
  for (wchar_t c : line.text) text += c < 128 ? static_cast<char>(c) : '?';
  *out << "{" << line.level << ", \"" << text << "\"}";
}

LogCapture::LogCapture() { vxlogSetCapture(&LogCapture::Sink, this); }
LogCapture::~LogCapture() { vxlogSetCapture(nullptr, nullptr); }

std::vector<std::wstring> LogCapture::Texts() const {
  std::vector<std::wstring> texts;
  for (const LogLine& line : lines_) texts.push_back(line.text);
  return texts;
}

void LogCapture::Sink(void* context, const wchar_t* module, unsigned level, const wchar_t* text) {
  auto* self = static_cast<LogCapture*>(context);
  if (module && wcscmp(module, L"PLATUTIL") == 0) {
    self->lines_.push_back({level, text});
  } else {
    ++self->otherModules_;
  }
}

}  // namespace zqtest
