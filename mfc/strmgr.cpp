// The default string manager, the manager hook and string resources.
#include "zqmfc.h"

#include <climits>

namespace ATL {
namespace {

// A block of nChars characters plus the terminator, rounded up to 8
// characters as ATL does so that small growth does not reallocate every time:
// pData grown (realloc'ed), or a new block for null.
CStringData* Resize(CStringData* pData, int nChars, int nCharSize) noexcept {
  if (nChars < 0 || nCharSize <= 0 || nChars > INT_MAX - 8) return nullptr;
  int rounded = (nChars + 1 + 7) & ~7;
  size_t bytes = sizeof(CStringData) + static_cast<size_t>(rounded) * static_cast<size_t>(nCharSize);
  auto* data = static_cast<CStringData*>(realloc(pData, bytes));
  if (data) data->nAllocLength = rounded - 1;
  return data;
}

}  // namespace

CStringData* CAtlStringMgr::Allocate(int nChars, int nCharSize) noexcept {
  CStringData* data = Resize(nullptr, nChars, nCharSize);
  if (!data) return nullptr;
  data->pStringMgr = this;
  data->nRefs = 1;
  data->nDataLength = 0;
  return data;
}

void CAtlStringMgr::Free(CStringData* pData) noexcept { free(pData); }

CStringData* CAtlStringMgr::Reallocate(CStringData* pData, int nChars, int nCharSize) noexcept {
  return Resize(pData, nChars, nCharSize);
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
  auto beyond = [end](const void* at) { return static_cast<const BYTE*>(at) > end; };
  for (UINT index = nID & 15; index > 0; --index) {
    if (beyond(&image->achString)) return nullptr;
    image = reinterpret_cast<const ATLSTRINGRESOURCEIMAGE*>(image->achString + image->nLength);
  }
  if (beyond(&image->achString) || image->nLength == 0 || beyond(image->achString + image->nLength)) return nullptr;
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
