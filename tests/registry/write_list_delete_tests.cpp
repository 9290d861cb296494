// Registry writes, listings and deletions against Wine's real registry,
// cross-checked with the platform's own readers.
#include <gtest/gtest.h>

#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

#include "handles.h"
#include "logcapture.h"
#include "regdelete.h"
#include "scratchkey.h"
#include "zqregistry.h"

using zqtest::LogCapture;
using zqtest::LogLine;
using zqtest::ScratchKey;
using Lines = std::vector<LogLine>;
using Texts = std::vector<std::wstring>;

namespace {

const HKEY kBogusRoot = reinterpret_cast<HKEY>(static_cast<uintptr_t>(0x7654));

bool KeyExists(HKEY root, const std::wstring& path, REGSAM view = 0) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(root, path.c_str(), 0, KEY_QUERY_VALUE | view, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

DWORD SubKeyCount(HKEY root, const std::wstring& path) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(root, path.c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return 0xFFFFFFFF;
  DWORD count = 0xFFFFFFFF;
  RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &count, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                   nullptr);
  RegCloseKey(key);
  return count;
}

// The stored bytes and type as the platform reads them, without the
// terminator that RegGetValueW adds to strings.
struct Stored {
  LSTATUS rc = ERROR_SUCCESS;
  DWORD type = 0;
  std::vector<BYTE> bytes;
};

Stored QueryRaw(HKEY root, const std::wstring& path, const wchar_t* name) {
  Stored stored;
  HKEY key = nullptr;
  stored.rc = RegOpenKeyExW(root, path.c_str(), 0, KEY_QUERY_VALUE, &key);
  if (stored.rc != ERROR_SUCCESS) return stored;
  DWORD size = 0;
  stored.rc = RegQueryValueExW(key, name, nullptr, &stored.type, nullptr, &size);
  if (stored.rc == ERROR_SUCCESS) {
    // Room for exactly the stored size: nothing for the system to add.
    stored.bytes.resize(size);
    stored.rc = RegQueryValueExW(key, name, nullptr, &stored.type, stored.bytes.data(), &size);
    stored.bytes.resize(size);
  }
  RegCloseKey(key);
  return stored;
}

// Runs a command line of Wine's own programs and returns what it printed.
std::string RunAndCapture(std::wstring commandLine, DWORD* exitCode) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE readEnd = nullptr;
  HANDLE writeEnd = nullptr;
  if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return "CreatePipe failed";
  SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);

  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = writeEnd;
  startup.hStdError = writeEnd;
  PROCESS_INFORMATION process{};
  BOOL started = CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr,
                                nullptr, &startup, &process);
  CloseHandle(writeEnd);  // the child holds the only write end now
  std::string output;
  if (started) {
    char chunk[512];
    DWORD got = 0;
    while (ReadFile(readEnd, chunk, sizeof chunk, &got, nullptr) && got > 0) output.append(chunk, got);
    WaitForSingleObject(process.hProcess, INFINITE);
    GetExitCodeProcess(process.hProcess, exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  } else {
    output = "CreateProcess failed";
  }
  CloseHandle(readEnd);
  return output;
}

std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

// ---- Writes ----------------------------------------------------------------

TEST(RegistryWrite, CreatesTheWholePathAndStoresExactlyTheCallersBytes) {
  ScratchKey scratch(L"WriteValues");
  const std::wstring deep = scratch.Sub(L"One\\Two\\Three");
  ASSERT_FALSE(KeyExists(HKEY_CURRENT_USER, scratch.Sub(L"One")));
  LogCapture log;

  EXPECT_EQ(zqRegWriteDWORDValueEx(HKEY_CURRENT_USER, deep.c_str(), L"Number", 0x11223344, 0), 0);
  EXPECT_EQ(log.Lines(), (Lines{{8, L"zqRegWriteDWORDValueEx"},
                                {2, L"zqRegWriteDWORDValueEx : RegSetValueEx returns 0x0"},
                                {16, L"zqRegWriteDWORDValueEx : ret=(0)"}}));
  // The 4 bytes in the machine's order, as the platform reads them.
  Stored number = QueryRaw(HKEY_CURRENT_USER, deep, L"Number");
  ASSERT_EQ(number.rc, ERROR_SUCCESS);
  EXPECT_EQ(number.type, static_cast<DWORD>(REG_DWORD));
  EXPECT_EQ(number.bytes, (std::vector<BYTE>{0x44, 0x33, 0x22, 0x11}));
  DWORD value = 0;
  DWORD size = sizeof value;
  EXPECT_EQ(RegGetValueW(HKEY_CURRENT_USER, deep.c_str(), L"Number", RRF_RT_REG_DWORD, nullptr, &value, &size), 0);
  EXPECT_EQ(value, 0x11223344u);

  // A string with its terminator, and one whose size leaves it out.
  log.Clear();
  const wchar_t text[] = L"hello world";
  EXPECT_EQ(zqRegWriteStringValue(HKEY_CURRENT_USER, deep.c_str(), L"Text", text, sizeof text), 0);
  // The platform itself adds a terminator that the size leaves out when one
  // follows the data: what follows here is no terminator.
  const wchar_t bareText[] = L"abcX";
  EXPECT_EQ(zqRegWriteStringValueEx(HKEY_CURRENT_USER, deep.c_str(), L"Bare", bareText, 6, 0), 0);
  EXPECT_EQ(log.Texts(), (Texts{L"zqRegWriteStringValueEx", L"zqRegWriteStringValueEx : RegSetValueEx returns 0x0",
                                L"zqRegWriteStringValueEx : ret=(0)", L"zqRegWriteStringValueEx",
                                L"zqRegWriteStringValueEx : RegSetValueEx returns 0x0",
                                L"zqRegWriteStringValueEx : ret=(0)"}));
  wchar_t read[32] = {};
  size = sizeof read;
  EXPECT_EQ(RegGetValueW(HKEY_CURRENT_USER, deep.c_str(), L"Text", RRF_RT_REG_SZ, nullptr, read, &size), 0);
  EXPECT_STREQ(read, L"hello world");
  Stored bare = QueryRaw(HKEY_CURRENT_USER, deep, L"Bare");
  EXPECT_EQ(bare.type, static_cast<DWORD>(REG_SZ));
  ASSERT_EQ(bare.bytes.size(), 6u);
  EXPECT_EQ(std::memcmp(bare.bytes.data(), L"abc", 6), 0);

  // Multi-string and binary go unchanged too; a null name is the default value.
  const wchar_t multi[] = L"one\0two\0";
  const BYTE blob[] = {0xDE, 0xAD, 0x00, 0x01};
  EXPECT_EQ(zqRegWriteMultiStringValue(HKEY_CURRENT_USER, deep.c_str(), L"List", multi, sizeof multi), 0);
  EXPECT_EQ(zqRegWriteBinaryValue(HKEY_CURRENT_USER, deep.c_str(), L"Blob", blob, sizeof blob), 0);
  EXPECT_EQ(zqRegWriteDWORDValue(HKEY_CURRENT_USER, deep.c_str(), nullptr, 7), 0);
  wchar_t list[16] = {};
  size = sizeof list;
  EXPECT_EQ(RegGetValueW(HKEY_CURRENT_USER, deep.c_str(), L"List", RRF_RT_REG_MULTI_SZ, nullptr, list, &size), 0);
  EXPECT_EQ(size, sizeof multi);
  EXPECT_EQ(std::memcmp(list, multi, sizeof multi), 0);
  Stored stored = QueryRaw(HKEY_CURRENT_USER, deep, L"Blob");
  EXPECT_EQ(stored.type, static_cast<DWORD>(REG_BINARY));
  EXPECT_EQ(stored.bytes, std::vector<BYTE>(blob, blob + sizeof blob));
  size = sizeof value;
  EXPECT_EQ(RegGetValueW(HKEY_CURRENT_USER, deep.c_str(), nullptr, RRF_RT_REG_DWORD, nullptr, &value, &size), 0);
  EXPECT_EQ(value, 7u);

  // Writing again over an existing key and value replaces the value.
  EXPECT_EQ(zqRegWriteDWORDValueEx(HKEY_CURRENT_USER, deep.c_str(), L"Number", 5, 0x100), 0);
  EXPECT_EQ(QueryRaw(HKEY_CURRENT_USER, deep, L"Number").bytes, (std::vector<BYTE>{5, 0, 0, 0}));
}

TEST(RegistryWrite, WinesRegQuerySeesWhatTheLibraryWrote) {
  ScratchKey scratch(L"WriteRegExe");
  const wchar_t multi[] = L"one\0two\0";
  const BYTE blob[] = {0xDE, 0xAD, 0x01};
  const wchar_t text[] = L"hello world";
  ASSERT_EQ(zqRegWriteDWORDValue(HKEY_CURRENT_USER, scratch.Path().c_str(), L"Number", 0x11223344), 0);
  ASSERT_EQ(zqRegWriteStringValue(HKEY_CURRENT_USER, scratch.Path().c_str(), L"Text", text, sizeof text), 0);
  ASSERT_EQ(zqRegWriteMultiStringValue(HKEY_CURRENT_USER, scratch.Path().c_str(), L"List", multi, sizeof multi), 0);
  ASSERT_EQ(zqRegWriteBinaryValue(HKEY_CURRENT_USER, scratch.Path().c_str(), L"Blob", blob, sizeof blob), 0);

  DWORD exitCode = 99;
  std::string output = RunAndCapture(L"reg.exe query \"HKCU\\" + scratch.Path() + L"\"", &exitCode);
  EXPECT_EQ(exitCode, 0u) << output;
  EXPECT_NE(output.find("HKEY_CURRENT_USER\\" + Narrow(scratch.Path()) + "\r\n"), std::string::npos) << output;
  EXPECT_NE(output.find("    Number    REG_DWORD    0x11223344\r\n"), std::string::npos) << output;
  EXPECT_NE(output.find("    Text    REG_SZ    hello world\r\n"), std::string::npos) << output;
  EXPECT_NE(output.find("    List    REG_MULTI_SZ    one\\0two\r\n"), std::string::npos) << output;
  EXPECT_NE(output.find("    Blob    REG_BINARY    DEAD01\r\n"), std::string::npos) << output;

  // A key created under a missing path is there for reg.exe as well.
  ASSERT_EQ(zqRegWriteDWORDValue(HKEY_CURRENT_USER, scratch.Sub(L"New\\Leaf").c_str(), L"Flag", 1), 0);
  output = RunAndCapture(L"reg.exe query \"HKCU\\" + scratch.Sub(L"New\\Leaf") + L"\" /v Flag", &exitCode);
  EXPECT_EQ(exitCode, 0u) << output;
  EXPECT_NE(output.find("    Flag    REG_DWORD    0x1\r\n"), std::string::npos) << output;
}

TEST(RegistryWrite, BadArgumentsAndRefusedWritesChangeNothing) {
  ScratchKey scratch(L"WriteRefused");
  const std::wstring target = scratch.Sub(L"NotCreated");
  LogCapture log;

  // The section comes first: rejected before the null key is even looked at.
  EXPECT_EQ(zqRegWriteDWORDValueEx(HKEY_CURRENT_USER, target.c_str(), L"V", 1, 0x300), -3);
  EXPECT_EQ(log.Lines(), (Lines{{8, L"zqRegWriteDWORDValueEx"},
                                {1, L"zqRegWriteDWORDValueEx : Desired registry section incorrect (0x300)"},
                                {16, L"zqRegWriteDWORDValueEx : ret=(-3)"}}));
  EXPECT_EQ(zqRegWriteStringValueEx(kBogusRoot, nullptr, L"V", L"x", 4, 0x401), -3);
  EXPECT_EQ(zqRegWriteMultiStringValueEx(HKEY_CURRENT_USER, target.c_str(), L"V", L"x\0", 6, 0x300), -3);
  EXPECT_EQ(zqRegWriteBinaryValueEx(HKEY_CURRENT_USER, target.c_str(), L"V", nullptr, 0, 0x101), -3);
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, target));

  log.Clear();
  EXPECT_EQ(zqRegWriteStringValue(kBogusRoot, nullptr, L"V", L"x", 4), -3);
  EXPECT_EQ(zqRegWriteBinaryValueEx(kBogusRoot, nullptr, L"V", nullptr, 0, 0x200), -3);
  EXPECT_EQ(log.Lines(), (Lines{{8, L"zqRegWriteStringValueEx"},
                                {2, L"zqRegWriteStringValueEx : pszKey is NULL"},
                                {16, L"zqRegWriteStringValueEx : ret=(-3)"},
                                {8, L"zqRegWriteBinaryValueEx"},
                                {2, L"zqRegWriteBinaryValueEx : pszKey is NULL"},
                                {16, L"zqRegWriteBinaryValueEx : ret=(-3)"}}));

  // The system refuses the key (a name part over 255 characters) ...
  log.Clear();
  std::wstring tooLong = scratch.Sub(std::wstring(300, L'k'));
  EXPECT_EQ(zqRegWriteDWORDValue(HKEY_CURRENT_USER, tooLong.c_str(), L"V", 1), -1);
  EXPECT_EQ(log.Lines(), (Lines{{8, L"zqRegWriteDWORDValueEx"},
                                {2, L"zqRegWriteDWORDValueEx : RegCreateKeyEx failed 0x57"},
                                {16, L"zqRegWriteDWORDValueEx : ret=(-1)"}}));
  EXPECT_EQ(SubKeyCount(HKEY_CURRENT_USER, scratch.Path()), 0u);

  // ... or the value (a name over 16383 characters; data the system cannot read).
  log.Clear();
  std::wstring longName(17000, L'v');
  EXPECT_EQ(zqRegWriteDWORDValue(HKEY_CURRENT_USER, scratch.Path().c_str(), longName.c_str(), 1), -1);
  EXPECT_EQ(zqRegWriteBinaryValue(HKEY_CURRENT_USER, scratch.Path().c_str(), L"NoData", nullptr, 4), -1);
  EXPECT_EQ(log.Lines(), (Lines{{8, L"zqRegWriteDWORDValueEx"},
                                {2, L"zqRegWriteDWORDValueEx : RegSetValueEx returns 0x57"},
                                {16, L"zqRegWriteDWORDValueEx : ret=(-1)"},
                                {8, L"zqRegWriteBinaryValueEx"},
                                {2, L"zqRegWriteBinaryValueEx : RegSetValueEx returns 0x3e6"},
                                {16, L"zqRegWriteBinaryValueEx : ret=(-1)"}}));
  EXPECT_EQ(QueryRaw(HKEY_CURRENT_USER, scratch.Path(), L"NoData").rc, ERROR_FILE_NOT_FOUND);
}

// The value "V" below HKLM\path in one view, read by the platform.
DWORD DwordInView(const std::wstring& path, REGSAM view) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_QUERY_VALUE | view, &key) != ERROR_SUCCESS) return 0;
  DWORD value = 0;
  DWORD size = sizeof value;
  RegGetValueW(key, nullptr, L"V", RRF_RT_REG_DWORD, nullptr, &value, &size);
  RegCloseKey(key);
  return value;
}

TEST(RegistryWrite, SectionChoosesTheView) {
  ScratchKey scratch32(L"WriteView", HKEY_LOCAL_MACHINE, KEY_WOW64_32KEY);
  ScratchKey scratch64(L"WriteView", HKEY_LOCAL_MACHINE, KEY_WOW64_64KEY);
  const std::wstring path = scratch32.Sub(L"Made");
  EXPECT_EQ(zqRegWriteDWORDValueEx(HKEY_LOCAL_MACHINE, path.c_str(), L"V", 32, 0x200), 0);
  EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, path, KEY_WOW64_32KEY));
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, path, KEY_WOW64_64KEY));
  EXPECT_EQ(zqRegWriteDWORDValueEx(HKEY_LOCAL_MACHINE, path.c_str(), L"V", 64, 0x100), 0);
  EXPECT_EQ(DwordInView(path, KEY_WOW64_32KEY), 32u);
  EXPECT_EQ(DwordInView(path, KEY_WOW64_64KEY), 64u);
}

// ---- Listings --------------------------------------------------------------

ZQ_REG_VALUE_ENTRY Untouched() {
  ZQ_REG_VALUE_ENTRY entry{};
  wcscpy(entry.szName, L"untouched");
  entry.dwType = 0xABCD;
  return entry;
}

TEST(RegistryList, ValueListingCountsFiltersAndStopsAtTheCapacity) {
  ScratchKey scratch(L"ListValues");
  // Wine enumerates values in name order: the string first, the DWORD second.
  scratch.SetString(L"", L"A_Text", L"abc");
  scratch.SetDword(L"", L"B_Number", 2);
  const std::wstring& path = scratch.Path();
  LogCapture log;

  // A null array counts every value.
  int count = -5;
  EXPECT_EQ(zqRegListValueNamesEx(HKEY_CURRENT_USER, path.c_str(), nullptr, &count, 0, 0), 0);
  EXPECT_EQ(count, 2);
  EXPECT_EQ(log.Lines(), (Lines{{8, L"zqRegListValueNamesEx"}, {16, L"zqRegListValueNamesEx : ret=(0)"}}));

  // Capacity 0 with an array: the truncation line, count 0, nothing written.
  log.Clear();
  ZQ_REG_VALUE_ENTRY entries[3] = {Untouched(), Untouched(), Untouched()};
  count = 0;
  EXPECT_EQ(zqRegListValueNames(HKEY_CURRENT_USER, path.c_str(), entries, &count, ZQ_REG_ANY_TYPE), 0);
  EXPECT_EQ(count, 0);
  EXPECT_STREQ(entries[0].szName, L"untouched");
  EXPECT_EQ(log.Lines(), (Lines{{8, L"zqRegListValueNamesEx"},
                                {2, L"zqRegListValueNamesEx: Max number of value reached"},
                                {16, L"zqRegListValueNamesEx : ret=(0)"}}));

  // Exactly as many as the capacity: no truncation line.
  log.Clear();
  count = 2;
  EXPECT_EQ(zqRegListValueNamesEx(HKEY_CURRENT_USER, path.c_str(), entries, &count, ZQ_REG_ANY_TYPE, 0), 0);
  EXPECT_EQ(count, 2);
  EXPECT_STREQ(entries[0].szName, L"A_Text");
  EXPECT_EQ(entries[0].dwType, static_cast<DWORD>(REG_SZ));
  EXPECT_STREQ(entries[1].szName, L"B_Number");
  EXPECT_EQ(entries[1].dwType, static_cast<DWORD>(REG_DWORD));
  EXPECT_STREQ(entries[2].szName, L"untouched");
  EXPECT_EQ(log.Lines(), (Lines{{8, L"zqRegListValueNamesEx"}, {16, L"zqRegListValueNamesEx : ret=(0)"}}));

  // One value more than the capacity: stops on the truncation line.
  scratch.SetDword(L"", L"C_Third", 3);
  log.Clear();
  ZQ_REG_VALUE_ENTRY two[2] = {Untouched(), Untouched()};
  count = 2;
  EXPECT_EQ(zqRegListValueNamesEx(HKEY_CURRENT_USER, path.c_str(), two, &count, ZQ_REG_ANY_TYPE, 0), 0);
  EXPECT_EQ(count, 2);
  EXPECT_STREQ(two[1].szName, L"B_Number");
  EXPECT_EQ(log.Lines()[1], (LogLine{2, L"zqRegListValueNamesEx: Max number of value reached"}));

  // The filter leaves refused elements as they were; the count covers all.
  ZQ_REG_VALUE_ENTRY filtered[4] = {Untouched(), Untouched(), Untouched(), Untouched()};
  count = 4;
  EXPECT_EQ(zqRegListValueNamesEx(HKEY_CURRENT_USER, path.c_str(), filtered, &count, REG_DWORD, 0), 0);
  EXPECT_EQ(count, 3);
  EXPECT_STREQ(filtered[0].szName, L"untouched");
  EXPECT_EQ(filtered[0].dwType, 0xABCDu);
  EXPECT_STREQ(filtered[1].szName, L"B_Number");
  EXPECT_EQ(filtered[1].dwType, static_cast<DWORD>(REG_DWORD));
  EXPECT_STREQ(filtered[2].szName, L"C_Third");
  EXPECT_STREQ(filtered[3].szName, L"untouched");

  // A negative capacity stores nothing.
  count = -1;
  EXPECT_EQ(zqRegListValueNamesEx(HKEY_CURRENT_USER, path.c_str(), filtered, &count, ZQ_REG_ANY_TYPE, 0), 0);
  EXPECT_EQ(count, 0);
}

TEST(RegistryList, ValueListingFailuresLeaveTheCountUnwritten) {
  ScratchKey scratch(L"ListValuesFail");
  scratch.CreateKey(L"Empty");
  LogCapture log;
  ZQ_REG_VALUE_ENTRY entries[2] = {Untouched(), Untouched()};

  // No values: the first enumeration fails, with a line of its own.
  int count = 2;
  EXPECT_EQ(zqRegListValueNamesEx(HKEY_CURRENT_USER, scratch.Sub(L"Empty").c_str(), entries, &count,
                                  ZQ_REG_ANY_TYPE, 0),
            -1);
  EXPECT_EQ(count, 2);
  EXPECT_EQ(log.Lines(), (Lines{{8, L"zqRegListValueNamesEx"},
                                {1, L"RegEnumValue failed with error code 0x103"},
                                {16, L"zqRegListValueNamesEx : ret=(-1)"}}));
  count = 7;
  EXPECT_EQ(zqRegListValueNamesEx(HKEY_CURRENT_USER, scratch.Sub(L"Empty").c_str(), nullptr, &count, 0, 0), -1);
  EXPECT_EQ(count, 7);

  // A missing key: level 1 with an array, level 2 when only counting.
  log.Clear();
  EXPECT_EQ(zqRegListValueNamesEx(HKEY_CURRENT_USER, scratch.Sub(L"None").c_str(), entries, &count, 0, 0), -1);
  EXPECT_EQ(zqRegListValueNames(HKEY_CURRENT_USER, scratch.Sub(L"None").c_str(), nullptr, &count, 0), -1);
  EXPECT_EQ(count, 7);
  EXPECT_EQ(log.Lines(), (Lines{{8, L"zqRegListValueNamesEx"},
                                {1, L"RegOpenKeyEx failed with error code 0x2"},
                                {16, L"zqRegListValueNamesEx : ret=(-1)"},
                                {8, L"zqRegListValueNamesEx"},
                                {2, L"RegOpenKeyEx failed with error code 0x2"},
                                {16, L"zqRegListValueNamesEx : ret=(-1)"}}));

  // Section, then the key, then the count.
  log.Clear();
  EXPECT_EQ(zqRegListValueNamesEx(kBogusRoot, nullptr, nullptr, nullptr, 0, 0x300), -3);
  EXPECT_EQ(zqRegListValueNamesEx(kBogusRoot, nullptr, entries, &count, 0, 0), -3);
  EXPECT_EQ(zqRegListValueNamesEx(kBogusRoot, L"x", entries, nullptr, 0, 0), -3);
  EXPECT_EQ(count, 7);
  EXPECT_STREQ(entries[0].szName, L"untouched");
  EXPECT_EQ(log.Lines(), (Lines{{8, L"zqRegListValueNamesEx"},
                                {1, L"zqRegListValueNamesEx : Desired registry section incorrect (0x300)"},
                                {16, L"zqRegListValueNamesEx : ret=(-3)"},
                                {8, L"zqRegListValueNamesEx"},
                                {2, L"zqRegListValueNamesEx : pszKey is NULL"},
                                {16, L"zqRegListValueNamesEx : ret=(-3)"},
                                {8, L"zqRegListValueNamesEx"},
                                {2, L"zqRegListValueNamesEx : pnValueCount is NULL"},
                                {16, L"zqRegListValueNamesEx : ret=(-3)"}}));
}

TEST(RegistryList, NamesLongerThanTheBufferStillTakeTheirIndex) {
  ScratchKey scratch(L"ListLongNames");
  scratch.SetDword(L"", L"a", 1);
  scratch.SetDword(L"", std::wstring(300, L'n').c_str(), 2);
  scratch.SetDword(L"", L"z", 3);
  ZQ_REG_VALUE_ENTRY entries[4] = {Untouched(), Untouched(), Untouched(), Untouched()};
  int count = 4;
  EXPECT_EQ(zqRegListValueNamesEx(HKEY_CURRENT_USER, scratch.Path().c_str(), entries, &count, ZQ_REG_ANY_TYPE, 0), 0);
  EXPECT_EQ(count, 3);
  EXPECT_STREQ(entries[0].szName, L"a");
  EXPECT_LT(wcsnlen(entries[1].szName, ZQ_REG_VALUE_NAME_CCH), static_cast<size_t>(ZQ_REG_VALUE_NAME_CCH));
  EXPECT_STREQ(entries[2].szName, L"z");
  EXPECT_STREQ(entries[3].szName, L"untouched");
}

TEST(RegistryList, SubkeyListing) {
  ScratchKey scratch(L"ListKeys");
  scratch.CreateKey(L"Alpha\\Below");  // only direct children are listed
  scratch.CreateKey(L"Beta");
  scratch.CreateKey(L"Gamma");
  scratch.CreateKey(L"Beta\\Leaf");
  scratch.SetDword(L"", L"NotAKey", 1);
  const std::wstring& path = scratch.Path();
  LogCapture log;

  int count = 0;
  EXPECT_EQ(zqRegListKeysEx(HKEY_CURRENT_USER, path.c_str(), nullptr, &count, 0), 0);
  EXPECT_EQ(count, 3);

  ZQ_REG_SUBKEY_SLOT slots[4] = {};
  wcscpy(slots[3].szName, L"untouched");
  count = 4;
  EXPECT_EQ(zqRegListKeys(HKEY_CURRENT_USER, path.c_str(), slots, &count), 0);
  EXPECT_EQ(count, 3);
  EXPECT_STREQ(slots[0].szName, L"Alpha");
  EXPECT_STREQ(slots[1].szName, L"Beta");
  EXPECT_STREQ(slots[2].szName, L"Gamma");
  EXPECT_STREQ(slots[3].szName, L"untouched");

  log.Clear();
  count = 3;
  EXPECT_EQ(zqRegListKeysEx(HKEY_CURRENT_USER, path.c_str(), slots, &count, 0x100), 0);
  EXPECT_EQ(count, 3);
  count = 2;
  EXPECT_EQ(zqRegListKeysEx(HKEY_CURRENT_USER, path.c_str(), slots, &count, 0), 0);
  EXPECT_EQ(count, 2);
  count = 0;
  EXPECT_EQ(zqRegListKeysEx(HKEY_CURRENT_USER, path.c_str(), slots, &count, 0), 0);
  EXPECT_EQ(count, 0);
  EXPECT_EQ(log.Lines(), (Lines{{8, L"zqRegListKeysEx"},
                                {16, L"zqRegListKeysEx : ret=(0)"},
                                {8, L"zqRegListKeysEx"},
                                {2, L"zqRegListKeysEx: max number of subkey reached"},
                                {16, L"zqRegListKeysEx : ret=(0)"},
                                {8, L"zqRegListKeysEx"},
                                {2, L"zqRegListKeysEx: max number of subkey reached"},
                                {16, L"zqRegListKeysEx : ret=(0)"}}));

  // A key without subkeys, a missing key, bad arguments.
  log.Clear();
  count = 9;
  EXPECT_EQ(zqRegListKeysEx(HKEY_CURRENT_USER, scratch.Sub(L"Gamma").c_str(), slots, &count, 0), -1);
  EXPECT_EQ(zqRegListKeysEx(HKEY_CURRENT_USER, scratch.Sub(L"None").c_str(), slots, &count, 0), -1);
  EXPECT_EQ(zqRegListKeysEx(HKEY_CURRENT_USER, scratch.Sub(L"None").c_str(), nullptr, &count, 0), -1);
  EXPECT_EQ(zqRegListKeysEx(kBogusRoot, L"x", slots, &count, 0x300), -3);
  EXPECT_EQ(zqRegListKeysEx(kBogusRoot, nullptr, slots, &count, 0), -3);
  EXPECT_EQ(zqRegListKeysEx(kBogusRoot, L"x", slots, nullptr, 0), -3);
  EXPECT_EQ(count, 9);
  EXPECT_EQ(log.Lines(), (Lines{{8, L"zqRegListKeysEx"},
                                {1, L"RegEnumKeyEx failed with error code 0x103"},
                                {16, L"zqRegListKeysEx : ret=(-1)"},
                                {8, L"zqRegListKeysEx"},
                                {1, L"RegOpenKeyEx failed with error code 0x2"},
                                {16, L"zqRegListKeysEx : ret=(-1)"},
                                {8, L"zqRegListKeysEx"},
                                {2, L"RegOpenKeyEx failed with error code 0x2"},
                                {16, L"zqRegListKeysEx : ret=(-1)"},
                                {8, L"zqRegListKeysEx"},
                                {1, L"zqRegListKeysEx : Desired registry section incorrect (0x300)"},
                                {16, L"zqRegListKeysEx : ret=(-3)"},
                                {8, L"zqRegListKeysEx"},
                                {2, L"zqRegListKeysEx : pszKey is NULL"},
                                {16, L"zqRegListKeysEx : ret=(-3)"},
                                {8, L"zqRegListKeysEx"},
                                {2, L"zqRegListKeysEx : pnSubKeyCount is NULL"},
                                {16, L"zqRegListKeysEx : ret=(-3)"}}));
}

TEST(RegistryList, SectionChoosesTheViewListed) {
  ScratchKey scratch32(L"ListView", HKEY_LOCAL_MACHINE, KEY_WOW64_32KEY);
  ScratchKey scratch64(L"ListView", HKEY_LOCAL_MACHINE, KEY_WOW64_64KEY);
  scratch32.CreateKey(L"Only32");
  scratch32.SetDword(L"", L"V32", 1);
  scratch64.CreateKey(L"Only64a");
  scratch64.CreateKey(L"Only64b");
  ZQ_REG_SUBKEY_SLOT slots[2] = {};
  int count = 2;
  EXPECT_EQ(zqRegListKeysEx(HKEY_LOCAL_MACHINE, scratch32.Path().c_str(), slots, &count, 0x200), 0);
  EXPECT_EQ(count, 1);
  EXPECT_STREQ(slots[0].szName, L"Only32");
  count = 0;
  EXPECT_EQ(zqRegListKeysEx(HKEY_LOCAL_MACHINE, scratch64.Path().c_str(), nullptr, &count, 0), 0);
  EXPECT_EQ(count, 2);
  ZQ_REG_VALUE_ENTRY entries[1] = {Untouched()};
  count = 1;
  EXPECT_EQ(zqRegListValueNamesEx(HKEY_LOCAL_MACHINE, scratch32.Path().c_str(), entries, &count, REG_DWORD, 0x200),
            0);
  EXPECT_STREQ(entries[0].szName, L"V32");
  EXPECT_EQ(zqRegListValueNamesEx(HKEY_LOCAL_MACHINE, scratch64.Path().c_str(), entries, &count, REG_DWORD, 0x100),
            -1);
}

// ---- Deletions ---------------------------------------------------------------

TEST(RegistryDelete, ValueDeletion) {
  ScratchKey scratch(L"DeleteValue");
  scratch.SetDword(L"", L"Gone", 1);
  scratch.SetDword(L"", L"Kept", 2);
  scratch.SetString(L"", nullptr, L"default");
  LogCapture log;

  EXPECT_EQ(zqRegDeleteValue(HKEY_CURRENT_USER, scratch.Path().c_str(), L"Gone", 0), 0);
  EXPECT_EQ(zqRegDeleteValue(HKEY_CURRENT_USER, scratch.Path().c_str(), L"Gone", 0), -1);
  EXPECT_EQ(zqRegDeleteValue(HKEY_CURRENT_USER, scratch.Sub(L"None").c_str(), L"Kept", 0x100), -1);
  EXPECT_EQ(log.Lines(), (Lines{{8, L"zqRegDeleteValue"},
                                {2, L"zqRegDeleteValue : RegDeleteValue returns 0x0"},
                                {16, L"zqRegDeleteValue : ret=(0)"},
                                {8, L"zqRegDeleteValue"},
                                {2, L"zqRegDeleteValue : RegDeleteValue returns 0x2"},
                                {16, L"zqRegDeleteValue : ret=(-1)"},
                                {8, L"zqRegDeleteValue"},
                                {2, L"zqRegDeleteValue : RegOpenKeyEx failed 0x2"},
                                {16, L"zqRegDeleteValue : ret=(-1)"}}));
  EXPECT_EQ(QueryRaw(HKEY_CURRENT_USER, scratch.Path(), L"Gone").rc, ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(QueryRaw(HKEY_CURRENT_USER, scratch.Path(), L"Kept").rc, ERROR_SUCCESS);

  // A null name is rejected, not taken for the default value.
  log.Clear();
  EXPECT_EQ(zqRegDeleteValue(HKEY_CURRENT_USER, scratch.Path().c_str(), nullptr, 0), -3);
  EXPECT_EQ(zqRegDeleteValue(kBogusRoot, nullptr, L"Kept", 0), -3);
  EXPECT_EQ(zqRegDeleteValue(kBogusRoot, nullptr, nullptr, 0x300), -3);
  EXPECT_EQ(log.Texts(), (Texts{L"zqRegDeleteValue", L"zqRegDeleteValue : pszKey or pszValueName is NULL",
                                L"zqRegDeleteValue : ret=(-3)", L"zqRegDeleteValue",
                                L"zqRegDeleteValue : pszKey or pszValueName is NULL", L"zqRegDeleteValue : ret=(-3)",
                                L"zqRegDeleteValue",
                                L"zqRegDeleteValue : Desired registry section incorrect (0x300)",
                                L"zqRegDeleteValue : ret=(-3)"}));
  EXPECT_EQ(QueryRaw(HKEY_CURRENT_USER, scratch.Path(), nullptr).rc, ERROR_SUCCESS);
  // The default value goes by its empty name.
  EXPECT_EQ(zqRegDeleteValue(HKEY_CURRENT_USER, scratch.Path().c_str(), L"", 0), 0);
  EXPECT_EQ(QueryRaw(HKEY_CURRENT_USER, scratch.Path(), nullptr).rc, ERROR_FILE_NOT_FOUND);
}

TEST(RegistryDelete, KeyDeletionWithoutSectionGoesToThe32BitView) {
  ScratchKey scratch32(L"DeleteKeyView", HKEY_LOCAL_MACHINE, KEY_WOW64_32KEY);
  ScratchKey scratch64(L"DeleteKeyView", HKEY_LOCAL_MACHINE, KEY_WOW64_64KEY);
  scratch32.CreateKey(L"Leaf");
  scratch64.CreateKey(L"Leaf");
  scratch64.CreateKey(L"Parent\\Child");
  LogCapture log;

  EXPECT_EQ(zqRegDeleteKey(HKEY_LOCAL_MACHINE, scratch32.Sub(L"Leaf").c_str(), 0, 0), 0);
  EXPECT_EQ(log.Lines(), (Lines{{8, L"zqRegDeleteKey"},
                                {2, L"zqRegDeleteKey : RegDeleteKeyEx returns 0x0"},
                                {16, L"zqRegDeleteKey : ret=(0)"}}));
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, scratch32.Sub(L"Leaf"), KEY_WOW64_32KEY));
  EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, scratch64.Sub(L"Leaf"), KEY_WOW64_64KEY));

  // Once gone from the 32-bit view, section 0 cannot reach the 64-bit twin.
  log.Clear();
  EXPECT_EQ(zqRegDeleteKey(HKEY_LOCAL_MACHINE, scratch64.Sub(L"Leaf").c_str(), 0, 0), -1);
  EXPECT_EQ(log.Lines()[1], (LogLine{2, L"zqRegDeleteKey : RegDeleteKeyEx returns 0x2"}));
  EXPECT_EQ(zqRegDeleteKey(HKEY_LOCAL_MACHINE, scratch64.Sub(L"Leaf").c_str(), 0, 0x100), 0);
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, scratch64.Sub(L"Leaf"), KEY_WOW64_64KEY));

  // Not recursive (a flag byte other than 1 included): a key with subkeys stays.
  log.Clear();
  EXPECT_EQ(zqRegDeleteKey(HKEY_LOCAL_MACHINE, scratch64.Sub(L"Parent").c_str(), 2, 0x100), -1);
  EXPECT_EQ(log.Lines(), (Lines{{8, L"zqRegDeleteKey"},
                                {2, L"zqRegDeleteKey : RegDeleteKeyEx returns 0x5"},
                                {16, L"zqRegDeleteKey : ret=(-1)"}}));
  EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, scratch64.Sub(L"Parent\\Child"), KEY_WOW64_64KEY));

  // Bad arguments: nothing loaded, nothing deleted.
  log.Clear();
  EXPECT_EQ(zqRegDeleteKey(HKEY_LOCAL_MACHINE, scratch64.Sub(L"Parent").c_str(), 1, 0x300), -3);
  EXPECT_EQ(zqRegDeleteKey(kBogusRoot, nullptr, 1, 0), -3);
  EXPECT_EQ(log.Lines(), (Lines{{8, L"zqRegDeleteKey"},
                                {1, L"zqRegDeleteKey : Desired registry section incorrect (0x300)"},
                                {16, L"zqRegDeleteKey : ret=(-3)"},
                                {8, L"zqRegDeleteKey"},
                                {2, L"zqRegDeleteKey : pszKey is NULL"},
                                {16, L"zqRegDeleteKey : ret=(-3)"}}));
  EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, scratch64.Sub(L"Parent\\Child"), KEY_WOW64_64KEY));
}

TEST(RegistryDelete, RecursiveKeyDeletionUsesTheDefaultView) {
  ScratchKey scratch32(L"DeleteTreeView", HKEY_LOCAL_MACHINE, KEY_WOW64_32KEY);
  ScratchKey scratch64(L"DeleteTreeView", HKEY_LOCAL_MACHINE, KEY_WOW64_64KEY);
  for (const ScratchKey* scratch : {&scratch32, &scratch64}) {
    scratch->CreateKey(L"Tree\\A\\Deep");
    scratch->CreateKey(L"Tree\\B");
    scratch->SetDword(L"Tree", L"V", 1);
  }
  const std::wstring tree = scratch64.Sub(L"Tree");
  LogCapture log;

  // The 32-bit section plays no part: the tree of the default (64-bit) view goes.
  EXPECT_EQ(zqRegDeleteKey(HKEY_LOCAL_MACHINE, tree.c_str(), 1, 0x200), 0);
  EXPECT_EQ(log.Lines(), (Lines{{8, L"zqRegDeleteKey"},
                                {2, L"zqRegDeleteKey : RegDeleteTree returns 0x0"},
                                {16, L"zqRegDeleteKey : ret=(0)"}}));
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, tree, KEY_WOW64_64KEY));
  EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, tree + L"\\A\\Deep", KEY_WOW64_32KEY));

  log.Clear();
  EXPECT_EQ(zqRegDeleteKey(HKEY_LOCAL_MACHINE, tree.c_str(), 1, 0x100), -1);
  EXPECT_EQ(log.Lines()[1], (LogLine{2, L"zqRegDeleteKey : RegDeleteTree returns 0x2"}));
  EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, tree, KEY_WOW64_32KEY));
}

// Stand-ins for GetProcAddress that hide one function of the platform.
std::vector<std::string> g_looked;
const char* g_hidden = nullptr;

FARPROC LookupHiding(HMODULE module, const char* name) {
  g_looked.emplace_back(name);
  if (g_hidden && std::strcmp(name, g_hidden) == 0) return nullptr;
  return GetProcAddress(module, name);
}

TEST(RegistryDelete, KeyDeletionWithoutTheRunTimeFunctions) {
  ScratchKey scratch(L"DeleteFallback");
  scratch.CreateKey(L"Tree\\A\\Deep");
  scratch.CreateKey(L"Leaf");
  LogCapture log;

  // Without RegDeleteTreeW the library walks the subtree itself.
  g_hidden = "RegDeleteTreeW";
  g_looked.clear();
  EXPECT_EQ(zq::reg::DeleteKeyResolvedBy(LookupHiding, HKEY_CURRENT_USER, scratch.Sub(L"Tree").c_str(), 1, 0), 0);
  EXPECT_EQ(g_looked, (std::vector<std::string>{"RegDeleteKeyExW", "RegDeleteTreeW"}));
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, scratch.Sub(L"Tree")));
  EXPECT_EQ(log.Lines(), (Lines{{8, L"zqRegDeleteKey"},
                                {2, L"zqRegDeleteSubKey : RegDeleteKey returns 0x0"},  // Tree\A\Deep
                                {16, L"zqRegDeleteSubKey : ret=(0)"},
                                {16, L"zqRegDeleteSubKey : ret=(0)"},                  // Tree\A
                                {16, L"zqRegDeleteSubKey : ret=(0)"},                  // Tree
                                {2, L"zqRegDeleteKey : zqRegDeleteSubKey returns 0x0"},
                                {16, L"zqRegDeleteKey : ret=(0)"}}));

  log.Clear();
  EXPECT_EQ(zq::reg::DeleteKeyResolvedBy(LookupHiding, HKEY_CURRENT_USER, scratch.Sub(L"Tree").c_str(), 1, 0), -1);
  EXPECT_EQ(log.Lines(), (Lines{{8, L"zqRegDeleteKey"},
                                {2, L"zqRegDeleteSubKey : RegOpenKeyEx failed 0x2"},
                                {16, L"zqRegDeleteSubKey : ret=(-1)"},
                                {2, L"zqRegDeleteKey : zqRegDeleteSubKey returns 0xffffffff"},
                                {16, L"zqRegDeleteKey : ret=(-1)"}}));

  // Without RegDeleteKeyExW: RegDeleteKeyW, and RegDeleteTreeW is never asked for.
  g_hidden = "RegDeleteKeyExW";
  g_looked.clear();
  log.Clear();
  EXPECT_EQ(zq::reg::DeleteKeyResolvedBy(LookupHiding, HKEY_CURRENT_USER, scratch.Sub(L"Leaf").c_str(), 0, 0), 0);
  EXPECT_EQ(zq::reg::DeleteKeyResolvedBy(LookupHiding, HKEY_CURRENT_USER, scratch.Sub(L"Leaf").c_str(), 0, 0), -1);
  EXPECT_EQ(log.Lines(), (Lines{{8, L"zqRegDeleteKey"},
                                {2, L"zqRegDeleteKey : RegDeleteKey returns 0x0"},
                                {16, L"zqRegDeleteKey : ret=(0)"},
                                {8, L"zqRegDeleteKey"},
                                {2, L"zqRegDeleteKey : RegDeleteKey returns 0x2"},
                                {16, L"zqRegDeleteKey : ret=(-1)"}}));
  scratch.CreateKey(L"Tree2\\X");
  EXPECT_EQ(zq::reg::DeleteKeyResolvedBy(LookupHiding, HKEY_CURRENT_USER, scratch.Sub(L"Tree2").c_str(), 1, 0), 0);
  EXPECT_EQ(g_looked, (std::vector<std::string>{"RegDeleteKeyExW", "RegDeleteKeyExW", "RegDeleteKeyExW"}));
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, scratch.Sub(L"Tree2")));
  g_hidden = nullptr;
}

TEST(RegistryDelete, SubtreeWalkKeepsOrDeletesTheKey) {
  ScratchKey scratch(L"DeleteSubKey");
  scratch.CreateKey(L"Top\\A\\C");
  scratch.CreateKey(L"Top\\D");
  scratch.SetDword(L"Top", L"Kept", 5);
  scratch.SetDword(L"Top\\A", L"Gone", 6);
  const std::wstring top = scratch.Sub(L"Top");
  LogCapture log;

  // Delete-self 0: every subkey goes, the key and its values stay. No entry line.
  EXPECT_EQ(zqRegDeleteSubKey(HKEY_CURRENT_USER, top.c_str(), 0, 0), 0);
  EXPECT_EQ(log.Lines(), (Lines{{2, L"zqRegDeleteSubKey : RegDeleteKey returns 0x0"},  // Top\A\C
                                {16, L"zqRegDeleteSubKey : ret=(0)"},
                                {16, L"zqRegDeleteSubKey : ret=(0)"},                  // Top\A
                                {2, L"zqRegDeleteSubKey : RegDeleteKey returns 0x0"},  // Top\D
                                {16, L"zqRegDeleteSubKey : ret=(0)"},
                                {16, L"zqRegDeleteSubKey : ret=(0)"}}));               // Top
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, top));
  EXPECT_EQ(QueryRaw(HKEY_CURRENT_USER, top, L"Kept").bytes, (std::vector<BYTE>{5, 0, 0, 0}));
  int count = 0;
  EXPECT_EQ(zqRegListKeys(HKEY_CURRENT_USER, top.c_str(), nullptr, &count), -1);  // no subkeys left

  // Delete-self 1 on a leaf: the first deletion does it, nothing is opened
  // (an open would fail on the deleted key and say so).
  log.Clear();
  EXPECT_EQ(zqRegDeleteSubKey(HKEY_CURRENT_USER, top.c_str(), 0x200, 1), 0);
  EXPECT_EQ(log.Lines(), (Lines{{2, L"zqRegDeleteSubKey : RegDeleteKey returns 0x0"},
                                {16, L"zqRegDeleteSubKey : ret=(0)"}}));
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, top));

  // A missing key, a flag byte that is not 1, bad arguments.
  log.Clear();
  EXPECT_EQ(zqRegDeleteSubKey(HKEY_CURRENT_USER, top.c_str(), 0, 1), -1);
  scratch.CreateKey(L"Other\\X");
  EXPECT_EQ(zqRegDeleteSubKey(HKEY_CURRENT_USER, scratch.Sub(L"Other").c_str(), 0, 2), 0);
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, scratch.Sub(L"Other")));
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, scratch.Sub(L"Other\\X")));
  EXPECT_EQ(zqRegDeleteSubKey(HKEY_CURRENT_USER, scratch.Sub(L"Other").c_str(), 0x300, 1), -3);
  EXPECT_EQ(zqRegDeleteSubKey(HKEY_CURRENT_USER, nullptr, 0, 0), -3);
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, scratch.Sub(L"Other")));
  EXPECT_EQ(log.Lines(), (Lines{{2, L"zqRegDeleteSubKey : RegOpenKeyEx failed 0x2"},
                                {16, L"zqRegDeleteSubKey : ret=(-1)"},
                                {2, L"zqRegDeleteSubKey : RegDeleteKey returns 0x0"},
                                {16, L"zqRegDeleteSubKey : ret=(0)"},
                                {16, L"zqRegDeleteSubKey : ret=(0)"},
                                {1, L"zqRegDeleteSubKey : Desired registry section incorrect (0x300)"},
                                {16, L"zqRegDeleteSubKey : ret=(-3)"},
                                {2, L"zqRegDeleteSubKey : pszKey is NULL"},
                                {16, L"zqRegDeleteSubKey : ret=(-3)"}}));
}

TEST(RegistryDelete, AChildThatCannotBeDeletedEndsTheWalk) {
  ScratchKey scratch(L"DeleteTooDeep");
  // "Top\Short" fits the walk's path buffer; the deeper paths pass 779 characters.
  std::wstring deep = L"Top\\Short";
  for (wchar_t part : {L'a', L'b', L'c', L'd'}) deep += L"\\" + std::wstring(200, part);
  scratch.CreateKey(deep);
  scratch.CreateKey(L"Top\\Zeta");
  const std::wstring top = scratch.Sub(L"Top");
  ASSERT_GT(scratch.Sub(deep).size(), 779u);

  // The walk stops at the child it cannot name; "Zeta", enumerated after it, stays.
  EXPECT_EQ(zqRegDeleteSubKey(HKEY_CURRENT_USER, top.c_str(), 0, 0), 0);
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, scratch.Sub(L"Top\\Short")));
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, scratch.Sub(L"Top\\Zeta")));
  // With delete-self the parent cannot go either.
  LogCapture log;
  EXPECT_EQ(zqRegDeleteSubKey(HKEY_CURRENT_USER, top.c_str(), 0, 1), -1);
  EXPECT_EQ(log.Lines().back(), (LogLine{16, L"zqRegDeleteSubKey : ret=(-1)"}));
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, top));
}

TEST(RegistryWriteListDelete, ThousandsOfCallsLeakNoHandle) {
  ScratchKey scratch(L"WriteListDeleteLeaks");
  const std::wstring& path = scratch.Path();
  const std::wstring missing = scratch.Sub(L"None");
  uintptr_t before = zqtest::ProbeHandleValue();
  ZQ_REG_VALUE_ENTRY entries[2];
  ZQ_REG_SUBKEY_SLOT slots[1];
  for (int i = 0; i < 300; ++i) {
    int count = 2;
    zqRegWriteDWORDValue(HKEY_CURRENT_USER, path.c_str(), L"D", 1);
    zqRegWriteStringValue(HKEY_CURRENT_USER, path.c_str(), L"S", L"x", 4);
    zqRegWriteBinaryValue(HKEY_CURRENT_USER, path.c_str(), L"B", nullptr, 4);  // refused by the system
    zqRegListValueNames(HKEY_CURRENT_USER, path.c_str(), entries, &count, ZQ_REG_ANY_TYPE);
    count = 1;
    zqRegListValueNames(HKEY_CURRENT_USER, path.c_str(), entries, &count, ZQ_REG_ANY_TYPE);  // truncated
    zqRegListKeys(HKEY_CURRENT_USER, path.c_str(), slots, &count);                            // no subkeys
    zqRegListKeys(HKEY_CURRENT_USER, missing.c_str(), nullptr, &count);
    zqRegDeleteValue(HKEY_CURRENT_USER, path.c_str(), L"S", 0);
    zqRegDeleteValue(HKEY_CURRENT_USER, missing.c_str(), L"S", 0);
    zqRegWriteDWORDValue(HKEY_CURRENT_USER, scratch.Sub(L"T\\U").c_str(), L"D", 1);
    zqRegDeleteKey(HKEY_CURRENT_USER, scratch.Sub(L"T").c_str(), 0, 0x100);  // has a subkey
    zqRegDeleteSubKey(HKEY_CURRENT_USER, scratch.Sub(L"T").c_str(), 0, 1);
    zqRegDeleteSubKey(HKEY_CURRENT_USER, missing.c_str(), 0, 1);
    zqRegDeleteKey(HKEY_CURRENT_USER, missing.c_str(), 1, 0);
  }
  EXPECT_EQ(zqtest::ProbeHandleValue(), before);
}

}  // namespace
