// User ids in their three forms to a user name and a NETBIOS domain.
#include <gtest/gtest.h>

#include <cwchar>

#include "nettest.h"

using namespace nettest;
using zqtest::LogCapture;
using zqtest::LogLine;

namespace {

const std::wstring kOverload = L"zqNetConvertUserIdToNETBIOS";

// The overload's first four lines for a domain name argument (narrow: its bytes).
Lines OverloadStart(const std::wstring& domainName, const void* bytes, size_t size) {
  return {{8, kOverload},
          {2, BinText(kOverload + L" Domain name", bytes, size)},
          {2, kOverload + L" Username"},
          {2, kOverload + L" Domain = " + domainName}};
}
Lines OverloadStart(const std::wstring& domainName) {
  return OverloadStart(domainName, domainName.c_str(), domainName.size() * sizeof(wchar_t));
}
// The overload's lines after the start: the road taken and the exit line.
Lines OverloadEnd(const wchar_t* road, int status) {
  Lines lines = {{16, Format(L"%s (%d)", kOverload.c_str(), status)}};
  if (road) lines.insert(lines.begin(), {2, kOverload + L" " + road});
  return lines;
}

TEST(ConvertUserId, SamCompatibleAndPlainIds) {
  const wchar_t* sam = L"SAM compatible name";
  const wchar_t* plain = L"Use input directly";
  // A plain id takes the domain argument up to its first blank, else its first tab.
  const struct {
    const wchar_t* id;
    const wchar_t* domainName;
    int status;
    const wchar_t* user;
    const wchar_t* domain;
    const wchar_t* road;
  } cases[] = {
      {L"CORP\\jdoe", L"OTHER", 0, L"jdoe", L"CORP", sam},
      {L"CORP\\", L"X", 0, L"", L"CORP", sam},  // nothing after the "\": an empty user
      {L"jdoe", L"CORP more text", 0, L"jdoe", L"CORP", plain},
      {L"jdoe", L"CORP\tmore", 0, L"jdoe", L"CORP", plain},
      {L"jdoe", L"CORP\tmore text", 0, L"jdoe", L"CORP\tmore", plain},
      {L"jdoe", L"CORP", 0, L"jdoe", L"CORP", plain},
      {L"jdoe", L"", 0, L"jdoe", L"", plain},
      {L"", L"CORP", 87, L"untouched", L"untouched", nullptr},  // outputs untouched
  };
  for (const auto& c : cases) {
    LogCapture log;
    std::wstring user = L"untouched";
    std::wstring domain = L"untouched";
    EXPECT_EQ(zqNetConvertUserIdToNETBIOS(c.id, c.domainName, user, domain), c.status) << c.id;
    EXPECT_EQ(user + L"|" + domain, std::wstring(c.user) + L"|" + c.domain);
    EXPECT_EQ(log.Lines(), Cat({OverloadStart(c.domainName), OverloadEnd(c.road, c.status)}));
  }

  // Narrow: the same rules, the domain logged through %S.
  LogCapture log;
  std::string user;
  std::string domain;
  EXPECT_EQ(zqNetConvertUserIdToNETBIOS(std::string("mary"), std::string("LAB x"), user, domain), 0);
  EXPECT_EQ(user + "|" + domain, "mary|LAB");
  EXPECT_EQ(log.Lines(), Cat({OverloadStart(L"LAB x", "LAB x", 5), OverloadEnd(plain, 0)}));
}

TEST(ConvertUserId, UpnsGoThroughTheTranslation) {
  FixedKey system(kSystemCache);
  system.Set(L"CORP", L"corp.example.com");
  FixedKey noLibraryCache(kLibraryCache, FixedKey::kAbsent);
  LogCapture log;
  std::wstring user = L"untouched";
  std::wstring domain = L"untouched";
  EXPECT_EQ(zqNetConvertUserIdToNETBIOS(L"jdoe@corp.example.com", L"IGNORED", user, domain), 0);
  EXPECT_EQ(user + L"|" + domain, L"jdoe|CORP");
  EXPECT_EQ(log.Lines(),
            Cat({OverloadStart(L"IGNORED"), {{2, kOverload + L" UPN"}}, OverloadEnd(L"SAM compatible name", 0)}));

  // A failed translation: its last error, as the last line, outputs untouched.
  log.Clear();
  EXPECT_EQ(zqNetConvertUserIdToNETBIOS(L"jdoe@nowhere.example.com", L"X", user, domain), 2);
  EXPECT_EQ(user + L"|" + domain, L"jdoe|CORP");
  EXPECT_EQ(log.Lines().back(), (LogLine{1, kOverload + L" UPN Translation failed (2)"}));
  for (const LogLine& line : log.Lines()) EXPECT_NE(line.text, kOverload + L" (2)");

  // The narrow road uses the narrow translation.
  std::string userA;
  std::string domainA;
  EXPECT_EQ(zqNetConvertUserIdToNETBIOS(std::string("ann@corp.example.com"), std::string(), userA, domainA), 0);
  EXPECT_EQ(userA + "|" + domainA, "ann|CORP");

  // The buffer function reports the failure with its own exit line.
  log.Clear();
  wchar_t buffer[16];
  DWORD userCount = 16;
  DWORD domainCount = 16;
  EXPECT_EQ(zqNetConvertUserIdToNETBIOSW(L"x@nowhere.example.com", L"D", buffer, &userCount, buffer, &domainCount), 2u);
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
  EXPECT_EQ(std::wstring(user) + L"|" + domain, L"jdoe|CORP");
  EXPECT_EQ(userCount, 5u);
  EXPECT_EQ(domainCount, 5u);
  const std::wstring name = L"zqNetConvertUserIdToNETBIOSW";
  EXPECT_EQ(log.Lines(), Around(Format(L"%s (%p,%p,%p,%p)", name.c_str(), other, &userCount, domain, &domainCount),
                                Cat({{{2, name + L" User name"}, {2, name + L" Domain name = OTHER"}},
                                     OverloadStart(other),
                                     OverloadEnd(L"SAM compatible name", 0),
                                     {{2, name + L" User name out"}, {2, name + L" Domain out = CORP"}}}),
                                name + L" (0)"));

  // Size query; then counts equal to the names' lengths: the terminator needs
  // room. A domain too small keeps the user copied.
  const struct {
    bool buffers;
    DWORD userCount;
    DWORD domainCount;
    DWORD status;
    const wchar_t* user;
    Lines last;
  } cases[] = {
      {false, 0, 0, 0, L"#", {{16, name + L" (0)"}}},
      {true, 4, 16, 122, L"#", {{1, name + L" Insufficient buffer for user name (4 < 4)"}, {16, name + L" (122)"}}},
      {true,
       16,
       4,
       122,
       L"jdoe",
       {{2, name + L" User name out"}, {1, name + L" Insufficient buffer for domain (4 < 4)"}, {16, name + L" (122)"}}},
  };
  for (const auto& c : cases) {
    std::wmemset(user, L'#', 16);
    std::wmemset(domain, L'#', 16);
    userCount = c.userCount;
    domainCount = c.domainCount;
    log.Clear();
    EXPECT_EQ(zqNetConvertUserIdToNETBIOSW(L"CORP\\jdoe", L"X y", c.buffers ? user : nullptr, &userCount,
                                           c.buffers ? domain : nullptr, &domainCount),
              c.status);
    EXPECT_EQ(userCount, 5u);
    EXPECT_EQ(domainCount, 5u);
    EXPECT_EQ(user[0] == L'#' ? L"#" : std::wstring(user), c.user);
    EXPECT_EQ(domain[0], L'#');
    EXPECT_EQ(Lines(log.Lines().end() - c.last.size(), log.Lines().end()), c.last);
  }

  // A null domain name is an empty one, without its detail line.
  log.Clear();
  userCount = domainCount = 16;
  EXPECT_EQ(zqNetConvertUserIdToNETBIOSW(L"jdoe", nullptr, user, &userCount, domain, &domainCount), 0u);
  EXPECT_EQ(std::wstring(domain), L"");
  EXPECT_EQ(domainCount, 1u);
  EXPECT_EQ(log.Lines()[1], (LogLine{2, name + L" User name"}));
  EXPECT_EQ(log.Lines()[2].text, kOverload);

  // Missing id or counts.
  log.Clear();
  EXPECT_EQ(zqNetConvertUserIdToNETBIOSW(nullptr, L"D", user, &userCount, domain, &domainCount), 87u);
  EXPECT_EQ(zqNetConvertUserIdToNETBIOSW(L"a", L"D", user, nullptr, domain, &domainCount), 87u);
  EXPECT_EQ(zqNetConvertUserIdToNETBIOSA("a", "D", nullptr, &userCount, nullptr, nullptr), 87u);
  ASSERT_EQ(log.Lines().size(), 9u);
  EXPECT_EQ(log.Lines()[1], (LogLine{1, name + L" Invalid parameter"}));
  EXPECT_EQ(
      Lines(log.Lines().begin() + 7, log.Lines().end()),
      (Lines{{1, L"zqNetConvertUserIdToNETBIOSA Invalid parameter"}, {16, L"zqNetConvertUserIdToNETBIOSA (87)"}}));
}

TEST(ConvertUserId, NarrowBufferFunctionWritesNoCopyLines) {
  LogCapture log;
  char user[16];
  char domain[16];
  DWORD userCount = 16;
  DWORD domainCount = 16;
  EXPECT_EQ(zqNetConvertUserIdToNETBIOSA("LAB\\ann", "X", user, &userCount, domain, &domainCount), 0u);
  EXPECT_EQ(std::string(user) + "|" + domain, "ann|LAB");
  EXPECT_EQ(userCount, 4u);
  EXPECT_EQ(domainCount, 4u);
  const Lines expected =
      Cat({{{2, L"zqNetConvertUserIdToNETBIOSA User name"}, {2, L"zqNetConvertUserIdToNETBIOSA Domain name = X"}},
           OverloadStart(L"X", "X", 1),
           OverloadEnd(L"SAM compatible name", 0),
           {{16, L"zqNetConvertUserIdToNETBIOSA (0)"}}});
  ASSERT_EQ(log.Lines().size(), expected.size() + 1);
  EXPECT_EQ(log.Lines()[0].level, 8u);
  EXPECT_EQ(Lines(log.Lines().begin() + 1, log.Lines().end()), expected);

  userCount = 3;
  EXPECT_EQ(zqNetConvertUserIdToNETBIOSA("LAB\\ann", "X", user, &userCount, domain, &domainCount), 122u);
  EXPECT_EQ(userCount, 4u);
}

TEST(BareUserName, CutsTheNameOutOfAnyId) {
  LogCapture log;
  // Failures set no last error; nothing after "\" leaves the count untouched.
  const struct {
    bool wide;
    const char* id;
    bool buffer;
    DWORD count;
    Result expected;
  } cases[] = {
      {true, "jdoe@corp.example.com", true, 16, {TRUE, 0, 5, "jdoe|"}},
      {true, "CORP\\jdoe@x", true, 16, {TRUE, 0, 10, "CORP\\jdoe|"}},
      {true, "CORP\\mary", true, 16, {TRUE, 0, 5, "mary|"}},
      {true, "ann", true, 16, {TRUE, 0, 4, "ann|"}},
      {true, "@corp.example.com", true, 16, {TRUE, 0, 1, "|"}},
      {true, "", true, 16, {TRUE, 0, 1, "|"}},
      {true, "CORP\\", true, 16, {FALSE, kUntouched, 16, ""}},
      {true, "CORP\\jdoe", true, 4, {FALSE, kUntouched, 5, ""}},
      {true, "CORP\\jdoe", false, 0, {TRUE, 0, 5, ""}},
      {false, "LAB\\ann", true, 8, {TRUE, 0, 4, "ann|"}},
      {false, "ann@x", true, 3, {FALSE, kUntouched, 4, ""}},
      {true, nullptr, true, 16, {FALSE, kUntouched, 16, ""}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(CallText(zqNetGetUserNameFromUserIdW, zqNetGetUserNameFromUserIdA, c.wide, c.id, c.buffer, c.count),
              c.expected)
        << (c.id ? c.id : "null");
  }
  char narrow[8];
  EXPECT_FALSE(zqNetGetUserNameFromUserIdA("ann", narrow, nullptr));
  EXPECT_TRUE(log.Lines().empty());
}

}  // namespace
