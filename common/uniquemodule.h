// Owns a module loaded at run time; frees it on every path.
#pragma once

#include <windows.h>

namespace zq {

class UniqueModule {
 public:
  UniqueModule() = default;
  explicit UniqueModule(HMODULE module) : module_(module) {}
  ~UniqueModule() { reset(); }
  UniqueModule(const UniqueModule&) = delete;
  UniqueModule& operator=(const UniqueModule&) = delete;

  static UniqueModule Load(const wchar_t* name) { return UniqueModule(LoadLibraryW(name)); }
  UniqueModule(UniqueModule&& other) noexcept : module_(other.module_) { other.module_ = nullptr; }
  UniqueModule& operator=(UniqueModule&& other) noexcept {
    if (this != &other) {
      reset();
      module_ = other.module_;
      other.module_ = nullptr;
    }
    return *this;
  }

  HMODULE get() const { return module_; }
  explicit operator bool() const { return module_ != nullptr; }
  void reset() {
    if (module_) FreeLibrary(module_);
    module_ = nullptr;
  }

  // An export of the module as the function type it is known to have, or null.
  template <typename Function>
  Function Proc(const char* name) const {
    return Cast<Function>(GetProcAddress(module_, name));
  }

  // FARPROC to a typed function pointer; the detour through void(*)() keeps
  // the compiler from warning about the cast between function types.
  template <typename Function>
  static Function Cast(FARPROC proc) {
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(proc));
  }

 private:
  HMODULE module_ = nullptr;
};

}  // namespace zq
