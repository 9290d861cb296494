// CSecStr editing, the free operators and CSecStrList.
#include <gtest/gtest.h>

#include <climits>
#include <functional>
#include <string>
#include <vector>

#include "secstrelem.h"
#include "wipecheck.h"
#include "zqsecstr.h"

using zqtest::Text;
using zqtest::Thrown;

namespace {

// One editing step on a string: what it returns and the text it leaves.
struct Step {
  std::function<int()> edit;
  int result;
  const wchar_t* text;
};

void RunSteps(const CSecStr& s, const std::vector<Step>& steps) {
  for (size_t i = 0; i < steps.size(); ++i) {
    EXPECT_EQ(steps[i].edit(), steps[i].result) << "step " << i;
    EXPECT_EQ(Text(s), steps[i].text) << "step " << i;
  }
}

TEST(SecStrEdit, AppendInsertAndTheOwnText) {
  CSecStr s(L"ab");
  RunSteps(s, {
      {[&] { s += s; return 0; }, 0, L"abab"},
      {[&] { s += L"cd"; s += static_cast<const wchar_t*>(nullptr); return 0; }, 0, L"ababcd"},
      {[&] { s += s.GetString() + 4; return 0; }, 0, L"ababcdcd"},  // a pointer into the own text
      {[&] { s += L'!'; return s.GetLength(); }, 9, L"ababcdcd!"},
      {[&] { s = L"x"; s.Append(L"yz"); s.Append(L"0123", 2); s.Append(nullptr, 0); return 0; }, 0, L"xyz01"},
      {[&] { return Thrown([&] { s.Append(nullptr, 2); }) == "std:EINVAL"; }, 1, L"xyz01"},
      {[&] { return Thrown([&] { s.Append(L"abc", -1); }) == "memory"; }, 1, L"xyz01"},
      {[&] { s.Append(s.GetString(), 2); return 0; }, 0, L"xyz01xy"},
      {[&] { s.Append(L"a\0b", 3); return 0; }, 0, L"xyz01xya"},
      // Insert clamps the position and answers the new length.
      {[&] { s = L"abc"; return s.Insert(-5, L"<"); }, 4, L"<abc"},
      {[&] { return s.Insert(99, L">"); }, 5, L"<abc>"},
      {[&] { return s.Insert(2, L"--"); }, 7, L"<a--bc>"},
      {[&] { return s.Insert(1, nullptr) + s.Insert(1, L""); }, 14, L"<a--bc>"},
      {[&] { return s.Insert(0, L'#'); }, 8, L"#<a--bc>"},
      {[&] { return s.Insert(3, L'\0'); }, 8, L"#<a--bc>"},
      {[&] { return s.Insert(1, s.GetString() + 5); }, 11, L"#bc><a--bc>"},  // own text, read before the wipe
  });
}

TEST(SecStrEdit, ReplaceCountsAndResults) {
  CSecStr s(L"aaaa");
  RunSteps(s, {
      {[&] { return s.Replace(L"aa", L"b"); }, 2, L"bb"},
      {[&] { s = L"aaa"; return s.Replace(L"aa", L"b"); }, 1, L"ba"},
      {[&] { s = L"abracadabra"; return s.Replace(L"a", nullptr); }, 5, L"brcdbr"},
      {[&] { return s.Replace(nullptr, L"x") + s.Replace(L"", L"x") + s.Replace(L"zz", L"x"); }, 0, L"brcdbr"},
      {[&] { s = L"aba"; return s.Replace(L"a", L"xyz"); }, 2, L"xyzbxyz"},
      {[&] { return s.Replace(L"xyz", L"Q"); }, 2, L"QbQ"},
      {[&] { return s.Replace(L"Q", L"R"); }, 2, L"RbR"},
  });
  // No old character shows behind the shorter text.
  for (int i = s.GetLength(); i < s.GetAllocLength(); ++i) EXPECT_EQ(s.GetString()[i], 0) << i;

  // Arguments inside the own text behave as copies of it.
  s = L"one two one";
  CSecStr copy(s);
  EXPECT_EQ(s.Replace(s.GetString() + 8, s.GetString() + 4), copy.Replace(L"one", L"two one"));
  EXPECT_EQ(Text(s), L"two one two two one");
  EXPECT_EQ(Text(copy), Text(s));

  // The result's size in bytes must fit 32 bits: 1,000,000 matches growing
  // by 1,100 characters each would need 2.2 GB.
  CSecStr many;
  wmemset(many.GetBuffer(1000000), L'a', 1000000);
  many.ReleaseBuffer(1000000);
  std::wstring longer(1101, L'b');
  EXPECT_EQ(Thrown([&] { many.Replace(L"a", longer.c_str()); }), "safeint:1");
  EXPECT_EQ(many.GetLength(), 1000000);
}

TEST(SecStrEdit, FormatAndParts) {
  CSecStr s(L"old");
  RunSteps(s, {
      {[&] { s.Format(L"%d-%s", 7, L"x"); return 0; }, 0, L"7-x"},
      {[&] { s.Format(L"%S|%s|%05.1f", "narrow", L"wide", 2.5); return 0; }, 0, L"narrow|wide|002.5"},
      {[&] { s.Format(L"[%s]", s.GetString()); return 0; }, 0, L"[narrow|wide|002.5]"},  // own text as argument
      {[&] { s.Format(102u, 7, L"x"); return 0; }, 0, L"7-x"},
      {[&] { s.Format(4711u, 1, 2); return 0; }, 0, L""},  // no such resource
      {[&] { s = L"kept"; s.Format(static_cast<const wchar_t*>(nullptr)); return 0; }, 0, L""},
  });

  // A format the runtime rejects, when measuring or only when writing: the text stays.
  s = L"kept";
  for (const wchar_t* rejected : {L"abc%", L"%"}) {
    EXPECT_EQ(Thrown([&] { s.Format(rejected); }), "ole:0x80070057") << testing::PrintToString(std::wstring(rejected));
    EXPECT_EQ(Text(s), L"kept");
  }

  const CSecStr t(L"abcd");
  const std::pair<CSecStr, const wchar_t*> parts[] = {
      {t.Mid(1, 2), L"bc"},        {t.Mid(3, 10), L"d"},  {t.Mid(9, 1), L""},     {t.Mid(0, 4), L"abcd"},
      {t.Mid(-3, 2), L"ab"},       {t.Mid(2, -1), L""},   {t.Mid(1, INT_MAX), L"bcd"}, {t.Mid(2), L"cd"},
      {t.Mid(-7), L"abcd"},        {t.Mid(INT_MIN), L"abcd"}, {t.Mid(5), L""},   {t.Left(-1), L""},
      {t.Left(0), L""},            {t.Left(3), L"abc"},   {t.Left(10), L"abcd"},  {t.Right(2), L"cd"},
      {t.Right(4), L"abcd"},       {t.Right(40), L"abcd"}, {t.Right(-2), L""}};
  for (const auto& [got, want] : parts) EXPECT_EQ(Text(got), want);
  EXPECT_NE(t.Mid(0, 4).GetString(), t.GetString());
}

TEST(SecStrEdit, PassedOnOperations) {
  CSecStr s(L"Hello, World");
  EXPECT_EQ((std::vector<int>{s.Find(L'o'), s.Find(L'o', 5), s.Find(L'o', 9), s.Find(L'o', 99), s.Find(L"World", 0),
                              s.Find(L"l", 4), s.Find(L"world", 0), s.ReverseFind(L'l'), s.ReverseFind(L'z')}),
            (std::vector<int>{4, 8, -1, -1, 7, 10, -1, 10, -1}));
  EXPECT_EQ(s.GetAt(1), L'e');
  EXPECT_EQ(Thrown([&] { s.GetAt(-1); }), "ole:0x80070057");
  EXPECT_EQ(Thrown([&] { s.GetAt(13); }), "ole:0x80070057");
  EXPECT_EQ(Thrown([&] { s.SetAt(12, L'x'); }), "ole:0x80070057");
  s.SetAt(0, L'J');
  EXPECT_EQ(s.Compare(L"Jello, World"), 0);
  EXPECT_LT(s.Compare(L"jello, world"), 0);  // case-sensitive, by code unit
  EXPECT_EQ(s.CompareNoCase(L"jello, world"), 0);
  EXPECT_GT(s.Compare(L"Jello"), 0);
  EXPECT_EQ(s.Remove(L'l'), 3);
  EXPECT_EQ(Text(s), L"Jeo, Word");
  EXPECT_EQ(Text(s.MakeUpper()), L"JEO, WORD");
  EXPECT_EQ(Text(s.MakeLower()), L"jeo, word");
  CSecStr padded(L"  \t pad \n "), stars(L"**x**");
  EXPECT_EQ(Text(padded.TrimLeft()), L"pad \n ");
  EXPECT_EQ(Text(padded.TrimRight()), L"pad");
  EXPECT_EQ(Text(stars.TrimLeft(L'*')), L"x**");
  EXPECT_EQ(Text(stars.TrimRight(L'*')), L"x");
}

TEST(SecStrOperators, ConcatenationAndComparison) {
  CSecStr a(L"abc"), b(L"abd");
  const wchar_t* none = nullptr;
  const std::pair<CSecStr, const wchar_t*> sums[] = {{a + b, L"abcabd"}, {a + L"x", L"abcx"}, {L"x" + a, L"xabc"},
                                                     {a + none, L"abc"},  {none + a, L"abc"},  {a + a, L"abcabc"}};
  for (const auto& [got, want] : sums) EXPECT_EQ(Text(got), want);
  EXPECT_EQ((std::vector<bool>{a == L"abc", L"abc" == a, a == L"ABC", L"ABC" == a, a == CSecStr(L"abc"), a == b,
                               a != b, a != L"ab", L"ab" != a, a != L"abc", a < b, b < a, a < a,
                               CSecStr(L"Z") < CSecStr(L"a")}),
            (std::vector<bool>{true, true, false, false, true, false, true, true, true, false, true, false, false,
                               true}));  // the last: by code unit
}

std::vector<std::wstring> Walk(const CSecStrList& list) {
  std::vector<std::wstring> texts;
  for (POSITION pos = list.GetHeadPosition(); pos;) texts.push_back(Text(list.GetNext(pos)));
  return texts;
}

TEST(SecStrList, OrderFindRemovalAndErrors) {
  CSecStrList list;
  EXPECT_EQ(Thrown([&] { list.GetHead(); }), "ole:0x8000ffff");
  POSITION none = nullptr;
  EXPECT_EQ(Thrown([&] { list.GetNext(none); }), "invalidarg");
  EXPECT_EQ(Thrown([&] { list.GetAt(nullptr); }), "invalidarg");
  EXPECT_TRUE(list.IsEmpty());
  POSITION first = list.AddTail(L"x");
  list.AddTail(CSecStr(L"y"));
  POSITION third = list.AddTail(L"x");
  list.AddTail(L"X");
  EXPECT_EQ(list.GetCount(), 4);
  EXPECT_EQ(Walk(list), (std::vector<std::wstring>{L"x", L"y", L"x", L"X"}));
  EXPECT_EQ(list.GetHeadPosition(), first);
  EXPECT_EQ((std::vector<POSITION>{list.Find(L"x", nullptr), list.Find(L"x", first), list.Find(L"x", third),
                                   list.Find(L"Y", nullptr)}),
            (std::vector<POSITION>{first, third, nullptr, nullptr}));
  EXPECT_NE(list.Find(L"X", nullptr), nullptr);

  list.GetAt(third) = L"changed";  // writable in place
  EXPECT_EQ(Text(list.RemoveHead()), L"x");
  EXPECT_EQ(Walk(list), (std::vector<std::wstring>{L"y", L"changed", L"X"}));
  EXPECT_EQ(list.Find(L"changed"), third);  // positions stay
  list.RemoveAll();
  EXPECT_TRUE(list.RemoveHead().IsEmpty());  // empty: an empty string, the list unchanged
  EXPECT_TRUE(list.IsEmpty());
  for (int i = 0; i < 25; ++i) list.AddTail(CSecStr(L'a' + i));  // more than one block of nodes
  EXPECT_EQ(list.GetCount(), 25);
  EXPECT_EQ(Walk(list).back(), L"y");
}

TEST(SecStrList, AssignmentGivesEachListItsOwnElements) {
  CSecStrList a, b;
  a.AddTail(L"one");
  a.AddTail(L"two");
  b.AddTail(L"old");
  b = a;
  EXPECT_EQ(Walk(b), (std::vector<std::wstring>{L"one", L"two"}));
  EXPECT_NE(a.GetHeadPosition(), b.GetHeadPosition());
  EXPECT_NE(a.GetHead().GetString(), b.GetHead().GetString());
  b.GetAt(b.GetHeadPosition()) = L"changed";
  a.RemoveAll();
  EXPECT_EQ(Walk(b), (std::vector<std::wstring>{L"changed", L"two"}));
  b = b;
  EXPECT_EQ(b.GetCount(), 2);

  CSecStrList::CElem element;  // the element is a CObject
  EXPECT_TRUE(static_cast<CObject&>(element).IsKindOf(CObject::GetThisClass()));
}

}  // namespace
