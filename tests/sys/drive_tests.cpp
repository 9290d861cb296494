// The fixed-drive walk and the system drive, against Wine's own drive list.
#include <cstring>

#include "systest.h"
#include "zqsys.h"

using namespace systest;
using zqtest::LogCapture;
using zqtest::LogLine;
using Drives = std::vector<std::wstring>;

namespace {

// The fixed drives in the system's order, as "C:".
Drives FixedDrives() {
  Drives drives;
  wchar_t list[512];
  DWORD filled = GetLogicalDriveStringsW(512, list);
  for (const wchar_t* entry = list; entry < list + filled && *entry; entry += wcslen(entry) + 1) {
    if (GetDriveTypeW(entry) == DRIVE_FIXED) drives.emplace_back(entry, 2);
  }
  return drives;
}

enum Form { kWideString, kNarrowString, kWideBuffer, kNarrowBuffer };

// One step of the walk from `drive` through one of the four forms; the buffer
// forms must set the size to 3 whatever happens.
int Step(Form form, std::wstring& drive) {
  std::string narrow(drive.begin(), drive.end());
  wchar_t buffer[8];
  char narrowBuffer[8];
  DWORD size = 8;
  int status = 0;
  switch (form) {
    case kWideString:
      return zqSysGetFixedDrive(drive);
    case kNarrowString:
      status = zqSysGetFixedDrive(narrow);
      drive = Wide(narrow);
      return status;
    case kWideBuffer:
      wcscpy(buffer, drive.c_str());
      status = zqSysGetFixedDriveW(buffer, &size);
      drive = buffer;
      break;
    case kNarrowBuffer:
      strcpy(narrowBuffer, narrow.c_str());
      status = zqSysGetFixedDriveA(narrowBuffer, &size);
      drive = Wide(narrowBuffer);
      break;
  }
  EXPECT_EQ(size, 3u);
  return status;
}

TEST(Drives, WalkVisitsEveryFixedDriveThenEnds) {
  const Drives fixed = FixedDrives();
  ASSERT_FALSE(fixed.empty());
  for (Form form : {kWideString, kNarrowString, kWideBuffer, kNarrowBuffer}) {
    LogCapture log;
    std::wstring drive;
    Drives visited;
    int status = 0;
    while ((status = Step(form, drive)) == 0 && visited.size() <= fixed.size()) visited.push_back(drive);
    EXPECT_EQ(visited, fixed) << form;
    EXPECT_EQ(status, 15) << form;
    EXPECT_EQ(drive, fixed.back()) << form;  // kept on failure
    if (form == kWideString || form == kNarrowString) {
      // The narrow walk differs in its entry line only.
      auto step = [&](long status, const LogLine& detail) {
        Lines lines = Op(L"GetFixedDrive", status, {detail});
        if (form == kNarrowString) lines.front().text = L"GetFixedDrive (ANSI)";
        return lines;
      };
      Lines expected;
      for (const std::wstring& d : fixed) {
        expected = expected + step(0, {2, L"GetFixedDrive Hard Drive " + d + L" found"});
      }
      EXPECT_EQ(log.Lines(), expected + step(15, {1, L"GetFixedDrive Hard Drive not found"})) << form;
    } else {
      const wchar_t* name = form == kWideBuffer ? L"zqSysGetFixedDriveW" : L"zqSysGetFixedDriveA";
      EXPECT_EQ(log.Lines()[1], (LogLine{8, form == kWideBuffer ? L"GetFixedDrive" : L"GetFixedDrive (ANSI)"}));
      EXPECT_EQ(log.Lines().back(), (LogLine{16, name + std::wstring(L" (15)")}));
    }
  }
}

// A drive letter that is in the list but is no fixed drive, for the test's
// lifetime (DefineDosDevice maps it onto a folder: Wine calls it "no root").
struct ExtraDrive {
  std::wstring name;
  explicit ExtraDrive(const wchar_t* letter) : name(letter) {
    EXPECT_TRUE(DefineDosDeviceW(0, name.c_str(), L"C:\\windows"));
    EXPECT_NE(GetDriveTypeW((name + L"\\").c_str()), UINT{DRIVE_FIXED});
  }
  ~ExtraDrive() { DefineDosDeviceW(DDD_REMOVE_DEFINITION, name.c_str(), nullptr); }
};

TEST(Drives, KeysAndDrivesThatAreNotFixed) {
  const Drives fixed = FixedDrives();
  ASSERT_GE(fixed.size(), 2u) << "Wine maps C: and Z:";
  ASSERT_TRUE(L"B:" < fixed[0] && fixed[0] < L"M:" && L"M:" < fixed[1]);
  ExtraDrive before(L"B:"), between(L"M:");
  std::wstring lower = fixed[0];
  lower[0] = towlower(lower[0]);
  const struct {
    std::wstring from, next;
  } cases[] = {{L"", fixed[0]},
               {fixed[0], fixed[1]},
               {fixed[0] + L"\\", fixed[1]},
               {L"B:", fixed[0]},
               {L"M:", fixed[1]},  // in the list, not fixed: the next fixed one
               {L"Q:", fixed[0]},
               {L"C:\\x", fixed[0]},  // not in the list: the first
               {lower, fixed[0]},     // compared case-sensitively
               {fixed.back(), L"15, kept " + fixed.back()}};
  for (Form form : {kWideString, kNarrowString, kWideBuffer, kNarrowBuffer}) {
    for (const auto& c : cases) {
      std::wstring drive = c.from;
      int status = Step(form, drive);
      EXPECT_EQ(status == 0 ? drive : std::to_wstring(status) + L", kept " + drive, c.next) << form << " " << c.from;
    }
  }
}

TEST(Drives, BufferFormsBadSizes) {
  LogCapture log;
  wchar_t buffer[8] = L"C:";
  char narrow[8] = "C:";
  DWORD size = 0;
  EXPECT_EQ(zqSysGetFixedDriveW(buffer, nullptr), 87);
  EXPECT_EQ(zqSysGetFixedDriveW(nullptr, &size), 0);  // a size query
  EXPECT_EQ(size, 3u);
  EXPECT_EQ(log.Lines(), (Lines{{8, L"zqSysGetFixedDriveW (" + Pointer(buffer) + L"," + Pointer(nullptr) + L")"},
                                {1, L"zqSysGetFixedDriveW Invalid parameter."},
                                {16, L"zqSysGetFixedDriveW (87)"},
                                {8, L"zqSysGetFixedDriveW (" + Pointer(nullptr) + L"," + Pointer(&size) + L")"},
                                {16, L"zqSysGetFixedDriveW (0)"}}));
  EXPECT_EQ(zqSysGetFixedDriveA(nullptr, nullptr), 87);
  for (DWORD small : {0u, 1u, 2u}) {
    size = small;
    EXPECT_EQ(zqSysGetFixedDriveW(buffer, &size), 122);
    EXPECT_EQ(size, 3u);
    size = small;
    EXPECT_EQ(zqSysGetFixedDriveA(narrow, &size), 122);
    EXPECT_EQ(size, 3u);
  }
  EXPECT_STREQ(buffer, L"C:");
  EXPECT_STREQ(narrow, "C:");
  char exact[3] = "";  // three characters suffice
  size = 3;
  EXPECT_EQ(zqSysGetFixedDriveA(exact, &size), 0);
  EXPECT_EQ(Wide(exact), FixedDrives()[0]);
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
  std::string narrow;
  wchar_t buffer[3] = L"";
  char narrowBuffer[8] = "";
  DWORD size = 3, narrowSize = 8;
  EXPECT_EQ(zqSysGetSystemDrive(drive), 0);
  EXPECT_EQ(zqSysGetSystemDrive(narrow), 0);
  EXPECT_EQ(zqSysGetSystemDriveW(buffer, &size), 0);
  EXPECT_EQ(zqSysGetSystemDriveA(narrowBuffer, &narrowSize), 0);
  for (const std::wstring& got : {drive, Wide(narrow), std::wstring(buffer), Wide(narrowBuffer)}) {
    EXPECT_EQ(got, expected);
  }
  EXPECT_EQ(size + narrowSize, 6u);
  ASSERT_GE(log.Lines().size(), 8u);
  const Lines expectedLines = Op(L"zqSysGetSystemDrive", 0) +
                              Lines{{8, L"zqSysGetSystemDrive (ANSI)"}, {16, L"zqSysGetSystemDrive (0)"},
                                    {8, Format(L"zqSysGetSystemDriveW (%p,%p)", buffer, &size)}} +
                              Op(L"zqSysGetSystemDrive", 0) + Lines{{16, L"zqSysGetSystemDriveW (0)"}};
  EXPECT_EQ(Lines(log.Lines().begin(), log.Lines().begin() + 8), expectedLines);
  EXPECT_EQ(zqSysGetSystemDriveW(buffer, nullptr), 87);
  size = 0;
  EXPECT_EQ(zqSysGetSystemDriveA(nullptr, &size), 0);
  EXPECT_EQ(size, 3u);
  {
    // A longer value: the whole of it, or as much as the buffer holds.
    SystemDriveValue longer(L"D:\\Programs");
    EXPECT_EQ(zqSysGetSystemDrive(drive), 0);
    EXPECT_EQ(drive, L"D:\\Programs");
    EXPECT_EQ(zqSysGetSystemDriveW(buffer, &size), 0);
    EXPECT_STREQ(buffer, L"D:");
  }
  // No value: the platform's error, its line and no exit line; the input stays.
  SystemDriveValue none(nullptr);
  log.Clear();
  drive = L"kept";
  EXPECT_EQ(zqSysGetSystemDrive(drive), ERROR_ENVVAR_NOT_FOUND);
  EXPECT_EQ(log.Lines(), (Lines{{8, L"zqSysGetSystemDrive"},
                                {1, L"zqSysGetSystemDrive Unable to get the SystemDrive environment variable (203)"}}));
  wchar_t kept[4] = L"Q:";
  size = 4;
  narrow = "x";
  EXPECT_EQ(zqSysGetSystemDriveW(kept, &size), ERROR_ENVVAR_NOT_FOUND);
  EXPECT_EQ(zqSysGetSystemDrive(narrow), ERROR_ENVVAR_NOT_FOUND);
  EXPECT_EQ(drive + kept + Wide(narrow), L"keptQ:x");
  EXPECT_EQ(size, 3u);
}

}  // namespace
