// UPN to SAM-compatible name on the road Wine takes: its directory translation
// fails, so the name is composed from the system's domain cache or the
// library's own, which the tests fill.
#include <gtest/gtest.h>

#include "fixedkey.h"
#include "handles.h"
#include "logcapture.h"
#include "netinternal.h"
#include "nettest.h"
#include "zqnet.h"

using namespace nettest;
using zqtest::LogCapture;

namespace {

const wchar_t kSystemCache[] = L"Software\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon\\DomainCache";
const wchar_t kLibraryCache[] = L"SOFTWARE\\Quorvane\\System\\DomainCache";

// Last error 0xDEAD before each call: a function that sets none keeps it.
constexpr DWORD kUntouched = 0xDEAD;

TEST(SystemDomainCache, FindsTheNetbiosNameOfADnsDomain) {
  FixedKey cache(kSystemCache);
  cache.SetString(L"CORP", L"corp.example.com");
  cache.SetString(L"LAB", L"lab.example.org");
  LogCapture log;

  // Size query: the length without terminator.
  DWORD count = 99;
  EXPECT_TRUE(zqNetGetNETBIOSDomainNameFromUPNW(L"lab.example.org", nullptr, &count));
  EXPECT_EQ(count, 3u);

  // A count equal to the length: the name and its terminator fit (count + 1).
  wchar_t buffer[8];
  std::wmemset(buffer, L'#', 8);
  count = 3;
  EXPECT_TRUE(zqNetGetNETBIOSDomainNameFromUPNW(L"lab.example.org", buffer, &count));
  EXPECT_EQ(std::wstring(buffer), L"LAB");
  EXPECT_EQ(buffer[4], L'#');
  EXPECT_EQ(count, 3u);

  // One less: 122 and the length.
  count = 3;
  EXPECT_TRUE(zqNetGetNETBIOSDomainNameFromUPNW(L"corp.example.com", buffer, &count) == FALSE);
  EXPECT_EQ(GetLastError(), 122u);
  EXPECT_EQ(count, 4u);
  EXPECT_EQ(std::wstring(buffer), L"LAB");

  // The comparison is case-sensitive; no match ends with ERROR_NO_MORE_ITEMS.
  count = 8;
  EXPECT_FALSE(zqNetGetNETBIOSDomainNameFromUPNW(L"LAB.example.org", buffer, &count));
  EXPECT_EQ(GetLastError(), 259u);
  EXPECT_EQ(count, 8u);

  // Narrow: the same in bytes.
  char narrow[8] = {};
  count = 4;
  EXPECT_TRUE(zqNetGetNETBIOSDomainNameFromUPNA("corp.example.com", narrow, &count));
  EXPECT_STREQ(narrow, "CORP");
  EXPECT_EQ(count, 4u);
  count = 2;
  EXPECT_FALSE(zqNetGetNETBIOSDomainNameFromUPNA("lab.example.org", narrow, &count));
  EXPECT_EQ(GetLastError(), 122u);
  EXPECT_EQ(count, 3u);
  EXPECT_FALSE(zqNetGetNETBIOSDomainNameFromUPNA("corp.example", nullptr, &count));
  EXPECT_EQ(GetLastError(), 259u);

  // Missing pointers.
  SetLastError(kUntouched);
  EXPECT_FALSE(zqNetGetNETBIOSDomainNameFromUPNW(nullptr, buffer, &count));
  EXPECT_EQ(GetLastError(), 87u);
  EXPECT_FALSE(zqNetGetNETBIOSDomainNameFromUPNA("corp.example.com", narrow, nullptr));
  EXPECT_EQ(GetLastError(), 87u);

  // These functions write no log line at all.
  EXPECT_TRUE(log.Lines().empty());
}

TEST(SystemDomainCache, AnUnreadableValueEndsTheSearchAndAMissingKeyFails) {
  {
    FixedKey cache(kSystemCache);
    // 300 bytes of data, enumerated before the match.
    std::wstring longData(149, L'x');
    cache.SetString(L"AAA", longData);
    cache.SetString(L"ZZZ", L"zzz.example.com");
    DWORD count = 8;
    wchar_t buffer[8];
    EXPECT_FALSE(zqNetGetNETBIOSDomainNameFromUPNW(L"zzz.example.com", buffer, &count));
    EXPECT_EQ(GetLastError(), 234u);
    // A value name of 255 characters does not fit either.
    cache.DeleteValue(L"AAA");
    cache.SetString(std::wstring(255, L'N'), L"n.example.com");
    EXPECT_FALSE(zqNetGetNETBIOSDomainNameFromUPNA("zzz.example.com", nullptr, &count));
    EXPECT_EQ(GetLastError(), 234u);
  }
  AbsentKey gone(kSystemCache);
  DWORD count = 8;
  EXPECT_FALSE(zqNetGetNETBIOSDomainNameFromUPNW(L"corp.example.com", nullptr, &count));
  EXPECT_EQ(GetLastError(), 2u);
  EXPECT_EQ(count, 8u);
}

TEST(LibraryDomainCache, ReadsTheValueNamedAfterTheDnsDomain) {
  LogCapture log;
  wchar_t buffer[16] = {};
  DWORD bytes = sizeof buffer;
  {
    AbsentKey gone(kLibraryCache);
    EXPECT_FALSE(zqNetGetNETBIOSDomainNameFromUPNVistaW(L"jdoe@corp.example.com", buffer, &bytes));
    EXPECT_EQ(GetLastError(), 2u);
    EXPECT_EQ(log.Lines(), (Lines{{8, L"zqNetGetNETBIOSDomainNameFromUPNVistaW"},
                                  {1, L"zqNetGetNETBIOSDomainNameFromUPNVistaW Can't open registry key "
                                      L"SOFTWARE\\Quorvane\\System\\DomainCache"},
                                  {16, L"zqNetGetNETBIOSDomainNameFromUPNVistaW (2)"}}));
  }
  FixedKey cache(kLibraryCache);
  cache.SetString(L"corp.example.com", L"CORP");

  log.Clear();
  bytes = sizeof buffer;
  EXPECT_TRUE(zqNetGetNETBIOSDomainNameFromUPNVistaW(L"jdoe@corp.example.com", buffer, &bytes));
  EXPECT_EQ(std::wstring(buffer), L"CORP");
  EXPECT_EQ(bytes, 10u);
  EXPECT_EQ(log.Lines(), (Lines{{8, L"zqNetGetNETBIOSDomainNameFromUPNVistaW"},
                                {16, L"zqNetGetNETBIOSDomainNameFromUPNVistaW (0)"}}));

  // Without "@" the whole text is the value name.
  bytes = sizeof buffer;
  EXPECT_TRUE(zqNetGetNETBIOSDomainNameFromUPNVistaW(L"corp.example.com", buffer, &bytes));

  // Too small: 234 and the size the registry wants.
  log.Clear();
  bytes = 6;
  EXPECT_FALSE(zqNetGetNETBIOSDomainNameFromUPNVistaW(L"a@corp.example.com", buffer, &bytes));
  EXPECT_EQ(GetLastError(), 234u);
  EXPECT_EQ(bytes, 10u);
  EXPECT_EQ(log.Lines(), (Lines{{8, L"zqNetGetNETBIOSDomainNameFromUPNVistaW"},
                                {1, L"zqNetGetNETBIOSDomainNameFromUPNVistaW Can't get value of registry key "
                                    L"corp.example.com"},
                                {16, L"zqNetGetNETBIOSDomainNameFromUPNVistaW (234)"}}));

  // Narrow: bytes of narrow text, names logged through %S.
  log.Clear();
  char narrow[16] = {};
  bytes = sizeof narrow;
  EXPECT_TRUE(zqNetGetNETBIOSDomainNameFromUPNVistaA("jdoe@corp.example.com", narrow, &bytes));
  EXPECT_STREQ(narrow, "CORP");
  EXPECT_EQ(bytes, 5u);
  bytes = sizeof narrow;
  EXPECT_FALSE(zqNetGetNETBIOSDomainNameFromUPNVistaA("jdoe@other.example.com", narrow, &bytes));
  EXPECT_EQ(GetLastError(), 2u);
  EXPECT_EQ(log.Lines(), (Lines{{8, L"zqNetGetNETBIOSDomainNameFromUPNVistaA"},
                                {16, L"zqNetGetNETBIOSDomainNameFromUPNVistaA (0)"},
                                {8, L"zqNetGetNETBIOSDomainNameFromUPNVistaA"},
                                {1, L"zqNetGetNETBIOSDomainNameFromUPNVistaA Can't get value of registry key "
                                    L"other.example.com"},
                                {16, L"zqNetGetNETBIOSDomainNameFromUPNVistaA (2)"}}));
}

TEST(UpnTranslation, OfflineFromTheSystemDomainCache) {
  FixedKey system(kSystemCache);
  system.SetString(L"CORP", L"corp.example.com");
  AbsentKey noLibraryCache(kLibraryCache);
  const HMODULE secur32Before = GetModuleHandleW(L"secur32.dll");
  DWORD warmCount = 0;
  zqNetGetUserNameDomainFromUPNW(L"jdoe@corp.example.com", nullptr, &warmCount);
  const uintptr_t handlesBefore = zqtest::ProbeHandleValue();
  LogCapture log;

  // Size query: the count needed with the terminator.
  DWORD count = 0;
  EXPECT_TRUE(zqNetGetUserNameDomainFromUPNW(L"jdoe@corp.example.com", nullptr, &count));
  EXPECT_EQ(count, 10u);

  wchar_t buffer[16];
  std::wmemset(buffer, L'#', 16);
  count = 9;
  EXPECT_FALSE(zqNetGetUserNameDomainFromUPNW(L"jdoe@corp.example.com", buffer, &count));
  EXPECT_EQ(GetLastError(), 122u);
  EXPECT_EQ(count, 10u);
  EXPECT_EQ(buffer[0], L'#');

  count = 10;
  EXPECT_TRUE(zqNetGetUserNameDomainFromUPNW(L"jdoe@corp.example.com", buffer, &count));
  EXPECT_EQ(std::wstring(buffer), L"CORP\\jdoe");
  EXPECT_EQ(count, 10u);

  char narrow[16] = {};
  count = 16;
  EXPECT_TRUE(zqNetGetUserNameDomainFromUPNA("mary@corp.example.com", narrow, &count));
  EXPECT_STREQ(narrow, "CORP\\mary");
  EXPECT_EQ(count, 10u);

  // Found in the system cache: not a line, and Secur32.dll is released again.
  EXPECT_TRUE(log.Lines().empty());
  EXPECT_EQ(GetModuleHandleW(L"secur32.dll"), secur32Before);
  // Every key is closed again, the system cache's and the library cache's.
  count = 16;
  EXPECT_FALSE(zqNetGetUserNameDomainFromUPNW(L"jdoe@other.example.com", buffer, &count));
  EXPECT_EQ(zqtest::ProbeHandleValue(), handlesBefore);
}

TEST(UpnTranslation, OfflineFromTheLibraryDomainCacheOrNowhere) {
  AbsentKey noSystemCache(kSystemCache);
  LogCapture log;
  wchar_t buffer[32];
  DWORD count = 32;
  {
    FixedKey library(kLibraryCache);
    library.SetString(L"lab.example.org", L"LAB");
    EXPECT_TRUE(zqNetGetUserNameDomainFromUPNW(L"j.doe@lab.example.org", buffer, &count));
    EXPECT_EQ(std::wstring(buffer), L"LAB\\j.doe");
    EXPECT_EQ(count, 10u);
    EXPECT_EQ(log.Lines(), (Lines{{8, L"zqNetGetNETBIOSDomainNameFromUPNVistaW"},
                                  {16, L"zqNetGetNETBIOSDomainNameFromUPNVistaW (0)"}}));

    // Not cached anywhere: the library cache's 2.
    log.Clear();
    count = 32;
    EXPECT_FALSE(zqNetGetUserNameDomainFromUPNW(L"jdoe@elsewhere.example.org", buffer, &count));
    EXPECT_EQ(GetLastError(), 2u);
    EXPECT_EQ(count, 32u);
    EXPECT_EQ(log.Lines()[1], (zqtest::LogLine{1, L"zqNetGetNETBIOSDomainNameFromUPNVistaW Can't get value of "
                                                  L"registry key elsewhere.example.org"}));

    char narrow[32];
    count = 32;
    EXPECT_TRUE(zqNetGetUserNameDomainFromUPNA("ann@lab.example.org", narrow, &count));
    EXPECT_STREQ(narrow, "LAB\\ann");
    EXPECT_EQ(count, 8u);
  }
  // Neither cache exists.
  count = 32;
  EXPECT_FALSE(zqNetGetUserNameDomainFromUPNW(L"jdoe@lab.example.org", buffer, &count));
  EXPECT_EQ(GetLastError(), 2u);

  // Arguments: no count, no UPN, no "@" on the offline road.
  log.Clear();
  EXPECT_FALSE(zqNetGetUserNameDomainFromUPNW(L"jdoe@lab.example.org", buffer, nullptr));
  EXPECT_EQ(GetLastError(), 87u);
  EXPECT_FALSE(zqNetGetUserNameDomainFromUPNA(nullptr, nullptr, &count));
  EXPECT_EQ(GetLastError(), 87u);
  EXPECT_TRUE(log.Lines().empty());
  EXPECT_FALSE(zqNetGetUserNameDomainFromUPNW(L"jdoe", buffer, &count));
  EXPECT_EQ(GetLastError(), 87u);
  EXPECT_EQ(count, 32u);
}

}  // namespace
