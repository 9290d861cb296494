// The free operators on CSecStr and CSecStrList.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "secstrelem.h"
#include "wipecheck.h"
#include "zqsecstr.h"

using zqtest::RecordWipes;
using zqtest::Thrown;

namespace {

std::wstring Text(const CSecStr& s) { return std::wstring(s.GetString(), static_cast<size_t>(s.GetLength())); }

std::vector<std::wstring> Walk(const CSecStrList& list) {
  std::vector<std::wstring> texts;
  for (POSITION pos = list.GetHeadPosition(); pos;) texts.push_back(Text(list.GetNext(pos)));
  return texts;
}

TEST(SecStrOperators, ConcatenationAndComparison) {
  CSecStr a(L"abc"), b(L"abd");
  EXPECT_EQ(Text(a + b), L"abcabd");
  EXPECT_EQ(Text(a + L"x"), L"abcx");
  EXPECT_EQ(Text(L"x" + a), L"xabc");
  EXPECT_EQ(Text(a + static_cast<const wchar_t*>(nullptr)), L"abc");
  EXPECT_EQ(Text(static_cast<const wchar_t*>(nullptr) + a), L"abc");
  EXPECT_EQ(Text(a + a), L"abcabc");

  EXPECT_TRUE(a == L"abc");
  EXPECT_TRUE(L"abc" == a);
  EXPECT_FALSE(a == L"ABC");
  EXPECT_FALSE(L"ABC" == a);
  EXPECT_TRUE(a == CSecStr(L"abc"));
  EXPECT_FALSE(a == b);
  EXPECT_TRUE(a != b);
  EXPECT_TRUE(a != L"ab");
  EXPECT_TRUE(L"ab" != a);
  EXPECT_FALSE(a != L"abc");
  EXPECT_TRUE(a < b);
  EXPECT_FALSE(b < a);
  EXPECT_FALSE(a < a);
  EXPECT_TRUE(CSecStr(L"Z") < CSecStr(L"a"));  // by code unit
}

TEST(SecStrList, OrderFindAndRemoval) {
  CSecStrList list;
  EXPECT_TRUE(list.IsEmpty());
  EXPECT_EQ(list.GetHeadPosition(), nullptr);
  POSITION first = list.AddTail(L"x");
  list.AddTail(CSecStr(L"y"));
  POSITION third = list.AddTail(L"x");
  list.AddTail(L"X");
  EXPECT_EQ(list.GetCount(), 4);
  EXPECT_FALSE(list.IsEmpty());
  EXPECT_EQ(Walk(list), (std::vector<std::wstring>{L"x", L"y", L"x", L"X"}));
  EXPECT_EQ(list.GetHeadPosition(), first);

  EXPECT_EQ(list.Find(L"x", nullptr), first);
  EXPECT_EQ(list.Find(L"x", first), third);
  EXPECT_EQ(list.Find(L"x", third), nullptr);
  EXPECT_NE(list.Find(L"X", nullptr), nullptr);
  EXPECT_EQ(list.Find(L"Y", nullptr), nullptr);

  list.GetAt(third) = L"changed";  // writable in place
  EXPECT_EQ(Text(list.GetAt(third)), L"changed");
  EXPECT_EQ(Text(list.GetHead()), L"x");

  CSecStr head = list.RemoveHead();
  EXPECT_EQ(Text(head), L"x");
  EXPECT_EQ(list.GetCount(), 3);
  EXPECT_EQ(Text(list.GetHead()), L"y");
  EXPECT_EQ(list.GetAt(third).GetString(), list.GetAt(list.Find(L"changed")).GetString());  // positions stay
  list.RemoveAll();
  EXPECT_EQ(list.GetCount(), 0);
  CSecStr none = list.RemoveHead();  // empty: an empty string, the list unchanged
  EXPECT_TRUE(none.IsEmpty());
  EXPECT_TRUE(list.IsEmpty());

  // A list holding more than one block of nodes.
  for (int i = 0; i < 25; ++i) list.AddTail(CSecStr(L'a' + i));
  EXPECT_EQ(list.GetCount(), 25);
  EXPECT_EQ(Walk(list).back(), L"y");
}

TEST(SecStrList, Errors) {
  CSecStrList list;
  EXPECT_EQ(Thrown([&] { list.GetHead(); }), "ole:0x8000ffff");
  POSITION none = nullptr;
  EXPECT_EQ(Thrown([&] { list.GetNext(none); }), "invalidarg");
  EXPECT_EQ(Thrown([&] { list.GetAt(nullptr); }), "invalidarg");
  list.AddTail(L"a");
  POSITION pos = list.GetHeadPosition();
  EXPECT_EQ(Text(list.GetNext(pos)), L"a");
  EXPECT_EQ(pos, nullptr);
  EXPECT_EQ(Thrown([&] { list.GetNext(pos); }), "invalidarg");
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
}

TEST(SecStrList, ElementIsACObjectThatWipesItsString) {
  CSecStrList::CElem element;
  CObject* object = &element;
  EXPECT_EQ(object->GetRuntimeClass(), CObject::GetThisClass());
  EXPECT_TRUE(object->IsKindOf(CObject::GetThisClass()));

  // Removing, clearing and destroying wipe every element's buffer; the
  // string that RemoveHead returns is a copy of its own.
  auto report = RecordWipes([&] {
    CSecStrList list;
    list.AddTail(L"first secret");
    list.AddTail(L"second secret");
    CSecStr head = list.RemoveHead();
    EXPECT_EQ(Text(head), L"first secret");
    list.RemoveAll();
    list.AddTail(L"third secret");
    list.AddTail(L"fourth secret");
  });
  EXPECT_WIPED(report, 4);
}

}  // namespace
