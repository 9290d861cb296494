// The default string manager, the manager hook and string resources.
#include "zqmfc.h"

#include <climits>

namespace ATL {
namespace {

// Blocks of nChars characters plus the terminator, rounded up to 8 characters
// as ATL does so that small growth does not reallocate every time.
bool BlockSize(int nChars, int nCharSize, int* capacity, size_t* bytes) noexcept {
  if (nChars < 0 || nCharSize <= 0 || nChars > INT_MAX - 8) return false;
  int rounded = (nChars + 1 + 7) & ~7;
  *capacity = rounded - 1;
  *bytes = sizeof(CStringData) + static_cast<size_t>(rounded) * static_cast<size_t>(nCharSize);
  return true;
}

}  // namespace

CStringData* CAtlStringMgr::Allocate(int nChars, int nCharSize) noexcept {
  int capacity = 0;
  size_t bytes = 0;
  if (!BlockSize(nChars, nCharSize, &capacity, &bytes)) return nullptr;
  auto* data = static_cast<CStringData*>(malloc(bytes));
  if (!data) return nullptr;
  data->pStringMgr = this;
  data->nRefs = 1;
  data->nAllocLength = capacity;
  data->nDataLength = 0;
  return data;
}

void CAtlStringMgr::Free(CStringData* pData) noexcept { free(pData); }

CStringData* CAtlStringMgr::Reallocate(CStringData* pData, int nChars, int nCharSize) noexcept {
  int capacity = 0;
  size_t bytes = 0;
  if (!BlockSize(nChars, nCharSize, &capacity, &bytes)) return nullptr;
  auto* data = static_cast<CStringData*>(realloc(pData, bytes));
  if (!data) return nullptr;
  data->nAllocLength = capacity;
  return data;
}

CStringData* CAtlStringMgr::GetNilString() noexcept {
  m_nil.AddRef();
  return &m_nil;
}

const ATLSTRINGRESOURCEIMAGE* AtlGetStringResourceImage(HINSTANCE hInstance, UINT nID) noexcept {
  // Sixteen strings per block; block n + 1 holds the ids 16n to 16n + 15.
  HRSRC resource = FindResourceW(hInstance, MAKEINTRESOURCEW((nID >> 4) + 1), reinterpret_cast<LPCWSTR>(RT_STRING));
  if (!resource) return nullptr;
  HGLOBAL loaded = LoadResource(hInstance, resource);
  if (!loaded) return nullptr;
  auto* image = static_cast<const ATLSTRINGRESOURCEIMAGE*>(LockResource(loaded));
  if (!image) return nullptr;
  const BYTE* end = static_cast<const BYTE*>(static_cast<const void*>(image)) + SizeofResource(hInstance, resource);
  for (UINT index = nID & 15; index > 0; --index) {
    if (reinterpret_cast<const BYTE*>(image) + sizeof(WORD) > end) return nullptr;
    image = reinterpret_cast<const ATLSTRINGRESOURCEIMAGE*>(image->achString + image->nLength);
  }
  if (reinterpret_cast<const BYTE*>(image) + sizeof(WORD) > end) return nullptr;
  if (image->nLength == 0) return nullptr;
  if (reinterpret_cast<const BYTE*>(image->achString + image->nLength) > end) return nullptr;
  return image;
}

}  // namespace ATL

namespace {

constinit ATL::CAtlStringMgr g_defaultStringManager;  // no code at load
constinit ATL::IAtlStringMgr* g_stringManager = nullptr;  // null: the default

}  // namespace

ATL::IAtlStringMgr* AfxGetStringManager() noexcept {
  return g_stringManager ? g_stringManager : &g_defaultStringManager;
}

ATL::IAtlStringMgr* AfxSetStringManager(ATL::IAtlStringMgr* manager) noexcept {
  ATL::IAtlStringMgr* previous = AfxGetStringManager();
  g_stringManager = manager;
  return previous;
}

HINSTANCE AfxFindStringResourceHandle(UINT nID) {
  HINSTANCE resources = AfxGetResourceHandle();
  return ATL::AtlGetStringResourceImage(resources, nID) ? resources : nullptr;
}
