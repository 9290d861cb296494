// Wiping release of BSTRs and safe arrays, on Wine's oleaut32.
#include <gtest/gtest.h>

#include <windows.h>
#include <objidl.h>
#include <oleauto.h>

#include <cwchar>
#include <mutex>
#include <set>
#include <string>

#include "logcapture.h"
#include "zqcom.h"

using zqtest::LogCapture;
using zqtest::LogLine;
using Lines = std::vector<LogLine>;

namespace {

// Watches the COM allocator that oleaut32 takes BSTRs from: every block that
// is sized or freed. SysFreeString asks for a block's size before it either
// frees the block or keeps it in its cache, so a string passed to it shows up.
class AllocatorWatch final : public IMallocSpy {
 public:
  // One watch for the whole process, forgetting what it saw before each test:
  // COM cannot revoke a spy while blocks allocated under it are still out
  // (oleaut32 keeps some), and would go on calling a destroyed one.
  static AllocatorWatch& FromNowOn() {
    static auto* watch = new AllocatorWatch;
    std::lock_guard<std::mutex> lock(watch->mutex_);
    watch->released_.clear();
    return *watch;
  }
  bool Registered() const { return registered_; }

  // Whether SysFreeString reached the string: its block starts just before it.
  bool Released(BSTR bstr) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto* text = reinterpret_cast<const char*>(bstr);
    for (const void* block : released_) {
      auto* start = static_cast<const char*>(block);
      if (start < text && text - start <= 16) return true;
    }
    return false;
  }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    if (riid == IID_IUnknown || riid == IID_IMallocSpy) {
      *object = static_cast<IMallocSpy*>(this);
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  SIZE_T STDMETHODCALLTYPE PreAlloc(SIZE_T size) override { return size; }
  void* STDMETHODCALLTYPE PostAlloc(void* block) override { return block; }
  void* STDMETHODCALLTYPE PreFree(void* block, BOOL) override {
    Note(block);
    return block;
  }
  void STDMETHODCALLTYPE PostFree(BOOL) override {}
  SIZE_T STDMETHODCALLTYPE PreRealloc(void* block, SIZE_T size, void** newBlock, BOOL) override {
    *newBlock = block;
    return size;
  }
  void* STDMETHODCALLTYPE PostRealloc(void* block, BOOL) override { return block; }
  void* STDMETHODCALLTYPE PreGetSize(void* block, BOOL) override {
    Note(block);
    return block;
  }
  SIZE_T STDMETHODCALLTYPE PostGetSize(SIZE_T size, BOOL) override { return size; }
  void* STDMETHODCALLTYPE PreDidAlloc(void* block, BOOL) override { return block; }
  int STDMETHODCALLTYPE PostDidAlloc(void*, BOOL, int actual) override { return actual; }
  void STDMETHODCALLTYPE PreHeapMinimize() override {}
  void STDMETHODCALLTYPE PostHeapMinimize() override {}

 private:
  void Note(const void* block) {
    std::lock_guard<std::mutex> lock(mutex_);
    released_.insert(block);
  }
  AllocatorWatch() { registered_ = SUCCEEDED(CoRegisterMallocSpy(this)); }
  bool registered_ = false;
  std::mutex mutex_;
  std::set<const void*> released_;
};

bool AllZero(const void* data, size_t bytes) {
  for (size_t i = 0; i < bytes; ++i)
    if (static_cast<const unsigned char*>(data)[i] != 0) return false;
  return true;
}

std::wstring Hex(const void* pointer) {
  wchar_t text[16];
  _snwprintf(text, 16, L"%x", static_cast<unsigned>(reinterpret_cast<uintptr_t>(pointer)));
  return text;
}

Lines FreeLines(const std::wstring& text) {
  return {{0, L"zqSysFreeString bstr = " + text}, {0, L"zqSysFreeString bstr = "}, {0, L"zqSysFreeString"}};
}

TEST(ComWipe, SysFreeStringWipesAndFreesOrKeeps) {
  AllocatorWatch& watch = AllocatorWatch::FromNowOn();
  ASSERT_TRUE(watch.Registered());
  LogCapture log;

  BSTR kept = SysAllocString(L"hunter2");
  ASSERT_NE(kept, nullptr);
  zqSysFreeString(kept, TRUE);
  EXPECT_EQ(log.Lines(), FreeLines(L"hunter2"));
  EXPECT_EQ(SysStringByteLen(kept), 14u);
  EXPECT_TRUE(AllZero(kept, 16));  // the characters and the terminator
  EXPECT_FALSE(watch.Released(kept));

  log.Clear();
  zqSysFreeString(kept, 7);  // any other non-zero value keeps too
  EXPECT_FALSE(watch.Released(kept));
  zqSysFreeString(kept, FALSE);
  EXPECT_TRUE(watch.Released(kept));
  EXPECT_EQ(log.Lines().size(), 6u);

  // A string with an odd byte length and embedded zeros: all its bytes go.
  BSTR odd = SysAllocStringByteLen("ab\0cd", 5);
  ASSERT_NE(odd, nullptr);
  zqSysFreeString(odd, TRUE);
  EXPECT_TRUE(AllZero(odd, 5));
  zqSysFreeString(odd, FALSE);

  // Null: three lines, nothing freed, no crash.
  log.Clear();
  zqSysFreeString(nullptr, FALSE);
  zqSysFreeString(nullptr, TRUE);
  EXPECT_EQ(log.Lines(), (Lines{{0, L"zqSysFreeString bstr = (null)"}, {0, L"zqSysFreeString bstr = (null)"},
                                {0, L"zqSysFreeString"}, {0, L"zqSysFreeString bstr = (null)"},
                                {0, L"zqSysFreeString bstr = (null)"}, {0, L"zqSysFreeString"}}));
}

TEST(ComWipe, TwoDimensionalStringArrayWipesAndFreesEveryString) {
  AllocatorWatch& watch = AllocatorWatch::FromNowOn();
  ASSERT_TRUE(watch.Registered());
  SAFEARRAYBOUND bounds[2] = {{3, 0}, {4, 1}};
  SAFEARRAY* psa = SafeArrayCreate(VT_BSTR, 2, bounds);
  ASSERT_NE(psa, nullptr);
  BSTR strings[12];
  for (int i = 0; i < 12; ++i) {
    wchar_t text[8];
    _snwprintf(text, 8, L"s%02d", i);
    strings[i] = SysAllocString(text);
    static_cast<BSTR*>(psa->pvData)[i] = strings[i];
  }

  LogCapture log;
  EXPECT_EQ(zqSafeArrayDestroy(psa, FALSE), S_OK);
  for (BSTR s : strings) EXPECT_TRUE(watch.Released(s));

  Lines expected{{0, L"zqSafeArrayDestroy psa = " + Hex(psa)},
                 {0, L"zqSafeArrayDestroy sizeElem = 8, nDim = 2"},
                 {0, L"zqSafeArrayDestroy nbElem = 12"}};
  for (int i = 0; i < 12; ++i) {
    wchar_t text[8];
    _snwprintf(text, 8, L"s%02d", i);
    for (const LogLine& line : FreeLines(text)) expected.push_back(line);
  }
  expected.push_back({0, L"zqSafeArrayDestroy hr = 0"});
  EXPECT_EQ(log.Lines(), expected);
}

TEST(ComWipe, KeptArraysComeBackZeroAndUnlocked) {
  // VT_I4: zeroed by element count, no string touched.
  SAFEARRAY* numbers = SafeArrayCreateVector(VT_I4, 0, 5);
  ASSERT_NE(numbers, nullptr);
  for (LONG i = 0; i < 5; ++i) static_cast<LONG*>(numbers->pvData)[i] = 100 + i;
  LogCapture log;
  EXPECT_EQ(zqSafeArrayDestroy(numbers, TRUE), S_OK);
  EXPECT_EQ(log.Lines(), (Lines{{0, L"zqSafeArrayDestroy psa = " + Hex(numbers)},
                                {0, L"zqSafeArrayDestroy sizeElem = 4, nDim = 1"},
                                {0, L"zqSafeArrayDestroy nbElem = 5"},
                                {0, L"zqSafeArrayDestroy hr = 0"}}));
  EXPECT_EQ(numbers->cLocks, 0u);
  EXPECT_TRUE(AllZero(numbers->pvData, 5 * sizeof(LONG)));
  EXPECT_EQ(zqSafeArrayDestroy(numbers, FALSE), S_OK);

  // VT_BSTR kept: strings freed, slots null, the array destroyable once more.
  AllocatorWatch& watch = AllocatorWatch::FromNowOn();
  ASSERT_TRUE(watch.Registered());
  SAFEARRAY* texts = SafeArrayCreateVector(VT_BSTR, 0, 2);
  ASSERT_NE(texts, nullptr);
  BSTR first = SysAllocString(L"first secret");
  BSTR second = SysAllocString(L"second secret");
  static_cast<BSTR*>(texts->pvData)[0] = first;
  static_cast<BSTR*>(texts->pvData)[1] = second;
  EXPECT_EQ(zqSafeArrayDestroy(texts, TRUE), S_OK);
  EXPECT_TRUE(watch.Released(first));
  EXPECT_TRUE(watch.Released(second));
  EXPECT_EQ(texts->cLocks, 0u);
  EXPECT_TRUE(AllZero(texts->pvData, 2 * sizeof(BSTR)));
  EXPECT_EQ(SafeArrayDestroy(texts), S_OK);
}

TEST(ComWipe, NullAndLockedArrays) {
  LogCapture log;
  EXPECT_EQ(zqSafeArrayDestroy(nullptr, FALSE), S_OK);
  EXPECT_EQ(log.Lines(), (Lines{{0, L"zqSafeArrayDestroy psa = 0"}, {0, L"zqSafeArrayDestroy hr = 0"}}));

  // A locked array is wiped but cannot be destroyed: SafeArrayDestroy's
  // answer comes back and the array stays.
  SAFEARRAY* locked = SafeArrayCreateVector(VT_UI1, 0, 16);
  ASSERT_NE(locked, nullptr);
  memset(locked->pvData, 0xAB, 16);
  ASSERT_EQ(SafeArrayLock(locked), S_OK);
  log.Clear();
  EXPECT_EQ(zqSafeArrayDestroy(locked, FALSE), DISP_E_ARRAYISLOCKED);
  EXPECT_EQ(log.Lines().back(), (LogLine{0, L"zqSafeArrayDestroy hr = 8002000d"}));
  EXPECT_TRUE(AllZero(locked->pvData, 16));
  ASSERT_EQ(SafeArrayUnlock(locked), S_OK);
  EXPECT_EQ(zqSafeArrayDestroy(locked, FALSE), S_OK);

  // An array whose lock count is full cannot be accessed: the failure comes
  // back and nothing is touched.
  SAFEARRAY* full = SafeArrayCreateVector(VT_UI1, 0, 4);
  ASSERT_NE(full, nullptr);
  memset(full->pvData, 0xCD, 4);
  full->cLocks = 0xFFFF;
  log.Clear();
  EXPECT_EQ(zqSafeArrayDestroy(full, FALSE), E_UNEXPECTED);
  EXPECT_EQ(log.Lines(), (Lines{{0, L"zqSafeArrayDestroy psa = " + Hex(full)},
                                {0, L"zqSafeArrayDestroy sizeElem = 1, nDim = 1"},
                                {1, L"zqSafeArrayDestroy SafeArrayAccessData failed hr = 8000ffff"},
                                {0, L"zqSafeArrayDestroy hr = 8000ffff"}}));
  EXPECT_EQ(static_cast<unsigned char*>(full->pvData)[3], 0xCD);
  full->cLocks = 0;
  EXPECT_EQ(SafeArrayDestroy(full), S_OK);

  // An array without data: the access gives no pointer, nothing is wiped, and
  // the array is left unlocked for its owner.
  SAFEARRAY* empty = nullptr;
  ASSERT_EQ(SafeArrayAllocDescriptor(1, &empty), S_OK);
  empty->cbElements = 4;
  log.Clear();
  EXPECT_EQ(zqSafeArrayDestroy(empty, FALSE), S_OK);
  EXPECT_EQ(log.Lines(), (Lines{{0, L"zqSafeArrayDestroy psa = " + Hex(empty)},
                                {0, L"zqSafeArrayDestroy sizeElem = 4, nDim = 1"},
                                {1, L"zqSafeArrayDestroy SafeArrayAccessData failed hr = 0"},
                                {0, L"zqSafeArrayDestroy hr = 0"}}));
  EXPECT_EQ(empty->cLocks, 0u);
  EXPECT_EQ(SafeArrayDestroyDescriptor(empty), S_OK);
}

}  // namespace
