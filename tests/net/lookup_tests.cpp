// Account SIDs through Wine's local security authority and the user cache,
// and the initial user name from the profile list.
#include <windows.h>
#include <sddl.h>
#include <gtest/gtest.h>

#include <algorithm>

#include "fixedkey.h"
#include "handles.h"
#include "logcapture.h"
#include "netinternal.h"
#include "nettest.h"
#include "zqnet.h"

using namespace nettest;
using zqtest::LogCapture;
using zqtest::LogLine;

namespace {

const wchar_t kUserCache[] = L"SOFTWARE\\Quorvane\\System\\UserCache";
const wchar_t kProfileList[] = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList\\";
// A SID that no account of this machine has.
const wchar_t kGhostSid[] = L"S-1-5-21-1001-2002-3003-4242";
constexpr DWORD kUntouched = 0xDEAD;

std::wstring ComputerName() {
  wchar_t name[256];
  DWORD chars = 256;
  GetComputerNameW(name, &chars);
  return name;
}

// Hands the SID over to text and frees it as a caller must: HeapFree on the process heap.
std::wstring TakeSid(PSID sid) {
  std::wstring text = SidText(sid);
  EXPECT_EQ(HeapSize(GetProcessHeap(), 0, sid), GetLengthSid(sid));
  EXPECT_TRUE(HeapFree(GetProcessHeap(), 0, sid));
  return text;
}

Lines CacheCallLines(const wchar_t* name, const std::wstring& domain, const Lines& middle = {}) {
  Lines lines = {{8, name}, {2, std::wstring(name) + L" username"}, {2, std::wstring(name) + L" domain = " + domain}};
  lines.insert(lines.end(), middle.begin(), middle.end());
  lines.push_back({16, name});
  return lines;
}

Lines Plus(Lines lines, const Lines& more) {
  lines.insert(lines.end(), more.begin(), more.end());
  return lines;
}

class AccountLookup : public ::testing::Test {
 protected:
  void SetUp() override {
    TokenUserNames(&user_, &domain_);
    ASSERT_FALSE(user_.empty());
    sid_ = TokenUserSidText();
  }
  Lines LookupStart(const std::wstring& domain) const {
    return {{8, L"zqNetLookupUserNameW"},
            {2, L"zqNetLookupUserNameW username"},
            {2, L"zqNetLookupUserNameW domain = " + domain},
            {2, L"zqNetLookupUserNameW Computer name \\\\" + ComputerName()}};
  }
  std::wstring user_;
  std::wstring domain_;
  std::wstring sid_;
};

TEST_F(AccountLookup, TheAuthorityResolvesTheCurrentUserAndTheCacheRecordsIt) {
  FixedKey cache(kUserCache);
  // The platform agrees on the SID of the token's user.
  ASSERT_EQ(AccountSidText(domain_ + L"\\" + user_), sid_);

  PSID sid = nullptr;
  ASSERT_TRUE(zqNetLookupUserNameW(user_.c_str(), domain_.c_str(), &sid));  // loads what the authority needs
  TakeSid(sid);
  const uintptr_t handlesBefore = zqtest::ProbeHandleValue();
  LogCapture log;
  sid = nullptr;
  EXPECT_TRUE(zqNetLookupUserNameW(user_.c_str(), domain_.c_str(), &sid));
  EXPECT_EQ(TakeSid(sid), sid_);
  EXPECT_EQ(cache.GetString(user_ + L"." + domain_), sid_);
  EXPECT_EQ(log.Lines(), Plus(LookupStart(domain_), Plus(CacheCallLines(L"zqNetAddSidToUserCacheW", domain_),
                                                         {{16, L"zqNetLookupUserNameW"}})));
  EXPECT_EQ(zqtest::ProbeHandleValue(), handlesBefore);

  // Empty domain: the user alone, for the authority and as the value name.
  sid = nullptr;
  EXPECT_TRUE(zqNetLookupUserNameW(user_.c_str(), L"", &sid));
  EXPECT_EQ(TakeSid(sid), sid_);
  EXPECT_EQ(cache.GetString(user_), sid_);

  // A user name that carries its domain is asked as given and keeps it in the value name.
  const std::wstring qualified = domain_ + L"\\" + user_;
  sid = nullptr;
  EXPECT_TRUE(zqNetLookupUserNameW(qualified.c_str(), domain_.c_str(), &sid));
  EXPECT_EQ(TakeSid(sid), sid_);
  EXPECT_EQ(cache.GetString(qualified + L"." + domain_), sid_);
  EXPECT_EQ(zqtest::ProbeHandleValue(), handlesBefore);
}

TEST_F(AccountLookup, ANameTheAuthorityCannotTranslateComesFromTheCache) {
  FixedKey cache(kUserCache);
  PSID sid = reinterpret_cast<PSID>(static_cast<uintptr_t>(0x1234));

  // Not cached: the cache's "not found".
  LogCapture log;
  EXPECT_FALSE(zqNetLookupUserNameW(L"ghost", L"NOWHERE", &sid));
  EXPECT_EQ(GetLastError(), 2u);
  EXPECT_EQ(sid, reinterpret_cast<PSID>(static_cast<uintptr_t>(0x1234)));
  EXPECT_EQ(log.Lines(),
            Plus(LookupStart(L"NOWHERE"),
                 Plus({{1, L"zqNetLookupUserNameW LsaLookupNames2 failed (1332)"},
                       {2, L"zqNetLookupUserNameW LsaLookupNames2 failed, we'll use the UserCache"}},
                      Plus(CacheCallLines(L"zqNetGetSidFromUserCacheW", L"NOWHERE",
                                          {{1, L"zqNetGetSidFromUserCacheW Can't get buffer size for registry value "
                                               L"(2)"}}),
                           {{16, L"zqNetLookupUserNameW"}}))));

  // Cached: the SID from the cache, on the process heap.
  cache.SetString(L"ghost.NOWHERE", kGhostSid);
  log.Clear();
  sid = nullptr;
  EXPECT_TRUE(zqNetLookupUserNameW(L"ghost", L"NOWHERE", &sid));
  EXPECT_EQ(TakeSid(sid), kGhostSid);
  EXPECT_EQ(log.Lines()[log.Lines().size() - 2], (LogLine{16, L"zqNetGetSidFromUserCacheW"}));

  // Written through the library's own cache write, read back equal.
  BYTE tokenSid[SECURITY_MAX_SID_SIZE];
  PSID converted = nullptr;
  ASSERT_TRUE(ConvertStringSidToSidW(sid_.c_str(), &converted));
  CopySid(sizeof tokenSid, tokenSid, converted);
  LocalFree(converted);
  EXPECT_TRUE(zqNetAddSidToUserCacheW(L"renamed", L"", tokenSid));
  EXPECT_EQ(cache.GetString(L"renamed"), sid_);
  sid = nullptr;
  EXPECT_TRUE(zqNetLookupUserNameW(L"renamed", L"", &sid));
  EXPECT_EQ(TakeSid(sid), sid_);

  // Stored text that is not a SID.
  cache.SetString(L"broken.NOWHERE", L"not a sid");
  log.Clear();
  sid = nullptr;
  EXPECT_FALSE(zqNetGetSidFromUserCacheW(L"broken", L"NOWHERE", &sid));
  EXPECT_EQ(sid, nullptr);
  EXPECT_EQ(log.Lines(), CacheCallLines(L"zqNetGetSidFromUserCacheW", L"NOWHERE",
                                        {{1, L"zqNetGetSidFromUserCacheW Can't convert string sid to valid sid"}}));
}

TEST_F(AccountLookup, WithoutTheCacheKeyLookupsStillWorkAndFallbacksFail) {
  AbsentKey gone(kUserCache);
  LogCapture log;
  PSID sid = nullptr;
  EXPECT_TRUE(zqNetLookupUserNameW(user_.c_str(), domain_.c_str(), &sid));
  EXPECT_EQ(TakeSid(sid), sid_);
  EXPECT_EQ(log.Lines(), Plus(LookupStart(domain_),
                              Plus(CacheCallLines(L"zqNetAddSidToUserCacheW", domain_,
                                                  {{1, L"zqNetAddSidToUserCacheW Can't open UserCache key"}}),
                                   {{16, L"zqNetLookupUserNameW"}})));

  log.Clear();
  sid = nullptr;
  EXPECT_FALSE(zqNetLookupUserNameW(L"ghost", L"NOWHERE", &sid));
  EXPECT_EQ(GetLastError(), 2u);
  EXPECT_EQ(sid, nullptr);
  EXPECT_NE(std::find(log.Lines().begin(), log.Lines().end(),
                      LogLine{1, L"zqNetGetSidFromUserCacheW Can't open registry key "
                                 L"SOFTWARE\\Quorvane\\System\\UserCache"}),
            log.Lines().end());
}

TEST_F(AccountLookup, BadArguments) {
  FixedKey cache(kUserCache);
  LogCapture log;
  PSID sid = nullptr;

  // An empty name: FALSE without a last error and without asking the authority.
  SetLastError(kUntouched);
  EXPECT_FALSE(zqNetLookupUserNameW(L"", L"CORP", &sid));
  EXPECT_EQ(GetLastError(), kUntouched);
  EXPECT_EQ(log.Lines(), (Lines{{8, L"zqNetLookupUserNameW"},
                                {2, L"zqNetLookupUserNameW username"},
                                {2, L"zqNetLookupUserNameW domain = CORP"},
                                {16, L"zqNetLookupUserNameW"}}));

  log.Clear();
  EXPECT_FALSE(zqNetLookupUserNameW(nullptr, L"CORP", &sid));
  EXPECT_EQ(GetLastError(), 87u);
  EXPECT_FALSE(zqNetLookupUserNameW(L"jdoe", L"CORP", nullptr));
  EXPECT_EQ(GetLastError(), 87u);
  EXPECT_EQ(log.Lines(), (Lines{{8, L"zqNetLookupUserNameW"},
                                {1, L"zqNetLookupUserNameW invalid parameter"},
                                {16, L"zqNetLookupUserNameW"},
                                {8, L"zqNetLookupUserNameW"},
                                {1, L"zqNetLookupUserNameW invalid parameter"},
                                {16, L"zqNetLookupUserNameW"}}));

  // The cache functions: an empty name or no SID is 87.
  log.Clear();
  BYTE anySid[SECURITY_MAX_SID_SIZE] = {1, 1, 0, 0, 0, 0, 0, 5, 18, 0, 0, 0};  // S-1-5-18
  EXPECT_FALSE(zqNetAddSidToUserCacheW(L"", L"CORP", anySid));
  EXPECT_EQ(GetLastError(), 87u);
  EXPECT_FALSE(zqNetAddSidToUserCacheW(L"jdoe", L"CORP", nullptr));
  EXPECT_EQ(GetLastError(), 87u);
  EXPECT_FALSE(zqNetGetSidFromUserCacheW(L"", L"CORP", &sid));
  EXPECT_EQ(GetLastError(), 87u);
  EXPECT_EQ(log.Lines().size(), 12u);
  EXPECT_FALSE(cache.GetString(L".CORP").has_value());
  EXPECT_FALSE(cache.GetString(L"jdoe.CORP").has_value());
}

class InitialUserName : public AccountLookup {
 protected:
  Lines Start(const std::wstring& domain) const {
    return {{8, L"zqNetGetInitialUserNameBeforeRenameW"},
            {2, L"zqNetGetInitialUserNameBeforeRenameW current user name"},
            {2, L"zqNetGetInitialUserNameBeforeRenameW domain name = " + domain}};
  }
};

TEST_F(InitialUserName, TheLastComponentOfTheCurrentUsersProfilePath) {
  FixedKey cache(kUserCache);
  FixedKey profile(kProfileList + sid_);
  profile.SetString(L"ProfileImagePath", L"C:\\users\\jdoe");
  PSID warm = nullptr;
  ASSERT_TRUE(zqNetLookupUserNameW(user_.c_str(), domain_.c_str(), &warm));
  TakeSid(warm);
  const uintptr_t handlesBefore = zqtest::ProbeHandleValue();

  LogCapture log;
  wchar_t buffer[32];
  DWORD count = 32;
  EXPECT_TRUE(zqNetGetInitialUserNameBeforeRenameW(user_.c_str(), domain_.c_str(), buffer, &count));
  EXPECT_EQ(std::wstring(buffer), L"jdoe");
  EXPECT_EQ(count, 5u);
  Lines expected = Start(domain_);
  expected.push_back({8, L"zqNetLookupUserNameW"});
  ASSERT_GT(log.Lines().size(), expected.size() + 3);
  EXPECT_EQ(Lines(log.Lines().begin(), log.Lines().begin() + 4), expected);
  EXPECT_EQ(Lines(log.Lines().end() - 3, log.Lines().end()),
            (Lines{{2, L"zqNetGetInitialUserNameBeforeRenameW SID : " + sid_},
                   {2, L"zqNetGetInitialUserNameBeforeRenameW Initial user name before rename "},
                   {16, L"zqNetGetInitialUserNameBeforeRenameW"}}));
  EXPECT_EQ(zqtest::ProbeHandleValue(), handlesBefore);

  // No buffer, or a count equal to the length: 234 and the count needed.
  count = 4;
  EXPECT_FALSE(zqNetGetInitialUserNameBeforeRenameW(user_.c_str(), domain_.c_str(), buffer, &count));
  EXPECT_EQ(GetLastError(), 234u);
  EXPECT_EQ(count, 5u);
  count = 32;
  EXPECT_FALSE(zqNetGetInitialUserNameBeforeRenameW(user_.c_str(), domain_.c_str(), nullptr, &count));
  EXPECT_EQ(GetLastError(), 234u);
  EXPECT_EQ(count, 5u);

  // A path ending in "\": an empty name.
  profile.SetString(L"ProfileImagePath", L"C:\\users\\");
  count = 32;
  EXPECT_TRUE(zqNetGetInitialUserNameBeforeRenameW(user_.c_str(), L"", buffer, &count));
  EXPECT_EQ(std::wstring(buffer), L"");
  EXPECT_EQ(count, 1u);
}

TEST_F(InitialUserName, MalformedAndUnreadablePaths) {
  // A renamed account: its cached SID leads to a profile made under another name.
  FixedKey cache(kUserCache);
  cache.SetString(L"newname.NOWHERE", kGhostSid);
  FixedKey profile(kProfileList + std::wstring(kGhostSid));
  profile.SetString(L"ProfileImagePath", L"C:\\Users\\originalname");
  LogCapture log;
  wchar_t buffer[32];
  DWORD count = 32;
  EXPECT_TRUE(zqNetGetInitialUserNameBeforeRenameW(L"newname", L"NOWHERE", buffer, &count));
  EXPECT_EQ(std::wstring(buffer), L"originalname");
  EXPECT_EQ(count, 13u);

  // No "\" at all, or nothing: the invalid-format line, FALSE, no last error.
  for (const wchar_t* path : {L"jdoe", L""}) {
    profile.SetString(L"ProfileImagePath", path);
    log.Clear();
    SetLastError(kUntouched);
    EXPECT_FALSE(zqNetGetInitialUserNameBeforeRenameW(L"newname", L"NOWHERE", buffer, &count));
    EXPECT_EQ(GetLastError(), kUntouched);
    EXPECT_EQ(log.Lines()[log.Lines().size() - 2],
              (LogLine{1, std::wstring(L"zqNetGetInitialUserNameBeforeRenameW invalid format for value "
                                       L"'ProfileImagePath': ") +
                              path + L" "}));
  }

  // Longer than 255 bytes with its terminator.
  profile.SetString(L"ProfileImagePath", L"C:\\" + std::wstring(125, L'x'));
  log.Clear();
  EXPECT_FALSE(zqNetGetInitialUserNameBeforeRenameW(L"newname", L"NOWHERE", buffer, &count));
  EXPECT_EQ(GetLastError(), 234u);
  EXPECT_EQ(log.Lines()[log.Lines().size() - 2],
            (LogLine{1, L"zqNetGetInitialUserNameBeforeRenameW Can't read registry value 'ProfileImagePath' (234)"}));

  // No profile-list entry for the SID.
  profile.DeleteValue(L"ProfileImagePath");
  cache.SetString(L"noprofile.NOWHERE", L"S-1-5-21-1001-2002-3003-4343");
  log.Clear();
  EXPECT_FALSE(zqNetGetInitialUserNameBeforeRenameW(L"noprofile", L"NOWHERE", buffer, &count));
  EXPECT_EQ(GetLastError(), 2u);
  EXPECT_EQ(log.Lines()[log.Lines().size() - 2],
            (LogLine{1, std::wstring(L"zqNetGetInitialUserNameBeforeRenameW Can't open registry key ") +
                            kProfileList + L"S-1-5-21-1001-2002-3003-4343 (2)"}));

  // An account nobody can resolve: the lookup's outcome, no SID line.
  log.Clear();
  EXPECT_FALSE(zqNetGetInitialUserNameBeforeRenameW(L"nobody", L"NOWHERE", buffer, &count));
  EXPECT_EQ(GetLastError(), 2u);
  EXPECT_EQ(log.Lines()[log.Lines().size() - 2], (LogLine{16, L"zqNetLookupUserNameW"}));
  EXPECT_EQ(log.Lines().back(), (LogLine{16, L"zqNetGetInitialUserNameBeforeRenameW"}));

  // Arguments.
  log.Clear();
  EXPECT_FALSE(zqNetGetInitialUserNameBeforeRenameW(L"", L"NOWHERE", buffer, &count));
  EXPECT_EQ(GetLastError(), 87u);
  EXPECT_EQ(log.Lines(), Plus(Start(L"NOWHERE"), {{16, L"zqNetGetInitialUserNameBeforeRenameW"}}));
  EXPECT_FALSE(zqNetGetInitialUserNameBeforeRenameW(L"newname", L"NOWHERE", buffer, nullptr));
  EXPECT_EQ(GetLastError(), 87u);
  EXPECT_EQ(count, 13u);
}

}  // namespace
