// The MFC/ATL stand-in under the secure strings.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <string>

#include "wipecheck.h"
#include "zqmfc.h"

using zqtest::RecordingStringManager;
using zqtest::ScopedStringManager;
using zqtest::Thrown;

namespace {

struct Item : CObject {
  explicit Item(int v) : value(v) {}
  int value;
};

TEST(MfcStandIn, ObListPositionsAndBlocks) {
  CObList list(4);
  EXPECT_EQ(list.BlockSize(), 4);
  Item items[10] = {Item(0), Item(1), Item(2), Item(3), Item(4), Item(5), Item(6), Item(7), Item(8), Item(9)};
  POSITION positions[10];
  for (int i = 0; i < 10; ++i) positions[i] = list.AddTail(&items[i]);
  EXPECT_EQ(list.GetCount(), 10);
  EXPECT_EQ(list.BlockCount(), 3);  // 4 + 4 + 2 of 4
  EXPECT_EQ(list.RemoveHead(), &items[0]);
  EXPECT_EQ(list.RemoveHead(), &items[1]);
  // The others' positions did not move.
  for (int i = 2; i < 10; ++i) EXPECT_EQ(static_cast<Item*>(list.GetAt(positions[i]))->value, i);
  list.AddTail(&items[0]);  // reuses a freed node: no new block
  EXPECT_EQ(list.BlockCount(), 3);
  EXPECT_EQ(list.Find(&items[5]), positions[5]);
  EXPECT_EQ(list.Find(&items[5], positions[5]), nullptr);
  list.RemoveAt(positions[5]);
  POSITION pos = list.GetHeadPosition();
  std::string order;
  while (pos) order += std::to_string(static_cast<Item*>(list.GetNext(pos))->value);
  EXPECT_EQ(order, "23467890");
  EXPECT_EQ(list.GetTail(), &items[0]);
  while (!list.IsEmpty()) list.RemoveHead();
  EXPECT_EQ(list.BlockCount(), 0);  // an empty list keeps no block
  EXPECT_EQ(Thrown([&] { list.RemoveHead(); }), "invalidarg");
  EXPECT_EQ(Thrown([&] { list.GetHead(); }), "invalidarg");
}

TEST(MfcStandIn, ExceptionsAndTheHResultMapping) {
  EXPECT_EQ(Thrown([] { ATL::AtlThrow(E_OUTOFMEMORY); }), "memory");
  EXPECT_EQ(Thrown([] { ATL::AtlThrow(E_INVALIDARG); }), "ole:0x80070057");
  EXPECT_EQ(Thrown([] { ATL::AtlThrow(E_UNEXPECTED); }), "ole:0x8000ffff");
  EXPECT_EQ(Thrown([] { AfxThrowInvalidArgException(); }), "invalidarg");
  EXPECT_EQ(Thrown([] { throw msl::utilities::SafeIntException(msl::utilities::SafeIntArithmeticOverflow); }),
            "safeint:1");

  // The memory exception is static: Delete() leaves it usable.
  CMemoryException* thrown[2] = {};
  for (CMemoryException*& one : thrown) {
    try { AfxThrowMemoryException(); } catch (CMemoryException* e) { one = e; e->Delete(); }
  }
  EXPECT_EQ(thrown[0], thrown[1]);
  wchar_t message[64] = {};
  EXPECT_TRUE(thrown[1]->GetErrorMessage(message, 64));
  EXPECT_STREQ(message, L"Out of memory.");
  try {
    AfxThrowOleException(E_ACCESSDENIED);
  } catch (CException* e) {
    EXPECT_TRUE(e->m_bAutoDelete);
    EXPECT_TRUE(e->IsKindOf(CObject::GetThisClass()));
    EXPECT_EQ(static_cast<COleException*>(e)->m_sc, E_ACCESSDENIED);
    e->Delete();
  }
}

TEST(MfcStandIn, StringsShareUntilWrittenAndUseTheirManager) {
  RecordingStringManager manager;
  {
    ScopedStringManager installed(&manager);
    CString a = L"shared text";
    CString b = a;  // shares the block
    EXPECT_EQ(a.GetString(), b.GetString());
    EXPECT_EQ(manager.Allocations(), 1);
    b.GetBuffer();  // unshares
    EXPECT_NE(a.GetString(), b.GetString());
    EXPECT_EQ(manager.Allocations(), 2);
    b.ReleaseBuffer();
    EXPECT_EQ(CString().GetAllocLength(), 0);
    a.Empty();  // frees the block as it is
    EXPECT_EQ(manager.Frees(), 1);
    EXPECT_EQ(manager.DirtyFrees().size(), 1u);
    CStringA narrow;
    narrow = L"w\u00e9";  // to the ANSI code page
    EXPECT_EQ(narrow.GetLength(), 2);
    CString wide;
    wide = "abc";
    EXPECT_EQ(wide.Replace(L"b", L"xyz"), 1);
    EXPECT_EQ(std::wstring(wide.GetString()), L"axyzc");
  }
  EXPECT_EQ(manager.Live(), 0);
  EXPECT_EQ(AfxGetStringManager(), AfxSetStringManager(nullptr));  // the default was restored
}

// Every start within a 16-byte block and every length around the block
// edges, with NULs before the start that must not count.
template <typename Char>
void ExpectLengthsAtEveryAlignment() {
  alignas(16) Char text[96];
  for (int start = 0; start < 16 / static_cast<int>(sizeof(Char)); ++start) {
    for (int length = 0; length < 40; ++length) {
      std::fill(std::begin(text), std::end(text), Char{0});
      std::fill(text + start, text + start + length, Char{'x'});
      ASSERT_EQ(ATL::ChTraitsCRT<Char>::StringLength(text + start), length) << "start " << start;
    }
  }
}

TEST(MfcStandIn, LengthStopsAtTheFirstNulWhereverTheTextLies) {
  EXPECT_EQ(ATL::ChTraitsCRT<wchar_t>::StringLength(nullptr), 0);
  EXPECT_EQ(ATL::ChTraitsCRT<char>::StringLength(nullptr), 0);
  ExpectLengthsAtEveryAlignment<wchar_t>();
  ExpectLengthsAtEveryAlignment<char>();

  // A wide text at an odd address (off the character grid) is counted too.
  alignas(16) unsigned char bytes[64] = {};
  memcpy(bytes + 1, L"odd", 4 * sizeof(wchar_t));
  EXPECT_EQ(ATL::ChTraitsCRT<wchar_t>::StringLength(reinterpret_cast<const wchar_t*>(bytes + 1)), 3);

  // A text that ends at the last character of a page before an inaccessible
  // one: the scan must not read past it.
  SYSTEM_INFO system;
  GetSystemInfo(&system);
  auto* pages = static_cast<BYTE*>(VirtualAlloc(nullptr, 2 * system.dwPageSize, MEM_COMMIT, PAGE_READWRITE));
  ASSERT_NE(pages, nullptr);
  DWORD previous = 0;
  ASSERT_TRUE(VirtualProtect(pages + system.dwPageSize, system.dwPageSize, PAGE_NOACCESS, &previous));
  auto* wide = reinterpret_cast<wchar_t*>(pages + system.dwPageSize) - 3;
  memcpy(wide, L"ab", 3 * sizeof(wchar_t));
  EXPECT_EQ(ATL::ChTraitsCRT<wchar_t>::StringLength(wide), 2);
  EXPECT_EQ(ATL::ChTraitsCRT<wchar_t>::StringLength(wide + 2), 0);
  auto* narrow = reinterpret_cast<char*>(pages + system.dwPageSize) - 2;
  memcpy(narrow, "c", 2);
  EXPECT_EQ(ATL::ChTraitsCRT<char>::StringLength(narrow), 1);
  VirtualFree(pages, 0, MEM_RELEASE);
}

TEST(MfcStandIn, ModuleAndStringResources) {
  HINSTANCE self = GetModuleHandleW(nullptr);
  EXPECT_EQ(AfxGetInstanceHandle(), self);  // the stand-in is linked into this program
  EXPECT_EQ(ATL::_AtlBaseModule.GetModuleInstance(), self);
  EXPECT_EQ(AfxFindStringResourceHandle(101), self);
  EXPECT_EQ(AfxFindStringResourceHandle(104), nullptr);
  EXPECT_EQ(AfxFindStringResourceHandle(5000), nullptr);
  const ATL::ATLSTRINGRESOURCEIMAGE* image = ATL::AtlGetStringResourceImage(self, 102);
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(std::wstring(image->achString, image->nLength), L"%d-%s");
}

}  // namespace
