// CSecStr, CSecStrA, CSecStrList and the MFC stand-in under them.
#include <gtest/gtest.h>

#include <climits>
#include <clocale>
#include <cwchar>
#include <functional>
#include <string>
#include <vector>

#include "logcapture.h"
#include "recording.h"

using namespace zqtest;

namespace {

const wchar_t kLong[] = L"a text that is far longer than any buffer the short strings start with";
const HINSTANCE kSelf = GetModuleHandleW(nullptr);
const char kInvalidArg[] = "ole:0x80070057";

// The strings of each test take their blocks from a recording manager: every
// block and plain array they free must be zeros, none may be left, and blocks
// that MFC grew on its own must have met a wiped buffer.
class Wiped : public testing::Test {
 protected:
  Wiped() { g_dirtyArrays = 0; }
  void TearDown() override {
    AfxSetStringManager(previous_);
    EXPECT_TRUE(manager_.dirty.empty()) << manager_.dirty.front();
    EXPECT_EQ(manager_.allocations, manager_.frees);
    EXPECT_GE(manager_.reallocations, 1);
    EXPECT_EQ(g_dirtyArrays, 0);
  }

 private:
  RecordingStringManager manager_;
  ATL::IAtlStringMgr* previous_ = AfxSetStringManager(&manager_);
};

HINSTANCE g_hookModule = GetModuleHandleW(L"vxlogu64.dll");  // no string table
int g_hookCalls = 0;

// Steps on one string: what each returns and the text it leaves.
TEST_F(Wiped, ConstructionEditingResourcesAndParts) {
  char narrow[] = "n\xe9";  // e-acute in the ANSI code page 1252
  const std::pair<CSecStr, const wchar_t*> made[] = {
      {CSecStr(L'\0'), L""}, {CSecStr(static_cast<const wchar_t*>(nullptr)), L""}, {CSecStr(narrow), L"n\u00e9"},
      {CSecStr("n\xe9x", 2), L"n\u00e9"}, {CSecStr(L"a\0b", 3), L"a"}, {CSecStr(kLong, 1), L"a"},
      {CSecStr(static_cast<const wchar_t*>(nullptr), 0), L""}};
  for (const auto& [got, want] : made) EXPECT_EQ(Text(got), want);
  CSecStr s(L"ab");
  const std::wstring loaded = L"A somewhat longer resource text that needs a bigger buffer";
  const std::tuple<std::function<int()>, int, std::wstring> steps[] = {
      {[&] { return (s += s).GetLength(); }, 4, L"abab"},
      {[&] { return (s += s.GetString() + 2).GetLength(); }, 6, L"ababab"},
      {[&] { return (s += L'\0').GetLength(); }, 7, {L"ababab\0", 7}},
      {[&] { s = L"x"; s.Append(L"yz"); s.Append(L"0123", 2); s.Append(nullptr, 0); return 0; }, 0, L"xyz01"},
      {[&] { s.Append(L"a\0b", 3); s.Append(s.GetString(), 2); return 0; }, 0, L"xyz01axy"},
      {[&] { s = L"abc"; return s.Insert(-5, L"<") + s.Insert(99, L">"); }, 9, L"<abc>"},
      {[&] { return s.Insert(2, L"--") + s.Insert(1, nullptr) + s.Insert(1, L""); }, 21, L"<a--bc>"},
      {[&] { return s.Insert(0, L'#') + s.Insert(3, L'\0'); }, 16, L"#<a--bc>"},
      {[&] { return s.Insert(1, s.GetString() + 5); }, 11, L"#bc><a--bc>"},
      {[&] { s = L"aaaa"; return s.Replace(L"aa", L"b"); }, 2, L"bb"},
      {[&] { s = L"abracadabra"; return s.Replace(L"a", nullptr) + s.Replace(L"", L"x"); }, 5, L"brcdbr"},
      {[&] { s = L"aba"; return s.Replace(L"a", L"xyz") * 10 + s.Replace(L"xyz", L"Q"); }, 22, L"QbQ"},
      {[&] { s = L"1 2 1"; return s.Replace(s.GetString() + 4, s.GetString() + 2); }, 2, L"2 1 2 2 1"},
      {[&] { s.Format(L"%S|%s|%05.1f", "narrow", L"wide", 2.5); return 0; }, 0, L"narrow|wide|002.5"},
      {[&] { s.Format(L"[%s]", s.GetString()); return 0; }, 0, L"[narrow|wide|002.5]"},
      {[&] { s = L" \tHello, World\n"; s.TrimLeft().TrimRight(); return s.Remove(L'l'); }, 3, L"Heo, Word"},
      {[&] { s.MakeUpper().TrimLeft(L'H').TrimRight(L'D'); return s.Find(L"WO") * 10 + s.ReverseFind(L'O'); }, 45,
       L"EO, WOR"},
      // Resources: a failed load keeps the text; the lookup can be replaced.
      {[&] { return s.LoadStringW(kSelf, 999) + s.LoadStringW(kSelf, 100); }, 0, L"EO, WOR"},
      {[&] { return s.LoadStringW(103u); }, 1, loaded},  // this program is the MFC module
      {[&] {
         CSecStr::UpdateFindStringResourceHandleFunction([](UINT) { ++g_hookCalls; return g_hookModule; });
         return s.LoadStringW(101u);
       }, 0, loaded},
      {[&] { s.Format(102u, 5, L"five"); return g_hookCalls; }, 2, L""},
      {[&] { g_hookModule = kSelf; s.Format(102u, 5, L"five"); return g_hookCalls; }, 3, L"5-five"},
      {[&] { return s.LoadStringW(101u) ? g_hookCalls : -1; }, 4, L"Resource text"},
  };
  for (size_t i = 0; i < std::size(steps); ++i) {
    EXPECT_EQ(std::get<0>(steps[i])(), std::get<1>(steps[i])) << "step " << i;
    EXPECT_EQ(Text(s), std::get<2>(steps[i])) << "step " << i;
  }
  CSecStr::UpdateFindStringResourceHandleFunction(AfxFindStringResourceHandle);
  const CSecStr t(L"abcd"), copy(t);
  EXPECT_NE(copy.GetString(), t.GetString());
  const std::pair<CSecStr, const wchar_t*> parts[] = {
      {t.Mid(1, 2), L"bc"},   {t.Mid(3, 10), L"d"},        {t.Mid(9, 1), L""},          {t.Mid(-3, 2), L"ab"},
      {t.Mid(2, -1), L""},    {t.Mid(1, INT_MAX), L"bcd"}, {t.Mid(INT_MIN), L"abcd"},   {t.Mid(5), L""},
      {t.Left(-1), L""},      {t.Left(3), L"abc"},         {t.Left(10), L"abcd"},       {t.Right(2), L"cd"},
      {t.Right(40), L"abcd"}, {t.Right(-2), L""},          {t + L"x" + t, L"abcdxabcd"}, {L"x" + t, L"xabcd"}};
  for (const auto& [got, want] : parts) EXPECT_EQ(Text(got), want);
  std::vector<bool> compared{t == L"abcd", L"abcd" == t, t == L"ABCD", t != L"abc", L"abc" != t, t != copy,
                             t < CSecStr(L"abd"), t < t, CSecStr(L"Z") < CSecStr(L"a")};
  EXPECT_EQ(compared, (std::vector<bool>{true, true, false, true, true, false, true, false, true}));
}

TEST_F(Wiped, ErrorsLeaveTheTextAsItWas) {
  CSecStr s(L"kept"), many(L"a");
  CSecStrA a("kept");
  CSecStrList list;
  POSITION none = nullptr;
  // 1,000,000 matches growing by 1,100 characters each: 2.2 GB, beyond 32 bits.
  wmemset(many.GetBuffer(1000000), L'a', 1000000);
  many.ReleaseBuffer(1000000);
  const std::pair<std::function<void()>, const char*> errors[] = {
      {[] { CSecStr x(static_cast<const wchar_t*>(nullptr), -1); }, kInvalidArg},
      {[] { CSecStr x(L"abc", -1); }, "memory"}, {[] { CSecStr x("abc", -1); }, "memory"},
      {[] { CSecStrA x(static_cast<const char*>(nullptr), 4); }, kInvalidArg},
      {[&] { s.SetString(L"x", -3); }, "memory"}, {[&] { s.SetString(nullptr, 3); }, kInvalidArg},
      {[&] { s.ReleaseBuffer(-2); }, kInvalidArg}, {[&] { s.ReleaseBuffer(s.GetAllocLength() + 1); }, kInvalidArg},
      {[] { CSecStr().ReleaseBuffer(1); }, kInvalidArg}, {[&] { s.Append(nullptr, 2); }, "std:EINVAL"},
      {[&] { s.Append(L"abc", -1); }, "memory"}, {[&] { s.GetAt(5); }, kInvalidArg},
      {[&] { s.Format(L"abc%"); }, kInvalidArg},  // rejected when measuring
      {[&] { s.Format(L"%"); }, kInvalidArg},     // rejected only when writing
      {[&] { many.Replace(L"a", std::wstring(1101, L'b').c_str()); }, "safeint:1"},
      {[&] { a.ReleaseBuffer(1000); }, kInvalidArg},
      {[&] { list.GetHead(); }, "ole:0x8000ffff"}, {[&] { list.GetNext(none); }, "invalidarg"},
      {[&] { list.GetAt(nullptr); }, "invalidarg"}, {[&] { a.Append(nullptr, 0); }, "std:EINVAL"},
  };
  for (size_t i = 0; i < std::size(errors); ++i) EXPECT_EQ(Thrown(errors[i].first), errors[i].second) << "row " << i;
  EXPECT_EQ(Text(s) + L"|" + std::to_wstring(many.GetLength()), L"kept|1000000");
  EXPECT_EQ(Text(a), "kept");
}

TEST_F(Wiped, BuffersEmptyAndTheManagerOfABlock) {
  CSecStr s(L"x"), made;
  int capacity = s.GetAllocLength();
  EXPECT_EQ(s.GetBuffer(-5), s.GetBuffer(capacity));  // within the capacity: the same buffer
  wchar_t* grown = s.GetBuffer(capacity + 1);
  EXPECT_EQ(Text(s), L"x");
  capacity = s.GetAllocLength();
  wmemset(grown, L'y', static_cast<size_t>(capacity) + 1);
  s.ReleaseBuffer(-1);  // no NUL in the capacity: all of it
  EXPECT_EQ(Text(s), std::wstring(static_cast<size_t>(capacity), L'y'));
  s.ReleaseBuffer(2);
  std::wstring zeros(static_cast<size_t>(capacity) + 1, L'\0');
  EXPECT_EQ(std::wstring(grown, zeros.size()), L"yy" + zeros.substr(2));
  s.ReleaseBuffer(capacity);
  s.Empty();
  EXPECT_EQ(s.GetAllocLength(), capacity);
  EXPECT_EQ(std::wstring(s.GetString(), zeros.size()), zeros);
  // A string keeps taking blocks from the manager that made it.
  EXPECT_EQ(RecordWipes([&] { made = kLong; }).live, 0);
}

TEST_F(Wiped, NarrowStringsConvertInsertAndAppend) {
  LogCapture log;
  wchar_t wide[] = L"assigned";
  CSecStrA converted(CSecStr(L"plain ascii")), assigned("x");
  assigned = wide;
  // The "C" locale has no byte for the euro sign: an error logged, the wide
  // length kept, zeros where the conversion gave nothing.
  std::string previous = setlocale(LC_CTYPE, nullptr);
  setlocale(LC_CTYPE, "C");
  CSecStrA failed(CSecStr(L"a\u20acb"));
  setlocale(LC_CTYPE, previous.c_str());
  EXPECT_EQ(log.Lines(), (std::vector<LogLine>{{1, L"CSecStrA::CSecStrA(const CSecStr&) : wcstombs_s failed (42)"}}));
  EXPECT_EQ(Text(converted) + Text(assigned) + Text(failed), std::string("plain asciiassigned\0\0\0", 22));
  CSecStrA t("bcd"), copy(t);
  std::vector<int> lengths{t.Insert(-1, "a"), t.Insert(0, nullptr), t.Insert(99, "e"), t.Insert(2, t.GetString())};
  EXPECT_EQ(lengths, (std::vector<int>{4, 4, 5, 10}));
  t.Append("fgh", 2);
  copy = t;
  EXPECT_EQ(Text(copy) + "|" + std::to_string(copy.Find("cd", 5)), "ababcdecdefg|7");
}

TEST_F(Wiped, ListOrderFindRemovalAndAssignment) {
  CSecStrList list, copy;
  POSITION first = list.AddTail(L"x");
  list.AddTail(CSecStr(L"y"));
  POSITION third = list.AddTail(L"x");
  list.AddTail(L"X");
  EXPECT_EQ((std::vector<POSITION>{list.Find(L"x"), list.Find(L"x", first), list.Find(L"x", third), list.Find(L"Y")}),
            (std::vector<POSITION>{first, third, nullptr, nullptr}));
  list.GetAt(third) = L"changed";
  EXPECT_EQ(Text(list.RemoveHead()), L"x");
  EXPECT_EQ(list.Find(L"changed"), third);  // positions stay
  copy.AddTail(L"old");
  copy = list;
  list.RemoveAll();
  EXPECT_TRUE(list.RemoveHead().IsEmpty() && list.IsEmpty());
  for (int i = 0; i < 25; ++i) copy.AddTail(CSecStr(static_cast<wchar_t>(L'a' + i)));  // beyond one block of nodes
  copy = copy;
  std::wstring texts;
  for (POSITION pos = copy.GetHeadPosition(); pos;) texts += Text(copy.GetNext(pos)) + L",";
  EXPECT_EQ(texts, L"y,changed,X,a,b,c,d,e,f,g,h,i,j,k,l,m,n,o,p,q,r,s,t,u,v,w,x,y,");
}

// Out of memory at any point of an operation (the n-th string block) throws
// CMemoryException and leaves every block wiped. The checks bite on MFC's own
// string, which frees its blocks with the text in them, and on an array
// deleted as it is.
TEST(SecStrWipe, NoMemoryMidOperationLeavesNoCopy) {
  EXPECT_EQ(RecordWipes([] { CStringW s = L"secret"; s += kLong; }).dirty.size(), 2u);
  delete[] new char[4]{'x'};
  EXPECT_EQ(g_dirtyArrays, 1);
  std::string thrown;
  for (int n = 1; n < 80 && thrown != "none"; ++n) {
    WipeReport report = RecordWipes([&] {
      CSecStr s(L"secret");
      CSecStrList list;
      thrown = Thrown([&] { s.Insert(2, kLong); s.Format(L"%s%s", s.GetString(), kLong); list.AddTail(s += kLong); });
    }, n);
    EXPECT_TRUE(report.dirty.empty() && report.live == 0 && (thrown == "none" || thrown == "memory")) << n << thrown;
  }
  EXPECT_EQ(thrown, "none");
}

}  // namespace
