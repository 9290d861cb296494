// The secure allocator: every block is zero over its whole capacity when it
// reaches the heap. This program replaces the sized operator delete, which
// the standard allocator calls, to look at each block as it is freed.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <new>
#include <vector>

#include "zqsecalloc.h"

static bool g_watching = false;
static std::vector<std::pair<size_t, bool>> g_freed;  // bytes as told, all zero; reserved: recording must not allocate

// The runtime's operator new takes blocks from malloc.
void operator delete(void* p) noexcept { free(p); }
void operator delete(void* p, size_t bytes) noexcept {
  const auto* first = static_cast<const unsigned char*>(p);
  if (g_watching) g_freed.push_back({bytes, std::all_of(first, first + bytes, [](unsigned char b) { return b == 0; })});
  free(p);
}

// Each block a string gives up (by growth, assignment or its end)
// is freed with a count of its capacity plus the terminator's slot, all
// zeros, also where the capacity held text beyond the current length.
TEST(SecureAllocator, ReleasedBlocksAreZeroOverTheirWholeCapacity) {
  g_freed.reserve(16);
  g_watching = true;
  {
    ZQ::Framework::secwstring text(100, L'x'), copy;
    text.resize(10);
    for (int i = 0; i < 3; ++i) text.append(text.capacity(), L'y');
    copy = text;
    copy = ZQ::Framework::secwstring(300, L'z');  // the move releases the copy's block
  }
  g_watching = false;
  ASSERT_EQ(g_freed.size(), 6u);  // three growths, the move, the two strings' ends
  EXPECT_EQ(g_freed[0].first, 101 * sizeof(wchar_t));
  for (const auto& [bytes, allZero] : g_freed) EXPECT_TRUE(allZero) << bytes;
  ZQ::Framework::secallocator<wchar_t> allocator;
  EXPECT_EQ(allocator.allocate(0), nullptr);
  allocator.deallocate(nullptr, 0);
  EXPECT_THROW((void)allocator.allocate(SIZE_MAX / sizeof(wchar_t) + 1), std::bad_alloc);
}
