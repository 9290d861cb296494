// UPN translation with the directory's answers that Wine cannot give: a
// successful translation, its size protocol and a dead network, from the test
// doubles of Secur32.dll and sensapi.dll that this program loads.
#include <windows.h>
#include <gtest/gtest.h>

#include "fixedkey.h"
#include "logcapture.h"
#include "netinternal.h"
#include "nettest.h"
#include "zqnet.h"

using namespace nettest;
using zqtest::LogCapture;
using zqtest::LogLine;

namespace {

const wchar_t kSystemCache[] = L"Software\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon\\DomainCache";
const wchar_t kLibraryCache[] = L"SOFTWARE\\Quorvane\\System\\DomainCache";

// Steers the doubles through the process environment for one test.
class Directory {
 public:
  Directory() { Reset(); }
  ~Directory() { Reset(); }
  void Answer(const wchar_t* name) const { SetEnvironmentVariableW(L"ZQTEST_TRANSLATE_ANSWER", name); }
  void Fail(DWORD code) const {
    SetEnvironmentVariableW(L"ZQTEST_TRANSLATE_ERROR", std::to_wstring(code).c_str());
  }
  void NetworkDead(bool dead) const { SetEnvironmentVariableW(L"ZQTEST_NETWORK", dead ? L"dead" : nullptr); }
  // "name|from|to|size" of the last translation, "" when none was made.
  std::wstring TakeCall() const {
    wchar_t call[512] = {};
    GetEnvironmentVariableW(L"ZQTEST_TRANSLATE_CALL", call, 512);
    SetEnvironmentVariableW(L"ZQTEST_TRANSLATE_CALL", nullptr);
    return call;
  }
  static void Reset() {
    for (const wchar_t* name : {L"ZQTEST_TRANSLATE_ANSWER", L"ZQTEST_TRANSLATE_ERROR", L"ZQTEST_TRANSLATE_CALL",
                                L"ZQTEST_NETWORK"}) {
      SetEnvironmentVariableW(name, nullptr);
    }
  }
};

std::wstring FolderOf(HMODULE module) {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(module, path, MAX_PATH);
  std::wstring text = path;
  return text.substr(0, text.rfind(L'\\'));
}

TEST(Doubles, AreTheOnesLoaded) {
  const std::wstring here = FolderOf(nullptr);
  HMODULE sensapi = GetModuleHandleW(L"sensapi.dll");
  ASSERT_NE(sensapi, nullptr);
  EXPECT_EQ(FolderOf(sensapi), here) << "run with WINEDLLOVERRIDES=secur32,sensapi=n,b";
  HMODULE secur32 = LoadLibraryW(L"Secur32.dll");
  ASSERT_NE(secur32, nullptr);
  EXPECT_EQ(FolderOf(secur32), here);
  FreeLibrary(secur32);
}

TEST(DirectoryTranslation, ASuccessIsRecordedInTheLibraryDomainCache) {
  Directory directory;
  AbsentKey noSystemCache(kSystemCache);
  FixedKey cache(kLibraryCache);
  directory.Answer(L"CORP\\jdoe");
  LogCapture log;

  wchar_t buffer[32];
  DWORD count = 32;
  EXPECT_TRUE(zqNetGetUserNameDomainFromUPNW(L"jdoe@corp.example.com", buffer, &count));
  EXPECT_EQ(std::wstring(buffer), L"CORP\\jdoe");
  EXPECT_EQ(count, 10u);
  EXPECT_EQ(directory.TakeCall(), L"jdoe@corp.example.com|8|2|32");
  EXPECT_EQ(cache.GetString(L"corp.example.com"), L"CORP");
  EXPECT_TRUE(log.Lines().empty());
  EXPECT_EQ(GetModuleHandleW(L"secur32.dll"), nullptr) << "Secur32.dll stays loaded";

  // A later answer rewrites the value; one without "\" is stored whole.
  directory.Answer(L"NEWCORP\\jdoe");
  count = 32;
  EXPECT_TRUE(zqNetGetUserNameDomainFromUPNW(L"jdoe@corp.example.com", buffer, &count));
  EXPECT_EQ(cache.GetString(L"corp.example.com"), L"NEWCORP");
  directory.Answer(L"jdoe");
  count = 32;
  EXPECT_TRUE(zqNetGetUserNameDomainFromUPNW(L"jdoe@corp.example.com", buffer, &count));
  EXPECT_EQ(std::wstring(buffer), L"jdoe");
  EXPECT_EQ(count, 5u);
  EXPECT_EQ(cache.GetString(L"corp.example.com"), L"jdoe");

  // A UPN without "@" names the value whole.
  directory.Answer(L"LAB\\x");
  count = 32;
  EXPECT_TRUE(zqNetGetUserNameDomainFromUPNW(L"plainname", buffer, &count));
  EXPECT_EQ(cache.GetString(L"plainname"), L"LAB");

  // Narrow: the narrow translation, a narrow value.
  directory.Answer(L"LAB\\ann");
  char narrow[16];
  count = 16;
  EXPECT_TRUE(zqNetGetUserNameDomainFromUPNA("ann@lab.example.org", narrow, &count));
  EXPECT_STREQ(narrow, "LAB\\ann");
  EXPECT_EQ(count, 8u);
  EXPECT_EQ(directory.TakeCall(), L"A:ann@lab.example.org|8|2|16");
  EXPECT_EQ(cache.GetString(L"lab.example.org"), L"LAB");
  EXPECT_TRUE(log.Lines().empty());

  // What the cache now holds serves the offline road.
  directory.NetworkDead(true);
  count = 32;
  EXPECT_TRUE(zqNetGetUserNameDomainFromUPNW(L"bob@lab.example.org", buffer, &count));
  EXPECT_EQ(std::wstring(buffer), L"LAB\\bob");
  EXPECT_EQ(directory.TakeCall(), L"");
}

TEST(DirectoryTranslation, AMissingCacheKeyOnlyCostsALine) {
  Directory directory;
  AbsentKey noCache(kLibraryCache);
  directory.Answer(L"CORP\\jdoe");
  LogCapture log;
  wchar_t buffer[32];
  DWORD count = 32;
  EXPECT_TRUE(zqNetGetUserNameDomainFromUPNW(L"jdoe@corp.example.com", buffer, &count));
  EXPECT_EQ(std::wstring(buffer), L"CORP\\jdoe");
  char narrow[32];
  count = 32;
  EXPECT_TRUE(zqNetGetUserNameDomainFromUPNA("jdoe@corp.example.com", narrow, &count));
  // The narrow function's line names the wide function too.
  EXPECT_EQ(log.Lines(), (Lines{{1, L"zqNetGetNETBIOSDomainNameFromUPNVistaW Can't open DomainCache key"},
                                {1, L"zqNetGetNETBIOSDomainNameFromUPNVistaW Can't open DomainCache key"}}));
}

TEST(DirectoryTranslation, SizeQueriesAndSmallBuffers) {
  Directory directory;
  FixedKey cache(kLibraryCache);
  directory.Answer(L"CORP\\jdoe");

  // No buffer: the directory's 122 is a successful size query, last error 0.
  DWORD count = 0;
  SetLastError(0xDEAD);
  EXPECT_TRUE(zqNetGetUserNameDomainFromUPNW(L"jdoe@corp.example.com", nullptr, &count));
  EXPECT_EQ(GetLastError(), 0u);
  EXPECT_EQ(count, 10u);
  count = 0;
  EXPECT_TRUE(zqNetGetUserNameDomainFromUPNA("jdoe@corp.example.com", nullptr, &count));
  EXPECT_EQ(count, 10u);

  // A buffer too small: FALSE, 122 and the count needed; nothing recorded.
  wchar_t buffer[32];
  count = 9;
  EXPECT_FALSE(zqNetGetUserNameDomainFromUPNW(L"jdoe@corp.example.com", buffer, &count));
  EXPECT_EQ(GetLastError(), 122u);
  EXPECT_EQ(count, 10u);
  EXPECT_FALSE(cache.GetString(L"corp.example.com").has_value());
}

TEST(DirectoryTranslation, RefusalsAndADeadNetworkTakeTheOfflineRoad) {
  Directory directory;
  AbsentKey noSystemCache(kSystemCache);
  FixedKey cache(kLibraryCache);
  cache.SetString(L"corp.example.com", L"CACHED");
  LogCapture log;

  // The directory refuses with another code: the caches answer, with the caller's capacity.
  directory.Fail(ERROR_NO_SUCH_DOMAIN);
  wchar_t buffer[32];
  DWORD count = 32;
  EXPECT_TRUE(zqNetGetUserNameDomainFromUPNW(L"jdoe@corp.example.com", buffer, &count));
  EXPECT_EQ(std::wstring(buffer), L"CACHED\\jdoe");
  EXPECT_EQ(count, 12u);
  EXPECT_EQ(directory.TakeCall(), L"jdoe@corp.example.com|8|2|32");
  EXPECT_EQ(log.Lines(), (Lines{{8, L"zqNetGetNETBIOSDomainNameFromUPNVistaW"},
                                {16, L"zqNetGetNETBIOSDomainNameFromUPNVistaW (0)"}}));

  // No live network: the directory is not asked, even when it would answer.
  directory.Reset();
  directory.Answer(L"CORP\\jdoe");
  directory.NetworkDead(true);
  count = 32;
  EXPECT_TRUE(zqNetGetUserNameDomainFromUPNW(L"jdoe@corp.example.com", buffer, &count));
  EXPECT_EQ(std::wstring(buffer), L"CACHED\\jdoe");
  EXPECT_EQ(directory.TakeCall(), L"");
  EXPECT_EQ(cache.GetString(L"corp.example.com"), L"CACHED");

  // Dead network, the domain in neither cache: the library cache's 2.
  count = 32;
  EXPECT_FALSE(zqNetGetUserNameDomainFromUPNW(L"jdoe@unknown.example.com", buffer, &count));
  EXPECT_EQ(GetLastError(), 2u);
  count = 0;
  EXPECT_TRUE(zqNetGetUserNameDomainFromUPNA("jdoe@corp.example.com", nullptr, &count));
  EXPECT_EQ(count, 12u);
}

TEST(DirectoryTranslation, ConversionOfAUpnThroughTheDirectory) {
  Directory directory;
  FixedKey cache(kLibraryCache);
  directory.Answer(L"CORP\\jdoe");
  std::wstring user;
  std::wstring domain;
  EXPECT_EQ(zqNetConvertUserIdToNETBIOS(std::wstring(L"jdoe@corp.example.com"), std::wstring(L"X"), user, domain), 0);
  EXPECT_EQ(user, L"jdoe");
  EXPECT_EQ(domain, L"CORP");
  // Translated into the conversion's own 256 characters, counted as 255.
  EXPECT_EQ(directory.TakeCall(), L"jdoe@corp.example.com|8|2|255");

  // An answer longer than that: the translation's 122 is the conversion's status.
  const std::wstring longName = L"CORP\\" + std::wstring(300, L'u');
  directory.Answer(longName.c_str());
  LogCapture log;
  EXPECT_EQ(zqNetConvertUserIdToNETBIOS(std::wstring(L"jdoe@corp.example.com"), std::wstring(L"X"), user, domain),
            122);
  EXPECT_EQ(log.Lines().back(), (LogLine{1, L"zqNetConvertUserIdToNETBIOS UPN Translation failed (122)"}));

  // The narrow conversion asks the narrow translation.
  directory.Answer(L"LAB\\ann");
  char userA[8];
  char domainA[8];
  DWORD userCount = 8;
  DWORD domainCount = 8;
  EXPECT_EQ(zqNetConvertUserIdToNETBIOSA("ann@lab.example.org", "", userA, &userCount, domainA, &domainCount), 0u);
  EXPECT_STREQ(userA, "ann");
  EXPECT_STREQ(domainA, "LAB");
  EXPECT_EQ(directory.TakeCall(), L"A:ann@lab.example.org|8|2|255");
}

}  // namespace
