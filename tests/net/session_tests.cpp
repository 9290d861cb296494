// The session's user and domain, and the process token's, against what the
// platform itself answers.
#include <windows.h>
#include <wtsapi32.h>
#include <gtest/gtest.h>

#include <cstring>

#include "handles.h"
#include "logcapture.h"
#include "nettest.h"
#include "zqnet.h"

using namespace nettest;
using zqtest::LogCapture;

namespace {

// The lines of the wide string overload on success.
Lines OverloadLines(const std::wstring& domain) {
  return {{8, L"GetCurrentUserAndDomain"},
          {2, L"GetCurrentUserAndDomain Retrieve username and domain"},
          {2, BinText(L"GetCurrentUserAndDomain Domain", domain.c_str(), domain.size() * sizeof(wchar_t))},
          {16, L"GetCurrentUserAndDomain (0)"}};
}

Lines Joined(Lines first, const Lines& second) {
  first.insert(first.end(), second.begin(), second.end());
  return first;
}

TEST(CurrentUser, StringOverloadsGiveTheSessionsNames) {
  const std::wstring user = SessionText(WTSUserName);
  const std::wstring domain = SessionText(WTSDomainName);
  ASSERT_FALSE(user.empty());
  ASSERT_FALSE(domain.empty());

  LogCapture log;
  std::wstring gotUser = L"previous content";
  std::wstring gotDomain = L"previous content";
  EXPECT_EQ(zqNetGetCurrentUserAndDomain(gotUser, gotDomain), 0);
  EXPECT_EQ(gotUser, user);
  EXPECT_EQ(gotDomain, domain);
  EXPECT_EQ(log.Lines(), OverloadLines(domain));

  // Narrow: the system's narrow text, its dump as many bytes as characters.
  const std::string userA = SessionTextA(WTSUserName);
  const std::string domainA = SessionTextA(WTSDomainName);
  log.Clear();
  std::string gotUserA = "previous content";
  std::string gotDomainA;
  EXPECT_EQ(zqNetGetCurrentUserAndDomain(gotUserA, gotDomainA), 0);
  EXPECT_EQ(gotUserA, userA);
  EXPECT_EQ(gotDomainA, domainA);
  EXPECT_EQ(log.Lines(), (Lines{{8, L"GetCurrentUserAndDomain std::string"},
                                {2, L"GetCurrentUserAndDomain Retrieve username and domain"},
                                {2, BinText(L"GetCurrentUserAndDomain Domain", domainA.c_str(), domainA.size())},
                                {16, L"GetCurrentUserAndDomain (0)"}}));
}

TEST(CurrentUser, WideBufferFunctionCountsAndCopies) {
  const std::wstring user = SessionText(WTSUserName);
  const std::wstring domain = SessionText(WTSDomainName);
  const DWORD userNeeded = static_cast<DWORD>(user.size() + 1);
  const DWORD domainNeeded = static_cast<DWORD>(domain.size() + 1);
  LogCapture log;

  // Size query.
  DWORD userCount = 0;
  DWORD domainCount = 0;
  EXPECT_EQ(zqNetGetCurrentUserAndDomainW(nullptr, &userCount, nullptr, &domainCount), 0u);
  EXPECT_EQ(userCount, userNeeded);
  EXPECT_EQ(domainCount, domainNeeded);
  EXPECT_EQ(log.Lines(),
            Joined(Joined({{8, Format(L"zqNetGetCurrentUserAndDomainW (%p,%p,%p)", &userCount, nullptr, &domainCount)}},
                          OverloadLines(domain)),
                   {{16, L"zqNetGetCurrentUserAndDomainW (0)"}}));

  // Both buffers exactly big enough.
  wchar_t userBuffer[64];
  wchar_t domainBuffer[64];
  userCount = userNeeded;
  domainCount = domainNeeded;
  EXPECT_EQ(zqNetGetCurrentUserAndDomainW(userBuffer, &userCount, domainBuffer, &domainCount), 0u);
  EXPECT_EQ(std::wstring(userBuffer), user);
  EXPECT_EQ(std::wstring(domainBuffer), domain);
  EXPECT_EQ(userCount, userNeeded);
  EXPECT_EQ(domainCount, domainNeeded);

  // Room for the user's text but not its terminator: nothing copied, both counts set.
  log.Clear();
  std::wmemset(userBuffer, L'#', 64);
  std::wmemset(domainBuffer, L'#', 64);
  userCount = userNeeded - 1;
  domainCount = 64;
  EXPECT_EQ(zqNetGetCurrentUserAndDomainW(userBuffer, &userCount, domainBuffer, &domainCount), 122u);
  EXPECT_EQ(userCount, userNeeded);
  EXPECT_EQ(domainCount, domainNeeded);
  EXPECT_EQ(userBuffer[0], L'#');
  EXPECT_EQ(domainBuffer[0], L'#');
  ASSERT_EQ(log.Lines().size(), 7u);
  EXPECT_EQ(log.Lines()[5], (zqtest::LogLine{1, Format(L"zqNetGetCurrentUserAndDomainW Insufficient buffer for "
                                                       L"user's name (%d < %d)",
                                                       userNeeded - 1, userNeeded)}));
  EXPECT_EQ(log.Lines()[6], (zqtest::LogLine{16, L"zqNetGetCurrentUserAndDomainW (122)"}));

  // User fits, domain does not: the user stays copied.
  log.Clear();
  userCount = 64;
  domainCount = domainNeeded - 1;
  EXPECT_EQ(zqNetGetCurrentUserAndDomainW(userBuffer, &userCount, domainBuffer, &domainCount), 122u);
  EXPECT_EQ(std::wstring(userBuffer), user);
  EXPECT_EQ(userCount, userNeeded);
  EXPECT_EQ(domainCount, domainNeeded);
  EXPECT_EQ(domainBuffer[0], L'#');
  ASSERT_EQ(log.Lines().size(), 7u);
  EXPECT_EQ(log.Lines()[5], (zqtest::LogLine{1, Format(L"zqNetGetCurrentUserAndDomainW Insufficient buffer for "
                                                       L"user's account domain (%d < %d)",
                                                       domainNeeded - 1, domainNeeded)}));

  // No user buffer, a domain buffer: only the domain is copied.
  std::wmemset(userBuffer, L'#', 64);
  userCount = 1;
  domainCount = 64;
  EXPECT_EQ(zqNetGetCurrentUserAndDomainW(nullptr, &userCount, domainBuffer, &domainCount), 0u);
  EXPECT_EQ(std::wstring(domainBuffer), domain);
  EXPECT_EQ(userCount, userNeeded);
  EXPECT_EQ(domainCount, domainNeeded);
  EXPECT_EQ(userBuffer[0], L'#');
}

TEST(CurrentUser, NullCountsAreRejectedFirst) {
  LogCapture log;
  DWORD count = 77;
  wchar_t buffer[8];
  EXPECT_EQ(zqNetGetCurrentUserAndDomainW(buffer, &count, buffer, nullptr), 87u);
  EXPECT_EQ(zqNetGetCurrentUserAndDomainA(nullptr, nullptr, nullptr, &count), 87u);
  EXPECT_EQ(zqNetGetCurrentProcessUserAndDomainW(buffer, nullptr, buffer, &count), 87u);
  EXPECT_EQ(count, 77u);
  EXPECT_EQ(log.Lines(),
            (Lines{{8, Format(L"zqNetGetCurrentUserAndDomainW (%p,%p,%p)", &count, buffer, nullptr)},
                   {1, L"zqNetGetCurrentUserAndDomainW invalid parameter"},
                   {16, L"zqNetGetCurrentUserAndDomainW (87)"},
                   {8, Format(L"zqNetGetCurrentUserAndDomainA (%p,%p,%p)", nullptr, nullptr, &count)},
                   {1, L"zqNetGetCurrentUserAndDomainA invalid parameter"},
                   {16, L"zqNetGetCurrentUserAndDomainA (87)"},
                   {8, Format(L"zqNetGetCurrentProcessUserAndDomainW (%p,%p,%p)", nullptr, buffer, &count)},
                   {1, L"zqNetGetCurrentProcessUserAndDomainW invalid parameter"},
                   {16, L"zqNetGetCurrentProcessUserAndDomainW (87)"}}));
}

TEST(CurrentUser, NarrowBufferFunctionCountsBytes) {
  const std::string user = SessionTextA(WTSUserName);
  const std::string domain = SessionTextA(WTSDomainName);
  LogCapture log;
  DWORD userCount = 0;
  DWORD domainCount = 0;
  EXPECT_EQ(zqNetGetCurrentUserAndDomainA(nullptr, &userCount, nullptr, &domainCount), 0u);
  EXPECT_EQ(userCount, user.size() + 1);
  EXPECT_EQ(domainCount, domain.size() + 1);
  EXPECT_EQ(log.Lines().front().text, Format(L"zqNetGetCurrentUserAndDomainA (%p,%p,%p)", &userCount, nullptr,
                                             &domainCount));
  EXPECT_EQ(log.Lines()[1].text, L"GetCurrentUserAndDomain std::string");
  EXPECT_EQ(log.Lines().back(), (zqtest::LogLine{16, L"zqNetGetCurrentUserAndDomainA (0)"}));

  char userBuffer[64];
  char domainBuffer[64];
  EXPECT_EQ(zqNetGetCurrentUserAndDomainA(userBuffer, &userCount, domainBuffer, &domainCount), 0u);
  EXPECT_EQ(std::string(userBuffer), user);
  EXPECT_EQ(std::string(domainBuffer), domain);

  log.Clear();
  userCount = static_cast<DWORD>(user.size());
  EXPECT_EQ(zqNetGetCurrentUserAndDomainA(userBuffer, &userCount, domainBuffer, &domainCount), 122u);
  EXPECT_EQ(userCount, user.size() + 1);
  EXPECT_EQ(log.Lines()[log.Lines().size() - 2],
            (zqtest::LogLine{1, Format(L"zqNetGetCurrentUserAndDomainA Insufficient buffer for user's name (%d < %d)",
                                       static_cast<int>(user.size()), static_cast<int>(user.size() + 1))}));
}

TEST(CurrentProcessUser, GivesTheTokenUserAndReleasesEverything) {
  std::wstring user;
  std::wstring domain;
  TokenUserNames(&user, &domain);
  ASSERT_FALSE(user.empty());
  const DWORD userNeeded = static_cast<DWORD>(user.size() + 1);
  const DWORD domainNeeded = static_cast<DWORD>(domain.size() + 1);

  wchar_t userBuffer[64];
  wchar_t domainBuffer[64];
  DWORD userCount = 64;
  DWORD domainCount = 64;
  // A first call loads what the authority needs for the rest of the process.
  ASSERT_EQ(zqNetGetCurrentProcessUserAndDomainW(userBuffer, &userCount, domainBuffer, &domainCount), 0u);
  const uintptr_t before = zqtest::ProbeHandleValue();
  LogCapture log;
  userCount = 64;
  domainCount = 64;
  EXPECT_EQ(zqNetGetCurrentProcessUserAndDomainW(userBuffer, &userCount, domainBuffer, &domainCount), 0u);
  EXPECT_EQ(std::wstring(userBuffer), user);
  EXPECT_EQ(std::wstring(domainBuffer), domain);
  EXPECT_EQ(userCount, userNeeded);
  EXPECT_EQ(domainCount, domainNeeded);
  EXPECT_EQ(log.Lines(),
            (Lines{{8, Format(L"zqNetGetCurrentProcessUserAndDomainW (%p,%p,%p)", &userCount, domainBuffer,
                              &domainCount)},
                   {16, L"zqNetGetCurrentProcessUserAndDomainW (0)"}}));

  // Buffers that cannot hold a name and its terminator: nothing copied, the
  // counts say what is needed (also with null buffers).
  log.Clear();
  std::wmemset(userBuffer, L'#', 64);
  std::wmemset(domainBuffer, L'#', 64);
  userCount = 64;
  domainCount = domainNeeded - 1;
  EXPECT_EQ(zqNetGetCurrentProcessUserAndDomainW(userBuffer, &userCount, domainBuffer, &domainCount), 122u);
  EXPECT_EQ(userCount, userNeeded);
  EXPECT_EQ(domainCount, domainNeeded);
  EXPECT_EQ(userBuffer[0], L'#');
  EXPECT_EQ(domainBuffer[0], L'#');
  EXPECT_EQ(log.Lines()[1], (zqtest::LogLine{1, Format(L"zqNetGetCurrentProcessUserAndDomainW Insufficient buffer "
                                                       L"(%d < %d, %d < %d)",
                                                       64, userNeeded, domainNeeded - 1, domainNeeded)}));
  userCount = 0;
  domainCount = 0;
  EXPECT_EQ(zqNetGetCurrentProcessUserAndDomainW(nullptr, &userCount, nullptr, &domainCount), 122u);
  EXPECT_EQ(userCount, userNeeded);
  EXPECT_EQ(domainCount, domainNeeded);

  // Token, policy and LSA buffers are all gone again.
  EXPECT_EQ(zqtest::ProbeHandleValue(), before);
}

}  // namespace
