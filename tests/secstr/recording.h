// Watches the memory that secure strings give up: a string manager that
// records every block it frees (and every block a growth leaves behind), and
// a watch on plain arrays from new[]/delete[], each noting blocks that are not
// all zeros at the moment they are freed.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "zqmfc.h"

namespace zqtest {

class RecordingStringManager final : public ATL::IAtlStringMgr {
 public:
  RecordingStringManager() noexcept : nil_(this) {}

  ATL::CStringData* Allocate(int nChars, int nCharSize) noexcept override;
  void Free(ATL::CStringData* pData) noexcept override;
  ATL::CStringData* Reallocate(ATL::CStringData* pData, int nChars, int nCharSize) noexcept override;
  ATL::CStringData* GetNilString() noexcept override;
  ATL::IAtlStringMgr* Clone() noexcept override { return this; }

  // Blocks freed (directly or by growth) whose characters were not all zero,
  // as hex of their bytes up to the first zero character.
  const std::vector<std::string>& DirtyFrees() const { return dirty_; }
  int Allocations() const { return allocations_; }
  int Frees() const { return frees_; }
  int Reallocations() const { return reallocations_; }
  int Live() const { return allocations_ - frees_; }
  // Fails allocations after this many more succeed (-1: never).
  void FailAfter(int allocations) { failAfter_ = allocations; }

 private:
  ATL::CNilStringData nil_;
  std::vector<std::string> dirty_;
  int allocations_ = 0;
  int frees_ = 0;
  int reallocations_ = 0;
  int failAfter_ = -1;
};

// Installs a manager for strings made while it lives; restores the previous
// one when it goes.
class ScopedStringManager {
 public:
  explicit ScopedStringManager(ATL::IAtlStringMgr* manager) : previous_(AfxSetStringManager(manager)) {}
  ~ScopedStringManager() { AfxSetStringManager(previous_); }
  ScopedStringManager(const ScopedStringManager&) = delete;
  ScopedStringManager& operator=(const ScopedStringManager&) = delete;

 private:
  ATL::IAtlStringMgr* previous_;
};

// While one lives, every delete[] of this program checks that the block is
// all zeros (its size from the heap) and counts the arrays.
class ArrayWatch {
 public:
  ArrayWatch();
  ~ArrayWatch();
  ArrayWatch(const ArrayWatch&) = delete;
  ArrayWatch& operator=(const ArrayWatch&) = delete;
  int Deleted() const;
  int Dirty() const;
};

// While one lives, the nothrow form of operator new fails (returns null)
// after `succeed` more successful calls; the library makes its inner strings
// and list storage with it.
class NothrowNewFailure {
 public:
  explicit NothrowNewFailure(int succeed);
  ~NothrowNewFailure();
  NothrowNewFailure(const NothrowNewFailure&) = delete;
  NothrowNewFailure& operator=(const NothrowNewFailure&) = delete;
};

}  // namespace zqtest
