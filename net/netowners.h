// Owners for what the account functions take from the system: each releases
// its resource on every path, with the call that the resource needs (kernel
// handles and modules: the shared owners).
#pragma once

#include <windows.h>
#include <ntsecapi.h>
#include <wtsapi32.h>

#include <utility>

#include "regframe.h"
#include "uniquehandle.h"
#include "uniquemodule.h"

namespace zq::net {

// One resource of type T, released by Close when the owner goes.
template <typename T, typename Close>
class UniqueResource {
 public:
  UniqueResource() = default;
  explicit UniqueResource(T value) : value_(value) {}
  ~UniqueResource() { reset(); }
  UniqueResource(const UniqueResource&) = delete;
  UniqueResource& operator=(const UniqueResource&) = delete;

  T get() const { return value_; }
  explicit operator bool() const { return value_ != T{}; }
  // For the system call that hands the resource out.
  T* put() {
    reset();
    return &value_;
  }
  // Hands the resource on; the owner no longer releases it.
  T release() { return std::exchange(value_, T{}); }
  void reset(T value = T{}) {
    if (value_ != T{}) Close{}(value_);
    value_ = value;
  }

 private:
  T value_{};
};

struct LsaCloseCall {
  void operator()(LSA_HANDLE policy) const { LsaClose(policy); }
};
struct LsaFreeMemoryCall {
  void operator()(void* buffer) const { LsaFreeMemory(buffer); }
};
struct WtsFreeMemoryCall {
  void operator()(void* buffer) const { WTSFreeMemory(buffer); }
};
struct LocalFreeCall {
  void operator()(void* block) const { LocalFree(block); }
};
struct ProcessHeapFreeCall {
  void operator()(void* block) const { HeapFree(GetProcessHeap(), 0, block); }
};

using zq::UniqueHandle;
using zq::UniqueModule;
using UniqueLsaPolicy = UniqueResource<LSA_HANDLE, LsaCloseCall>;
template <typename T>
using UniqueLsaBuffer = UniqueResource<T*, LsaFreeMemoryCall>;
template <typename T>
using UniqueWtsBuffer = UniqueResource<T*, WtsFreeMemoryCall>;
template <typename T>
using UniqueLocalBlock = UniqueResource<T*, LocalFreeCall>;
template <typename T>
using UniqueProcessHeapBlock = UniqueResource<T*, ProcessHeapFreeCall>;

// Registry keys: the registry family's owner.
using UniqueKey = zq::reg::UniqueKey;

// The outcome of a BOOL function that reports its reason through the thread's
// last error. Deliver() runs last, after every owner is released and the exit
// line is written, so that none of those calls changes what the caller reads.
class BoolOutcome {
 public:
  static BoolOutcome Success() { return BoolOutcome(TRUE, false, 0); }
  static BoolOutcome SuccessWithError(DWORD error) { return BoolOutcome(TRUE, true, error); }
  static BoolOutcome Failure(DWORD error) { return BoolOutcome(FALSE, true, error); }
  // A failure that sets no last error of its own: the caller's stays.
  static BoolOutcome FailureWithoutError() { return BoolOutcome(FALSE, false, 0); }

  bool Succeeded() const { return result_ != FALSE; }
  BOOL Deliver(DWORD callerError) const {
    SetLastError(hasError_ ? error_ : callerError);
    return result_;
  }

 private:
  BoolOutcome(BOOL result, bool hasError, DWORD error) : result_(result), hasError_(hasError), error_(error) {}
  BOOL result_;
  bool hasError_;
  DWORD error_;
};

}  // namespace zq::net
