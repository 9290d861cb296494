// What the installer actions share: the owner of msi.dll while an action
// runs, the property calls resolved from it, and the fixed-size path buffers.
#pragma once

#include <windows.h>
#include <msi.h>

#include <cstdarg>

namespace zq::msi {

// Every path the actions build fits MAX_PATH wide characters with its terminator.
inline constexpr int kPathChars = MAX_PATH;
using PathBuffer = wchar_t[kPathChars];

// Formats into a path buffer. False, with the buffer emptied, when the result
// would not fit with its terminator: a cut-off path names another file.
bool FormatPath(PathBuffer& out, const wchar_t* format, ...);

// Owns a module loaded at run time; frees it on every path.
class UniqueModule {
 public:
  UniqueModule() = default;
  explicit UniqueModule(HMODULE module) : module_(module) {}
  ~UniqueModule() { reset(); }
  UniqueModule(const UniqueModule&) = delete;
  UniqueModule& operator=(const UniqueModule&) = delete;

  HMODULE get() const { return module_; }
  explicit operator bool() const { return module_ != nullptr; }
  void reset(HMODULE module = nullptr) {
    if (module_) FreeLibrary(module_);
    module_ = module;
  }

  // The exported function `name` as the type Fn, or null.
  template <typename Fn>
  Fn Proc(const char* name) const {
    // Through a plain function pointer type, which converts to any other.
    return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(GetProcAddress(module_, name)));
  }

 private:
  HMODULE module_ = nullptr;
};

using MsiGetPropertyFn = UINT(WINAPI*)(MSIHANDLE, LPCWSTR, LPWSTR, LPDWORD);
using MsiSetPropertyFn = UINT(WINAPI*)(MSIHANDLE, LPCWSTR, LPCWSTR);

// The common start of an action: loads "msi.dll" into `installer` and reads
// "CustomActionData" into `data`. 0, the last error of a failed load or
// look-up, or 2 when the property cannot be read into 260 characters or is empty.
UINT ReadCustomActionData(MSIHANDLE session, UniqueModule& installer, PathBuffer& data);

}  // namespace zq::msi
