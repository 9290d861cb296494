// User ids in their three forms to a user name and a NETBIOS domain.
#include <gtest/gtest.h>

#include "fixedkey.h"
#include "logcapture.h"
#include "nettest.h"
#include "zqnet.h"

using namespace nettest;
using zqtest::LogCapture;
using zqtest::LogLine;

namespace {

const wchar_t kSystemCache[] = L"Software\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon\\DomainCache";
const wchar_t kLibraryCache[] = L"SOFTWARE\\Quorvane\\System\\DomainCache";

// The overload's first four lines for a domain name argument.
Lines OverloadStart(const std::wstring& domainName) {
  return {{8, L"zqNetConvertUserIdToNETBIOS"},
          {2, BinText(L"zqNetConvertUserIdToNETBIOS Domain name", domainName.c_str(),
                      domainName.size() * sizeof(wchar_t))},
          {2, L"zqNetConvertUserIdToNETBIOS Username"},
          {2, L"zqNetConvertUserIdToNETBIOS Domain = " + domainName}};
}

Lines Plus(Lines lines, const Lines& more) {
  lines.insert(lines.end(), more.begin(), more.end());
  return lines;
}

struct Converted {
  int status;
  std::wstring user;
  std::wstring domain;
};

Converted Convert(const std::wstring& id, const std::wstring& domainName) {
  Converted result{-1, L"untouched", L"untouched"};
  result.status = zqNetConvertUserIdToNETBIOS(id, domainName, result.user, result.domain);
  return result;
}

TEST(ConvertUserId, SamCompatibleAndPlainIds) {
  LogCapture log;
  Converted sam = Convert(L"CORP\\jdoe", L"OTHER");
  EXPECT_EQ(sam.status, 0);
  EXPECT_EQ(sam.user, L"jdoe");
  EXPECT_EQ(sam.domain, L"CORP");
  EXPECT_EQ(log.Lines(), Plus(OverloadStart(L"OTHER"), {{2, L"zqNetConvertUserIdToNETBIOS SAM compatible name"},
                                                        {16, L"zqNetConvertUserIdToNETBIOS (0)"}}));

  // A plain id takes the domain argument up to its first blank, else its first tab.
  log.Clear();
  Converted plain = Convert(L"jdoe", L"CORP more text");
  EXPECT_EQ(plain.status, 0);
  EXPECT_EQ(plain.user, L"jdoe");
  EXPECT_EQ(plain.domain, L"CORP");
  EXPECT_EQ(log.Lines(), Plus(OverloadStart(L"CORP more text"), {{2, L"zqNetConvertUserIdToNETBIOS Use input directly"},
                                                                 {16, L"zqNetConvertUserIdToNETBIOS (0)"}}));
  EXPECT_EQ(Convert(L"jdoe", L"CORP\tmore").domain, L"CORP");
  EXPECT_EQ(Convert(L"jdoe", L"CORP\tmore text").domain, L"CORP\tmore");
  EXPECT_EQ(Convert(L"jdoe", L"CORP").domain, L"CORP");
  Converted noDomain = Convert(L"jdoe", L"");
  EXPECT_EQ(noDomain.user, L"jdoe");
  EXPECT_EQ(noDomain.domain, L"");

  // Nothing after the "\": an empty user.
  Converted trailing = Convert(L"CORP\\", L"X");
  EXPECT_EQ(trailing.status, 0);
  EXPECT_EQ(trailing.user, L"");
  EXPECT_EQ(trailing.domain, L"CORP");

  // An empty id: 87 and the outputs untouched.
  log.Clear();
  Converted empty = Convert(L"", L"CORP");
  EXPECT_EQ(empty.status, 87);
  EXPECT_EQ(empty.user, L"untouched");
  EXPECT_EQ(log.Lines(), Plus(OverloadStart(L"CORP"), {{16, L"zqNetConvertUserIdToNETBIOS (87)"}}));

  // Narrow: the same rules, the domain logged through %S.
  log.Clear();
  std::string user;
  std::string domain;
  EXPECT_EQ(zqNetConvertUserIdToNETBIOS(std::string("mary"), std::string("LAB x"), user, domain), 0);
  EXPECT_EQ(user, "mary");
  EXPECT_EQ(domain, "LAB");
  EXPECT_EQ(log.Lines(), (Lines{{8, L"zqNetConvertUserIdToNETBIOS"},
                                {2, BinText(L"zqNetConvertUserIdToNETBIOS Domain name", "LAB x", 5)},
                                {2, L"zqNetConvertUserIdToNETBIOS Username"},
                                {2, L"zqNetConvertUserIdToNETBIOS Domain = LAB x"},
                                {2, L"zqNetConvertUserIdToNETBIOS Use input directly"},
                                {16, L"zqNetConvertUserIdToNETBIOS (0)"}}));
}

TEST(ConvertUserId, UpnsGoThroughTheTranslation) {
  FixedKey system(kSystemCache);
  system.SetString(L"CORP", L"corp.example.com");
  AbsentKey noLibraryCache(kLibraryCache);
  LogCapture log;

  Converted upn = Convert(L"jdoe@corp.example.com", L"IGNORED");
  EXPECT_EQ(upn.status, 0);
  EXPECT_EQ(upn.user, L"jdoe");
  EXPECT_EQ(upn.domain, L"CORP");
  EXPECT_EQ(log.Lines(), Plus(OverloadStart(L"IGNORED"), {{2, L"zqNetConvertUserIdToNETBIOS UPN"},
                                                          {2, L"zqNetConvertUserIdToNETBIOS SAM compatible name"},
                                                          {16, L"zqNetConvertUserIdToNETBIOS (0)"}}));

  // A failed translation: its last error, as the last line, outputs untouched.
  log.Clear();
  Converted failed = Convert(L"jdoe@nowhere.example.com", L"X");
  EXPECT_EQ(failed.status, 2);
  EXPECT_EQ(failed.user, L"untouched");
  EXPECT_EQ(failed.domain, L"untouched");
  ASSERT_FALSE(log.Lines().empty());
  EXPECT_EQ(log.Lines().back(), (LogLine{1, L"zqNetConvertUserIdToNETBIOS UPN Translation failed (2)"}));
  for (const LogLine& line : log.Lines()) EXPECT_NE(line.text, L"zqNetConvertUserIdToNETBIOS (2)");

  // The narrow road uses the narrow translation.
  std::string user;
  std::string domain;
  EXPECT_EQ(zqNetConvertUserIdToNETBIOS(std::string("ann@corp.example.com"), std::string(), user, domain), 0);
  EXPECT_EQ(user, "ann");
  EXPECT_EQ(domain, "CORP");

  // The buffer function reports the failure with its own exit line.
  log.Clear();
  wchar_t userBuffer[16];
  wchar_t domainBuffer[16];
  DWORD userCount = 16;
  DWORD domainCount = 16;
  EXPECT_EQ(zqNetConvertUserIdToNETBIOSW(L"x@nowhere.example.com", L"D", userBuffer, &userCount, domainBuffer,
                                         &domainCount),
            2u);
  EXPECT_EQ(userCount, 16u);
  EXPECT_EQ(log.Lines().back(), (LogLine{16, L"zqNetConvertUserIdToNETBIOSW (2)"}));
}

TEST(ConvertUserId, WideBufferFunction) {
  LogCapture log;
  wchar_t user[16];
  wchar_t domain[16];
  DWORD userCount = 16;
  DWORD domainCount = 16;
  const wchar_t* other = L"OTHER";
  EXPECT_EQ(zqNetConvertUserIdToNETBIOSW(L"CORP\\jdoe", other, user, &userCount, domain, &domainCount), 0u);
  EXPECT_EQ(std::wstring(user), L"jdoe");
  EXPECT_EQ(std::wstring(domain), L"CORP");
  EXPECT_EQ(userCount, 5u);
  EXPECT_EQ(domainCount, 5u);
  Lines expected = {{8, Format(L"zqNetConvertUserIdToNETBIOSW (%p,%p,%p,%p)", other, &userCount, domain,
                               &domainCount)},
                    {2, L"zqNetConvertUserIdToNETBIOSW User name"},
                    {2, L"zqNetConvertUserIdToNETBIOSW Domain name = OTHER"}};
  expected = Plus(expected, OverloadStart(other));
  expected = Plus(expected, {{2, L"zqNetConvertUserIdToNETBIOS SAM compatible name"},
                             {16, L"zqNetConvertUserIdToNETBIOS (0)"},
                             {2, L"zqNetConvertUserIdToNETBIOSW User name out"},
                             {2, L"zqNetConvertUserIdToNETBIOSW Domain out = CORP"},
                             {16, L"zqNetConvertUserIdToNETBIOSW (0)"}});
  EXPECT_EQ(log.Lines(), expected);

  // Size query.
  userCount = 0;
  domainCount = 0;
  EXPECT_EQ(zqNetConvertUserIdToNETBIOSW(L"jdoe", L"CORP x", nullptr, &userCount, nullptr, &domainCount), 0u);
  EXPECT_EQ(userCount, 5u);
  EXPECT_EQ(domainCount, 5u);

  // The user count equal to the name's length: the terminator needs room.
  log.Clear();
  std::wmemset(user, L'#', 16);
  std::wmemset(domain, L'#', 16);
  userCount = 4;
  domainCount = 16;
  EXPECT_EQ(zqNetConvertUserIdToNETBIOSW(L"CORP\\jdoe", L"", user, &userCount, domain, &domainCount), 122u);
  EXPECT_EQ(userCount, 5u);
  EXPECT_EQ(domainCount, 5u);
  EXPECT_EQ(user[0], L'#');
  EXPECT_EQ(domain[0], L'#');
  EXPECT_EQ(log.Lines()[log.Lines().size() - 2],
            (LogLine{1, L"zqNetConvertUserIdToNETBIOSW Insufficient buffer for user name (4 < 4)"}));
  EXPECT_EQ(log.Lines().back(), (LogLine{16, L"zqNetConvertUserIdToNETBIOSW (122)"}));

  // Domain too small: the user stays copied.
  log.Clear();
  userCount = 16;
  domainCount = 4;
  EXPECT_EQ(zqNetConvertUserIdToNETBIOSW(L"CORP\\jdoe", L"", user, &userCount, domain, &domainCount), 122u);
  EXPECT_EQ(std::wstring(user), L"jdoe");
  EXPECT_EQ(userCount, 5u);
  EXPECT_EQ(domainCount, 5u);
  EXPECT_EQ(domain[0], L'#');
  const size_t n = log.Lines().size();
  EXPECT_EQ(log.Lines()[n - 3], (LogLine{2, L"zqNetConvertUserIdToNETBIOSW User name out"}));
  EXPECT_EQ(log.Lines()[n - 2], (LogLine{1, L"zqNetConvertUserIdToNETBIOSW Insufficient buffer for domain (4 < 4)"}));

  // A null domain name is an empty one, without its detail line.
  log.Clear();
  userCount = 16;
  domainCount = 16;
  EXPECT_EQ(zqNetConvertUserIdToNETBIOSW(L"jdoe", nullptr, user, &userCount, domain, &domainCount), 0u);
  EXPECT_EQ(std::wstring(domain), L"");
  EXPECT_EQ(domainCount, 1u);
  EXPECT_EQ(log.Lines()[1], (LogLine{2, L"zqNetConvertUserIdToNETBIOSW User name"}));
  EXPECT_EQ(log.Lines()[2].text, L"zqNetConvertUserIdToNETBIOS");

  // Missing id or counts.
  log.Clear();
  EXPECT_EQ(zqNetConvertUserIdToNETBIOSW(nullptr, L"D", user, &userCount, domain, &domainCount), 87u);
  EXPECT_EQ(zqNetConvertUserIdToNETBIOSW(L"a", L"D", user, nullptr, domain, &domainCount), 87u);
  EXPECT_EQ(zqNetConvertUserIdToNETBIOSA("a", "D", nullptr, &userCount, nullptr, nullptr), 87u);
  EXPECT_EQ(log.Texts().size(), 9u);
  EXPECT_EQ(log.Lines()[1], (LogLine{1, L"zqNetConvertUserIdToNETBIOSW Invalid parameter"}));
  EXPECT_EQ(log.Lines()[7], (LogLine{1, L"zqNetConvertUserIdToNETBIOSA Invalid parameter"}));
  EXPECT_EQ(log.Lines()[8], (LogLine{16, L"zqNetConvertUserIdToNETBIOSA (87)"}));
}

TEST(ConvertUserId, NarrowBufferFunctionWritesNoCopyLines) {
  LogCapture log;
  char user[16];
  char domain[16];
  DWORD userCount = 16;
  DWORD domainCount = 16;
  EXPECT_EQ(zqNetConvertUserIdToNETBIOSA("LAB\\ann", "X", user, &userCount, domain, &domainCount), 0u);
  EXPECT_STREQ(user, "ann");
  EXPECT_STREQ(domain, "LAB");
  EXPECT_EQ(userCount, 4u);
  EXPECT_EQ(domainCount, 4u);
  Lines expected = {{2, L"zqNetConvertUserIdToNETBIOSA User name"},
                    {2, L"zqNetConvertUserIdToNETBIOSA Domain name = X"},
                    {8, L"zqNetConvertUserIdToNETBIOS"},
                    {2, BinText(L"zqNetConvertUserIdToNETBIOS Domain name", "X", 1)},
                    {2, L"zqNetConvertUserIdToNETBIOS Username"},
                    {2, L"zqNetConvertUserIdToNETBIOS Domain = X"},
                    {2, L"zqNetConvertUserIdToNETBIOS SAM compatible name"},
                    {16, L"zqNetConvertUserIdToNETBIOS (0)"},
                    {16, L"zqNetConvertUserIdToNETBIOSA (0)"}};
  ASSERT_EQ(log.Lines().size(), expected.size() + 1);
  EXPECT_EQ(log.Lines()[0].level, 8u);
  EXPECT_EQ(Lines(log.Lines().begin() + 1, log.Lines().end()), expected);

  userCount = 3;
  EXPECT_EQ(zqNetConvertUserIdToNETBIOSA("LAB\\ann", "X", user, &userCount, domain, &domainCount), 122u);
  EXPECT_EQ(userCount, 4u);
}

TEST(BareUserName, CutsTheNameOutOfAnyId) {
  LogCapture log;
  wchar_t buffer[16];
  DWORD count = 16;
  EXPECT_TRUE(zqNetGetUserNameFromUserIdW(L"jdoe@corp.example.com", buffer, &count));
  EXPECT_EQ(std::wstring(buffer), L"jdoe");
  EXPECT_EQ(count, 5u);
  count = 16;
  EXPECT_TRUE(zqNetGetUserNameFromUserIdW(L"CORP\\jdoe@x", buffer, &count));
  EXPECT_EQ(std::wstring(buffer), L"CORP\\jdoe");
  count = 16;
  EXPECT_TRUE(zqNetGetUserNameFromUserIdW(L"CORP\\mary", buffer, &count));
  EXPECT_EQ(std::wstring(buffer), L"mary");
  count = 16;
  EXPECT_TRUE(zqNetGetUserNameFromUserIdW(L"ann", buffer, &count));
  EXPECT_EQ(std::wstring(buffer), L"ann");
  EXPECT_EQ(count, 4u);

  // Empty names: "@" first, or an empty id.
  count = 16;
  EXPECT_TRUE(zqNetGetUserNameFromUserIdW(L"@corp.example.com", buffer, &count));
  EXPECT_EQ(std::wstring(buffer), L"");
  EXPECT_EQ(count, 1u);
  count = 16;
  EXPECT_TRUE(zqNetGetUserNameFromUserIdW(L"", buffer, &count));
  EXPECT_EQ(count, 1u);

  // Nothing after "\": FALSE with the count untouched; too small: FALSE with the count needed.
  count = 16;
  EXPECT_FALSE(zqNetGetUserNameFromUserIdW(L"CORP\\", buffer, &count));
  EXPECT_EQ(count, 16u);
  std::wmemset(buffer, L'#', 16);
  count = 4;
  EXPECT_FALSE(zqNetGetUserNameFromUserIdW(L"CORP\\jdoe", buffer, &count));
  EXPECT_EQ(count, 5u);
  EXPECT_EQ(buffer[0], L'#');
  count = 0;
  EXPECT_TRUE(zqNetGetUserNameFromUserIdW(L"CORP\\jdoe", nullptr, &count));
  EXPECT_EQ(count, 5u);

  char narrow[8];
  count = 8;
  EXPECT_TRUE(zqNetGetUserNameFromUserIdA("LAB\\ann", narrow, &count));
  EXPECT_STREQ(narrow, "ann");
  EXPECT_EQ(count, 4u);
  count = 3;
  EXPECT_FALSE(zqNetGetUserNameFromUserIdA("ann@x", narrow, &count));
  EXPECT_EQ(count, 4u);

  // Null arguments are refused.
  EXPECT_FALSE(zqNetGetUserNameFromUserIdW(nullptr, buffer, &count));
  EXPECT_FALSE(zqNetGetUserNameFromUserIdA("ann", narrow, nullptr));
  EXPECT_TRUE(log.Lines().empty());
}

}  // namespace
