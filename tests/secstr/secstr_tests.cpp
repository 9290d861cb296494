// CSecStr and CSecStrA: wiping, storage, construction, assignment, buffers,
// resources, conversion.
#include <gtest/gtest.h>

#include <algorithm>
#include <clocale>
#include <cwchar>
#include <functional>
#include <string>

#include "logcapture.h"
#include "wipecheck.h"
#include "zqsecstr.h"

using zqtest::ArrayWatch;
using zqtest::RecordWipes;
using zqtest::Text;
using zqtest::Thrown;

namespace {

template <typename Char>
bool AllZero(const Char* buffer, int count) {
  return std::all_of(buffer, buffer + count, [](Char c) { return c == 0; });
}

const wchar_t kLong[] = L"a text that is far longer than any buffer the short strings start with";

// Reads the resource lookup of CSecStr.
struct ResourceHook : CSecStr {
  static HINSTANCE (*Current())(UINT) { return m_pFnFindStringResourceHandle; }
};

TEST(SecStrWipe, TheCheckCatchesPlainStringsThatGrowOrDie) {
  // MFC's own string frees its old buffer with the text in it when it grows,
  // and its last buffer when it dies: the recorder must see both.
  auto plain = RecordWipes([] {
    CStringW s = L"secret";
    s += kLong;
  });
  EXPECT_EQ(plain.reallocations, 1);
  ASSERT_EQ(plain.dirty.size(), 2u);
  EXPECT_EQ(plain.dirty[0].substr(0, 12), "730065006300");  // "sec" in UTF-16LE
  auto secure = RecordWipes([] {
    CSecStr s(L"secret");
    s += kLong;
  });
  EXPECT_WIPED(secure, 3);
  ArrayWatch arrays;
  delete[] new char[4]{'x', 0, 0, 0};
  EXPECT_EQ(arrays.Deleted(), 1);
  EXPECT_EQ(arrays.Dirty(), 1);
}

TEST(SecStrWipe, EveryOperationFreesOnlyZeros) {
  HINSTANCE self = GetModuleHandleW(nullptr);
  struct Case {
    const char* name;
    std::function<void()> work;
    int minReallocations;  // growth that MFC does on its own, which must meet a wiped buffer
  };
  const Case cases[] = {
      {"construct empty, char, text, null", [] { CSecStr a, b(L'x'), c(L"abc"), d(static_cast<const wchar_t*>(nullptr)); }, 0},
      {"construct counted wide", [] { CSecStr a(kLong, 20); }, 0},
      {"construct narrow", [] { char text[] = "narrow secret"; CSecStr a(text), b("counted narrow", 7); }, 0},
      {"copy", [] { CSecStr a(kLong); CSecStr b(a); }, 0},
      {"assign CSecStr", [] { CSecStr a(L"ab"), b(kLong); a = b; }, 1},
      {"assign text growing", [] { CSecStr a(L"ab"); a = kLong; a = L"short"; a = kLong; }, 1},
      {"assign null", [] { CSecStr a(kLong); a = static_cast<const wchar_t*>(nullptr); }, 0},
      {"assign narrow", [] { CSecStr a(L"ab"); char text[] = "a narrow text longer than ab"; a = text; a = "const narrow"; }, 0},
      {"SetString", [] { CSecStr a(L"ab"); a.SetString(kLong, 30); }, 1},
      {"GetBuffer beyond capacity", [] { CSecStr a(L"secret"); a.GetBuffer(100); a.ReleaseBuffer(); }, 1},
      {"GetBuffer beyond capacity when empty", [] { CSecStr a(kLong); a.Empty(); a.GetBuffer(500); }, 1},
      {"ReleaseBuffer", [] { CSecStr a(kLong); a.ReleaseBuffer(3); }, 0},
      {"LoadStringW success", [self] { CSecStr a(L"old secret"); a.LoadStringW(self, 103); }, 1},
      {"LoadStringW failure", [self] { CSecStr a(L"old secret"); a.LoadStringW(self, 999); }, 0},
      {"+= CSecStr, self", [] { CSecStr a(L"ab"), b(kLong); a += b; a += a; }, 0},
      {"+= text", [] { CSecStr a(L"ab"); a += kLong; }, 1},
      {"+= char", [] { CSecStr a(L"1234567"); a += L'8'; a += L'9'; }, 1},
      {"Insert", [] { CSecStr a(L"secret"); a.Insert(3, kLong); a.Insert(0, L'x'); }, 1},
      {"Append", [] { CSecStr a(L"secret"); a.Append(kLong); a.Append(kLong, 10); }, 1},
      {"Replace shorter", [] { CSecStr a(kLong); a.Replace(L"text", L"t"); }, 0},
      {"Replace longer", [] { CSecStr a(kLong); a.Replace(L"a", L"AAAA"); }, 1},
      {"Replace equal", [] { CSecStr a(kLong); a.Replace(L"a", L"b"); }, 0},
      {"Format text", [] { CSecStr a(L"old"); a.Format(L"%d-%s-%s", 7, L"x", kLong); }, 1},
      {"Format id", [] { CSecStr a(L"old"); a.Format(102u, 7, kLong); }, 1},
      {"Mid Left Right", [] { CSecStr a(kLong); CSecStr b = a.Mid(3, 10), c = a.Left(5), d = a.Right(4), e = a.Mid(2); }, 0},
      {"operators", [] {
         CSecStr a(L"left"), b(kLong);
         CSecStr c = a + b, d = a + L"x", e = L"x" + b;
         (void)(a == b); (void)(a != L"y"); (void)(a < b);
       }, 0},
      {"list RemoveHead, RemoveAll, destruction", [] {
         CSecStrList list;
         list.AddTail(kLong);
         list.AddTail(CSecStr(L"second"));
         list.AddTail(L"third");
         CSecStr head = list.RemoveHead();
         list.RemoveAll();
         list.AddTail(L"left for the destructor");
       }, 0},
      {"list assignment", [] { CSecStrList a, b; a.AddTail(L"one"); b.AddTail(L"two"); b = a; }, 0},
      {"CSecStrA from CSecStr", [] { CSecStr w(kLong); CSecStrA a(w); CSecStrA b(a); b = a; }, 0},
      {"CSecStrA growth", [] { CSecStrA a("secret"); a.Append("more secret text", 16); a.Insert(2, "x"); a.GetBuffer(200); }, 1},
      {"exception through ReleaseBuffer and Append", [] {
         CSecStr a(kLong);
         EXPECT_EQ(Thrown([&] { a.ReleaseBuffer(-2); }), "ole:0x80070057");
         EXPECT_EQ(Thrown([&] { a.Append(L"abc", -1); }), "memory");
         EXPECT_EQ(Thrown([&] { a.SetString(nullptr, 3); }), "ole:0x80070057");
         EXPECT_EQ(Text(a), kLong);
       }, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ArrayWatch arrays;
    auto report = RecordWipes(c.work);
    EXPECT_WIPED(report, 1);
    EXPECT_GE(report.reallocations, c.minReallocations);
    EXPECT_EQ(arrays.Dirty(), 0);
  }

  // The length constructors go through a plain array, zeroed before delete[].
  ArrayWatch arrays;
  CSecStr wide(L"abcdef", 4), narrow("abcdef", 4);
  CSecStrA bytes("abcdef", 4);
  EXPECT_EQ(arrays.Deleted(), 3);
  EXPECT_EQ(arrays.Dirty(), 0);
}

TEST(SecStrWipe, NoMemoryMidOperationLeavesNoCopy) {
  {
    zqtest::NothrowNewFailure failing(0);  // the inner string and the list storage
    EXPECT_EQ(Thrown([] { CSecStr s; }), "memory");
    EXPECT_EQ(Thrown([] { CSecStr s(L"text"); }), "memory");
    EXPECT_EQ(Thrown([] { CSecStrA s("text"); }), "memory");
    EXPECT_EQ(Thrown([] { CSecStrList list; }), "memory");
  }
  // Each operation runs with the n-th string block (or, last, the n-th inner
  // string or list node) failing, for every n up to the point where it
  // succeeds: whatever it threw, every block was wiped.
  const std::function<void(CSecStr&, CSecStrList&)> operations[] = {
      [](CSecStr& s, CSecStrList&) { s += kLong; },
      [](CSecStr& s, CSecStrList&) { s.Insert(2, kLong); },
      [](CSecStr& s, CSecStrList&) { s.Replace(L"e", kLong); },
      [](CSecStr& s, CSecStrList&) { s.Format(L"%s%s", kLong, kLong); },
      [](CSecStr& s, CSecStrList&) { s = kLong; },
      [](CSecStr& s, CSecStrList&) { s.GetBuffer(500); },
      [](CSecStr& s, CSecStrList& list) { s += kLong; s.Replace(L"e", L"E"); list.AddTail(s); },
  };
  for (bool innerNew : {false, true}) {
    for (size_t op = 0; op < std::size(operations); ++op) {
      std::string thrown;
      for (int n = innerNew ? 0 : 1; n < 40 && thrown != "none"; ++n) {
        SCOPED_TRACE("operation " + std::to_string(op) + " fails after " + std::to_string(n) +
                     (innerNew ? " nothrow news" : " blocks"));
        auto report = RecordWipes([&] {
          CSecStr s(L"secret");
          CSecStrList list;
          zqtest::NothrowNewFailure failing(innerNew ? n : -1);
          thrown = Thrown([&] { operations[op](s, list); });
        }, innerNew ? -1 : n);
        EXPECT_WIPED(report, 1);
        EXPECT_TRUE(thrown == "none" || thrown == "memory") << thrown;
      }
      EXPECT_EQ(thrown, "none");
    }
  }
}

TEST(SecStr, EmptyKeepsCapacityAndZeroesAll) {
  CSecStr s(kLong);
  int capacity = s.GetAllocLength();
  ASSERT_GT(capacity, 60);
  const wchar_t* buffer = s.GetString();
  s.Empty();
  EXPECT_EQ(s.GetAllocLength(), capacity);
  EXPECT_TRUE(s.IsEmpty());
  EXPECT_EQ(s.GetString(), buffer);
  EXPECT_TRUE(AllZero(buffer, capacity));
  CSecStr never;  // the shared empty block: nothing to wipe, nothing allocated
  never.Empty();
  EXPECT_EQ(never.GetAllocLength(), 0);
}

TEST(SecStr, ConstructionAndAssignmentFromEachSource) {
  char narrow[] = "narrow";
  const std::pair<CSecStr, const wchar_t*> made[] = {
      {CSecStr(), L""}, {CSecStr(L'z'), L"z"}, {CSecStr(L'\0'), L""}, {CSecStr(L"abc"), L"abc"},
      {CSecStr(static_cast<const wchar_t*>(nullptr)), L""}, {CSecStr(narrow), L"narrow"},
      {CSecStr(static_cast<char*>(nullptr)), L""}, {CSecStr("narrow", 3), L"nar"}, {CSecStr(L"abcdef", 2), L"ab"},
      {CSecStr(static_cast<const wchar_t*>(nullptr), 0), L""}, {CSecStr(L"a\0b", 3), L"a"}};  // NUL ends the text
  for (const auto& [got, want] : made) EXPECT_EQ(Text(got), want);
  // Length constructors: checks in order.
  EXPECT_EQ(Thrown([] { CSecStr s(static_cast<const wchar_t*>(nullptr), 3); }), "ole:0x80070057");
  EXPECT_EQ(Thrown([] { CSecStr s(static_cast<const wchar_t*>(nullptr), -1); }), "ole:0x80070057");
  EXPECT_EQ(Thrown([] { CSecStr s(L"abc", -1); }), "memory");
  EXPECT_EQ(Thrown([] { CSecStr s("abc", -1); }), "memory");
  EXPECT_EQ(Thrown([] { CSecStr s(static_cast<const char*>(nullptr), 2); }), "ole:0x80070057");

  // Copies and assignments never share the buffer; own text is a valid source.
  CSecStr s(L"hello world"), copy(s);
  EXPECT_NE(copy.GetString(), s.GetString());
  s = s;
  EXPECT_EQ(Text(s), L"hello world");
  s = s.GetString() + 2;
  EXPECT_EQ(Text(s), L"llo world");
  s = L"a\0b";
  EXPECT_EQ(Text(s), L"a");
  int capacity = s.GetAllocLength();
  s = static_cast<const wchar_t*>(nullptr);  // wipes only
  EXPECT_EQ(s.GetAllocLength(), capacity);
  EXPECT_TRUE(AllZero(s.GetString(), capacity + 1));
  s = narrow;
  EXPECT_EQ(Text(s), L"narrow");
  s = "const narrow";
  EXPECT_EQ(Text(s), L"const narrow");
  s = static_cast<const char*>(nullptr);
  EXPECT_EQ(Text(s), L"");
  s = copy;
  EXPECT_EQ(Text(s), L"hello world");
  EXPECT_NE(s.GetString(), copy.GetString());
  s.SetString(L"counted text", 7);
  EXPECT_EQ(Text(s), L"counted");
  EXPECT_EQ(Thrown([&] { s.SetString(L"x", -3); }), "memory");
  EXPECT_EQ(Text(s), L"counted");  // the temporary failed before anything was touched
  s.SetString(s.GetString() + 2, 3);
  EXPECT_EQ(Text(s), L"unt");
}

TEST(SecStr, GetBufferKeepsOrGrowsAndReleaseBufferChecks) {
  CSecStr s(L"abc");
  int capacity = s.GetAllocLength();
  wchar_t* buffer = s.GetBuffer(capacity);
  EXPECT_EQ(buffer, s.GetString());
  EXPECT_EQ(s.GetBuffer(0), buffer);
  EXPECT_EQ(s.GetBuffer(-5), buffer);
  wchar_t* grown = s.GetBuffer(capacity + 50);
  EXPECT_GE(s.GetAllocLength(), capacity + 50);
  EXPECT_EQ(s.GetLength(), 3);
  EXPECT_EQ(std::wstring(grown, 3), L"abc");
  wcscpy_s(grown, static_cast<size_t>(s.GetAllocLength()) + 1, L"written by the caller");
  s.ReleaseBuffer();
  EXPECT_EQ(Text(s), L"written by the caller");

  capacity = s.GetAllocLength();
  EXPECT_EQ(Thrown([&] { s.ReleaseBuffer(-2); }), "ole:0x80070057");
  EXPECT_EQ(Thrown([&] { s.ReleaseBuffer(capacity + 1); }), "ole:0x80070057");
  EXPECT_EQ(Text(s), L"written by the caller");
  s.ReleaseBuffer(2);
  EXPECT_EQ(Text(s), L"wr");
  EXPECT_TRUE(AllZero(s.GetString() + 2, capacity - 2));
  s.ReleaseBuffer(capacity);  // the whole capacity, now zeros after "wr"
  EXPECT_EQ(s.GetLength(), capacity);

  // Without a NUL in the capacity, -1 takes the whole capacity.
  CSecStr full(L"1234567");
  ASSERT_EQ(full.GetAllocLength(), 7);
  wmemset(full.GetBuffer(), L'x', 8);
  full.ReleaseBuffer(-1);
  EXPECT_EQ(Text(full), L"xxxxxxx");
  CSecStr empty;
  EXPECT_EQ(Thrown([&] { empty.ReleaseBuffer(1); }), "ole:0x80070057");
}

HINSTANCE g_hookModule = nullptr;
int g_hookCalls = 0;
HINSTANCE CountingHook(UINT) {
  ++g_hookCalls;
  return g_hookModule;
}

TEST(SecStr, LoadStringThroughTheResourceHook) {
  HINSTANCE self = GetModuleHandleW(nullptr);
  CSecStr s(L"previous");
  EXPECT_NE(s.LoadStringW(self, 101), 0);
  EXPECT_EQ(Text(s), L"Resource text");
  EXPECT_EQ(s.LoadStringW(self, 999), 0);  // missing: the previous text stays
  EXPECT_EQ(s.LoadStringW(self, 100), 0);  // in the block, but no entry
  EXPECT_EQ(Text(s), L"Resource text");
  // The default lookup finds this program's strings (the MFC module here).
  EXPECT_NE(s.LoadStringW(103u), 0);
  EXPECT_EQ(Text(s), L"A somewhat longer resource text that needs a bigger buffer");

  auto original = ResourceHook::Current();
  g_hookModule = GetModuleHandleW(L"vxlogu64.dll");
  CSecStr::UpdateFindStringResourceHandleFunction(CountingHook);
  EXPECT_EQ(s.LoadStringW(101u), 0);  // the log library has no string table
  EXPECT_EQ(g_hookCalls, 1);
  g_hookModule = self;
  EXPECT_NE(s.LoadStringW(101u), 0);
  EXPECT_EQ(Text(s), L"Resource text");
  s.Format(102u, 5, L"five");
  EXPECT_EQ(Text(s), L"5-five");
  EXPECT_EQ(g_hookCalls, 3);
  CSecStr::UpdateFindStringResourceHandleFunction(original);
  EXPECT_EQ(ResourceHook::Current(), original);
}

TEST(SecStrA, ConstructionAssignmentAndConversion) {
  const std::pair<CSecStrA, const char*> made[] = {
      {CSecStrA(), ""}, {CSecStrA("abc"), "abc"}, {CSecStrA(static_cast<const char*>(nullptr)), ""},
      {CSecStrA("abcdef", 3), "abc"}, {CSecStrA(static_cast<const char*>(nullptr), 0), ""}, {CSecStrA("a\0b", 3), "a"}};
  for (const auto& [got, want] : made) EXPECT_EQ(Text(got), want);
  EXPECT_EQ(Thrown([] { CSecStrA s(static_cast<const char*>(nullptr), 4); }), "ole:0x80070057");
  EXPECT_EQ(Thrown([] { CSecStrA s("abc", -1); }), "memory");

  zqtest::LogCapture log;
  CSecStrA narrow(CSecStr(L"plain ascii"));
  EXPECT_EQ(Text(narrow), "plain ascii");
  wchar_t text[] = L"assigned";
  narrow = text;
  EXPECT_EQ(Text(narrow), "assigned");
  EXPECT_TRUE(log.Lines().empty());

  CSecStrA copy(narrow), other("b");
  other = narrow;
  EXPECT_NE(copy.GetString(), narrow.GetString());
  EXPECT_NE(other.GetString(), narrow.GetString());
  other.GetBuffer()[0] = 'A';
  other = other;
  EXPECT_EQ(Text(other), "Assigned");
  EXPECT_EQ(Text(narrow), "assigned");

  // The runtime's "C" locale has no byte for the euro sign: logged at level 1,
  // the wide length kept, whatever the conversion gave.
  std::string previous = setlocale(LC_CTYPE, nullptr);
  setlocale(LC_CTYPE, "C");
  CSecStrA failed(CSecStr(L"a\u20acb"));
  EXPECT_EQ(log.Lines(), (std::vector<zqtest::LogLine>{
                             {1, L"CSecStrA::CSecStrA(const CSecStr&) : wcstombs_s failed (42)"}}));
  EXPECT_EQ(Text(failed), std::string(3, '\0'));
  wchar_t euro[] = L"\u20ac";
  failed = euro;
  EXPECT_EQ(log.Lines().size(), 2u);
  EXPECT_EQ(failed.GetLength(), 1);
  setlocale(LC_CTYPE, previous.c_str());
}

TEST(SecStrA, BuffersInsertAppendFind) {
  CSecStrA s("abc");
  ASSERT_EQ(s.GetBuffer(7), s.GetString());
  char* grown = s.GetBuffer(40);
  EXPECT_EQ(std::string(grown, 3), "abc");
  strcpy_s(grown, 41, "12345678");
  s.ReleaseBuffer();
  EXPECT_EQ(Text(s), "12345678");
  EXPECT_EQ(Thrown([&] { s.ReleaseBuffer(-2); }), "ole:0x80070057");
  EXPECT_EQ(Thrown([&] { s.ReleaseBuffer(1000); }), "ole:0x80070057");
  s.ReleaseBuffer(1);
  EXPECT_EQ(Text(s), "1");
  EXPECT_TRUE(AllZero(s.GetString() + 1, 39));  // at least what GetBuffer(40) asked for

  CSecStrA t("bcd");
  EXPECT_EQ(t.Insert(-1, "a"), 4);
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
  EXPECT_TRUE(AllZero(t.GetString(), before));
}

}  // namespace
