// SIDs: account lookup, text forms against the platform's own conversion,
// and the user of the process token.
#include <windows.h>

#include <malloc.h>
#include <sddl.h>

#include <cstring>
#include <random>

#include "handles.h"
#include "systest.h"
#include "zqsys.h"

using namespace systest;
using zqtest::LogCapture;

namespace {

// A SID laid out by hand: Wine's InitializeSid refuses 15 sub-authorities.
struct SidBuffer {
  alignas(DWORD) BYTE bytes[SECURITY_MAX_SID_SIZE] = {};
  SidBuffer(const SID_IDENTIFIER_AUTHORITY& authority, BYTE count, const DWORD* subs) {
    bytes[0] = SID_REVISION;
    bytes[1] = count;
    std::memcpy(bytes + 2, authority.Value, 6);
    if (count) std::memcpy(bytes + 8, subs, count * sizeof(DWORD));
  }
  PSID get() { return bytes; }
};

// Both widths' text, or "<failed N>"; the narrow one widened when they differ.
std::wstring Convert(PSID sid) {
  wchar_t text[256];
  char narrow[256];
  DWORD size = sizeof text, sizeA = sizeof narrow;
  if (!zqSysConvertSIDW(sid, text, &size)) return L"<failed " + std::to_wstring(GetLastError()) + L">";
  if (!zqSysConvertSIDA(sid, narrow, &sizeA)) return L"<A failed " + std::to_wstring(GetLastError()) + L">";
  return Wide(narrow) == text ? Wide(narrow) : L"<A: " + Wide(narrow) + L">";
}

// The textbook rule, for SIDs that Wine's conversion renders otherwise or
// refuses (top bit of the authority set, non-zero first bytes, 15 subs).
std::wstring Reference(const SID_IDENTIFIER_AUTHORITY& a, BYTE count, const DWORD* subs) {
  const BYTE* v = a.Value;
  std::wstring result = v[0] || v[1] ? Format(L"S-1-0x%02x%02x%02x%02x%02x%02x", v[0], v[1], v[2], v[3], v[4], v[5])
                                     : Format(L"S-1-%lu", DWORD{v[2]} << 24 | v[3] << 16 | v[4] << 8 | v[5]);
  for (BYTE i = 0; i < count; ++i) result += L"-" + std::to_wstring(subs[i]);
  return result;
}

std::wstring Platform(PSID sid) {
  wchar_t* text = nullptr;
  if (!ConvertSidToStringSidW(sid, &text)) return L"";
  std::wstring copy(text);
  LocalFree(text);
  return copy;
}

TEST(SidText, GeneratedSidsAgreeWithThePlatform) {
  std::mt19937 generator(5150);  // fixed start value: the same SIDs every run
  int withPlatform = 0;
  for (int i = 0; i < 6000; ++i) {
    SID_IDENTIFIER_AUTHORITY authority = {};
    const int kind = i % 4;  // small; any 31-bit; top bit set; non-zero first or second byte
    if (kind == 0) authority.Value[5] = static_cast<BYTE>(generator() % 19);
    for (int b = kind == 3 ? 0 : 2; kind && b < 6; ++b) authority.Value[b] = static_cast<BYTE>(generator());
    if (kind == 1) authority.Value[2] &= 0x7F;
    if (kind == 2) authority.Value[2] |= 0x80;
    if (kind == 3 && !authority.Value[0] && !authority.Value[1]) authority.Value[generator() % 2] = 1;
    BYTE count = static_cast<BYTE>(generator() % 16);
    DWORD subs[15];
    for (DWORD& sub : subs) sub = generator() % 3 ? generator() : generator() % 1000;
    SidBuffer sid(authority, count, subs);

    std::wstring expected = Reference(authority, count, subs);
    if (kind < 2 && count < 15) {
      expected = Platform(sid.get());
      ASSERT_FALSE(expected.empty());
      ++withPlatform;
    }
    ASSERT_EQ(Convert(sid.get()), expected) << "SID " << i;
  }
  EXPECT_GT(withPlatform, 2500);
}

TEST(SidText, SizesAndErrors) {
  const DWORD subs[5] = {21, 1111111111, 2222222222, 3333333333, 500};
  SidBuffer sid({{0, 0, 0, 0, 0, 5}}, 5, subs), bare({{0, 0, 0, 0, 0, 1}}, 0, nullptr);
  wchar_t text[128];
  char narrow[128];
  // {sid, wide?, buffer?, size in, result, last error, size out}
  struct Case {
    PSID sid;
    bool wide, buffer;
    DWORD size;
    BOOL ok;
    DWORD error, sizeOut;
  } cases[] = {{sid.get(), true, true, 175, FALSE, 122, 176}, {sid.get(), false, true, 87, FALSE, 122, 88},
               {sid.get(), true, false, 0, FALSE, 122, 176},  {sid.get(), true, true, 176, TRUE, 0, 176},
               {sid.get(), false, true, 88, TRUE, 0, 88},     {sid.get(), false, true, 1000, TRUE, 0, 1000},
               {bare.get(), true, true, 55, FALSE, 122, 56},  {bare.get(), true, true, 56, TRUE, 0, 56},
               {bare.get(), false, true, 27, FALSE, 122, 28}, {nullptr, true, true, 200, FALSE, ERROR_INVALID_SID, 200},
               {sid.get(), true, false, 176, FALSE, 87, 176}};
  for (const Case& c : cases) {
    std::wmemset(text, L'#', 128);
    DWORD size = c.size;
    SetLastError(0);
    BOOL ok = c.wide ? zqSysConvertSIDW(c.sid, c.buffer ? text : nullptr, &size)
                     : zqSysConvertSIDA(c.sid, c.buffer ? narrow : nullptr, &size);
    EXPECT_EQ(ok, c.ok) << c.size;
    EXPECT_EQ(size, c.sizeOut) << c.size;
    if (!ok) {
      EXPECT_EQ(GetLastError(), c.error) << c.size;
      EXPECT_EQ(text[0], L'#');
    }
  }
  EXPECT_FALSE(zqSysConvertSIDW(sid.get(), text, nullptr));
  EXPECT_EQ(GetLastError(), 87u);

  EXPECT_EQ(Convert(sid.get()), L"S-1-5-21-1111111111-2222222222-3333333333-500");
  EXPECT_EQ(Convert(bare.get()), L"S-1-1");
  SidBuffer hex({{0x12, 0x34, 0x56, 0x78, 0x9a, 0xbc}}, 1, subs);
  EXPECT_EQ(Convert(hex.get()), L"S-1-0x123456789abc-21");

  // An invalid SID (revision 2, then 16 sub-authorities): the system check's error.
  for (int field : {0, 1}) {
    SidBuffer invalid({{0, 0, 0, 0, 0, 5}}, 1, subs);
    invalid.bytes[field] = field ? 16 : 2;
    SetLastError(12345);
    IsValidSid(invalid.get());
    EXPECT_EQ(Convert(invalid.get()), L"<failed " + std::to_wstring(GetLastError()) + L">");
  }

  LogCapture log;  // the conversions log nothing
  Convert(sid.get());
  EXPECT_TRUE(log.Lines().empty());
}

struct Account {
  std::wstring user, domain;
  std::string userA, domainA;
  std::vector<BYTE> sid;
};

// The current user as the platform knows it.
Account CurrentAccount() {
  Account account;
  wchar_t name[256], domain[256];
  DWORD size = 256, domainSize = 256;
  BYTE sid[SECURITY_MAX_SID_SIZE];
  DWORD sidSize = sizeof sid;
  SID_NAME_USE use;
  EXPECT_TRUE(GetUserNameW(name, &size));
  EXPECT_TRUE(LookupAccountNameW(nullptr, name, sid, &sidSize, domain, &domainSize, &use));
  account.user = name;
  account.domain = domain;
  account.userA.assign(account.user.begin(), account.user.end());
  account.domainA.assign(account.domain.begin(), account.domain.end());
  account.sid.assign(sid, sid + GetLengthSid(sid));
  return account;
}

// The lines of one lookup through an export; a failure adds its error line.
Lines LookupLines(const wchar_t* exported, const void* domainArg, const std::wstring& domain, const void* old,
                  DWORD status) {
  Lines lines{{8, Format(L"%s(%p,%p)", exported, domainArg, old)},
              {8, Format(L"zqSysGetUserSID(%s,%p)", domain.c_str(), old)}};
  if (status)
    lines.push_back({1, Format(L"zqSysGetUserSID Unable to lookup for the SID of the account (%lu)", status)});
  return lines + Lines{{16, Format(L"zqSysGetUserSID (%lu)", status)}, {16, Format(L"%s (%lu)", exported, status)}};
}

TEST(SidLookup, AllFormsAndTheirLines) {
  Account account = CurrentAccount();
  // Not a heap block: freeing or reusing it would crash the test.
  void* const stale = reinterpret_cast<void*>(0x1234);
  LogCapture log;
  uintptr_t handlesBefore = zqtest::ProbeHandleValue();
  void* sid = stale;
  EXPECT_EQ(zqSysGetUserSIDW(account.user.c_str(), account.domain.c_str(), &sid), 0u);
  ASSERT_NE(sid, nullptr);
  EXPECT_TRUE(EqualSid(sid, account.sid.data()));
  EXPECT_EQ(_msize(sid), account.sid.size());  // a runtime heap block of the asked size
  free(sid);
  sid = nullptr;
  EXPECT_EQ(zqSysGetUserSIDA(account.userA.c_str(), account.domainA.c_str(), &sid), 0u);
  EXPECT_TRUE(sid && EqualSid(sid, account.sid.data()));
  free(sid);
  EXPECT_EQ(log.Lines(), LookupLines(L"zqSysGetUserSIDW", account.domain.c_str(), account.domain, stale, 0) +
                             LookupLines(L"zqSysGetUserSIDA", account.domainA.c_str(), account.domain, nullptr, 0));

  // Failure: the pointer is nulled first, the system's code comes back.
  log.Clear();
  sid = stale;
  EXPECT_EQ(zqSysGetUserSIDW(L"NoSuchUserHere", account.domain.c_str(), &sid), DWORD{ERROR_NONE_MAPPED});
  EXPECT_EQ(sid, nullptr);
  EXPECT_EQ(log.Lines(), LookupLines(L"zqSysGetUserSIDW", account.domain.c_str(), account.domain, stale, 1332));
  sid = stale;
  EXPECT_EQ(zqSysGetUserSIDA("NoSuchUserHere", account.domainA.c_str(), &sid), DWORD{ERROR_NONE_MAPPED});
  EXPECT_EQ(sid, nullptr);

  // Null pointers: 87, the SID pointer untouched, entry and exit lines only.
  log.Clear();
  sid = stale;
  EXPECT_EQ(zqSysGetUserSIDW(nullptr, L"d", &sid), DWORD{ERROR_INVALID_PARAMETER});
  EXPECT_EQ(zqSysGetUserSIDW(L"u", nullptr, &sid), DWORD{ERROR_INVALID_PARAMETER});
  EXPECT_EQ(zqSysGetUserSIDA("u", "d", nullptr), DWORD{ERROR_INVALID_PARAMETER});
  EXPECT_EQ(sid, stale);
  ASSERT_EQ(log.Lines().size(), 6u);
  EXPECT_EQ(log.Lines()[5], (zqtest::LogLine{16, L"zqSysGetUserSIDA (87)"}));
  EXPECT_EQ(zqtest::ProbeHandleValue(), handlesBefore);

  // The overloads; the name is DOMAIN\user.
  for (bool wide : {true, false}) {
    sid = nullptr;
    EXPECT_EQ(wide ? zqSysGetUserSID(account.user, account.domain, sid)
                   : zqSysGetUserSID(account.userA, account.domainA, sid),
              0u);
    EXPECT_TRUE(sid && EqualSid(sid, account.sid.data()));
    free(sid);
  }
  sid = nullptr;
  EXPECT_EQ(zqSysGetUserSID(std::wstring(L"SYSTEM"), std::wstring(L"NT AUTHORITY"), sid), 0u);
  EXPECT_EQ(sid ? Convert(sid) : L"", L"S-1-5-18");
  free(sid);

  // An empty domain asks the system for \user, whatever it makes of that.
  std::wstring bare = L"\\" + account.user;
  BYTE direct[SECURITY_MAX_SID_SIZE];
  wchar_t domain[256];
  DWORD directSize = 0, domainSize = 0;
  SID_NAME_USE use;
  LookupAccountNameW(nullptr, bare.c_str(), nullptr, &directSize, nullptr, &domainSize, &use);
  DWORD sizeAnswer = GetLastError();
  directSize = sizeof direct;
  domainSize = 256;
  bool found = LookupAccountNameW(nullptr, bare.c_str(), direct, &directSize, domain, &domainSize, &use);
  sid = stale;
  DWORD status = zqSysGetUserSIDW(account.user.c_str(), L"", &sid);
  bool expectSid = sizeAnswer == ERROR_INSUFFICIENT_BUFFER && found;
  EXPECT_EQ(status, expectSid ? 0u : sizeAnswer);
  EXPECT_EQ(sid != nullptr, expectSid);
  EXPECT_TRUE(!sid || EqualSid(sid, direct));
  free(sid);
}

TEST(SidToken, ProcessTokenUserMatchesTheLookup) {
  Account account = CurrentAccount();
  void* sid = nullptr;
  ASSERT_EQ(zqSysGetUserSIDW(account.user.c_str(), account.domain.c_str(), &sid), 0u);
  const std::wstring expected = Convert(sid);
  free(sid);
  DWORD subAuthorities = -2;
  for (wchar_t c : expected) subAuthorities += c == L'-';

  HANDLE token = nullptr;
  ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token));
  LogCapture log;
  wchar_t text[256];
  char narrow[256];
  DWORD size = sizeof text;
  EXPECT_TRUE(zqSysObtainSIDW(token, text, &size));
  EXPECT_EQ(text, expected);
  EXPECT_EQ(size, sizeof text);
  size = sizeof narrow;
  EXPECT_TRUE(zqSysObtainSIDA(token, narrow, &size));
  EXPECT_EQ(Wide(narrow), expected);
  // Too small: the conversion's rule, the required size stored.
  size = 10;
  SetLastError(0);
  EXPECT_FALSE(zqSysObtainSIDW(token, text, &size));
  EXPECT_EQ(GetLastError(), 122u);
  EXPECT_EQ(size, 56 + 24 * subAuthorities);
  size = 10;
  EXPECT_FALSE(zqSysObtainSIDA(token, narrow, &size));
  EXPECT_EQ(size, 28 + 12 * subAuthorities);
  EXPECT_TRUE(log.Lines().empty());
  DWORD flags = 0;
  EXPECT_TRUE(GetHandleInformation(token, &flags));  // the caller's token stays open
  CloseHandle(token);

  // A handle that is no token: false with the system's error.
  size = sizeof text;
  EXPECT_FALSE(zqSysObtainSIDW(nullptr, text, &size));
  EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_HANDLE});
  HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  SetLastError(0);
  EXPECT_FALSE(zqSysObtainSIDA(event, narrow, &size));
  EXPECT_NE(GetLastError(), 0u);
  CloseHandle(event);
}

}  // namespace
