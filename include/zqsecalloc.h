// ZQ::Framework::secallocator and secwstring: standard wide strings that wipe
// every heap block before it goes back to the heap.
//
// Only heap blocks are wiped. A text short enough for the string's in-object
// buffer never reaches the allocator; the standard library decides that size
// and the growth policy. A string releases a block with a count of its
// capacity plus one, so the unused capacity and the terminator's slot are
// wiped as well; when it grows, the old block is wiped once its characters
// have been copied.
//
// The allocator is polymorphic (virtual destructor), so a secwstring carries
// its allocator object; all allocator objects compare equal. It is header
// only: every module that uses secwstring instantiates it, and all modules
// allocate from the same runtime heap, so a secwstring may be released by a
// module other than the one that filled it.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

namespace ZQ::Framework {

template <typename T>
class secallocator : public std::allocator<T> {
 public:
  using value_type = T;
  using size_type = std::size_t;
  using difference_type = std::ptrdiff_t;
  template <typename U>
  struct rebind {
    using other = secallocator<U>;
  };

  secallocator() noexcept = default;
  secallocator(const secallocator&) noexcept = default;
  template <typename U>
  secallocator(const secallocator<U>&) noexcept {}
  secallocator& operator=(const secallocator&) noexcept = default;
  virtual ~secallocator() = default;

  // As std::allocator<T>::allocate, except that a count of 0 yields null.
  // An oversized count throws std::bad_alloc (std::bad_array_new_length).
  [[nodiscard]] T* allocate(std::size_t n) {
    if (n == 0) return nullptr;
    return std::allocator<T>::allocate(n);
  }

  // Zeroes all n elements' bytes with stores the optimiser keeps, then frees.
  void deallocate(T* p, std::size_t n) {
    if (p == nullptr) return;
    Wipe(p, n * sizeof(T));
    std::allocator<T>::deallocate(p, n);
  }

  static void Wipe(void* block, std::size_t bytes) noexcept {
    volatile unsigned char* cursor = static_cast<volatile unsigned char*>(block);
    while (bytes--) *cursor++ = 0;
  }
};

template <typename T, typename U>
constexpr bool operator==(const secallocator<T>&, const secallocator<U>&) noexcept {
  return true;
}

// The secure wide standard string.
using secwstring = std::basic_string<wchar_t, std::char_traits<wchar_t>, secallocator<wchar_t>>;

}  // namespace ZQ::Framework
