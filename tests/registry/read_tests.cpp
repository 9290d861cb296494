// Registry reads against Wine's real registry.
#include <gtest/gtest.h>

#include <cstring>

#include "handles.h"
#include "logcapture.h"
#include "regread.h"
#include "scratchkey.h"
#include "zqregistry.h"

using zqtest::LogCapture;
using zqtest::LogLine;
using zqtest::ScratchKey;
using Lines = std::vector<LogLine>;

namespace {


TEST(RegistryRead, DwordStatusesAndTheirLines) {
  ScratchKey scratch(L"ReadDword");
  scratch.SetDword(L"", L"Answer", 42);
  scratch.SetString(L"", L"Short", L"a");     // 4 bytes with its terminator
  scratch.SetString(L"", L"Long", L"abcd");   // 10 bytes
  LogCapture log;

  DWORD value = 0;
  EXPECT_EQ(zqRegReadDWORDValueExW(HKEY_CURRENT_USER, scratch.Path().c_str(), L"Answer", &value, 0), 0);
  EXPECT_EQ(value, 42u);
  EXPECT_EQ(log.Lines(), (Lines{{8, L"zqRegReadDWORDValueExW"},
                                {2, L"zqRegReadDWORDValueExW : RegQueryValueEx returns DWORD 42"},
                                {16, L"zqRegReadDWORDValueExW : ret=(0)"}}));

  log.Clear();
  EXPECT_EQ(zqRegReadDWORDValueExW(HKEY_CURRENT_USER, scratch.Sub(L"Missing").c_str(), L"Answer", &value, 0), -1);
  EXPECT_EQ(log.Lines(), (Lines{{8, L"zqRegReadDWORDValueExW"},
                                {2, L"zqRegReadDWORDValueExW : RegOpenKeyEx failed 0x2"},
                                {16, L"zqRegReadDWORDValueExW : ret=(-1)"}}));

  log.Clear();
  EXPECT_EQ(zqRegReadDWORDValueExW(HKEY_CURRENT_USER, scratch.Path().c_str(), L"Nothing", &value, 0), -1);
  EXPECT_EQ(log.Lines(), (Lines{{8, L"zqRegReadDWORDValueExW"},
                                {2, L"zqRegReadDWORDValueExW : RegQueryValueEx fails 0x2"},
                                {16, L"zqRegReadDWORDValueExW : ret=(-1)"}}));

  // A short string fits the 4 bytes: wrong type, and its bytes stay behind.
  log.Clear();
  value = 0xFFFFFFFF;
  EXPECT_EQ(zqRegReadDWORDValueExW(HKEY_CURRENT_USER, scratch.Path().c_str(), L"Short", &value, 0), -4);
  EXPECT_EQ(std::memcmp(&value, L"a", 4), 0);
  EXPECT_EQ(log.Lines(), (Lines{{8, L"zqRegReadDWORDValueExW"},
                                {2, L"zqRegReadDWORDValueExW : RegQueryValueEx returns type 1 instead of DWORD"},
                                {16, L"zqRegReadDWORDValueExW : ret=(-4)"}}));

  // A longer one does not fit: the query fails with ERROR_MORE_DATA, which is -1 here.
  log.Clear();
  EXPECT_EQ(zqRegReadDWORDValueExW(HKEY_CURRENT_USER, scratch.Path().c_str(), L"Long", &value, 0), -1);
  EXPECT_EQ(log.Lines()[1], (LogLine{2, L"zqRegReadDWORDValueExW : RegQueryValueEx fails 0xea"}));

  // The narrow read and the forwarders (which log as the wide Ex function).
  value = 0;
  std::string narrowPath(scratch.Path().begin(), scratch.Path().end());
  EXPECT_EQ(zqRegReadDWORDValueExA(HKEY_CURRENT_USER, narrowPath.c_str(), "Answer", &value, 0), 0);
  EXPECT_EQ(value, 42u);
  log.Clear();
  value = 0;
  EXPECT_EQ(zqRegReadDWORDValue(HKEY_CURRENT_USER, scratch.Path().c_str(), L"Answer", &value), 0);
  EXPECT_EQ(zqRegReadDWORDValueEx(HKEY_CURRENT_USER, scratch.Path().c_str(), L"Answer", &value, 0x100), 0);
  EXPECT_EQ(value, 42u);
  EXPECT_EQ(log.Lines().front(), (LogLine{8, L"zqRegReadDWORDValueExW"}));
  EXPECT_EQ(log.Lines().size(), 6u);
}

TEST(RegistryRead, SectionIsCheckedFirstThenPointers) {
  LogCapture log;
  DWORD value = 7;
  DWORD size = 10;
  wchar_t buffer[8] = {};
  // A bogus root proves that nothing is opened: the answer comes before.
  HKEY bogus = reinterpret_cast<HKEY>(static_cast<uintptr_t>(0x7654));
  for (DWORD section : {0x300u, 0x400u, 0x101u, 0x1000u}) {
    log.Clear();
    EXPECT_EQ(zqRegReadDWORDValueExW(bogus, nullptr, nullptr, nullptr, section), -3);
    wchar_t expected[96];
    _snwprintf(expected, 96, L"zqRegReadDWORDValueExW : Desired registry section incorrect (0x%x)", section);
    EXPECT_EQ(log.Lines(), (Lines{{8, L"zqRegReadDWORDValueExW"}, {1, expected},
                                  {16, L"zqRegReadDWORDValueExW : ret=(-3)"}}));
    EXPECT_EQ(zqRegReadStringValueExW(bogus, L"x", nullptr, buffer, &size, section), -3);
    EXPECT_EQ(zqRegReadValueEx(bogus, L"x", nullptr, &value, buffer, &size, section), -3);
  }
  EXPECT_EQ(value, 7u);
  EXPECT_EQ(size, 10u);

  log.Clear();
  EXPECT_EQ(zqRegReadDWORDValueExW(bogus, L"x", nullptr, nullptr, 0), -3);
  EXPECT_EQ(zqRegReadStringValueExA(bogus, nullptr, nullptr, nullptr, &size, 0), -3);
  EXPECT_EQ(zqRegReadBinaryValueEx(bogus, L"x", nullptr, nullptr, nullptr, 0x200), -3);
  EXPECT_EQ(zqRegReadQWORDValueExW(bogus, L"x", nullptr, nullptr, 0x100), -3);
  EXPECT_EQ(zqRegReadValueEx(bogus, L"x", nullptr, nullptr, buffer, &size, 0), -3);
  EXPECT_EQ(zqRegReadValueEx(bogus, L"x", nullptr, &value, buffer, nullptr, 0), -3);
  EXPECT_EQ(log.Texts(), (std::vector<std::wstring>{
                             L"zqRegReadDWORDValueExW", L"zqRegReadDWORDValueExW : pszKey or pdwValue is NULL",
                             L"zqRegReadDWORDValueExW : ret=(-3)", L"zqRegReadStringValueExA",
                             L"zqRegReadStringValueExA : pszKey or pdwValue is NULL",
                             L"zqRegReadStringValueExA : ret=(-3)", L"zqRegReadBinaryValueEx",
                             L"zqRegReadBinaryValueEx : pszKey or pdwValue is NULL",
                             L"zqRegReadBinaryValueEx : ret=(-3)", L"zqRegReadQWORDValueExW",
                             L"zqRegReadQWORDValueExW : pszKey or pullValue is NULL",
                             L"zqRegReadQWORDValueExW : ret=(-3)", L"zqRegReadValueEx",
                             L"zqRegReadValueEx : pszKey or pdwValue is NULL", L"zqRegReadValueEx : ret=(-3)",
                             L"zqRegReadValueEx", L"zqRegReadValueEx : pszKey or pdwValue is NULL",
                             L"zqRegReadValueEx : ret=(-3)"}));
  EXPECT_EQ(log.Lines()[1].level, 2u);
}

TEST(RegistryRead, SectionsReachTheAccessMask) {
  // HKLM\Software is what the 32-bit view redirects.
  ScratchKey scratch32(L"ViewOnly32", HKEY_LOCAL_MACHINE, KEY_WOW64_32KEY);
  scratch32.SetDword(L"", L"Only32", 32);
  ScratchKey scratch64(L"ViewOnly64", HKEY_LOCAL_MACHINE, KEY_WOW64_64KEY);
  scratch64.SetDword(L"", L"Only64", 64);

  DWORD value = 0;
  EXPECT_EQ(zqRegReadDWORDValueExW(HKEY_LOCAL_MACHINE, scratch32.Path().c_str(), L"Only32", &value, 0x200), 0);
  EXPECT_EQ(value, 32u);
  EXPECT_EQ(zqRegReadDWORDValueExW(HKEY_LOCAL_MACHINE, scratch32.Path().c_str(), L"Only32", &value, 0x100), -1);
  EXPECT_EQ(zqRegReadDWORDValueExW(HKEY_LOCAL_MACHINE, scratch64.Path().c_str(), L"Only64", &value, 0x100), 0);
  EXPECT_EQ(value, 64u);
  // The default view of this 64-bit process is the 64-bit one.
  EXPECT_EQ(zqRegReadDWORDValueExW(HKEY_LOCAL_MACHINE, scratch64.Path().c_str(), L"Only64", &value, 0), 0);
  EXPECT_EQ(zqRegReadDWORDValueExW(HKEY_LOCAL_MACHINE, scratch64.Path().c_str(), L"Only64", &value, 0x200), -1);
  std::string narrow(scratch32.Path().begin(), scratch32.Path().end());
  EXPECT_EQ(zqRegReadDWORDValueExA(HKEY_LOCAL_MACHINE, narrow.c_str(), "Only32", &value, 0x200), 0);
  EXPECT_EQ(value, 32u);
}

TEST(RegistryRead, StringsSizesAndTypes) {
  ScratchKey scratch(L"ReadString");
  scratch.SetString(L"", L"Name", L"hello");
  scratch.SetString(L"", L"Expand", L"%TEMP%\\x", REG_EXPAND_SZ);
  scratch.SetString(L"", nullptr, L"default");
  scratch.SetRaw(L"", L"Bare", REG_SZ, L"abc", 6);  // stored without its terminator
  LogCapture log;

  // Size query.
  DWORD size = 0;
  EXPECT_EQ(zqRegReadStringValueExW(HKEY_CURRENT_USER, scratch.Path().c_str(), L"Name", nullptr, &size, 0), 0);
  EXPECT_EQ(size, 12u);
  EXPECT_EQ(log.Lines(), (Lines{{8, L"zqRegReadStringValueExW"},
                                {2, L"zqRegReadStringValueExW : RegQueryValueEx returns length 12"},
                                {16, L"zqRegReadStringValueExW : ret=(0)"}}));

  // Too small: -2 and the caller's size as it was.
  log.Clear();
  wchar_t buffer[32];
  size = 4;
  EXPECT_EQ(zqRegReadStringValueExW(HKEY_CURRENT_USER, scratch.Path().c_str(), L"Name", buffer, &size, 0), -2);
  EXPECT_EQ(size, 4u);
  EXPECT_EQ(log.Lines()[1], (LogLine{2, L"zqRegReadStringValueExW : RegQueryValueEx fails 0xea"}));

  log.Clear();
  size = sizeof buffer;
  EXPECT_EQ(zqRegReadStringValueExW(HKEY_CURRENT_USER, scratch.Path().c_str(), L"Name", buffer, &size, 0), 0);
  EXPECT_EQ(size, 12u);
  EXPECT_STREQ(buffer, L"hello");
  EXPECT_EQ(log.Lines()[1], (LogLine{2, L"zqRegReadStringValueExW : RegQueryValueEx returns hello"}));

  // REG_EXPAND_SZ is another type, but size and buffer are filled.
  log.Clear();
  std::fill(std::begin(buffer), std::end(buffer), L'#');
  size = sizeof buffer;
  EXPECT_EQ(zqRegReadStringValueExW(HKEY_CURRENT_USER, scratch.Path().c_str(), L"Expand", buffer, &size, 0), -4);
  EXPECT_EQ(size, 18u);
  EXPECT_STREQ(buffer, L"%TEMP%\\x");
  EXPECT_EQ(log.Lines()[1], (LogLine{2, L"zqRegReadStringValueExW : RegQueryValueEx returns type 2 instead of REG_SZ"}));

  // Size and bytes are exactly the system's answer: the library adds nothing
  // (Wine itself terminates and counts an unterminated string when there is room).
  wchar_t raw[32];
  DWORD rawSize = sizeof raw;
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, scratch.Path().c_str(), 0, KEY_QUERY_VALUE, &key), 0);
  ASSERT_EQ(RegQueryValueExW(key, L"Bare", nullptr, nullptr, reinterpret_cast<BYTE*>(raw), &rawSize), 0);
  RegCloseKey(key);
  size = sizeof buffer;
  EXPECT_EQ(zqRegReadStringValue(HKEY_CURRENT_USER, scratch.Path().c_str(), L"Bare", buffer, &size), 0);
  EXPECT_EQ(size, rawSize);
  EXPECT_EQ(std::memcmp(buffer, raw, rawSize), 0);
  EXPECT_EQ(std::wstring(buffer, 3), L"abc");

  // A null value name is the default value.
  size = sizeof buffer;
  EXPECT_EQ(zqRegReadStringValueEx(HKEY_CURRENT_USER, scratch.Path().c_str(), nullptr, buffer, &size, 0), 0);
  EXPECT_STREQ(buffer, L"default");

  // Narrow: bytes of the ANSI code page, logged through %S.
  log.Clear();
  std::string narrowPath(scratch.Path().begin(), scratch.Path().end());
  char narrow[32] = {};
  size = sizeof narrow;
  EXPECT_EQ(zqRegReadStringValueExA(HKEY_CURRENT_USER, narrowPath.c_str(), "Name", narrow, &size, 0), 0);
  EXPECT_EQ(size, 6u);
  EXPECT_STREQ(narrow, "hello");
  EXPECT_EQ(log.Lines()[1], (LogLine{2, L"zqRegReadStringValueExA : RegQueryValueEx returns hello"}));
}

TEST(RegistryRead, MultiStringAndBinary) {
  ScratchKey scratch(L"ReadMulti");
  const wchar_t multi[] = L"one\0two\0";
  scratch.SetRaw(L"", L"List", REG_MULTI_SZ, multi, sizeof multi);
  const BYTE blob[] = {0xDE, 0xAD, 0x01};
  scratch.SetRaw(L"", L"Blob", REG_BINARY, blob, sizeof blob);
  LogCapture log;

  wchar_t buffer[32] = {};
  DWORD size = sizeof buffer;
  EXPECT_EQ(zqRegReadMultiStringValue(HKEY_CURRENT_USER, scratch.Path().c_str(), L"List", buffer, &size), 0);
  EXPECT_EQ(size, sizeof multi);
  EXPECT_EQ(std::memcmp(buffer, multi, sizeof multi), 0);
  EXPECT_EQ(log.Lines()[1], (LogLine{2, L"zqRegReadMultiStringValueExW : RegQueryValueEx returns one"}));

  log.Clear();
  size = sizeof buffer;
  EXPECT_EQ(zqRegReadMultiStringValueEx(HKEY_CURRENT_USER, scratch.Path().c_str(), L"Blob", buffer, &size, 0), -4);
  EXPECT_EQ(size, 3u);
  EXPECT_EQ(log.Lines()[1],
            (LogLine{2, L"zqRegReadMultiStringValueExW : RegQueryValueEx returns type 3 instead of REG_MULTI_SZ"}));

  // The narrow multi-string read names the narrow calls in its failures.
  log.Clear();
  std::string narrowPath(scratch.Path().begin(), scratch.Path().end());
  char narrow[32] = {};
  size = sizeof narrow;
  EXPECT_EQ(zqRegReadMultiStringValueExA(HKEY_CURRENT_USER, (narrowPath + "\\None").c_str(), "List", narrow, &size, 0),
            -1);
  EXPECT_EQ(zqRegReadMultiStringValueExA(HKEY_CURRENT_USER, narrowPath.c_str(), "None", narrow, &size, 0), -1);
  size = 2;
  EXPECT_EQ(zqRegReadMultiStringValueExA(HKEY_CURRENT_USER, narrowPath.c_str(), "List", narrow, &size, 0), -2);
  EXPECT_EQ(size, 2u);
  size = sizeof narrow;
  EXPECT_EQ(zqRegReadMultiStringValueExA(HKEY_CURRENT_USER, narrowPath.c_str(), "List", narrow, &size, 0), 0);
  EXPECT_EQ(size, 9u);
  EXPECT_EQ(std::memcmp(narrow, "one\0two\0", 9), 0);
  EXPECT_EQ(log.Texts(),
            (std::vector<std::wstring>{
                L"zqRegReadMultiStringValueExA", L"zqRegReadMultiStringValueExA : RegOpenKeyExA failed 0x2",
                L"zqRegReadMultiStringValueExA : ret=(-1)", L"zqRegReadMultiStringValueExA",
                L"zqRegReadMultiStringValueExA : RegQueryValueExA fails 0x2",
                L"zqRegReadMultiStringValueExA : ret=(-1)", L"zqRegReadMultiStringValueExA",
                L"zqRegReadMultiStringValueExA : RegQueryValueExA fails 0xea",
                L"zqRegReadMultiStringValueExA : ret=(-2)", L"zqRegReadMultiStringValueExA",
                L"zqRegReadMultiStringValueExA : RegQueryValueEx returns one",
                L"zqRegReadMultiStringValueExA : ret=(0)"}));

  // Binary data go to the log as bytes.
  log.Clear();
  BYTE bytes[8] = {};
  size = sizeof bytes;
  EXPECT_EQ(zqRegReadBinaryValue(HKEY_CURRENT_USER, scratch.Path().c_str(), L"Blob", bytes, &size), 0);
  EXPECT_EQ(size, 3u);
  EXPECT_EQ(std::memcmp(bytes, blob, 3), 0);
  EXPECT_EQ(log.Lines(), (Lines{{8, L"zqRegReadBinaryValueEx"},
                                {2, L"zqRegReadBinaryValueEx : RegQueryValueEx returns [3 bytes] DE AD 01"},
                                {16, L"zqRegReadBinaryValueEx : ret=(0)"}}));
  size = 1;
  EXPECT_EQ(zqRegReadBinaryValueEx(HKEY_CURRENT_USER, scratch.Path().c_str(), L"Blob", bytes, &size, 0), -2);
  EXPECT_EQ(size, 1u);
}

TEST(RegistryRead, GenericReadWithAndWithoutBuffer) {
  ScratchKey scratch(L"ReadGeneric");
  scratch.SetString(L"", L"Expand", L"%TEMP%", REG_EXPAND_SZ);
  scratch.SetString(L"", L"Name", L"abc");
  ULONGLONG big = 0x1122334455667788ull;
  scratch.SetRaw(L"", L"Big", REG_QWORD, &big, sizeof big);
  scratch.SetDword(L"", L"Small", 9);
  LogCapture log;

  // Without a buffer any stored type is reported, REG_EXPAND_SZ included.
  DWORD type = 0;
  DWORD size = 0;
  EXPECT_EQ(zqRegReadValue(HKEY_CURRENT_USER, scratch.Path().c_str(), L"Expand", &type, nullptr, &size), 0);
  EXPECT_EQ(type, static_cast<DWORD>(REG_EXPAND_SZ));
  EXPECT_EQ(size, 14u);
  EXPECT_EQ(log.Lines(), (Lines{{8, L"zqRegReadValueEx"},
                                {2, L"zqRegReadValueEx : RegQueryValueEx returns type 2"},
                                {2, L"zqRegReadValueEx : RegQueryValueEx returns length 14"},
                                {16, L"zqRegReadValueEx : ret=(0)"}}));

  // With a buffer, type 2 is not handled: -4 without touching the registry.
  log.Clear();
  wchar_t buffer[16] = {};
  EXPECT_EQ(zqRegReadValueEx(HKEY_CURRENT_USER, scratch.Path().c_str(), L"Expand", &type, buffer, &size, 0), -4);
  EXPECT_EQ(log.Lines(), (Lines{{8, L"zqRegReadValueEx"}, {16, L"zqRegReadValueEx : ret=(-4)"}}));
  EXPECT_EQ(buffer[0], L'\0');

  // The caller's type picks the typed read, which logs its own lines inside.
  log.Clear();
  type = REG_SZ;
  size = sizeof buffer;
  EXPECT_EQ(zqRegReadValueEx(HKEY_CURRENT_USER, scratch.Path().c_str(), L"Name", &type, buffer, &size, 0), 0);
  EXPECT_STREQ(buffer, L"abc");
  EXPECT_EQ(log.Texts(), (std::vector<std::wstring>{
                             L"zqRegReadValueEx", L"zqRegReadStringValueExW",
                             L"zqRegReadStringValueExW : RegQueryValueEx returns abc",
                             L"zqRegReadStringValueExW : ret=(0)", L"zqRegReadValueEx : ret=(0)"}));

  // QWORD and DWORD: the buffer is the value, the size is left alone.
  log.Clear();
  ULONGLONG q = 0;
  type = REG_QWORD;
  size = 12345;
  EXPECT_EQ(zqRegReadValueEx(HKEY_CURRENT_USER, scratch.Path().c_str(), L"Big", &type, &q, &size, 0), 0);
  EXPECT_EQ(q, big);
  EXPECT_EQ(size, 12345u);
  EXPECT_EQ(log.Lines()[2], (LogLine{2, L"zqRegReadQWORDValueExW : RegQueryValueEx returns QWORD 1432778632"}));
  DWORD d = 0;
  type = REG_DWORD;
  EXPECT_EQ(zqRegReadValueEx(HKEY_CURRENT_USER, scratch.Path().c_str(), L"Small", &type, &d, &size, 0), 0);
  EXPECT_EQ(d, 9u);
  EXPECT_EQ(size, 12345u);
  // The stored type is checked by the typed read.
  type = REG_QWORD;
  EXPECT_EQ(zqRegReadValueEx(HKEY_CURRENT_USER, scratch.Path().c_str(), L"Small", &type, &q, &size, 0), -4);

  // Failures of the generic read's own open and query.
  log.Clear();
  size = 0;
  EXPECT_EQ(zqRegReadValueEx(HKEY_CURRENT_USER, scratch.Sub(L"No").c_str(), L"Name", &type, nullptr, &size, 0), -1);
  EXPECT_EQ(zqRegReadValueEx(HKEY_CURRENT_USER, scratch.Path().c_str(), L"No", &type, nullptr, &size, 0), -1);
  EXPECT_EQ(size, 0u);
  EXPECT_EQ(log.Texts(), (std::vector<std::wstring>{L"zqRegReadValueEx", L"zqRegReadValueEx : RegOpenKeyEx failed 0x2",
                                                    L"zqRegReadValueEx : ret=(-1)", L"zqRegReadValueEx",
                                                    L"zqRegReadValueEx : RegQueryValueEx fails 0x2",
                                                    L"zqRegReadValueEx : ret=(-1)"}));
}

TEST(RegistryRead, ThousandsOfReadsLeakNoHandle) {
  ScratchKey scratch(L"ReadLeaks");
  scratch.SetDword(L"", L"D", 1);
  scratch.SetString(L"", L"S", L"text");
  uintptr_t before = zqtest::ProbeHandleValue();
  wchar_t buffer[8];
  for (int i = 0; i < 1000; ++i) {
    DWORD value = 0;
    DWORD size = sizeof buffer;
    DWORD type = REG_SZ;
    zqRegReadDWORDValueExW(HKEY_CURRENT_USER, scratch.Path().c_str(), L"D", &value, 0);
    zqRegReadDWORDValueExW(HKEY_CURRENT_USER, scratch.Path().c_str(), L"S", &value, 0);        // wrong type
    zqRegReadStringValueExW(HKEY_CURRENT_USER, scratch.Path().c_str(), L"S", buffer, &size, 0);
    size = 2;
    zqRegReadStringValueExW(HKEY_CURRENT_USER, scratch.Path().c_str(), L"S", buffer, &size, 0);  // too small
    zqRegReadValueEx(HKEY_CURRENT_USER, scratch.Path().c_str(), L"none", &type, nullptr, &size, 0);
    zqRegReadDWORDValueExW(HKEY_CURRENT_USER, scratch.Sub(L"none").c_str(), L"D", &value, 0);    // no key
  }
  EXPECT_EQ(zqtest::ProbeHandleValue(), before);
}

}  // namespace
