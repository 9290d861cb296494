// Small owners for what the family's operations obtain: runtime-heap blocks
// and local memory (modules and kernel handles: the shared owners). Each
// releases on every path.
#pragma once

#include <windows.h>

#include <cstdlib>
#include <memory>

#include "uniquehandle.h"
#include "uniquemodule.h"

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

using zq::UniqueHandle;
using zq::UniqueModule;

}  // namespace zq::sys
