// The secure allocator: every block is zero when it reaches the heap's free.
//
// This program replaces the global operator new and delete, so that a test can
// look at a block at the moment it is freed (they take blocks from the process
// heap, which the compiler does not pair with operator new).
#include <gtest/gtest.h>

#include <windows.h>

#include <new>
#include <vector>

#include "zqsecalloc.h"

using ZQ::Framework::secallocator;
using ZQ::Framework::secwstring;

namespace {

// What the replaced operators saw while a FreeWatch was active.
struct FreedBlock {
  const void* address;
  size_t bytes;    // as the sized delete was told, 0 for the unsized one
  bool allZero;    // over `bytes`
};

struct FreeWatch {
  FreeWatch() { active = this; }
  ~FreeWatch() { active = nullptr; }
  const FreedBlock* Find(const void* address) const {
    for (const FreedBlock& block : freed)
      if (block.address == address) return &block;
    return nullptr;
  }
  size_t allocations = 0;
  std::vector<FreedBlock> freed;
  static inline FreeWatch* active = nullptr;
};

void Observe(void* p, size_t bytes) {
  FreeWatch* watch = FreeWatch::active;
  if (!watch || !p) return;
  FreeWatch::active = nullptr;  // the record itself allocates
  bool allZero = true;
  for (size_t i = 0; i < bytes; ++i) allZero = allZero && static_cast<unsigned char*>(p)[i] == 0;
  watch->freed.push_back({p, bytes, allZero});
  FreeWatch::active = watch;
}

}  // namespace

void* operator new(size_t bytes) {
  if (FreeWatch::active) ++FreeWatch::active->allocations;
  if (void* p = HeapAlloc(GetProcessHeap(), 0, bytes ? bytes : 1)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
  Observe(p, 0);
  HeapFree(GetProcessHeap(), 0, p);
}
void operator delete(void* p, size_t bytes) noexcept {
  Observe(p, bytes);
  HeapFree(GetProcessHeap(), 0, p);
}

namespace {

TEST(SecureAllocator, DestroyedStringLeavesItsWholeBlockZero) {
  const void* block = nullptr;
  size_t capacity = 0;
  FreeWatch watch;
  {
    secwstring secret(L"a password that is far too long for the in-object buffer");
    secret.reserve(100);  // unused capacity that must be wiped too
    block = secret.data();
    capacity = secret.capacity();
    EXPECT_GE(capacity, 100u);
  }
  const FreedBlock* freed = watch.Find(block);
  ASSERT_NE(freed, nullptr);
  EXPECT_EQ(freed->bytes, (capacity + 1) * sizeof(wchar_t));
  EXPECT_TRUE(freed->allZero);
}

TEST(SecureAllocator, GrowthWipesTheOldBlock) {
  FreeWatch watch;
  secwstring text(L"0123456789abcdefghij");
  std::vector<std::pair<const void*, size_t>> oldBlocks;
  for (int i = 0; i < 6; ++i) {
    const void* before = text.data();
    size_t capacity = text.capacity();
    text.append(text.size() + 1, L'x');  // always beyond the capacity
    ASSERT_NE(text.data(), before);
    oldBlocks.push_back({before, capacity});
  }
  for (const auto& [address, capacity] : oldBlocks) {
    const FreedBlock* freed = watch.Find(address);
    ASSERT_NE(freed, nullptr);
    EXPECT_EQ(freed->bytes, (capacity + 1) * sizeof(wchar_t));
    EXPECT_TRUE(freed->allZero);
  }
  // The live block is untouched.
  EXPECT_EQ(text.substr(0, 4), L"0123");
}

TEST(SecureAllocator, CopiesAndAssignmentsWipeWhatTheyRelease) {
  FreeWatch watch;
  secwstring first(60, L'p');
  secwstring second(first);
  const void* secondBlock = second.data();
  second = secwstring(200, L'q');  // move assignment releases the old block
  secwstring third;
  third = first;
  const void* firstBlock = first.data();
  first.clear();
  first.shrink_to_fit();  // back into the in-object buffer
  ASSERT_NE(watch.Find(secondBlock), nullptr);
  EXPECT_TRUE(watch.Find(secondBlock)->allZero);
  ASSERT_NE(watch.Find(firstBlock), nullptr);
  EXPECT_TRUE(watch.Find(firstBlock)->allZero);
  EXPECT_EQ(third, secwstring(60, L'p'));
}

TEST(SecureAllocator, ShortTextsNeverReachTheAllocator) {
  FreeWatch watch;
  {
    secwstring pin(L"1234");
    secwstring copy = pin;
    copy += L"5";
    EXPECT_EQ(copy, L"12345");
  }
  EXPECT_EQ(watch.allocations, 0u);
  EXPECT_TRUE(watch.freed.empty());
}

TEST(SecureAllocator, ZeroCountsAndTheAllocatorObject) {
  secallocator<wchar_t> allocator;
  EXPECT_EQ(allocator.allocate(0), nullptr);
  allocator.deallocate(nullptr, 0);

  wchar_t* block = allocator.allocate(8);
  ASSERT_NE(block, nullptr);
  for (int i = 0; i < 8; ++i) block[i] = L'z';
  FreeWatch watch;
  allocator.deallocate(block, 8);
  ASSERT_EQ(watch.freed.size(), 1u);
  EXPECT_EQ(watch.freed[0].bytes, 8 * sizeof(wchar_t));
  EXPECT_TRUE(watch.freed[0].allZero);

  EXPECT_THROW((void)allocator.allocate(SIZE_MAX / sizeof(wchar_t) + 1), std::bad_alloc);

  // Polymorphic and interchangeable: the string stores its allocator object.
  static_assert(std::has_virtual_destructor_v<secallocator<wchar_t>>);
  static_assert(std::is_base_of_v<std::allocator<wchar_t>, secallocator<wchar_t>>);
  static_assert(sizeof(secwstring) > sizeof(std::wstring));
  static_assert(std::is_same_v<std::allocator_traits<secallocator<wchar_t>>::rebind_alloc<char>, secallocator<char>>);
  EXPECT_TRUE(secallocator<wchar_t>() == secallocator<wchar_t>(allocator));
}

}  // namespace
