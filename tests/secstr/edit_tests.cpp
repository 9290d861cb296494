// CSecStr editing: concatenation, insertion, replacement, formatting, parts
// and the operations passed on to the inner string.
#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "wipecheck.h"
#include "zqsecstr.h"

using zqtest::Thrown;

namespace {

std::wstring Text(const CSecStr& s) { return std::wstring(s.GetString(), static_cast<size_t>(s.GetLength())); }

TEST(SecStrEdit, AppendByOperatorAndByFunction) {
  CSecStr s(L"ab");
  s += s;
  EXPECT_EQ(Text(s), L"abab");
  s += L"cd";
  s += static_cast<const wchar_t*>(nullptr);
  EXPECT_EQ(Text(s), L"ababcd");
  s += s.GetString() + 4;  // a pointer into the own text
  EXPECT_EQ(Text(s), L"ababcdcd");
  s += L'!';
  EXPECT_EQ(Text(s), L"ababcdcd!");
  EXPECT_EQ(s.GetLength(), 9);

  CSecStr t(L"x");
  t.Append(L"yz");
  t.Append(L"0123", 2);
  t.Append(nullptr, 0);
  EXPECT_EQ(Text(t), L"xyz01");
  EXPECT_EQ(Thrown([&] { t.Append(nullptr, 2); }), "std:EINVAL");
  EXPECT_EQ(Thrown([&] { t.Append(L"abc", -1); }), "memory");
  t.Append(t.GetString(), 2);
  EXPECT_EQ(Text(t), L"xyz01xy");
  t.Append(L"a\0b", 3);
  EXPECT_EQ(Text(t), L"xyz01xya");
}

TEST(SecStrEdit, InsertClampsAndCountsTheNewLength) {
  CSecStr s(L"abc");
  EXPECT_EQ(s.Insert(-5, L"<"), 4);
  EXPECT_EQ(Text(s), L"<abc");
  EXPECT_EQ(s.Insert(99, L">"), 5);
  EXPECT_EQ(Text(s), L"<abc>");
  EXPECT_EQ(s.Insert(2, L"--"), 7);
  EXPECT_EQ(Text(s), L"<a--bc>");
  EXPECT_EQ(s.Insert(1, nullptr), 7);
  EXPECT_EQ(s.Insert(1, L""), 7);
  EXPECT_EQ(s.Insert(0, L'#'), 8);
  EXPECT_EQ(Text(s), L"#<a--bc>");
  EXPECT_EQ(s.Insert(3, L'\0'), 8);
  EXPECT_EQ(s.Insert(1, s.GetString() + 5), 11);  // own text, read before the wipe
  EXPECT_EQ(Text(s), L"#bc><a--bc>");
}

TEST(SecStrEdit, ReplaceCountsAndResults) {
  CSecStr s(L"aaaa");
  EXPECT_EQ(s.Replace(L"aa", L"b"), 2);
  EXPECT_EQ(Text(s), L"bb");
  s = L"aaa";
  EXPECT_EQ(s.Replace(L"aa", L"b"), 1);
  EXPECT_EQ(Text(s), L"ba");
  s = L"abracadabra";
  EXPECT_EQ(s.Replace(L"a", nullptr), 5);
  EXPECT_EQ(Text(s), L"brcdbr");
  EXPECT_EQ(s.Replace(nullptr, L"x"), 0);
  EXPECT_EQ(s.Replace(L"", L"x"), 0);
  EXPECT_EQ(s.Replace(L"zz", L"x"), 0);
  EXPECT_EQ(Text(s), L"brcdbr");
  s = L"aba";
  EXPECT_EQ(s.Replace(L"a", L"xyz"), 2);
  EXPECT_EQ(Text(s), L"xyzbxyz");
  EXPECT_EQ(s.Replace(L"xyz", L"Q"), 2);
  EXPECT_EQ(Text(s), L"QbQ");
  // No old character shows behind the shorter text.
  const wchar_t* buffer = s.GetString();
  for (int i = s.GetLength(); i <= s.GetAllocLength(); ++i) EXPECT_EQ(buffer[i], 0) << i;
  EXPECT_EQ(s.Replace(L"Q", L"R"), 2);
  EXPECT_EQ(Text(s), L"RbR");

  // Arguments inside the own text behave as copies of it.
  s = L"one two one";
  CSecStr copy(s);
  EXPECT_EQ(s.Replace(s.GetString() + 8, s.GetString() + 4), copy.Replace(L"one", L"two one"));
  EXPECT_EQ(Text(s), Text(copy));
  EXPECT_EQ(Text(s), L"two one two two one");

  // The result's size in bytes must fit 32 bits: 1,000,000 matches growing
  // by 1,100 characters each would need 2.2 GB.
  CSecStr many;
  wchar_t* raw = many.GetBuffer(1000000);
  wmemset(raw, L'a', 1000000);
  many.ReleaseBuffer(1000000);
  std::wstring longer(1101, L'b');
  EXPECT_EQ(Thrown([&] { many.Replace(L"a", longer.c_str()); }), "safeint:1");
  EXPECT_EQ(many.GetLength(), 1000000);
}

TEST(SecStrEdit, FormatFromTextAndResource) {
  CSecStr s(L"old");
  s.Format(L"%d-%s", 7, L"x");
  EXPECT_EQ(Text(s), L"7-x");
  s.Format(L"%S|%s|%05.1f", "narrow", L"wide", 2.5);
  EXPECT_EQ(Text(s), L"narrow|wide|002.5");
  s.Format(L"[%s]", s.GetString());  // own text as argument
  EXPECT_EQ(Text(s), L"[narrow|wide|002.5]");
  s.Format(102u, 7, L"x");
  EXPECT_EQ(Text(s), L"7-x");
  s.Format(4711u, 1, 2);
  EXPECT_EQ(Text(s), L"");
  s = L"kept";
  s.Format(static_cast<const wchar_t*>(nullptr));
  EXPECT_EQ(Text(s), L"");
}

TEST(SecStrEdit, MidLeftRightBounds) {
  const CSecStr s(L"abcd");
  EXPECT_EQ(Text(s.Mid(1, 2)), L"bc");
  EXPECT_EQ(Text(s.Mid(3, 10)), L"d");
  EXPECT_EQ(Text(s.Mid(9, 1)), L"");
  EXPECT_EQ(Text(s.Mid(0, 4)), L"abcd");
  EXPECT_EQ(Text(s.Mid(-3, 2)), L"ab");
  EXPECT_EQ(Text(s.Mid(2, -1)), L"");
  EXPECT_EQ(Text(s.Mid(1, INT_MAX)), L"bcd");
  EXPECT_EQ(Text(s.Mid(2)), L"cd");
  EXPECT_EQ(Text(s.Mid(-7)), L"abcd");
  EXPECT_EQ(Text(s.Mid(INT_MIN)), L"abcd");
  EXPECT_EQ(Text(s.Mid(5)), L"");
  EXPECT_EQ(Text(s.Left(-1)), L"");
  EXPECT_EQ(Text(s.Left(0)), L"");
  EXPECT_EQ(Text(s.Left(3)), L"abc");
  EXPECT_EQ(Text(CSecStr(L"abc").Left(10)), L"abc");
  EXPECT_EQ(Text(s.Right(2)), L"cd");
  EXPECT_EQ(Text(s.Right(4)), L"abcd");
  EXPECT_EQ(Text(s.Right(40)), L"abcd");
  EXPECT_EQ(Text(s.Right(-2)), L"");
  CSecStr part = s.Mid(0, 4);
  EXPECT_NE(part.GetString(), s.GetString());
}

TEST(SecStrEdit, PassedOnOperations) {
  CSecStr s(L"Hello, World");
  EXPECT_EQ(s.Find(L'o'), 4);
  EXPECT_EQ(s.Find(L'o', 5), 8);
  EXPECT_EQ(s.Find(L'o', 9), -1);
  EXPECT_EQ(s.Find(L'o', 99), -1);
  EXPECT_EQ(s.Find(L"World", 0), 7);
  EXPECT_EQ(s.Find(L"l", 4), 10);
  EXPECT_EQ(s.Find(L"world", 0), -1);
  EXPECT_EQ(s.ReverseFind(L'l'), 10);
  EXPECT_EQ(s.ReverseFind(L'z'), -1);
  EXPECT_EQ(s.GetAt(1), L'e');
  EXPECT_EQ(Thrown([&] { s.GetAt(-1); }), "ole:0x80070057");
  EXPECT_EQ(Thrown([&] { s.GetAt(13); }), "ole:0x80070057");
  s.SetAt(0, L'J');
  EXPECT_EQ(Text(s), L"Jello, World");
  EXPECT_EQ(Thrown([&] { s.SetAt(12, L'x'); }), "ole:0x80070057");

  EXPECT_EQ(s.Compare(L"Jello, World"), 0);
  EXPECT_LT(s.Compare(L"jello, world"), 0);  // case-sensitive, by code unit
  EXPECT_EQ(s.CompareNoCase(L"jello, world"), 0);
  EXPECT_GT(s.Compare(L"Jello"), 0);

  EXPECT_EQ(s.Remove(L'l'), 3);
  EXPECT_EQ(Text(s), L"Jeo, Word");
  EXPECT_EQ(Text(s.MakeUpper()), L"JEO, WORD");
  EXPECT_EQ(Text(s.MakeLower()), L"jeo, word");
  CSecStr padded(L"  \t pad \n ");
  EXPECT_EQ(Text(padded.TrimLeft()), L"pad \n ");
  EXPECT_EQ(Text(padded.TrimRight()), L"pad");
  CSecStr stars(L"**x**");
  EXPECT_EQ(Text(stars.TrimLeft(L'*')), L"x**");
  EXPECT_EQ(Text(stars.TrimRight(L'*')), L"x");
}

}  // namespace
