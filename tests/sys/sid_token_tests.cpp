// SIDs as text and by account, a token's user, and the token queries, against
// Wine's own accounts and tokens.
#include <malloc.h>

#include <cstring>

#include "calls.h"
#include "handles.h"
#include "token.h"
#include "zqsys.h"

using namespace zqtest;

namespace {

// A SID laid out by hand: Wine's InitializeSid refuses 15 sub-authorities.
struct SidBuffer {
  alignas(DWORD) BYTE bytes[SECURITY_MAX_SID_SIZE] = {SID_REVISION};
  SidBuffer(std::initializer_list<BYTE> authority, const std::vector<DWORD>& subs) {
    bytes[1] = static_cast<BYTE>(subs.size());
    std::copy(authority.begin(), authority.end(), bytes + 2);
    std::memcpy(bytes + 8, subs.data(), subs.size() * sizeof(DWORD));
  }
};

// Both widths' text, or "<failed N>"; the narrow one marked when they differ.
std::wstring Convert(PSID sid) {
  wchar_t text[256];
  char narrow[256];
  DWORD size = sizeof text, sizeA = sizeof narrow;
  if (!zqSysConvertSIDW(sid, text, &size) || !zqSysConvertSIDA(sid, narrow, &sizeA)) return L"<failed " + std::to_wstring(GetLastError()) + L">";
  return Wide(narrow) == text ? text : L"<A: " + Wide(narrow) + L">";
}

TEST(SidText, TextsSizesAndErrors) {
  LogCapture log;  // the conversions log nothing
  SidBuffer sid({0, 0, 0, 0, 0, 5}, {21, 1111111111, 2222222222, 3333333333, 500}), bare({0, 0, 0, 0, 0, 1}, {});
  // The authority in decimal, or in hexadecimal when its first two bytes are not zero.
  const struct { SidBuffer sid; std::wstring text; } texts[] = {
      {sid, L"S-1-5-21-1111111111-2222222222-3333333333-500"}, {bare, L"S-1-1"},
      {{{0x12, 0x34, 0x56, 0x78, 0x9a, 0xbc}, {21}}, L"S-1-0x123456789abc-21"},
      {{{0, 1, 0, 0, 0, 0}, {}}, L"S-1-0x000100000000"}, {{{0, 0, 0x80, 0, 0, 1}, {7}}, L"S-1-2147483649-7"},
      {{{0, 0, 0, 0, 0, 5}, std::vector<DWORD>(15, 7)}, L"S-1-5-7-7-7-7-7-7-7-7-7-7-7-7-7-7-7"}};
  for (auto t : texts) EXPECT_EQ(Convert(t.sid.bytes), t.text);
  // An invalid SID (revision 16, or 16 sub-authorities): the system check's error.
  for (int field : {0, 1}) {
    SidBuffer invalid = bare;
    invalid.bytes[field] = 16, SetLastError(12345), IsValidSid(invalid.bytes);
    EXPECT_EQ(Convert(invalid.bytes), L"<failed " + std::to_wstring(GetLastError()) + L">");
  }

  // Sizes in bytes: 56 + 24n (W), 28 + 12n (A) however short the text.
  wchar_t text[128];
  const struct { PSID sid; bool wide, buffer; DWORD size, error, sizeOut; } cases[] = {  // error 0: TRUE
      {sid.bytes, true, true, 175, 122, 176}, {sid.bytes, false, true, 87, 122, 88}, {sid.bytes, true, false, 0, 122, 176},
      {sid.bytes, true, true, 176, 0, 176}, {sid.bytes, false, true, 88, 0, 88}, {sid.bytes, false, true, 1000, 0, 1000},
      {bare.bytes, true, true, 55, 122, 56}, {bare.bytes, false, true, 27, 122, 28},
      {nullptr, true, true, 200, ERROR_INVALID_SID, 200}, {sid.bytes, true, false, 176, 87, 176}};
  for (const auto& c : cases) {
    std::wmemset(text, L'#', 128);
    DWORD size = c.size;
    SetLastError(0);
    void* buffer = c.buffer ? text : nullptr;
    const BOOL ok = c.wide ? zqSysConvertSIDW(c.sid, static_cast<wchar_t*>(buffer), &size)
                           : zqSysConvertSIDA(c.sid, static_cast<char*>(buffer), &size);
    EXPECT_EQ(Format(L"%lu %lu %c", ok ? 0 : GetLastError(), size, text[0]),
              Format(L"%lu %lu %c", c.error, c.sizeOut, ok ? text[0] : L'#')) << c.size;
  }
  EXPECT_FALSE(zqSysConvertSIDW(sid.bytes, text, nullptr));
  EXPECT_EQ(GetLastError(), 87u);
  EXPECT_TRUE(log.Lines().empty());
}

// A lookup through an export: entry, the overload's lines, exit.
Lines Lookup(const wchar_t* exported, const void* domainArg, const wchar_t* domain, const void* old, DWORD status) {
  const Lines failed{{1, Format(L"zqSysGetUserSID Unable to lookup for the SID of the account (%lu)", status)}};
  return Around(Format(L"%s(%p,%p)", exported, domainArg, old),
                Around(Format(L"zqSysGetUserSID(%s,%p)", domain, old), status ? failed : Lines{}, Format(L"zqSysGetUserSID (%lu)", status)),
                Format(L"%s (%lu)", exported, status));
}

TEST(SidLookup, AccountsAndTheUserOfAToken) {
  wchar_t user[256], domain[256];  // the current user as the platform knows it
  BYTE me[SECURITY_MAX_SID_SIZE];
  DWORD size = 256, domainSize = 256, sidSize = sizeof me;
  SID_NAME_USE use;
  ASSERT_TRUE(GetUserNameW(user, &size) && LookupAccountNameW(nullptr, user, me, &sidSize, domain, &domainSize, &use));
  void* const stale = reinterpret_cast<void*>(0x1234);  // not a heap block: freeing it would crash
  void* sid = stale;
  // A calloc block of the SID's size, released by the caller.
  auto Found = [&] { bool same = sid && EqualSid(sid, me) && _msize(sid) == GetLengthSid(me); free(sid); return same; };
  uintptr_t handles = 0;
  RunCases({
      {"probe", [&] { return long(handles = ProbeHandleValue()) * 0; }, 0},
      {"wide", [&] { long s = zqSysGetUserSIDW(user, domain, &sid); EXPECT_TRUE(Found()); return s; }, 0,
       Lookup(L"zqSysGetUserSIDW", domain, domain, stale, 0)},
      {"narrow", [&] { sid = nullptr; long s = zqSysGetUserSIDA(Narrow(user).c_str(), Narrow(domain).c_str(), &sid); EXPECT_TRUE(Found()); return s; }, 0},
      {"unknown", [&] { sid = stale; long s = zqSysGetUserSIDW(L"NoSuchUserHere", domain, &sid); EXPECT_EQ(sid, nullptr); return s; },
       1332, Lookup(L"zqSysGetUserSIDW", domain, domain, stale, 1332)},
      {"null user", [&] { sid = stale; long s = zqSysGetUserSIDW(nullptr, domain, &sid); EXPECT_EQ(sid, stale); return s; }, 87,
       Lines{{8, Format(L"zqSysGetUserSIDW(%p,%p)", domain, stale)}, {16, L"zqSysGetUserSIDW (87)"}}},
      ZQ_CASE(zqSysGetUserSIDA("u", nullptr, &sid), 87,
              Lines{{8, Format(L"zqSysGetUserSIDA(%p,%p)", nullptr, stale)}, {16, L"zqSysGetUserSIDA (87)"}}),
      ZQ_CASE(zqSysGetUserSIDA("u", "d", nullptr), 87),
      {"NT AUTHORITY\\SYSTEM", [&] { long s = zqSysGetUserSIDA("SYSTEM", "NT AUTHORITY", &sid); EXPECT_EQ(Convert(sid), L"S-1-5-18"); free(sid); return s; }, 0},
      {"no handle left open", [&] { return long(ProbeHandleValue() - handles); }, 0},
  });

  // The user of a token as text, with the conversion's rules; nothing logged.
  const DWORD n = *GetSidSubAuthorityCount(me);
  HANDLE token = nullptr;
  ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token));
  LogCapture log;
  wchar_t text[256];
  char narrow[256];
  DWORD sizeW = sizeof text, sizeA = sizeof narrow;
  EXPECT_TRUE(zqSysObtainSIDW(token, text, &sizeW) && zqSysObtainSIDA(token, narrow, &sizeA));
  EXPECT_EQ(text + (L"|" + Wide(narrow)), Convert(me) + L"|" + Convert(me));
  EXPECT_EQ(sizeW + sizeA, sizeof text + sizeof narrow);
  sizeW = sizeA = 10;
  EXPECT_FALSE(zqSysObtainSIDW(token, text, &sizeW) || zqSysObtainSIDA(token, narrow, &sizeA));
  EXPECT_EQ(GetLastError(), 122u);
  EXPECT_EQ(sizeW + sizeA, 56 + 24 * n + 28 + 12 * n);
  EXPECT_TRUE(log.Lines().empty());
  EXPECT_TRUE(CloseHandle(token));  // the caller's token stayed open
  EXPECT_FALSE(zqSysObtainSIDW(nullptr, text, &sizeW));  // no token: the system's error
  EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_HANDLE});
}

// An event is no process, so its token does not open: the thread's token
// answers, and without one the defaults.
TEST(TokenQueries, ProcessTokenThenThreadTokenThenDefaults) {
  HANDLE notAProcess = CreateEventW(nullptr, FALSE, FALSE, nullptr), process = nullptr, token = nullptr;
  ASSERT_FALSE(OpenProcessToken(notAProcess, TOKEN_QUERY, &process));
  const DWORD openError = GetLastError();
  ASSERT_FALSE(OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, &token));
  const DWORD threadError = GetLastError();
  ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token));
  BYTE label[128];
  DWORD container = 0, size = 0;
  ASSERT_TRUE(GetTokenInformation(token, TokenIntegrityLevel, label, sizeof label, &size) &&
              GetTokenInformation(token, TokenIsAppContainer, &container, sizeof container, &size) && !container);
  PSID labelSid = reinterpret_cast<TOKEN_MANDATORY_LABEL*>(label)->Label.Sid;
  const DWORD processLevel = *GetSidSubAuthority(labelSid, *GetSidSubAuthorityCount(labelSid) - 1);
  CloseHandle(token);
  auto Level = [](DWORD level) { return LogLine{16, Format(L"zqGetIntegrityLevel: 0x%x", level)}; };
  auto TryThread = [&](const wchar_t* name) {  // the process token did not open
    return LogLine{2, Format(L"%s OpenProcessToken failed with error code 0x%x : try OpenThreadToken", name, openError)};
  };
  auto NoToken = [&](const wchar_t* name) { return LogLine{1, Format(L"%s: OpenProcessToken failed with error 0x%x", name, threadError)}; };
  const LogLine entry{8, L"zqIsAppContainer"}, no{16, L"zqIsAppContainer: false"};
  uintptr_t handles = 0;
  RunCases({
      {"probe", [&] { return long(handles = ProbeHandleValue()) * 0; }, 0},
      ZQ_CASE(zqGetIntegrityLevel(), long(processLevel), Lines{{8, L"zqGetIntegrityLevel"}, Level(processLevel)}),
      ZQ_CASE(zqIsAppContainer(), false, Lines{entry, no}),
      ZQ_CASE(zq::sys::IntegrityLevelOf(notAProcess), 0x2000,
              Lines{{8, L"zqGetIntegrityLevel"}, TryThread(L"zqGetIntegrityLevel"), NoToken(L"zqGetIntegrityLevel"), Level(0x2000)}),
      ZQ_CASE(zq::sys::AppContainerOf(notAProcess), false, Lines{entry, TryThread(L"zqIsAppContainer"), NoToken(L"zqIsAppContainer"), no}),
      {"no token left open", [&] { return long(ProbeHandleValue() - handles); }, 0},
      // Impersonating a copy of the process token: it answers when the process's does not open.
      {"impersonating", [&] { return long(OpenProcessToken(GetCurrentProcess(), TOKEN_DUPLICATE, &process) &&
          DuplicateTokenEx(process, TOKEN_ALL_ACCESS, nullptr, SecurityImpersonation, TokenImpersonation, &token) && SetThreadToken(nullptr, token)); }, 1},
      ZQ_CASE(zq::sys::IntegrityLevelOf(notAProcess), long(processLevel),
              Lines{{8, L"zqGetIntegrityLevel"}, TryThread(L"zqGetIntegrityLevel"), Level(processLevel)}),
      ZQ_CASE(zq::sys::AppContainerOf(notAProcess), false, Lines{entry, TryThread(L"zqIsAppContainer"), no}),
  });
  RevertToSelf(), CloseHandle(token), CloseHandle(process);
  EXPECT_EQ(ProbeHandleValue(), handles);
  CloseHandle(notAProcess);
}

}  // namespace
