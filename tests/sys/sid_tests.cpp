// SIDs: account lookup, text forms against the platform's own conversion,
// and the user of the process token.
#include <gtest/gtest.h>

#include <windows.h>

#include <malloc.h>
#include <sddl.h>

#include <cstring>
#include <random>
#include <string>

#include "handles.h"
#include "logcapture.h"
#include "zqsys.h"

using zqtest::LogCapture;
using zqtest::LogLine;
using Lines = std::vector<LogLine>;

namespace {

constexpr unsigned kFixedStart = 5150;

// A SID in a buffer of the largest size there is, laid out by hand: Wine's
// InitializeSid refuses 15 sub-authorities, which are valid.
struct SidBuffer {
  alignas(DWORD) BYTE bytes[SECURITY_MAX_SID_SIZE] = {};
  SidBuffer(const SID_IDENTIFIER_AUTHORITY& authority, BYTE count, const DWORD* subs) {
    bytes[0] = SID_REVISION;
    bytes[1] = count;
    std::memcpy(bytes + 2, authority.Value, 6);
    std::memcpy(bytes + 8, subs, count * sizeof(DWORD));
  }
  PSID get() { return bytes; }
};

std::wstring Convert(PSID sid) {
  wchar_t text[256];
  DWORD size = sizeof text;
  if (!zqSysConvertSIDW(sid, text, &size)) return L"<failed " + std::to_wstring(GetLastError()) + L">";
  return text;
}

std::string ConvertA(PSID sid) {
  char text[256];
  DWORD size = sizeof text;
  if (!zqSysConvertSIDA(sid, text, &size)) return "<failed " + std::to_string(GetLastError()) + ">";
  return text;
}

// The text by the textbook rule, for SIDs that Wine's own conversion does
// not render: authorities with the top bit set (Wine prints them signed),
// authorities with a non-zero first or second byte and SIDs with 15
// sub-authorities (Wine refuses both with 1337).
std::wstring Reference(const SID_IDENTIFIER_AUTHORITY& a, BYTE count, const DWORD* subs) {
  std::wstring text = L"S-1-";
  if (a.Value[0] || a.Value[1]) {
    static const wchar_t kHex[] = L"0123456789abcdef";
    text += L"0x";
    for (BYTE b : a.Value) {
      text += kHex[b >> 4];
      text += kHex[b & 15];
    }
  } else {
    text += std::to_wstring((DWORD{a.Value[2]} << 24) | (DWORD{a.Value[3]} << 16) | (DWORD{a.Value[4]} << 8) |
                            a.Value[5]);
  }
  for (BYTE i = 0; i < count; ++i) text += L"-" + std::to_wstring(subs[i]);
  return text;
}

std::wstring Platform(PSID sid) {
  wchar_t* text = nullptr;
  if (!ConvertSidToStringSidW(sid, &text)) return L"";
  std::wstring copy(text);
  LocalFree(text);
  return copy;
}

TEST(SidText, GeneratedSidsAgreeWithThePlatform) {
  std::mt19937 generator(kFixedStart);
  int comparedWithPlatform = 0;
  int comparedWithReference = 0;
  for (int i = 0; i < 6000; ++i) {
    SID_IDENTIFIER_AUTHORITY authority = {};
    switch (i % 4) {
      case 0: authority.Value[5] = static_cast<BYTE>(generator() % 19); break;  // the usual small ones
      case 1:  // any 31-bit value
        for (int b = 2; b < 6; ++b) authority.Value[b] = static_cast<BYTE>(generator());
        authority.Value[2] &= 0x7F;
        break;
      case 2:  // the top bit of the 32-bit value set
        for (int b = 2; b < 6; ++b) authority.Value[b] = static_cast<BYTE>(generator());
        authority.Value[2] |= 0x80;
        break;
      default:  // a non-zero first or second byte
        for (BYTE& b : authority.Value) b = static_cast<BYTE>(generator());
        if (!authority.Value[0] && !authority.Value[1]) authority.Value[generator() % 2] = 1;
        break;
    }
    BYTE count = static_cast<BYTE>(generator() % 16);
    DWORD subs[15];
    for (DWORD& sub : subs) sub = generator() % 3 ? generator() : generator() % 1000;
    SidBuffer sid(authority, count, subs);

    std::wstring text = Convert(sid.get());
    std::wstring expected = Reference(authority, count, subs);
    bool platformRenders = (i % 4 == 0 || i % 4 == 1) && count < 15;
    if (platformRenders) {
      expected = Platform(sid.get());
      ASSERT_FALSE(expected.empty());
      ++comparedWithPlatform;
    } else {
      ++comparedWithReference;
    }
    ASSERT_EQ(text, expected) << "SID " << i;
    std::string narrow = ConvertA(sid.get());
    ASSERT_EQ(std::wstring(narrow.begin(), narrow.end()), expected) << "SID " << i;
  }
  EXPECT_GT(comparedWithPlatform, 2500);
  EXPECT_GT(comparedWithReference, 2500);
}

TEST(SidText, SizesAndErrors) {
  const DWORD subs[5] = {21, 1111111111, 2222222222, 3333333333, 500};
  SidBuffer sid({{0, 0, 0, 0, 0, 5}}, 5, subs);
  wchar_t text[128];
  char narrow[128];

  std::wmemset(text, L'#', 128);
  DWORD size = 175;
  SetLastError(0);
  EXPECT_FALSE(zqSysConvertSIDW(sid.get(), text, &size));
  EXPECT_EQ(GetLastError(), 122u);
  EXPECT_EQ(size, 176u);
  EXPECT_EQ(text[0], L'#');
  size = 87;
  EXPECT_FALSE(zqSysConvertSIDA(sid.get(), narrow, &size));
  EXPECT_EQ(GetLastError(), 122u);
  EXPECT_EQ(size, 88u);
  // A null buffer with size 0 asks for the size.
  size = 0;
  EXPECT_FALSE(zqSysConvertSIDW(sid.get(), nullptr, &size));
  EXPECT_EQ(size, 176u);

  // The exact size suffices and is left as it is; so is a larger one.
  size = 176;
  EXPECT_TRUE(zqSysConvertSIDW(sid.get(), text, &size));
  EXPECT_EQ(size, 176u);
  EXPECT_STREQ(text, L"S-1-5-21-1111111111-2222222222-3333333333-500");
  size = 88;
  EXPECT_TRUE(zqSysConvertSIDA(sid.get(), narrow, &size));
  EXPECT_EQ(size, 88u);
  EXPECT_STREQ(narrow, "S-1-5-21-1111111111-2222222222-3333333333-500");
  size = 1000;
  EXPECT_TRUE(zqSysConvertSIDA(sid.get(), narrow, &size));
  EXPECT_EQ(size, 1000u);

  // No sub-authority: 56 and 28 bytes.
  SidBuffer bare({{0, 0, 0, 0, 0, 1}}, 0, nullptr);
  size = 55;
  EXPECT_FALSE(zqSysConvertSIDW(bare.get(), text, &size));
  EXPECT_EQ(size, 56u);
  EXPECT_TRUE(zqSysConvertSIDW(bare.get(), text, &size));
  EXPECT_STREQ(text, L"S-1-1");
  size = 27;
  EXPECT_FALSE(zqSysConvertSIDA(bare.get(), narrow, &size));
  EXPECT_EQ(size, 28u);

  const DWORD system[1] = {18};
  SidBuffer localSystem({{0, 0, 0, 0, 0, 5}}, 1, system);
  EXPECT_EQ(Convert(localSystem.get()), L"S-1-5-18");
  SidBuffer hex({{0x12, 0x34, 0x56, 0x78, 0x9a, 0xbc}}, 1, system);
  EXPECT_EQ(Convert(hex.get()), L"S-1-0x123456789abc-18");
  SidBuffer second({{0, 1, 0, 0, 0, 0}}, 0, nullptr);
  EXPECT_EQ(ConvertA(second.get()), "S-1-0x000100000000");

  // An invalid SID: false, and the last error that the system's check left.
  SidBuffer invalid({{0, 0, 0, 0, 0, 5}}, 1, system);
  invalid.bytes[0] = 2;  // revision
  SetLastError(12345);
  IsValidSid(invalid.get());
  DWORD systemError = GetLastError();
  SetLastError(12345);
  size = 200;
  EXPECT_FALSE(zqSysConvertSIDW(invalid.get(), text, &size));
  EXPECT_EQ(GetLastError(), systemError);
  EXPECT_EQ(size, 200u);
  invalid.bytes[0] = 1;
  invalid.bytes[1] = 16;  // sub-authority count
  EXPECT_FALSE(zqSysConvertSIDA(invalid.get(), narrow, &size));

  // Null arguments fail without a crash.
  EXPECT_FALSE(zqSysConvertSIDW(nullptr, text, &size));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_SID));
  EXPECT_FALSE(zqSysConvertSIDW(sid.get(), text, nullptr));
  EXPECT_EQ(GetLastError(), 87u);
  size = 176;
  EXPECT_FALSE(zqSysConvertSIDW(sid.get(), nullptr, &size));
  EXPECT_EQ(GetLastError(), 87u);

  // The conversions log nothing.
  LogCapture log;
  Convert(sid.get());
  ConvertA(sid.get());
  EXPECT_TRUE(log.Lines().empty());
}

// The current user as the platform knows it: name and domain.
struct Account {
  std::wstring user;
  std::wstring domain;
  std::vector<BYTE> sid;
};

Account CurrentAccount() {
  Account account;
  wchar_t name[256];
  DWORD size = 256;
  EXPECT_TRUE(GetUserNameW(name, &size));
  account.user = name;
  BYTE sid[SECURITY_MAX_SID_SIZE];
  DWORD sidSize = sizeof sid;
  wchar_t domain[256];
  DWORD domainSize = 256;
  SID_NAME_USE use;
  EXPECT_TRUE(LookupAccountNameW(nullptr, name, sid, &sidSize, domain, &domainSize, &use));
  account.domain = domain;
  account.sid.assign(sid, sid + GetLengthSid(sid));
  return account;
}

std::wstring Pointer(const void* value) {
  wchar_t text[32];
  _snwprintf(text, 32, L"%p", value);
  return text;
}

TEST(SidLookup, CurrentUserAndItsLines) {
  Account account = CurrentAccount();
  LogCapture log;
  void* sid = nullptr;
  EXPECT_EQ(zqSysGetUserSIDW(account.user.c_str(), account.domain.c_str(), &sid), 0u);
  ASSERT_NE(sid, nullptr);
  EXPECT_TRUE(EqualSid(sid, account.sid.data()));
  // A block of the runtime heap, of the size that the system asked for.
  EXPECT_EQ(_msize(sid), account.sid.size());
  EXPECT_EQ(log.Lines(),
            (Lines{{8, L"zqSysGetUserSIDW(" + Pointer(account.domain.c_str()) + L"," + Pointer(nullptr) + L")"},
                   {8, L"zqSysGetUserSID(" + account.domain + L"," + Pointer(nullptr) + L")"},
                   {16, L"zqSysGetUserSID (0)"},
                   {16, L"zqSysGetUserSIDW (0)"}}));
  free(sid);

  // The narrow forms, and the overloads.
  std::string user(account.user.begin(), account.user.end());
  std::string domain(account.domain.begin(), account.domain.end());
  log.Clear();
  sid = nullptr;
  EXPECT_EQ(zqSysGetUserSIDA(user.c_str(), domain.c_str(), &sid), 0u);
  ASSERT_NE(sid, nullptr);
  EXPECT_TRUE(EqualSid(sid, account.sid.data()));
  free(sid);
  EXPECT_EQ(log.Lines(),
            (Lines{{8, L"zqSysGetUserSIDA(" + Pointer(domain.c_str()) + L"," + Pointer(nullptr) + L")"},
                   {8, L"zqSysGetUserSID(" + account.domain + L"," + Pointer(nullptr) + L")"},
                   {16, L"zqSysGetUserSID (0)"},
                   {16, L"zqSysGetUserSIDA (0)"}}));
  sid = nullptr;
  EXPECT_EQ(zqSysGetUserSID(account.user, account.domain, sid), 0u);
  EXPECT_TRUE(sid && EqualSid(sid, account.sid.data()));
  free(sid);
  sid = nullptr;
  EXPECT_EQ(zqSysGetUserSID(user, domain, sid), 0u);
  EXPECT_TRUE(sid && EqualSid(sid, account.sid.data()));
  free(sid);

  // The account name is DOMAIN\user: a well-known account by its full name.
  sid = nullptr;
  EXPECT_EQ(zqSysGetUserSID(std::wstring(L"SYSTEM"), std::wstring(L"NT AUTHORITY"), sid), 0u);
  ASSERT_NE(sid, nullptr);
  EXPECT_EQ(Convert(sid), L"S-1-5-18");
  free(sid);
}

TEST(SidLookup, FailuresLeaveTheOldPointerAlone) {
  Account account = CurrentAccount();
  LogCapture log;
  // Not a heap block: freeing or reusing it would crash the test.
  void* const stale = reinterpret_cast<void*>(0x1234);
  void* sid = stale;
  uintptr_t handlesBefore = zqtest::ProbeHandleValue();
  DWORD status = zqSysGetUserSIDW(L"NoSuchUserHere", account.domain.c_str(), &sid);
  EXPECT_EQ(status, static_cast<DWORD>(ERROR_NONE_MAPPED));
  EXPECT_EQ(sid, nullptr);
  EXPECT_EQ(zqtest::ProbeHandleValue(), handlesBefore);
  EXPECT_EQ(log.Lines(),
            (Lines{{8, L"zqSysGetUserSIDW(" + Pointer(account.domain.c_str()) + L"," + Pointer(stale) + L")"},
                   {8, L"zqSysGetUserSID(" + account.domain + L"," + Pointer(stale) + L")"},
                   {1, L"zqSysGetUserSID Unable to lookup for the SID of the account (1332)"},
                   {16, L"zqSysGetUserSID (1332)"},
                   {16, L"zqSysGetUserSIDW (1332)"}}));

  // An empty domain asks the system for \user, whatever it makes of that.
  std::wstring bare = L"\\" + account.user;
  BYTE direct[SECURITY_MAX_SID_SIZE];
  DWORD directSize = 0;
  wchar_t domain[256];
  DWORD domainSize = 0;
  SID_NAME_USE use;
  LookupAccountNameW(nullptr, bare.c_str(), nullptr, &directSize, nullptr, &domainSize, &use);
  DWORD sizeAnswer = GetLastError();
  directSize = sizeof direct;
  domainSize = 256;
  BOOL found = LookupAccountNameW(nullptr, bare.c_str(), direct, &directSize, domain, &domainSize, &use);
  sid = stale;
  status = zqSysGetUserSIDW(account.user.c_str(), L"", &sid);
  if (sizeAnswer == ERROR_INSUFFICIENT_BUFFER && found) {
    EXPECT_EQ(status, 0u);
    ASSERT_NE(sid, nullptr);
    EXPECT_TRUE(EqualSid(sid, direct));
    free(sid);
  } else {
    EXPECT_EQ(status, sizeAnswer);
    EXPECT_EQ(sid, nullptr);
  }

  // The narrow form of the failure.
  std::string domainA(account.domain.begin(), account.domain.end());
  sid = stale;
  EXPECT_EQ(zqSysGetUserSIDA("NoSuchUserHere", domainA.c_str(), &sid), static_cast<DWORD>(ERROR_NONE_MAPPED));
  EXPECT_EQ(sid, nullptr);
}

TEST(SidToken, ProcessTokenUserMatchesTheLookup) {
  Account account = CurrentAccount();
  void* sid = nullptr;
  ASSERT_EQ(zqSysGetUserSIDW(account.user.c_str(), account.domain.c_str(), &sid), 0u);
  std::wstring expected = Convert(sid);
  std::string expectedA = ConvertA(sid);
  free(sid);

  HANDLE token = nullptr;
  ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token));
  LogCapture log;
  wchar_t text[256];
  DWORD size = sizeof text;
  EXPECT_TRUE(zqSysObtainSIDW(token, text, &size));
  EXPECT_EQ(text, expected);
  EXPECT_EQ(size, sizeof text);
  char narrow[256];
  size = sizeof narrow;
  EXPECT_TRUE(zqSysObtainSIDA(token, narrow, &size));
  EXPECT_EQ(narrow, expectedA);

  // Too small: the conversion's rule, the required size stored.
  DWORD subAuthorities = 0;
  for (wchar_t c : expected) subAuthorities += c == L'-';
  subAuthorities -= 2;
  size = 10;
  SetLastError(0);
  EXPECT_FALSE(zqSysObtainSIDW(token, text, &size));
  EXPECT_EQ(GetLastError(), 122u);
  EXPECT_EQ(size, 56 + 24 * subAuthorities);
  size = 10;
  EXPECT_FALSE(zqSysObtainSIDA(token, narrow, &size));
  EXPECT_EQ(size, 28 + 12 * subAuthorities);
  EXPECT_TRUE(log.Lines().empty());

  // The caller's token stays open.
  DWORD flags = 0;
  EXPECT_TRUE(GetHandleInformation(token, &flags));
  CloseHandle(token);

  // A handle that is no token: false with the system's error.
  SetLastError(0);
  size = sizeof text;
  EXPECT_FALSE(zqSysObtainSIDW(nullptr, text, &size));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  EXPECT_FALSE(zqSysObtainSIDA(event, narrow, &size));
  EXPECT_NE(GetLastError(), 0u);
  CloseHandle(event);
}

}  // namespace
