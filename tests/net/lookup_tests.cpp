// Account SIDs through Wine's local security authority and the user cache,
// and the initial user name from the profile list.
#include <windows.h>
#include <sddl.h>
#include <gtest/gtest.h>

#include "handles.h"
#include "netinternal.h"
#include "nettest.h"

using namespace nettest;
using zqtest::LogCapture;
using zqtest::LogLine;

namespace {

const wchar_t kProfileList[] = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList\\";
// A SID that no account of this machine has.
const wchar_t kGhostSid[] = L"S-1-5-21-1001-2002-3003-4242";

// Hands the SID over to text and frees it as a caller must: HeapFree on the process heap.
std::wstring TakeSid(PSID sid) {
  std::wstring text = SidText(sid);
  EXPECT_EQ(HeapSize(GetProcessHeap(), 0, sid), GetLengthSid(sid));
  EXPECT_TRUE(HeapFree(GetProcessHeap(), 0, sid));
  return text;
}

// A call of a user-cache function: its lines with the given ones in between.
Lines CacheCall(const std::wstring& name, const std::wstring& domain, const Lines& middle = {}) {
  return Around(name, Cat({{{2, name + L" username"}, {2, name + L" domain = " + domain}}, middle}), name);
}

Lines LookupLines(const std::wstring& domain, const Lines& rest) {
  wchar_t computer[256];
  DWORD chars = 256;
  GetComputerNameW(computer, &chars);
  return Around(L"zqNetLookupUserNameW",
                Cat({{{2, L"zqNetLookupUserNameW username"},
                      {2, L"zqNetLookupUserNameW domain = " + domain},
                      {2, L"zqNetLookupUserNameW Computer name \\\\" + std::wstring(computer)}},
                     rest}),
                L"zqNetLookupUserNameW");
}

class AccountLookup : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_FALSE(user_.empty()); }
  const AccountNames token_ = ProcessTokenUser();
  const std::wstring& user_ = token_.user;
  const std::wstring& domain_ = token_.domain;
  const std::wstring& sid_ = token_.sid;
};

TEST_F(AccountLookup, TheAuthorityResolvesTheCurrentUserAndTheCacheRecordsIt) {
  FixedKey cache(kUserCache);
  PSID sid = nullptr;
  ASSERT_TRUE(zqNetLookupUserNameW(user_.c_str(), domain_.c_str(), &sid));  // loads what the authority needs
  TakeSid(sid);
  const uintptr_t handlesBefore = zqtest::ProbeHandleValue();
  LogCapture log;
  // An empty domain: the user alone, for the authority and as the value name.
  // A user name that carries its domain is asked as given and keeps it in the value name.
  const std::wstring qualified = domain_ + L"\\" + user_;
  const struct {
    std::wstring user, domain, valueName;
  } cases[] = {
      {user_, domain_, user_ + L"." + domain_}, {user_, L"", user_}, {qualified, domain_, qualified + L"." + domain_}};
  for (const auto& c : cases) {
    sid = nullptr;
    EXPECT_TRUE(zqNetLookupUserNameW(c.user.c_str(), c.domain.c_str(), &sid));
    EXPECT_EQ(TakeSid(sid), sid_);
    EXPECT_EQ(cache.Get(c.valueName), sid_);
  }
  EXPECT_EQ(Lines(log.Lines().begin(), log.Lines().begin() + 9),
            LookupLines(domain_, CacheCall(L"zqNetAddSidToUserCacheW", domain_)));
  EXPECT_EQ(zqtest::ProbeHandleValue(), handlesBefore);
}

TEST_F(AccountLookup, ANameTheAuthorityCannotTranslateComesFromTheCache) {
  FixedKey cache(kUserCache);
  PSID sid = reinterpret_cast<PSID>(static_cast<uintptr_t>(0x1234));

  // Not cached: the cache's "not found", the SID pointer untouched.
  LogCapture log;
  EXPECT_FALSE(zqNetLookupUserNameW(L"ghost", L"NOWHERE", &sid));
  EXPECT_EQ(GetLastError(), 2u);
  EXPECT_EQ(sid, reinterpret_cast<PSID>(static_cast<uintptr_t>(0x1234)));
  EXPECT_EQ(
      log.Lines(),
      LookupLines(L"NOWHERE",
                  Cat({{{1, L"zqNetLookupUserNameW LsaLookupNames2 failed (1332)"},
                        {2, L"zqNetLookupUserNameW LsaLookupNames2 failed, we'll use the UserCache"}},
                       CacheCall(L"zqNetGetSidFromUserCacheW", L"NOWHERE",
                                 {{1, L"zqNetGetSidFromUserCacheW Can't get buffer size for registry value (2)"}})})));

  // Cached: the SID from the cache, on the process heap.
  cache.Set(L"ghost.NOWHERE", kGhostSid);
  log.Clear();
  sid = nullptr;
  EXPECT_TRUE(zqNetLookupUserNameW(L"ghost", L"NOWHERE", &sid));
  EXPECT_EQ(TakeSid(sid), kGhostSid);
  EXPECT_EQ(log.Lines().end()[-2], (LogLine{16, L"zqNetGetSidFromUserCacheW"}));

  // Written through the library's own cache write, read back equal.
  PSID tokenSid = nullptr;
  ASSERT_TRUE(ConvertStringSidToSidW(sid_.c_str(), &tokenSid));
  EXPECT_TRUE(zqNetAddSidToUserCacheW(L"renamed", L"", tokenSid));
  LocalFree(tokenSid);
  EXPECT_EQ(cache.Get(L"renamed"), sid_);
  sid = nullptr;
  EXPECT_TRUE(zqNetLookupUserNameW(L"renamed", L"", &sid));
  EXPECT_EQ(TakeSid(sid), sid_);

  // Stored text that is not a SID.
  cache.Set(L"broken.NOWHERE", L"not a sid");
  log.Clear();
  sid = nullptr;
  EXPECT_FALSE(zqNetGetSidFromUserCacheW(L"broken", L"NOWHERE", &sid));
  EXPECT_EQ(sid, nullptr);
  EXPECT_EQ(log.Lines(), CacheCall(L"zqNetGetSidFromUserCacheW", L"NOWHERE",
                                   {{1, L"zqNetGetSidFromUserCacheW Can't convert string sid to valid sid"}}));
}

TEST_F(AccountLookup, WithoutTheCacheKeyLookupsStillWorkAndFallbacksFail) {
  FixedKey gone(kUserCache, FixedKey::kAbsent);
  LogCapture log;
  PSID sid = nullptr;
  EXPECT_TRUE(zqNetLookupUserNameW(user_.c_str(), domain_.c_str(), &sid));
  EXPECT_EQ(TakeSid(sid), sid_);
  EXPECT_EQ(log.Lines(), LookupLines(domain_, CacheCall(L"zqNetAddSidToUserCacheW", domain_,
                                                        {{1, L"zqNetAddSidToUserCacheW Can't open UserCache key"}})));
  log.Clear();
  sid = nullptr;
  EXPECT_FALSE(zqNetLookupUserNameW(L"ghost", L"NOWHERE", &sid));
  EXPECT_EQ(GetLastError(), 2u);
  EXPECT_EQ(sid, nullptr);
  EXPECT_EQ(log.Lines().end()[-3],
            (LogLine{1, L"zqNetGetSidFromUserCacheW Can't open registry key SOFTWARE\\Quorvane\\System\\UserCache"}));
}

TEST_F(AccountLookup, BadArguments) {
  FixedKey cache(kUserCache);
  LogCapture log;
  PSID sid = nullptr;
  // An empty name: FALSE without a last error and without asking the authority.
  SetLastError(kUntouched);
  EXPECT_FALSE(zqNetLookupUserNameW(L"", L"CORP", &sid));
  EXPECT_EQ(GetLastError(), kUntouched);
  EXPECT_EQ(log.Lines(), CacheCall(L"zqNetLookupUserNameW", L"CORP"));

  log.Clear();
  EXPECT_FALSE(zqNetLookupUserNameW(nullptr, L"CORP", &sid));
  EXPECT_EQ(GetLastError(), 87u);
  EXPECT_FALSE(zqNetLookupUserNameW(L"jdoe", L"CORP", nullptr));
  EXPECT_EQ(GetLastError(), 87u);
  const Lines refused =
      Around(L"zqNetLookupUserNameW", {{1, L"zqNetLookupUserNameW invalid parameter"}}, L"zqNetLookupUserNameW");
  EXPECT_EQ(log.Lines(), Cat({refused, refused}));

  // A name longer than the authority's counted strings hold is refused whole:
  // cut to 16 bits of length it would be the current user's name.
  log.Clear();
  const std::wstring tooLong = user_ + std::wstring(32768, L'x');
  sid = nullptr;
  EXPECT_FALSE(zqNetLookupUserNameW(tooLong.c_str(), L"", &sid));
  EXPECT_EQ(GetLastError(), 87u);
  EXPECT_EQ(sid, nullptr);
  EXPECT_EQ(log.Lines().end()[-2],
            (LogLine{1, L"zqNetLookupUserNameW account name too long (" + std::to_wstring(tooLong.size()) +
                            L" characters)"}));

  // The cache functions: an empty name or no SID is 87, nothing written.
  log.Clear();
  BYTE anySid[SECURITY_MAX_SID_SIZE] = {1, 1, 0, 0, 0, 0, 0, 5, 18, 0, 0, 0};  // S-1-5-18
  EXPECT_FALSE(zqNetAddSidToUserCacheW(L"", L"CORP", anySid));
  EXPECT_EQ(GetLastError(), 87u);
  EXPECT_FALSE(zqNetAddSidToUserCacheW(L"jdoe", L"CORP", nullptr));
  EXPECT_EQ(GetLastError(), 87u);
  EXPECT_FALSE(zqNetGetSidFromUserCacheW(L"", L"CORP", &sid));
  EXPECT_EQ(GetLastError(), 87u);
  EXPECT_EQ(log.Lines().size(), 12u);
  EXPECT_FALSE(cache.Get(L".CORP").has_value());
  EXPECT_FALSE(cache.Get(L"jdoe.CORP").has_value());
}

class InitialUserName : public AccountLookup {
 protected:
  static constexpr wchar_t kName[] = L"zqNetGetInitialUserNameBeforeRenameW";
  static Lines Start(const std::wstring& domain) {
    return {{8, kName},
            {2, kName + std::wstring(L" current user name")},
            {2, kName + std::wstring(L" domain name = ") + domain}};
  }
  // The call's line before its exit line.
  static LogLine LastDetail(const LogCapture& log) { return log.Lines().end()[-2]; }
};

TEST_F(InitialUserName, TheLastComponentOfTheCurrentUsersProfilePath) {
  FixedKey cache(kUserCache);
  FixedKey profile(kProfileList + sid_);
  profile.Set(L"ProfileImagePath", L"C:\\users\\jdoe");
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
  ASSERT_GT(log.Lines().size(), 7u);
  EXPECT_EQ(Lines(log.Lines().begin(), log.Lines().begin() + 4), Cat({Start(domain_), {{8, L"zqNetLookupUserNameW"}}}));
  EXPECT_EQ(Lines(log.Lines().end() - 3, log.Lines().end()),
            (Lines{{2, kName + std::wstring(L" SID : ") + sid_},
                   {2, kName + std::wstring(L" Initial user name before rename ")},
                   {16, kName}}));
  EXPECT_EQ(zqtest::ProbeHandleValue(), handlesBefore);

  // No buffer, or a count equal to the length: 234 and the count needed.
  for (wchar_t* target : {buffer, static_cast<wchar_t*>(nullptr)}) {
    count = target ? 4 : 32;
    EXPECT_FALSE(zqNetGetInitialUserNameBeforeRenameW(user_.c_str(), domain_.c_str(), target, &count));
    EXPECT_EQ(GetLastError(), 234u);
    EXPECT_EQ(count, 5u);
  }
  // A path ending in "\": an empty name.
  profile.Set(L"ProfileImagePath", L"C:\\users\\");
  count = 32;
  EXPECT_TRUE(zqNetGetInitialUserNameBeforeRenameW(user_.c_str(), L"", buffer, &count));
  EXPECT_EQ(std::wstring(buffer), L"");
  EXPECT_EQ(count, 1u);
}

TEST_F(InitialUserName, MalformedAndUnreadablePaths) {
  // A renamed account: its cached SID leads to a profile made under another name.
  FixedKey cache(kUserCache);
  cache.Set(L"newname.NOWHERE", kGhostSid);
  FixedKey profile(kProfileList + std::wstring(kGhostSid));
  profile.Set(L"ProfileImagePath", L"C:\\Users\\originalname");
  wchar_t buffer[32];
  DWORD count = 32;
  EXPECT_TRUE(zqNetGetInitialUserNameBeforeRenameW(L"newname", L"NOWHERE", buffer, &count));
  EXPECT_EQ(std::wstring(buffer), L"originalname");
  EXPECT_EQ(count, 13u);

  // No "\" at all, or nothing: the invalid-format line, FALSE, no last error;
  // longer than 255 bytes with its terminator: 234.
  const std::wstring invalid = kName + std::wstring(L" invalid format for value 'ProfileImagePath': ");
  const struct {
    std::wstring path;
    DWORD error;
    std::wstring line;
  } cases[] = {
      {L"jdoe", kUntouched, invalid + L"jdoe "},
      {L"", kUntouched, invalid + L" "},
      {L"C:\\" + std::wstring(125, L'x'), 234,
       kName + std::wstring(L" Can't read registry value 'ProfileImagePath' (234)")},
  };
  for (const auto& c : cases) {
    profile.Set(L"ProfileImagePath", c.path);
    LogCapture log;
    SetLastError(kUntouched);
    EXPECT_FALSE(zqNetGetInitialUserNameBeforeRenameW(L"newname", L"NOWHERE", buffer, &count));
    EXPECT_EQ(GetLastError(), c.error);
    EXPECT_EQ(LastDetail(log), (LogLine{1, c.line}));
  }

  // No profile-list entry for the SID.
  profile.Delete(L"ProfileImagePath");
  cache.Set(L"noprofile.NOWHERE", L"S-1-5-21-1001-2002-3003-4343");
  LogCapture log;
  EXPECT_FALSE(zqNetGetInitialUserNameBeforeRenameW(L"noprofile", L"NOWHERE", buffer, &count));
  EXPECT_EQ(GetLastError(), 2u);
  EXPECT_EQ(LastDetail(log), (LogLine{1, kName + std::wstring(L" Can't open registry key ") + kProfileList +
                                             L"S-1-5-21-1001-2002-3003-4343 (2)"}));

  // An account nobody can resolve: the lookup's outcome, no SID line.
  log.Clear();
  EXPECT_FALSE(zqNetGetInitialUserNameBeforeRenameW(L"nobody", L"NOWHERE", buffer, &count));
  EXPECT_EQ(GetLastError(), 2u);
  EXPECT_EQ(LastDetail(log), (LogLine{16, L"zqNetLookupUserNameW"}));
  EXPECT_EQ(log.Lines().back(), (LogLine{16, kName}));

  // Arguments.
  log.Clear();
  EXPECT_FALSE(zqNetGetInitialUserNameBeforeRenameW(L"", L"NOWHERE", buffer, &count));
  EXPECT_EQ(GetLastError(), 87u);
  EXPECT_EQ(log.Lines(), Cat({Start(L"NOWHERE"), {{16, kName}}}));
  EXPECT_FALSE(zqNetGetInitialUserNameBeforeRenameW(L"newname", L"NOWHERE", buffer, nullptr));
  EXPECT_EQ(GetLastError(), 87u);
  EXPECT_EQ(count, 13u);
}

}  // namespace
