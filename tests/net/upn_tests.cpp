// UPN to SAM-compatible name on the road Wine takes: its directory translation
// fails, so the name is composed from the system's domain cache or the
// library's own, which the tests fill.
#include <gtest/gtest.h>

#include "handles.h"
#include "netinternal.h"
#include "nettest.h"

using namespace nettest;
using zqtest::LogCapture;
using zqtest::LogLine;

namespace {

Result Netbios(bool useWide, const char* dns, bool buffer, DWORD count) {
  return CallText(zqNetGetNETBIOSDomainNameFromUPNW, zqNetGetNETBIOSDomainNameFromUPNA, useWide, dns, buffer, count);
}

struct Case {
  bool wide;
  const char* arg;
  bool buffer;
  DWORD count;
  Result expected;
};

TEST(SystemDomainCache, FindsTheNetbiosNameOfADnsDomain) {
  FixedKey cache(kSystemCache);
  cache.Set(L"CORP", L"corp.example.com");
  cache.Set(L"LAB", L"lab.example.org");
  LogCapture log;
  // Counts here leave the terminator out: a count equal to the length fits.
  const Case cases[] = {
      {true, "lab.example.org", false, 99, {TRUE, 0, 3, ""}},
      {true, "lab.example.org", true, 3, {TRUE, 0, 3, "LAB|"}},
      {true, "corp.example.com", true, 3, {FALSE, 122, 4, ""}},
      {true, "LAB.example.org", true, 8, {FALSE, 259, 8, ""}},  // case-sensitive
      {false, "corp.example.com", true, 4, {TRUE, 0, 4, "CORP|"}},
      {false, "lab.example.org", true, 2, {FALSE, 122, 3, ""}},
      {false, "corp.example", false, 8, {FALSE, 259, 8, ""}},
      {true, nullptr, true, 8, {FALSE, 87, 8, ""}},
  };
  for (const Case& c : cases)
    EXPECT_EQ(Netbios(c.wide, c.arg, c.buffer, c.count), c.expected) << (c.arg ? c.arg : "null");
  char narrow[8];
  EXPECT_FALSE(zqNetGetNETBIOSDomainNameFromUPNA("corp.example.com", narrow, nullptr));
  EXPECT_EQ(GetLastError(), 87u);
  EXPECT_TRUE(log.Lines().empty());
}

TEST(SystemDomainCache, AnUnreadableValueEndsTheSearchAndAMissingKeyFails) {
  {
    FixedKey cache(kSystemCache);
    cache.Set(L"AAA", std::wstring(149, L'x'));  // 300 bytes of data, enumerated before the match
    cache.Set(L"ZZZ", L"zzz.example.com");
    EXPECT_EQ(Netbios(true, "zzz.example.com", true, 8).error, 234u);
    // A value name of 255 characters does not fit either.
    cache.Delete(L"AAA");
    cache.Set(std::wstring(255, L'N'), L"n.example.com");
    EXPECT_EQ(Netbios(false, "zzz.example.com", false, 8).error, 234u);
  }
  FixedKey gone(kSystemCache, FixedKey::kAbsent);
  EXPECT_EQ(Netbios(true, "corp.example.com", false, 8), (Result{FALSE, 2, 8, ""}));
}

TEST(LibraryDomainCache, ReadsTheValueNamedAfterTheDnsDomain) {
  // Counts are bytes here; the lines name the function and its outcome.
  auto lines = [](bool wide, DWORD status, const std::wstring& error) {
    const std::wstring name =
        wide ? L"zqNetGetNETBIOSDomainNameFromUPNVistaW" : L"zqNetGetNETBIOSDomainNameFromUPNVistaA";
    return Around(name, error.empty() ? Lines{} : Lines{{1, name + L" " + error}},
                  Format(L"%s (%d)", name.c_str(), status));
  };
  auto call = [](const Case& c) {
    return CallText(zqNetGetNETBIOSDomainNameFromUPNVistaW, zqNetGetNETBIOSDomainNameFromUPNVistaA, c.wide, c.arg,
                    c.buffer, c.count);
  };
  {
    FixedKey gone(kLibraryCache, FixedKey::kAbsent);
    LogCapture log;
    EXPECT_EQ(call({true, "jdoe@corp.example.com", true, 32, {}}).error, 2u);
    EXPECT_EQ(log.Lines(), lines(true, 2, L"Can't open registry key SOFTWARE\\Quorvane\\System\\DomainCache"));
  }
  FixedKey cache(kLibraryCache);
  cache.Set(L"corp.example.com", L"CORP");
  const struct {
    Case call;
    std::wstring error;
  } cases[] = {
      {{true, "jdoe@corp.example.com", true, 32, {TRUE, 0, 10, "CORP|"}}, L""},
      {{true, "corp.example.com", true, 32, {TRUE, 0, 10, "CORP|"}}, L""},  // without "@": the whole text
      {{true, "a@corp.example.com", true, 6, {FALSE, 234, 10, ""}},
       L"Can't get value of registry key corp.example.com"},
      {{false, "jdoe@corp.example.com", true, 32, {TRUE, 0, 5, "CORP|"}}, L""},
      {{false, "jdoe@other.example.com", true, 32, {FALSE, 2, 32, ""}},
       L"Can't get value of registry key other.example.com"},
  };
  for (const auto& c : cases) {
    LogCapture log;
    EXPECT_EQ(call(c.call), c.call.expected) << c.call.arg;
    EXPECT_EQ(log.Lines(), lines(c.call.wide, c.call.expected.error, c.error));
  }
}

TEST(UpnTranslation, OfflineFromTheSystemDomainCache) {
  FixedKey system(kSystemCache);
  system.Set(L"CORP", L"corp.example.com");
  FixedKey noLibraryCache(kLibraryCache, FixedKey::kAbsent);
  const HMODULE secur32Before = GetModuleHandleW(L"secur32.dll");
  Upn(true, "jdoe@corp.example.com", false, 0);
  const uintptr_t handlesBefore = zqtest::ProbeHandleValue();
  LogCapture log;
  // Counts include the terminator.
  const Case cases[] = {
      {true, "jdoe@corp.example.com", false, 0, {TRUE, 0, 10, ""}},
      {true, "jdoe@corp.example.com", true, 9, {FALSE, 122, 10, ""}},
      {true, "jdoe@corp.example.com", true, 10, {TRUE, 0, 10, "CORP\\jdoe|"}},
      {false, "mary@corp.example.com", true, 16, {TRUE, 0, 10, "CORP\\mary|"}},
  };
  for (const Case& c : cases) EXPECT_EQ(Upn(c.wide, c.arg, c.buffer, c.count), c.expected) << (c.arg ? c.arg : "null");
  // Found in the system cache: not a line, and Secur32.dll is released again.
  EXPECT_TRUE(log.Lines().empty());
  EXPECT_EQ(GetModuleHandleW(L"secur32.dll"), secur32Before);
  // Every key is closed again, the system cache's and the library cache's.
  EXPECT_FALSE(Upn(true, "jdoe@other.example.com", true, 16).ok);
  EXPECT_EQ(zqtest::ProbeHandleValue(), handlesBefore);

  // Both caches know the domain: the system's answer comes first.
  FixedKey library(kLibraryCache);
  library.Set(L"corp.example.com", L"OTHER");
  EXPECT_EQ(Upn(true, "jdoe@corp.example.com", true, 16), (Result{TRUE, 0, 10, "CORP\\jdoe|"}));
}

TEST(UpnTranslation, OfflineFromTheLibraryDomainCacheOrNowhere) {
  FixedKey noSystemCache(kSystemCache, FixedKey::kAbsent);
  {
    FixedKey library(kLibraryCache);
    library.Set(L"lab.example.org", L"LAB");
    LogCapture log;
    EXPECT_EQ(Upn(true, "j.doe@lab.example.org", true, 32), (Result{TRUE, 0, 10, "LAB\\j.doe|"}));
    EXPECT_EQ(log.Lines(),
              Around(L"zqNetGetNETBIOSDomainNameFromUPNVistaW", {}, L"zqNetGetNETBIOSDomainNameFromUPNVistaW (0)"));
    // Not cached anywhere: the library cache's 2.
    log.Clear();
    EXPECT_EQ(Upn(true, "jdoe@elsewhere.example.org", true, 32), (Result{FALSE, 2, 32, ""}));
    EXPECT_EQ(log.Lines()[1], (LogLine{1,
                                       L"zqNetGetNETBIOSDomainNameFromUPNVistaW Can't get value of "
                                       L"registry key elsewhere.example.org"}));
    EXPECT_EQ(Upn(false, "ann@lab.example.org", true, 32), (Result{TRUE, 0, 8, "LAB\\ann|"}));
  }
  // Bad arguments are refused without a line; so is a UPN without "@" on the offline road.
  LogCapture log;
  EXPECT_EQ(Upn(false, nullptr, false, 32), (Result{FALSE, 87, 32, ""}));
  wchar_t buffer[8];
  EXPECT_FALSE(zqNetGetUserNameDomainFromUPNW(L"jdoe@lab.example.org", buffer, nullptr));
  EXPECT_EQ(GetLastError(), 87u);
  EXPECT_TRUE(log.Lines().empty());
  EXPECT_EQ(Upn(true, "jdoe", true, 32), (Result{FALSE, 87, 32, ""}));
  // Neither cache exists.
  EXPECT_EQ(Upn(true, "jdoe@lab.example.org", true, 32), (Result{FALSE, 2, 32, ""}));
}

}  // namespace
