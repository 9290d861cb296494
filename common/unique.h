// The one owner of everything the library obtains and must give back: kernel
// and find handles, registry keys, modules, LSA handles and buffers, WTS
// buffers, blocks of every heap, safe-array locks. The resource's type, its
// release call and its invalid value are the parameters, so that "released on
// every path" holds by construction for each of them.
#pragma once

#include <windows.h>

#include <cstdint>
#include <cstdlib>
#include <type_traits>
#include <utility>

namespace zq {

template <typename T, auto Release, intptr_t Invalid = 0>
class Unique {
 public:
  Unique() = default;
  explicit Unique(T value) : value_(value) {}
  ~Unique() { reset(); }
  Unique(const Unique&) = delete;
  Unique& operator=(const Unique&) = delete;
  Unique(Unique&& other) noexcept : value_(other.release()) {}
  Unique& operator=(Unique&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }

  T get() const { return value_; }
  explicit operator bool() const { return value_ != InvalidValue(); }
  // For the system call that hands the resource out.
  T* put() {
    reset();
    return &value_;
  }
  // Hands the resource on; the owner no longer releases it.
  T release() { return std::exchange(value_, InvalidValue()); }
  void reset(T value = InvalidValue()) {
    if (value_ != InvalidValue()) Release(value_);
    value_ = value;
  }

 private:
  static T InvalidValue() {
    if constexpr (std::is_pointer_v<T>) {
      return reinterpret_cast<T>(Invalid);
    } else {
      return static_cast<T>(Invalid);
    }
  }
  T value_ = InvalidValue();
};

namespace release {
// Release calls whose signature the owner cannot take as it stands.
inline void HeapBlock(void* block) { HeapFree(GetProcessHeap(), 0, block); }
inline void CrtBlock(void* block) { std::free(block); }
}  // namespace release

using UniqueHandle = Unique<HANDLE, CloseHandle>;
using UniqueKey = Unique<HKEY, RegCloseKey>;
using UniqueModule = Unique<HMODULE, FreeLibrary>;
template <typename T>
using UniqueLocal = Unique<T*, LocalFree>;
template <typename T>
using UniqueHeap = Unique<T*, release::HeapBlock>;
template <typename T>
using UniqueCrt = Unique<T*, release::CrtBlock>;

inline UniqueModule LoadModule(const wchar_t* name) { return UniqueModule(LoadLibraryW(name)); }

// FARPROC to the function type an export is known to have; the detour through
// void(*)() keeps the compiler from warning about the cast between types.
template <typename Function>
Function ProcAs(FARPROC proc) {
  return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(proc));
}
template <typename Function>
Function ProcAs(HMODULE module, const char* name) {
  return ProcAs<Function>(GetProcAddress(module, name));
}

// A zero-filled array from the runtime heap, released with free().
template <typename T>
UniqueCrt<T> CallocArray(size_t count) {
  return UniqueCrt<T>(static_cast<T*>(std::calloc(count, sizeof(T))));
}

}  // namespace zq
