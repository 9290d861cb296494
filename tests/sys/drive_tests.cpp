// The fixed-drive walk and the system drive, against Wine's own drive list.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "logcapture.h"
#include "zqsys.h"

using zqtest::LogCapture;
using zqtest::LogLine;
using Lines = std::vector<LogLine>;

namespace {

// The fixed drives in the system's order, as "C:".
std::vector<std::wstring> FixedDrives() {
  std::vector<std::wstring> drives;
  wchar_t list[512];
  DWORD filled = GetLogicalDriveStringsW(512, list);
  for (const wchar_t* entry = list; entry < list + filled && *entry; entry += wcslen(entry) + 1) {
    if (GetDriveTypeW(entry) == DRIVE_FIXED) drives.emplace_back(entry, 2);
  }
  return drives;
}

std::wstring Pointer(const void* value) {
  wchar_t text[32];
  _snwprintf(text, 32, L"%p", value);
  return text;
}

// A drive letter that is in the list but is no fixed drive, for the test's
// lifetime (DefineDosDevice maps it onto a folder: Wine calls it "no root").
struct ExtraDrive {
  std::wstring name;
  explicit ExtraDrive(const wchar_t* letter) : name(letter) {
    EXPECT_TRUE(DefineDosDeviceW(0, name.c_str(), L"C:\\windows"));
    EXPECT_NE(GetDriveTypeW((name + L"\\").c_str()), static_cast<UINT>(DRIVE_FIXED));
  }
  ~ExtraDrive() { DefineDosDeviceW(DDD_REMOVE_DEFINITION, name.c_str(), nullptr); }
};

TEST(Drives, WalkVisitsEveryFixedDriveThenEnds) {
  const std::vector<std::wstring> fixed = FixedDrives();
  ASSERT_FALSE(fixed.empty());
  LogCapture log;
  std::wstring drive;
  std::vector<std::wstring> visited;
  int status = 0;
  while ((status = zqSysGetFixedDrive(drive)) == 0 && visited.size() <= fixed.size()) visited.push_back(drive);
  EXPECT_EQ(status, 15);
  EXPECT_EQ(visited, fixed);
  EXPECT_EQ(drive, fixed.back());  // kept on failure

  // Each step: entry, found line, exit; the end: the not-found line.
  Lines expected;
  for (const std::wstring& d : fixed) {
    expected.push_back({8, L"GetFixedDrive"});
    expected.push_back({2, L"GetFixedDrive Hard Drive " + d + L" found"});
    expected.push_back({16, L"GetFixedDrive (0)"});
  }
  expected.push_back({8, L"GetFixedDrive"});
  expected.push_back({1, L"GetFixedDrive Hard Drive not found"});
  expected.push_back({16, L"GetFixedDrive (15)"});
  EXPECT_EQ(log.Lines(), expected);

  // The narrow overload walks the same way.
  log.Clear();
  std::string narrow;
  std::vector<std::wstring> visitedA;
  while ((status = zqSysGetFixedDrive(narrow)) == 0 && visitedA.size() <= fixed.size()) {
    visitedA.emplace_back(narrow.begin(), narrow.end());
  }
  EXPECT_EQ(status, 15);
  EXPECT_EQ(visitedA, fixed);
  ASSERT_GE(log.Lines().size(), 3u);
  EXPECT_EQ(log.Lines()[0], (LogLine{8, L"GetFixedDrive (ANSI)"}));
  EXPECT_EQ(log.Lines()[1], (LogLine{2, L"GetFixedDrive Hard Drive " + fixed[0] + L" found"}));
  EXPECT_EQ(log.Lines().back(), (LogLine{16, L"GetFixedDrive (15)"}));
}

TEST(Drives, KeysAndDrivesThatAreNotFixed) {
  const std::vector<std::wstring> fixed = FixedDrives();
  ASSERT_GE(fixed.size(), 2u) << "Wine maps C: and Z:";
  // B: comes before every fixed drive, M: between the first two.
  ASSERT_LT(L"B:", fixed[0]);
  ASSERT_LT(fixed[0], L"M:");
  ASSERT_LT(L"M:", fixed[1]);
  ExtraDrive before(L"B:");
  ExtraDrive between(L"M:");

  auto next = [](std::wstring drive) {
    int status = zqSysGetFixedDrive(drive);
    return status == 0 ? drive : L"status " + std::to_wstring(status) + L", kept " + drive;
  };
  EXPECT_EQ(next(L""), fixed[0]);
  EXPECT_EQ(next(fixed[0]), fixed[1]);
  EXPECT_EQ(next(fixed[0] + L"\\"), fixed[1]);
  EXPECT_EQ(next(L"B:"), fixed[0]);    // in the list, not fixed: the next fixed one
  EXPECT_EQ(next(L"M:"), fixed[1]);
  EXPECT_EQ(next(L"Q:"), fixed[0]);    // not in the list: the first
  EXPECT_EQ(next(L"C:\\x"), fixed[0]);  // not an entry either
  std::wstring lower = fixed[0];
  lower[0] = towlower(lower[0]);
  EXPECT_EQ(next(lower), fixed[0]);  // compared case-sensitively: not met
  EXPECT_EQ(next(fixed.back()), L"status 15, kept " + fixed.back());

  std::string narrow = "M:";
  EXPECT_EQ(zqSysGetFixedDrive(narrow), 0);
  EXPECT_EQ(std::wstring(narrow.begin(), narrow.end()), fixed[1]);
}

TEST(Drives, BufferForms) {
  const std::vector<std::wstring> fixed = FixedDrives();
  ASSERT_GE(fixed.size(), 2u);
  LogCapture log;

  // A null size: 87, nothing written.
  wchar_t buffer[8] = L"";
  EXPECT_EQ(zqSysGetFixedDriveW(buffer, nullptr), 87);
  EXPECT_EQ(log.Lines(), (Lines{{8, L"zqSysGetFixedDriveW (" + Pointer(buffer) + L"," + Pointer(nullptr) + L")"},
                                {1, L"zqSysGetFixedDriveW Invalid parameter."},
                                {16, L"zqSysGetFixedDriveW (87)"}}));

  // A null buffer: a size query.
  log.Clear();
  DWORD size = 0;
  EXPECT_EQ(zqSysGetFixedDriveW(nullptr, &size), 0);
  EXPECT_EQ(size, 3u);
  EXPECT_EQ(log.Lines(), (Lines{{8, L"zqSysGetFixedDriveW (" + Pointer(nullptr) + L"," + Pointer(&size) + L")"},
                                {16, L"zqSysGetFixedDriveW (0)"}}));

  // Below 3 characters: 122, the buffer untouched, the size 3.
  wcscpy(buffer, L"C:");
  size = 2;
  EXPECT_EQ(zqSysGetFixedDriveW(buffer, &size), 122);
  EXPECT_EQ(size, 3u);
  EXPECT_STREQ(buffer, L"C:");

  // The buffer's text is where the walk continues.
  log.Clear();
  buffer[0] = L'\0';
  std::vector<std::wstring> visited;
  for (;;) {
    size = 8;
    int status = zqSysGetFixedDriveW(buffer, &size);
    EXPECT_EQ(size, 3u);
    if (status != 0) {
      EXPECT_EQ(status, 15);
      break;
    }
    visited.push_back(buffer);
    if (visited.size() > fixed.size()) break;
  }
  EXPECT_EQ(visited, fixed);
  EXPECT_EQ(buffer, fixed.back());  // the input comes back on failure
  EXPECT_EQ(log.Lines().front(), (LogLine{8, L"zqSysGetFixedDriveW (" + Pointer(buffer) + L"," + Pointer(&size) + L")"}));
  EXPECT_EQ(log.Lines()[1], (LogLine{8, L"GetFixedDrive"}));
  EXPECT_EQ(log.Lines().back(), (LogLine{16, L"zqSysGetFixedDriveW (15)"}));

  // Narrow, with exactly three characters.
  char narrow[3] = "";
  size = 3;
  EXPECT_EQ(zqSysGetFixedDriveA(narrow, &size), 0);
  EXPECT_EQ(std::wstring(narrow, narrow + 2), fixed[0]);
  EXPECT_EQ(zqSysGetFixedDriveA(narrow, &size), 0);
  EXPECT_EQ(std::wstring(narrow, narrow + 2), fixed[1]);
  EXPECT_EQ(zqSysGetFixedDriveA(nullptr, nullptr), 87);
  size = 1;
  EXPECT_EQ(zqSysGetFixedDriveA(narrow, &size), 122);
  EXPECT_EQ(size, 3u);
}

// Sets "SystemDrive" in this process for the object's lifetime.
struct SystemDriveValue {
  std::wstring saved;
  bool had;
  explicit SystemDriveValue(const wchar_t* value) {
    wchar_t old[64];
    had = GetEnvironmentVariableW(L"SystemDrive", old, 64) != 0;
    if (had) saved = old;
    SetEnvironmentVariableW(L"SystemDrive", value);
  }
  ~SystemDriveValue() { SetEnvironmentVariableW(L"SystemDrive", had ? saved.c_str() : nullptr); }
};

TEST(Drives, SystemDrive) {
  wchar_t expected[64];
  ASSERT_NE(GetEnvironmentVariableW(L"SystemDrive", expected, 64), 0u);
  LogCapture log;
  std::wstring drive = L"old";
  EXPECT_EQ(zqSysGetSystemDrive(drive), 0);
  EXPECT_EQ(drive, expected);
  EXPECT_EQ(log.Lines(), (Lines{{8, L"zqSysGetSystemDrive"}, {16, L"zqSysGetSystemDrive (0)"}}));
  log.Clear();
  std::string narrow;
  EXPECT_EQ(zqSysGetSystemDrive(narrow), 0);
  EXPECT_EQ(std::wstring(narrow.begin(), narrow.end()), expected);
  EXPECT_EQ(log.Lines(), (Lines{{8, L"zqSysGetSystemDrive (ANSI)"}, {16, L"zqSysGetSystemDrive (0)"}}));

  log.Clear();
  wchar_t buffer[3] = L"";
  DWORD size = 3;
  EXPECT_EQ(zqSysGetSystemDriveW(buffer, &size), 0);
  EXPECT_STREQ(buffer, expected);
  EXPECT_EQ(size, 3u);
  EXPECT_EQ(log.Lines(), (Lines{{8, L"zqSysGetSystemDriveW (" + Pointer(buffer) + L"," + Pointer(&size) + L")"},
                                {8, L"zqSysGetSystemDrive"},
                                {16, L"zqSysGetSystemDrive (0)"},
                                {16, L"zqSysGetSystemDriveW (0)"}}));
  char narrowBuffer[8] = "";
  size = 8;
  EXPECT_EQ(zqSysGetSystemDriveA(narrowBuffer, &size), 0);
  EXPECT_EQ(size, 3u);
  EXPECT_EQ(std::wstring(narrowBuffer, narrowBuffer + strlen(narrowBuffer)), expected);
  EXPECT_EQ(zqSysGetSystemDriveW(buffer, nullptr), 87);
  size = 0;
  EXPECT_EQ(zqSysGetSystemDriveA(nullptr, &size), 0);
  EXPECT_EQ(size, 3u);

  {
    // A longer value: the whole of it, or as much as the buffer holds.
    SystemDriveValue longer(L"D:\\Programs");
    EXPECT_EQ(zqSysGetSystemDrive(drive), 0);
    EXPECT_EQ(drive, L"D:\\Programs");
    size = 3;
    EXPECT_EQ(zqSysGetSystemDriveW(buffer, &size), 0);
    EXPECT_STREQ(buffer, L"D:");
  }
  {
    // No value: the platform's error, its line and no exit line; the buffer
    // keeps its text.
    SystemDriveValue none(nullptr);
    log.Clear();
    drive = L"kept";
    EXPECT_EQ(zqSysGetSystemDrive(drive), ERROR_ENVVAR_NOT_FOUND);
    EXPECT_EQ(drive, L"kept");
    EXPECT_EQ(log.Lines(),
              (Lines{{8, L"zqSysGetSystemDrive"},
                     {1, L"zqSysGetSystemDrive Unable to get the SystemDrive environment variable (203)"}}));
    wchar_t kept[4] = L"Q:";
    size = 4;
    EXPECT_EQ(zqSysGetSystemDriveW(kept, &size), ERROR_ENVVAR_NOT_FOUND);
    EXPECT_STREQ(kept, L"Q:");
    EXPECT_EQ(size, 3u);
    narrow = "x";
    EXPECT_EQ(zqSysGetSystemDrive(narrow), ERROR_ENVVAR_NOT_FOUND);
    EXPECT_EQ(narrow, "x");
  }
}

}  // namespace
