#include "recording.h"

#include <malloc.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

namespace zqtest {
namespace {

bool AllZero(const unsigned char* bytes, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    if (bytes[i] != 0) return false;
  }
  return true;
}

std::string Hex(const unsigned char* bytes, size_t count) {
  std::string text;
  char pair[4];
  for (size_t i = 0; i < count && i < 64; ++i) {
    snprintf(pair, sizeof pair, "%02x", bytes[i]);
    text += pair;
  }
  return text;
}

}  // namespace

ATL::CStringData* RecordingStringManager::Allocate(int nChars, int nCharSize) noexcept {
  if (failAfter_ == 0) return nullptr;
  if (failAfter_ > 0) --failAfter_;
  if (nChars < 0 || nChars > 0x3fffffff) return nullptr;
  int capacity = ((nChars + 1 + 7) & ~7) - 1;
  size_t dataBytes = static_cast<size_t>(capacity + 1) * static_cast<size_t>(nCharSize);
  // Zeroed when made: whatever is not zero when freed was written by a string.
  auto* data = static_cast<ATL::CStringData*>(calloc(1, sizeof(ATL::CStringData) + dataBytes));
  if (!data) return nullptr;
  data->pStringMgr = this;
  data->nRefs = 1;
  data->nAllocLength = capacity;
  data->nDataLength = 0;
  ++allocations_;
  return data;
}

void RecordingStringManager::Free(ATL::CStringData* pData) noexcept {
  // The whole block after its header: every character of the capacity.
  auto* bytes = static_cast<const unsigned char*>(pData->data());
  size_t count = _msize(pData) - sizeof(ATL::CStringData);
  if (!AllZero(bytes, count)) dirty_.push_back(Hex(bytes, count));
  ++frees_;
  free(pData);
}

ATL::CStringData* RecordingStringManager::Reallocate(ATL::CStringData* pData, int nChars, int nCharSize) noexcept {
  // As realloc does: a new block with the old content, the old block freed.
  ATL::CStringData* grown = Allocate(nChars, nCharSize);
  if (!grown) return nullptr;
  ++reallocations_;
  memcpy(grown->data(), pData->data(), static_cast<size_t>(pData->nAllocLength + 1) * static_cast<size_t>(nCharSize));
  grown->nDataLength = pData->nDataLength;
  Free(pData);
  return grown;
}

ATL::CStringData* RecordingStringManager::GetNilString() noexcept {
  nil_.AddRef();
  return &nil_;
}

// ---- Arrays ------------------------------------------------------------------

namespace {
int g_watching = 0;
int g_deleted = 0;
int g_dirty = 0;
}  // namespace

ArrayWatch::ArrayWatch() {
  ++g_watching;
  g_deleted = g_dirty = 0;
}
ArrayWatch::~ArrayWatch() { --g_watching; }
int ArrayWatch::Deleted() const { return g_deleted; }
int ArrayWatch::Dirty() const { return g_dirty; }

namespace {
int g_nothrowNewLeft = -1;  // -1: never fail
}  // namespace

NothrowNewFailure::NothrowNewFailure(int succeed) { g_nothrowNewLeft = succeed; }
NothrowNewFailure::~NothrowNewFailure() { g_nothrowNewLeft = -1; }

}  // namespace zqtest

void* operator new(size_t size, const std::nothrow_t&) noexcept {
  if (zqtest::g_nothrowNewLeft == 0) return nullptr;
  if (zqtest::g_nothrowNewLeft > 0) --zqtest::g_nothrowNewLeft;
  return malloc(size ? size : 1);
}

void* operator new[](size_t size) {
  void* block = malloc(size ? size : 1);
  if (!block) throw std::bad_alloc();
  return block;
}

void* operator new[](size_t size, const std::nothrow_t&) noexcept { return malloc(size ? size : 1); }

void operator delete[](void* block) noexcept {
  if (!block) return;
  if (zqtest::g_watching > 0) {
    ++zqtest::g_deleted;
    if (!zqtest::AllZero(static_cast<const unsigned char*>(block), _msize(block))) ++zqtest::g_dirty;
  }
  free(block);
}

void operator delete[](void* block, size_t) noexcept { operator delete[](block); }
