// The fixed-drive walk and the system drive, against Wine's own drive list.
#include "calls.h"
#include "zqsys.h"

using namespace zqtest;

namespace {

// One step of the walk from `drive` through one of the four forms: the string
// overloads (wide, narrow) or the buffer exports, which set the size to 3.
int Step(int form, std::wstring& drive) {
  std::string narrow = Narrow(drive);
  wchar_t buffer[8];
  char narrowBuffer[8];
  DWORD size = 8;
  const int status = form == 0 ? zqSysGetFixedDrive(drive) : form == 1 ? zqSysGetFixedDrive(narrow)
                   : form == 2 ? zqSysGetFixedDriveW(wcscpy(buffer, drive.c_str()), &size)
                               : zqSysGetFixedDriveA(strcpy(narrowBuffer, narrow.c_str()), &size);
  drive = form == 0 ? drive : form == 1 ? Wide(narrow) : form == 2 ? buffer : Wide(narrowBuffer);
  EXPECT_EQ(size, form < 2 ? 8u : 3u);
  return status;
}

TEST(Drives, WalkFromEveryKeyInEveryForm) {
  std::vector<std::wstring> fixed;  // the fixed drives in the system's order, as "C:"
  wchar_t list[512];
  const DWORD filled = GetLogicalDriveStringsW(512, list);
  for (const wchar_t* entry = list; entry < list + filled && *entry; entry += wcslen(entry) + 1) {
    if (GetDriveTypeW(entry) == DRIVE_FIXED) fixed.emplace_back(entry, 2);
  }
  ASSERT_TRUE(fixed.size() >= 2 && fixed[0] == L"C:" && L"M:" < fixed[1]) << "Wine maps C: and Z:";
  for (int form = 0; form < 4; ++form) {
    // The whole walk, then 15 with the last drive kept; the lines of the
    // string forms (the narrow one differs in its entry line).
    LogCapture log;
    const std::wstring entry = form == 1 ? L"GetFixedDrive (ANSI)" : L"GetFixedDrive";
    Lines lines;
    std::vector<std::wstring> visited;
    std::wstring drive;
    int status = 0;
    while ((status = Step(form, drive)) == 0 && visited.size() <= fixed.size()) {
      visited.push_back(drive);
      lines = lines + Around(entry, {{2, L"GetFixedDrive Hard Drive " + drive + L" found"}}, L"GetFixedDrive (0)");
    }
    EXPECT_EQ(visited, fixed) << form;
    EXPECT_EQ(std::to_wstring(status) + drive, L"15" + fixed.back()) << form;
    lines = lines + Around(entry, {{1, L"GetFixedDrive Hard Drive not found"}}, L"GetFixedDrive (15)");
    EXPECT_TRUE(form >= 2 || log.Lines() == lines) << form;
  }

  // Drives in the list that are not fixed (Wine: "no root"); a definition left
  // by an interrupted run goes first.
  for (const wchar_t* letter : {L"B:", L"M:"}) {
    EXPECT_TRUE((DefineDosDeviceW(DDD_REMOVE_DEFINITION, letter, nullptr), DefineDosDeviceW(0, letter, L"C:\\windows")));
  }
  const struct { std::wstring from, next; } cases[] = {
      {fixed[0] + L"\\", fixed[1]}, {L"B:", fixed[0]}, {L"M:", fixed[1]},  // in the list, not fixed: the next fixed one
      {L"Q:", fixed[0]}, {L"C:\\x", fixed[0]}, {L"c:", fixed[0]}};         // not in the list (case-sensitive): the first
  for (int form = 0; form < 4; ++form) {
    for (const auto& c : cases) {
      std::wstring drive = c.from;
      EXPECT_EQ(Step(form, drive), 0) << form << " " << Narrow(c.from);
      EXPECT_EQ(drive, c.next) << form << " " << Narrow(c.from);
    }
  }
  for (const wchar_t* letter : {L"B:", L"M:"}) DefineDosDeviceW(DDD_REMOVE_DEFINITION, letter, nullptr);

  // Buffer sizes: a null size 87; a null buffer a size query; below 3, 122 and the text kept.
  wchar_t buffer[8] = L"C:";
  char narrow[8] = "C:", exact[3] = "";
  DWORD size = 0, sizes[3] = {0, 1, 2};
  LogCapture log;
  EXPECT_EQ(zqSysGetFixedDriveW(buffer, nullptr), 87);
  EXPECT_EQ(zqSysGetFixedDriveW(nullptr, &size), 0);
  EXPECT_EQ(log.Lines(), (Lines{{8, Format(L"zqSysGetFixedDriveW (%p,%p)", buffer, nullptr)},
                                {1, L"zqSysGetFixedDriveW Invalid parameter."}, {16, L"zqSysGetFixedDriveW (87)"},
                                {8, Format(L"zqSysGetFixedDriveW (%p,%p)", nullptr, &size)}, {16, L"zqSysGetFixedDriveW (0)"}}));
  EXPECT_EQ(zqSysGetFixedDriveW(buffer, &sizes[0]) + zqSysGetFixedDriveA(narrow, &sizes[1]) + zqSysGetSystemDriveW(buffer, &sizes[2]), 3 * 122);
  EXPECT_EQ(Format(L"%lu%lu%lu%lu %s%S", size, sizes[0], sizes[1], sizes[2], buffer, narrow), L"3333 C:C:");
  EXPECT_EQ(zqSysGetFixedDriveA(exact, &(size = 3)), 0);  // three characters suffice
  EXPECT_EQ(Wide(exact), fixed[0]);
}

// The whole value of "SystemDrive" in every form; only success logs the exit line.
TEST(Drives, SystemDrive) {
  wchar_t expected[64], buffer[3], kept[4] = L"Q:";
  ASSERT_NE(GetEnvironmentVariableW(L"SystemDrive", expected, 64), 0u);
  std::wstring drive;
  std::string narrowDrive;
  DWORD size = 3;
  LogCapture log;
  EXPECT_EQ(zqSysGetSystemDrive(drive) + zqSysGetSystemDrive(narrowDrive) + zqSysGetSystemDriveW(buffer, &size), 0);
  EXPECT_EQ(drive + Wide(narrowDrive) + buffer, std::wstring(expected) + expected + expected);
  EXPECT_EQ(Lines(log.Lines().begin(), log.Lines().begin() + 4),
            Around(L"zqSysGetSystemDrive", {}, L"zqSysGetSystemDrive (0)") + Around(L"zqSysGetSystemDrive (ANSI)", {}, L"zqSysGetSystemDrive (0)"));
  // A longer value: the whole of it, or as much as the buffer holds.
  SetEnvironmentVariableW(L"SystemDrive", L"D:\\Programs");
  EXPECT_EQ(zqSysGetSystemDrive(drive) + zqSysGetSystemDriveW(buffer, &(size = 3)), 0);
  EXPECT_EQ(drive + L"|" + buffer, L"D:\\Programs|D:");
  // No value: the platform's error, the input kept.
  SetEnvironmentVariableW(L"SystemDrive", nullptr);
  log.Clear();
  drive = L"kept";
  EXPECT_EQ(zqSysGetSystemDrive(drive), ERROR_ENVVAR_NOT_FOUND);
  EXPECT_EQ(log.Lines(), (Lines{{8, L"zqSysGetSystemDrive"},
                                {1, L"zqSysGetSystemDrive Unable to get the SystemDrive environment variable (203)"}}));
  EXPECT_EQ(zqSysGetSystemDriveW(kept, &(size = 4)), ERROR_ENVVAR_NOT_FOUND);
  EXPECT_EQ(drive + kept + Format(L"%lu", size), L"keptQ:3");
  SetEnvironmentVariableW(L"SystemDrive", expected);
}

}  // namespace
