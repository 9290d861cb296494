// CSecStrA: the narrow secure string.
#include <gtest/gtest.h>

#include <clocale>
#include <string>

#include "logcapture.h"
#include "wipecheck.h"
#include "zqsecstr.h"

using zqtest::LogCapture;
using zqtest::LogLine;
using zqtest::RecordWipes;
using zqtest::Thrown;

namespace {

std::string Text(const CSecStrA& s) { return std::string(s.GetString(), static_cast<size_t>(s.GetLength())); }

TEST(SecStrA, ConstructionAndConversion) {
  EXPECT_EQ(Text(CSecStrA()), "");
  EXPECT_EQ(Text(CSecStrA("abc")), "abc");
  EXPECT_EQ(Text(CSecStrA(static_cast<const char*>(nullptr))), "");
  EXPECT_EQ(Text(CSecStrA("abcdef", 3)), "abc");
  EXPECT_EQ(Text(CSecStrA(static_cast<const char*>(nullptr), 0)), "");
  EXPECT_EQ(Text(CSecStrA("a\0b", 3)), "a");
  EXPECT_EQ(Thrown([] { CSecStrA s(static_cast<const char*>(nullptr), 4); }), "ole:0x80070057");
  EXPECT_EQ(Thrown([] { CSecStrA s("abc", -1); }), "memory");

  LogCapture log;
  CSecStr wide(L"plain ascii");
  CSecStrA narrow(wide);
  EXPECT_EQ(Text(narrow), "plain ascii");
  EXPECT_EQ(narrow.GetLength(), wide.GetLength());
  EXPECT_TRUE(log.Lines().empty());

  wchar_t text[] = L"assigned";
  narrow = text;
  EXPECT_EQ(Text(narrow), "assigned");
}

TEST(SecStrA, FailedConversionIsLoggedAtLevelOne) {
  // The runtime's "C" locale has no byte for the euro sign.
  std::string previous = setlocale(LC_CTYPE, nullptr);
  setlocale(LC_CTYPE, "C");
  LogCapture log;
  CSecStr wide(L"a\u20acb");
  CSecStrA narrow(wide);
  EXPECT_EQ(log.Lines(), (std::vector<LogLine>{{1, L"CSecStrA::CSecStrA(const CSecStr&) : wcstombs_s failed (42)"}}));
  EXPECT_EQ(narrow.GetLength(), 3);  // the wide length, whatever the conversion gave
  EXPECT_EQ(std::string(narrow.GetString(), 3), std::string(3, '\0'));
  log.Clear();
  wchar_t text[] = L"\u20ac";
  narrow = text;
  EXPECT_EQ(log.Lines().size(), 1u);
  EXPECT_EQ(narrow.GetLength(), 1);
  setlocale(LC_CTYPE, previous.c_str());
}

TEST(SecStrA, AssignmentCopiesIntoOwnStorage) {
  auto report = RecordWipes([] {
    CSecStrA a("first secret");
    CSecStrA b("b");
    b = a;
    EXPECT_EQ(Text(b), "first secret");
    EXPECT_NE(a.GetString(), b.GetString());
    b.GetBuffer()[0] = 'F';
    EXPECT_EQ(Text(a), "first secret");
    b = b;
    EXPECT_EQ(Text(b), "First secret");
    CSecStrA c(a);
    EXPECT_NE(c.GetString(), a.GetString());
  });
  EXPECT_WIPED(report, 3);
}

TEST(SecStrA, BuffersInsertAppendFind) {
  CSecStrA s("abc");
  int capacity = 7;
  ASSERT_EQ(s.GetBuffer(capacity), s.GetString());
  char* grown = s.GetBuffer(40);
  EXPECT_EQ(std::string(grown, 3), "abc");
  EXPECT_EQ(s.GetLength(), 3);
  strcpy_s(grown, 41, "12345678");
  s.ReleaseBuffer();
  EXPECT_EQ(Text(s), "12345678");
  capacity = 40;  // at least what GetBuffer(40) asked for
  EXPECT_EQ(Thrown([&] { s.ReleaseBuffer(-2); }), "ole:0x80070057");
  EXPECT_EQ(Thrown([&] { s.ReleaseBuffer(1000); }), "ole:0x80070057");
  s.ReleaseBuffer(1);
  EXPECT_EQ(Text(s), "1");
  const char* buffer = s.GetString();
  for (int i = 1; i < capacity; ++i) EXPECT_EQ(buffer[i], 0) << i;

  CSecStrA t("bcd");
  EXPECT_EQ(t.Insert(-1, "a"), 4);
  EXPECT_EQ(Text(t), "abcd");
  EXPECT_EQ(t.Insert(0, nullptr), 4);
  EXPECT_EQ(t.Insert(99, "e"), 5);
  EXPECT_EQ(t.Insert(2, t.GetString()), 10);
  EXPECT_EQ(Text(t), "ababcdecde");
  EXPECT_EQ(Thrown([&] { t.Append(nullptr, 0); }), "std:EINVAL");
  EXPECT_EQ(Thrown([&] { t.Append(nullptr, 3); }), "std:EINVAL");
  EXPECT_EQ(Thrown([&] { t.Append("x", -1); }), "memory");
  t.Append("fgh", 2);
  EXPECT_EQ(Text(t), "ababcdecdefg");
  EXPECT_EQ(t.Find("cd", 0), 4);
  EXPECT_EQ(t.Find("cd", 5), 7);
  EXPECT_EQ(t.Find("zz", 0), -1);
  int before = t.GetLength();
  t.Empty();
  EXPECT_EQ(t.GetLength(), 0);
  for (int i = 0; i < before; ++i) EXPECT_EQ(t.GetString()[i], 0);
}

}  // namespace
