// UPN translation with the directory's answers that Wine cannot give: a
// successful translation, its size protocol and a dead network, from the test
// doubles of Secur32.dll and sensapi.dll that this program loads.
#include <windows.h>
#include <gtest/gtest.h>

#include "nettest.h"

using namespace nettest;
using zqtest::LogCapture;
using zqtest::LogLine;

namespace {

// Steers the doubles through the process environment for one test.
class Directory {
 public:
  Directory() { Reset(); }
  ~Directory() { Reset(); }
  void Answer(const std::wstring& name) const { SetEnvironmentVariableW(L"ZQTEST_TRANSLATE_ANSWER", name.c_str()); }
  void Fail(DWORD code) const { SetEnvironmentVariableW(L"ZQTEST_TRANSLATE_ERROR", std::to_wstring(code).c_str()); }
  void NetworkDead() const { SetEnvironmentVariableW(L"ZQTEST_NETWORK", L"dead"); }
  // "name|from|to|size" of the last translation, "" when none was made.
  std::wstring TakeCall() const {
    wchar_t call[512] = {};
    GetEnvironmentVariableW(L"ZQTEST_TRANSLATE_CALL", call, 512);
    SetEnvironmentVariableW(L"ZQTEST_TRANSLATE_CALL", nullptr);
    return call;
  }
  static void Reset() {
    for (const wchar_t* name :
         {L"ZQTEST_TRANSLATE_ANSWER", L"ZQTEST_TRANSLATE_ERROR", L"ZQTEST_TRANSLATE_CALL", L"ZQTEST_NETWORK"}) {
      SetEnvironmentVariableW(name, nullptr);
    }
  }
};

TEST(DirectoryTranslation, ASuccessIsRecordedInTheLibraryDomainCache) {
  Directory directory;
  FixedKey noSystemCache(kSystemCache, FixedKey::kAbsent);
  FixedKey cache(kLibraryCache);
  LogCapture log;
  // Each answer writes or rewrites the value named after the DNS domain (the
  // whole UPN without "@"); an answer without "\" is stored whole.
  const struct {
    const wchar_t* answer;
    bool wide;
    const char* upn;
    Result expected;
    const wchar_t* call;
    const wchar_t* value;
    const wchar_t* cached;
  } cases[] = {
      {L"CORP\\jdoe",
       true,
       "jdoe@corp.example.com",
       {TRUE, 0, 10, "CORP\\jdoe|"},
       L"jdoe@corp.example.com|8|2|32",
       L"corp.example.com",
       L"CORP"},
      {L"NEWCORP\\jdoe",
       true,
       "jdoe@corp.example.com",
       {TRUE, 0, 13, "NEWCORP\\jdoe|"},
       L"jdoe@corp.example.com|8|2|32",
       L"corp.example.com",
       L"NEWCORP"},
      {L"jdoe",
       true,
       "jdoe@corp.example.com",
       {TRUE, 0, 5, "jdoe|"},
       L"jdoe@corp.example.com|8|2|32",
       L"corp.example.com",
       L"jdoe"},
      {L"LAB\\x", true, "plainname", {TRUE, 0, 6, "LAB\\x|"}, L"plainname|8|2|32", L"plainname", L"LAB"},
      {L"LAB\\ann",
       false,
       "ann@lab.example.org",
       {TRUE, 0, 8, "LAB\\ann|"},
       L"A:ann@lab.example.org|8|2|32",
       L"lab.example.org",
       L"LAB"},
  };
  for (const auto& c : cases) {
    directory.Answer(c.answer);
    EXPECT_EQ(Upn(c.wide, c.upn, true, 32), c.expected) << c.upn;
    EXPECT_EQ(directory.TakeCall(), c.call);
    EXPECT_EQ(cache.Get(c.value), c.cached);
  }
  EXPECT_TRUE(log.Lines().empty());
  EXPECT_EQ(GetModuleHandleW(L"secur32.dll"), nullptr) << "Secur32.dll stays loaded";

  // What the cache now holds serves the offline road.
  directory.NetworkDead();
  EXPECT_EQ(Upn(true, "bob@lab.example.org", true, 32), (Result{TRUE, 0, 8, "LAB\\bob|"}));
  EXPECT_EQ(directory.TakeCall(), L"");
}

TEST(DirectoryTranslation, AMissingCacheKeyOnlyCostsALine) {
  Directory directory;
  FixedKey noCache(kLibraryCache, FixedKey::kAbsent);
  directory.Answer(L"CORP\\jdoe");
  LogCapture log;
  EXPECT_EQ(Upn(true, "jdoe@corp.example.com", true, 32), (Result{TRUE, 0, 10, "CORP\\jdoe|"}));
  EXPECT_TRUE(Upn(false, "jdoe@corp.example.com", true, 32).ok);
  // The narrow function's line names the wide function too.
  const LogLine line{1, L"zqNetGetNETBIOSDomainNameFromUPNVistaW Can't open DomainCache key"};
  EXPECT_EQ(log.Lines(), (Lines{line, line}));
}

TEST(DirectoryTranslation, SizeQueriesAndSmallBuffers) {
  Directory directory;
  FixedKey cache(kLibraryCache);
  directory.Answer(L"CORP\\jdoe");
  // No buffer: the directory's 122 is a successful size query, last error 0.
  DWORD count = 0;
  SetLastError(kUntouched);
  EXPECT_TRUE(zqNetGetUserNameDomainFromUPNW(L"jdoe@corp.example.com", nullptr, &count));
  EXPECT_EQ(GetLastError(), 0u);
  EXPECT_EQ(count, 10u);
  EXPECT_EQ(Upn(false, "jdoe@corp.example.com", false, 0), (Result{TRUE, 0, 10, ""}));
  // A buffer too small: FALSE, 122 and the count needed; nothing recorded.
  EXPECT_EQ(Upn(true, "jdoe@corp.example.com", true, 9), (Result{FALSE, 122, 10, ""}));
  EXPECT_FALSE(cache.Get(L"corp.example.com").has_value());
}

TEST(DirectoryTranslation, RefusalsAndADeadNetworkTakeTheOfflineRoad) {
  Directory directory;
  FixedKey noSystemCache(kSystemCache, FixedKey::kAbsent);
  FixedKey cache(kLibraryCache);
  cache.Set(L"corp.example.com", L"CACHED");
  LogCapture log;

  // The directory refuses with another code: the caches answer, with the caller's capacity.
  directory.Fail(ERROR_NO_SUCH_DOMAIN);
  EXPECT_EQ(Upn(true, "jdoe@corp.example.com", true, 32), (Result{TRUE, 0, 12, "CACHED\\jdoe|"}));
  EXPECT_EQ(directory.TakeCall(), L"jdoe@corp.example.com|8|2|32");
  EXPECT_EQ(log.Lines(),
            Around(L"zqNetGetNETBIOSDomainNameFromUPNVistaW", {}, L"zqNetGetNETBIOSDomainNameFromUPNVistaW (0)"));

  // No live network: the directory is not asked, even when it would answer.
  directory.Reset();
  directory.Answer(L"CORP\\jdoe");
  directory.NetworkDead();
  EXPECT_EQ(Upn(true, "jdoe@corp.example.com", true, 32), (Result{TRUE, 0, 12, "CACHED\\jdoe|"}));
  EXPECT_EQ(Upn(false, "jdoe@corp.example.com", false, 0), (Result{TRUE, 0, 12, ""}));
  EXPECT_EQ(directory.TakeCall(), L"");
  EXPECT_EQ(cache.Get(L"corp.example.com"), L"CACHED");
  // The domain in neither cache: the library cache's 2.
  EXPECT_EQ(Upn(true, "jdoe@unknown.example.com", true, 32), (Result{FALSE, 2, 32, ""}));
}

TEST(DirectoryTranslation, ConversionOfAUpnThroughTheDirectory) {
  Directory directory;
  FixedKey cache(kLibraryCache);
  directory.Answer(L"CORP\\jdoe");
  std::wstring user;
  std::wstring domain;
  EXPECT_EQ(zqNetConvertUserIdToNETBIOS(L"jdoe@corp.example.com", L"X", user, domain), 0);
  EXPECT_EQ(user + L"|" + domain, L"jdoe|CORP");
  // Translated into the conversion's own 256 characters, counted as 255.
  EXPECT_EQ(directory.TakeCall(), L"jdoe@corp.example.com|8|2|255");

  // An answer longer than that: the translation's 122 is the conversion's status.
  directory.Answer(L"CORP\\" + std::wstring(300, L'u'));
  LogCapture log;
  EXPECT_EQ(zqNetConvertUserIdToNETBIOS(L"jdoe@corp.example.com", L"X", user, domain), 122);
  EXPECT_EQ(log.Lines().back(), (LogLine{1, L"zqNetConvertUserIdToNETBIOS UPN Translation failed (122)"}));

  // The narrow conversion asks the narrow translation.
  directory.Answer(L"LAB\\ann");
  char userA[8];
  char domainA[8];
  DWORD userCount = 8;
  DWORD domainCount = 8;
  EXPECT_EQ(zqNetConvertUserIdToNETBIOSA("ann@lab.example.org", "", userA, &userCount, domainA, &domainCount), 0u);
  EXPECT_EQ(std::string(userA) + "|" + domainA, "ann|LAB");
  EXPECT_EQ(directory.TakeCall(), L"A:ann@lab.example.org|8|2|255");
}

}  // namespace
