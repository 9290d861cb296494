// Small owners for what the family's operations obtain: runtime-heap blocks,
// local memory, loaded modules and kernel handles. Each releases on every path.
#pragma once

#include <windows.h>

#include <cstdlib>
#include <memory>

namespace zq::sys {

struct FreeDeleter {
  void operator()(void* block) const { std::free(block); }
};
// A zero-filled block from the runtime heap (calloc), released with free().
template <typename T>
using UniqueCalloc = std::unique_ptr<T, FreeDeleter>;

template <typename T>
UniqueCalloc<T> CallocArray(size_t count) {
  return UniqueCalloc<T>(static_cast<T*>(std::calloc(count, sizeof(T))));
}

struct LocalFreeDeleter {
  void operator()(void* block) const { LocalFree(block); }
};
using UniqueLocal = std::unique_ptr<void, LocalFreeDeleter>;

struct FreeLibraryDeleter {
  void operator()(HMODULE module) const { FreeLibrary(module); }
};
using UniqueModule = std::unique_ptr<std::remove_pointer_t<HMODULE>, FreeLibraryDeleter>;

// A kernel handle that the library opened itself.
class UniqueHandle {
 public:
  UniqueHandle() = default;
  ~UniqueHandle() { reset(); }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;

  HANDLE get() const { return handle_; }
  HANDLE* put() {
    reset();
    return &handle_;
  }
  void reset() {
    if (handle_) CloseHandle(handle_);
    handle_ = nullptr;
  }

 private:
  HANDLE handle_ = nullptr;
};

}  // namespace zq::sys
