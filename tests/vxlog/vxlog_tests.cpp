// The log library: file lines with their prefix, the level filter, whole lines
// from many threads, no formatting when off, and capture with wide printf
// conventions.
#include <gtest/gtest.h>

#include <windows.h>

#include <regex>
#include <thread>

#include "logcapture.h"
#include "vxlog.h"

// kPoison faults if a format ever reads it: the calls that must return before
// formatting use it.
static const wchar_t* const kPoison = reinterpret_cast<const wchar_t*>(static_cast<uintptr_t>(16));

TEST(LogLibrary, KeepsChosenLevelsAsWholeLinesFormatsNothingOffAndCapturesAll) {
  const wchar_t* const path = L"vxlog_tests.log";  // in the test's folder
  DeleteFileW(path);  // a run killed midway leaves it behind
  SetEnvironmentVariableW(L"VXLOG_FILE", path);
  SetEnvironmentVariableW(L"VXLOG_LEVELS", L"1,16");
  vxlogReconfigure();
  vxlogLog(L"PLATUTIL", 1, L"error %d", 7);
  vxlogLog(L"PLATUTIL", 2, L"%s", kPoison);  // a level the file does not keep
  vxlogLog(L"PLATUTIL", 16, L"exit \x00e9");
  vxlogLog(L"PLATUTIL", 8, L"entry dropped");
  auto writer = [] { for (int i = 0; i < 300; ++i) vxlogLog(L"PLATUTIL", 16, L"line %d ---------end", i); };
  std::thread threads[] = {std::thread(writer), std::thread(writer), std::thread(writer), std::thread(writer)};
  for (std::thread& thread : threads) thread.join();
  SetEnvironmentVariableW(L"VXLOG_FILE", nullptr);
  vxlogReconfigure();  // closes the file
  std::vector<std::string> lines;
  FILE* file = _wfopen(path, L"rb");
  for (char line[512]; file && fgets(line, sizeof line, file);) lines.push_back(line);
  if (file) fclose(file);
  DeleteFileW(path);
  ASSERT_EQ(lines.size(), 2u + 4 * 300);
  // UTC time, [process:thread], module tag, level, text as UTF-8, CRLF.
  const std::string head = R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z \[)" + std::to_string(GetCurrentProcessId()) + ":";
  const std::string first = head + std::to_string(GetCurrentThreadId()) + R"(\] PLATUTIL 1 error 7\r\n)";
  EXPECT_TRUE(regex_match(lines[0], std::regex(first))) << lines[0];
  EXPECT_TRUE(regex_match(lines[1], std::regex(head + R"(\d+\] PLATUTIL 16 exit \xC3\xA9\r\n)"))) << lines[1];
  const std::regex whole(head + R"(\d+\] PLATUTIL 16 line \d+ -+end\r\n)");
  for (size_t n = 2; n < lines.size(); ++n) EXPECT_TRUE(regex_match(lines[n], whole)) << lines[n];

  // No target and no capture: off, nothing formatted. A capture sink then
  // receives every level, formatted with msvcrt's wide conventions.
  vxlogLog(L"PLATUTIL", 1, L"%s", kPoison);
  vxlogLogBin(L"PLATUTIL", 1, kPoison, 1000, L"never read");
  zqtest::LogCapture log;
  vxlogLog(L"PLATUTIL", 2, L"%s|%S|%ls|%d|0x%x", L"wide", "narrow", L"ls", -5, 255);
  vxlogLogBin(L"PLATUTIL", 40, "\x00\x7F\xA5", 3, L"label");
  vxlogLogBin(L"PLATUTIL", 2, nullptr, 0, L"empty");
  EXPECT_EQ(log.Lines(), (std::vector<zqtest::LogLine>{{2, L"wide|narrow|ls|-5|0xff"},
                                                       {40, L"label [3 bytes] 00 7F A5"}, {2, L"empty [0 bytes]"}}));
}
