#include "recording.h"

#include <malloc.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace zqtest {
namespace {

bool AllZero(const void* block, size_t bytes) {
  const auto* first = static_cast<const unsigned char*>(block);
  return std::all_of(first, first + bytes, [](unsigned char byte) { return byte == 0; });
}

}  // namespace

int g_dirtyArrays = 0;

ATL::CStringData* RecordingStringManager::Allocate(int nChars, int nCharSize) noexcept {
  if (nChars < 0 || nChars > 0x3fffffff || failAfter-- == 0) return nullptr;
  int capacity = ((nChars + 1 + 7) & ~7) - 1;
  // Zeroed when made: whatever is not zero when freed was written by a string.
  auto* data = static_cast<ATL::CStringData*>(calloc(1, sizeof(ATL::CStringData) + (capacity + 1U) * nCharSize));
  if (!data) return nullptr;
  *data = {this, 0, capacity, 1};
  ++allocations;
  return data;
}

void RecordingStringManager::Free(ATL::CStringData* pData) noexcept {
  // The whole block after its header: every character of the capacity.
  size_t bytes = _msize(pData) - sizeof(ATL::CStringData);
  if (!AllZero(pData->data(), bytes)) dirty.push_back(std::string(static_cast<const char*>(pData->data()), bytes));
  ++frees;
  free(pData);
}

ATL::CStringData* RecordingStringManager::Reallocate(ATL::CStringData* pData, int nChars, int nCharSize) noexcept {
  // As realloc does: a new block with the old content, the old block freed.
  ATL::CStringData* grown = Allocate(nChars, nCharSize);
  if (!grown) return nullptr;
  ++reallocations;
  memcpy(grown->data(), pData->data(), static_cast<size_t>(pData->nAllocLength + 1) * static_cast<size_t>(nCharSize));
  grown->nDataLength = pData->nDataLength;
  Free(pData);
  return grown;
}

}  // namespace zqtest

// Plain arrays come from operator new[], which takes them from malloc.
void operator delete[](void* block) noexcept {
  if (block && !zqtest::AllZero(block, _msize(block))) ++zqtest::g_dirtyArrays;
  free(block);
}

void operator delete[](void* block, size_t) noexcept { operator delete[](block); }
