// The session's user and domain, and the process token's, against what the
// platform itself answers.
#include <windows.h>
#include <wtsapi32.h>
#include <gtest/gtest.h>

#include <cwchar>

#include "handles.h"
#include "nettest.h"
#include "zqnet.h"

using namespace nettest;
using zqtest::LogCapture;
using zqtest::LogLine;

namespace {

// The lines of the string overload; the narrow one dumps its narrow domain.
Lines OverloadLines(const wchar_t* entry, const void* domain, size_t bytes) {
  return Around(entry,
                {{2, L"GetCurrentUserAndDomain Retrieve username and domain"},
                 {2, BinText(L"GetCurrentUserAndDomain Domain", domain, bytes)}},
                L"GetCurrentUserAndDomain (0)");
}

// The string overloads replace the strings whole; their lines are checked
// inside the buffer functions' lines below.
TEST(CurrentUser, StringOverloadsGiveTheSessionsNames) {
  std::wstring user = L"previous content";
  std::wstring domain = L"previous content";
  EXPECT_EQ(zqNetGetCurrentUserAndDomain(user, domain), 0);
  EXPECT_EQ(user + L"\\" + domain, SessionText(WTSUserName) + L"\\" + SessionText(WTSDomainName));
  std::string userA = "previous content";
  std::string domainA;
  EXPECT_EQ(zqNetGetCurrentUserAndDomain(userA, domainA), 0);
  EXPECT_EQ(userA + "\\" + domainA, SessionTextA(WTSUserName) + "\\" + SessionTextA(WTSDomainName));
  EXPECT_FALSE(user.empty() || domain.empty());
}

TEST(CurrentUser, WideBufferFunctionCountsAndCopies) {
  const std::wstring user = SessionText(WTSUserName);
  const std::wstring domain = SessionText(WTSDomainName);
  const DWORD un = static_cast<DWORD>(user.size() + 1);
  const DWORD dn = static_cast<DWORD>(domain.size() + 1);
  const std::wstring tooSmall = L"zqNetGetCurrentUserAndDomainW Insufficient buffer for ";
  struct Case {
    bool userBuffer;
    DWORD userCount;
    bool domainBuffer;
    DWORD domainCount;
    DWORD status;
    bool userCopied;
    bool domainCopied;
    std::wstring error;
  } const cases[] = {
      {false, 0, false, 0, 0, false, false, L""},  // size query
      {true, un, true, dn, 0, true, true, L""},    // exactly big enough
      // Room for the text but not the terminator: nothing copied.
      {true, un - 1, true, 64, 122, false, false, tooSmall + Format(L"user's name (%d < %d)", un - 1, un)},
      // The user fits, the domain does not: the user stays copied.
      {true, 64, true, dn - 1, 122, true, false, tooSmall + Format(L"user's account domain (%d < %d)", dn - 1, dn)},
      {false, 1, true, 64, 0, false, true, L""},
  };
  for (const Case& c : cases) {
    wchar_t userBuffer[64];
    wchar_t domainBuffer[64];
    std::wmemset(userBuffer, L'#', 64);
    std::wmemset(domainBuffer, L'#', 64);
    DWORD userCount = c.userCount;
    DWORD domainCount = c.domainCount;
    wchar_t* domainArg = c.domainBuffer ? domainBuffer : nullptr;
    LogCapture log;
    EXPECT_EQ(zqNetGetCurrentUserAndDomainW(c.userBuffer ? userBuffer : nullptr, &userCount, domainArg, &domainCount),
              c.status);
    EXPECT_EQ(userCount, un);
    EXPECT_EQ(domainCount, dn);
    EXPECT_EQ(c.userCopied ? std::wstring(userBuffer) : std::wstring(1, userBuffer[0]), c.userCopied ? user : L"#");
    EXPECT_EQ(c.domainCopied ? std::wstring(domainBuffer) : std::wstring(1, domainBuffer[0]),
              c.domainCopied ? domain : L"#");
    Lines expected = Around(Format(L"zqNetGetCurrentUserAndDomainW (%p,%p,%p)", &userCount, domainArg, &domainCount),
                            OverloadLines(L"GetCurrentUserAndDomain", domain.c_str(), domain.size() * 2),
                            Format(L"zqNetGetCurrentUserAndDomainW (%d)", c.status));
    if (!c.error.empty()) expected.insert(expected.end() - 1, {1, c.error});
    EXPECT_EQ(log.Lines(), expected);
  }
}

TEST(CurrentUser, NarrowBufferFunctionCountsBytes) {
  const std::string user = SessionTextA(WTSUserName);
  const std::string domain = SessionTextA(WTSDomainName);
  LogCapture log;
  char userBuffer[64];
  char domainBuffer[64];
  DWORD userCount = 64;
  DWORD domainCount = 64;
  EXPECT_EQ(zqNetGetCurrentUserAndDomainA(userBuffer, &userCount, domainBuffer, &domainCount), 0u);
  EXPECT_EQ(std::string(userBuffer) + "\\" + domainBuffer, user + "\\" + domain);
  EXPECT_EQ(userCount, user.size() + 1);
  EXPECT_EQ(domainCount, domain.size() + 1);
  EXPECT_EQ(log.Lines(),
            Around(Format(L"zqNetGetCurrentUserAndDomainA (%p,%p,%p)", &userCount, domainBuffer, &domainCount),
                   OverloadLines(L"GetCurrentUserAndDomain std::string", domain.c_str(), domain.size()),
                   L"zqNetGetCurrentUserAndDomainA (0)"));
  userCount = static_cast<DWORD>(user.size());
  EXPECT_EQ(zqNetGetCurrentUserAndDomainA(userBuffer, &userCount, domainBuffer, &domainCount), 122u);
  EXPECT_EQ(userCount, user.size() + 1);
}

TEST(CurrentUser, NullCountsAreRejectedFirst) {
  LogCapture log;
  DWORD count = 77;
  wchar_t buffer[8];
  EXPECT_EQ(zqNetGetCurrentUserAndDomainW(buffer, &count, buffer, nullptr), 87u);
  EXPECT_EQ(zqNetGetCurrentUserAndDomainA(nullptr, nullptr, nullptr, &count), 87u);
  EXPECT_EQ(zqNetGetCurrentProcessUserAndDomainW(buffer, nullptr, buffer, &count), 87u);
  EXPECT_EQ(count, 77u);
  auto refused = [](const std::wstring& name, void* a, void* b, void* c) {
    return Around(Format(L"%s (%p,%p,%p)", name.c_str(), a, b, c), {{1, name + L" invalid parameter"}},
                  name + L" (87)");
  };
  const Lines expected = Cat({refused(L"zqNetGetCurrentUserAndDomainW", &count, buffer, nullptr),
                              refused(L"zqNetGetCurrentUserAndDomainA", nullptr, nullptr, &count),
                              refused(L"zqNetGetCurrentProcessUserAndDomainW", nullptr, buffer, &count)});
  EXPECT_EQ(log.Lines(), expected);
}

TEST(CurrentProcessUser, GivesTheTokenUserAndReleasesEverything) {
  const auto [user, domain, sid] = ProcessTokenUser();
  ASSERT_FALSE(user.empty());
  const DWORD un = static_cast<DWORD>(user.size() + 1);
  const DWORD dn = static_cast<DWORD>(domain.size() + 1);
  wchar_t userBuffer[64];
  wchar_t domainBuffer[64];
  DWORD userCount = 64;
  DWORD domainCount = 64;
  // A first call loads what the authority needs for the rest of the process.
  ASSERT_EQ(zqNetGetCurrentProcessUserAndDomainW(userBuffer, &userCount, domainBuffer, &domainCount), 0u);
  const uintptr_t before = zqtest::ProbeHandleValue();
  LogCapture log;
  userCount = domainCount = 64;
  EXPECT_EQ(zqNetGetCurrentProcessUserAndDomainW(userBuffer, &userCount, domainBuffer, &domainCount), 0u);
  EXPECT_EQ(std::wstring(userBuffer) + L"\\" + domainBuffer, user + L"\\" + domain);
  EXPECT_EQ(userCount, un);
  EXPECT_EQ(domainCount, dn);
  EXPECT_EQ(log.Lines(),
            Around(Format(L"zqNetGetCurrentProcessUserAndDomainW (%p,%p,%p)", &userCount, domainBuffer, &domainCount),
                   {}, L"zqNetGetCurrentProcessUserAndDomainW (0)"));

  // A buffer that cannot hold its name and terminator: nothing copied, the
  // counts say what is needed (also with null buffers).
  log.Clear();
  std::wmemset(userBuffer, L'#', 64);
  std::wmemset(domainBuffer, L'#', 64);
  userCount = 64;
  domainCount = dn - 1;
  EXPECT_EQ(zqNetGetCurrentProcessUserAndDomainW(userBuffer, &userCount, domainBuffer, &domainCount), 122u);
  EXPECT_EQ(userCount, un);
  EXPECT_EQ(domainCount, dn);
  EXPECT_EQ(userBuffer[0] + domainBuffer[0], 2 * L'#');
  EXPECT_EQ(log.Lines()[1], (LogLine{1, Format(L"zqNetGetCurrentProcessUserAndDomainW Insufficient buffer "
                                               L"(%d < %d, %d < %d)",
                                               64, un, dn - 1, dn)}));
  userCount = domainCount = 0;
  EXPECT_EQ(zqNetGetCurrentProcessUserAndDomainW(nullptr, &userCount, nullptr, &domainCount), 122u);
  EXPECT_EQ(userCount, un);
  EXPECT_EQ(domainCount, dn);
  // Token, policy and LSA buffers are all gone again.
  EXPECT_EQ(zqtest::ProbeHandleValue(), before);
}

}  // namespace
