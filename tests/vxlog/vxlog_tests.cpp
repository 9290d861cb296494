// The log library: capture, wide printf conventions, file lines, levels,
// whole lines from many threads, and no formatting when off.
#include <gtest/gtest.h>

#include <windows.h>

#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "logcapture.h"
#include "vxlog.h"
#include "zqlog.h"

using zqtest::LogCapture;
using zqtest::LogLine;

namespace {

// Points the log library at a file of its own for the test's lifetime.
class LogFile {
 public:
  explicit LogFile(const wchar_t* levels) {
    wchar_t dir[MAX_PATH];
    GetTempPathW(MAX_PATH, dir);
    wchar_t name[MAX_PATH];
    GetTempFileNameW(dir, L"vxl", 0, name);
    path_ = name;
    SetEnvironmentVariableW(L"VXLOG_FILE", path_.c_str());
    SetEnvironmentVariableW(L"VXLOG_LEVELS", levels);
    vxlogReconfigure();
  }
  ~LogFile() {
    SetEnvironmentVariableW(L"VXLOG_FILE", nullptr);
    SetEnvironmentVariableW(L"VXLOG_LEVELS", nullptr);
    vxlogReconfigure();
    DeleteFileW(path_.c_str());
  }
  std::vector<std::string> Lines() const {
    std::string content;
    HANDLE file = CreateFileW(path_.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              0, nullptr);
    char chunk[4096];
    DWORD got = 0;
    while (file != INVALID_HANDLE_VALUE && ReadFile(file, chunk, sizeof chunk, &got, nullptr) && got)
      content.append(chunk, got);
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    std::istringstream in(content);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      lines.push_back(line);
    }
    return lines;
  }

 private:
  std::wstring path_;
};

TEST(LogLibrary, CaptureSeesWideConventionsAndBytes) {
  LogCapture log;
  vxlogLog(L"PLATUTIL", 2, L"%s|%S|%ls|%d|0x%x", L"wide", "narrow", L"ls", -5, 255);
  zq::log::Line(zq::log::kEntry, L"%s(%S)", L"helper", "arg");
  const unsigned char bytes[] = {0x00, 0x7F, 0xA5};
  vxlogLogBin(L"PLATUTIL", 2, bytes, 3, L"label");
  vxlogLogBin(L"PLATUTIL", 2, nullptr, 0, L"empty");
  vxlogLog(L"OTHER", 1, L"not ours");
  EXPECT_EQ(log.Lines(), (std::vector<LogLine>{{2, L"wide|narrow|ls|-5|0xff"},
                                               {8, L"helper(arg)"},
                                               {2, L"label [3 bytes] 00 7F A5"},
                                               {2, L"empty [0 bytes]"}}));
  EXPECT_EQ(log.OtherModuleLines(), 1u);
}

TEST(LogLibrary, FileLinesCarryTimeIdsTagLevelAndKeepOnlyChosenLevels) {
  LogFile file(L"1,16");
  vxlogLog(L"PLATUTIL", 1, L"error %d", 7);
  vxlogLog(L"PLATUTIL", 2, L"detail dropped");
  vxlogLog(L"PLATUTIL", 16, L"exit \x00e9");  // non-ASCII goes out as UTF-8
  vxlogLog(L"PLATUTIL", 8, L"entry dropped");
  std::vector<std::string> lines = file.Lines();
  ASSERT_EQ(lines.size(), 2u);
  std::ostringstream ids;
  ids << "\\[" << GetCurrentProcessId() << ":" << GetCurrentThreadId() << "\\]";
  std::regex first("\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\.\\d{3}Z " + ids.str() + " PLATUTIL 1 error 7");
  EXPECT_TRUE(std::regex_match(lines[0], first)) << lines[0];
  EXPECT_NE(lines[1].find(" PLATUTIL 16 exit \xC3\xA9"), std::string::npos) << lines[1];
}

TEST(LogLibrary, LinesFromManyThreadsStayWhole) {
  LogFile file(L"all");
  constexpr int kThreads = 6;
  constexpr int kPerThread = 300;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t] {
      for (int i = 0; i < kPerThread; ++i)
        vxlogLog(L"PLATUTIL", 2, L"thread %d line %d %s", t, i, L"-------------------------------------------end");
    });
  }
  for (std::thread& thread : threads) thread.join();
  std::vector<std::string> lines = file.Lines();
  ASSERT_EQ(lines.size(), static_cast<size_t>(kThreads * kPerThread));
  std::regex whole(".*Z \\[\\d+:\\d+\\] PLATUTIL 2 thread \\d line \\d+ -+end");
  std::vector<int> next(kThreads, 0);
  for (const std::string& line : lines) {
    ASSERT_TRUE(std::regex_match(line, whole)) << line;
    int t = 0, i = 0;
    sscanf(line.substr(line.find("thread ")).c_str(), "thread %d line %d", &t, &i);
    EXPECT_EQ(i, next[t]++);  // each thread's lines in its own order
  }
}

TEST(LogLibrary, OffMeansNoFormatting) {
  // No file, no capture: a format whose argument would fault if it were read.
  SetEnvironmentVariableW(L"VXLOG_FILE", nullptr);
  vxlogReconfigure();
  const wchar_t* poison = reinterpret_cast<const wchar_t*>(static_cast<uintptr_t>(16));
  vxlogLog(L"PLATUTIL", 2, L"%s", poison);
  vxlogLogBin(L"PLATUTIL", 2, poison, 1000, L"never read");

  // A level that the configuration drops is off as well.
  LogFile file(L"16");
  vxlogLog(L"PLATUTIL", 2, L"%s", poison);
  vxlogLog(L"PLATUTIL", 16, L"kept");
  EXPECT_EQ(file.Lines().size(), 1u);
}

}  // namespace
