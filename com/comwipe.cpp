// Wiping release of BSTRs and safe arrays on the platform's oleaut32.
#include <windows.h>
#include <oleauto.h>

#include <algorithm>
#include <cstdint>
#include <memory>

#include "unique.h"
#include "zqcom.h"
#include "zqlog.h"

namespace {

using zq::log::kError;
using zq::log::kProgress;
using zq::log::Line;

constexpr wchar_t kSafeArrayDestroy[] = L"zqSafeArrayDestroy";

void Wipe(void* block, size_t bytes) { SecureZeroMemory(block, bytes); }

// A multi-dimensional array is counted on a copy of its bounds, so that the
// count does not depend on the descriptor's layout; the copy is wiped before
// it is freed.
ULONG ElementCount(const SAFEARRAY* psa, UINT dimensions) {
  if (dimensions <= 1) return psa->rgsabound[0].cElements;
  const size_t count = psa->cDims;
  std::unique_ptr<SAFEARRAYBOUND[]> bounds(new (std::nothrow) SAFEARRAYBOUND[count]);
  if (!bounds) return 1;
  std::copy(psa->rgsabound, psa->rgsabound + count, bounds.get());
  ULONG elements = 1;
  for (size_t i = 0; i < count; ++i) elements *= bounds[i].cElements;
  Wipe(bounds.get(), count * sizeof(SAFEARRAYBOUND));
  return elements;
}

// The wiping, locking part; the caller logs the final result.
HRESULT WipeArray(SAFEARRAY* psa, BOOL bKeep) {
  UINT elementSize = SafeArrayGetElemsize(psa);
  UINT dimensions = SafeArrayGetDim(psa);
  Line(kProgress, L"zqSafeArrayDestroy sizeElem = %d, nDim = %d", elementSize, dimensions);

  void* data = nullptr;
  HRESULT hr = SafeArrayAccessData(psa, &data);
  // The lock goes back on every path, so the caller gets the array unlocked;
  // the wiping path gives it back itself, for the result.
  zq::Unique<SAFEARRAY*, SafeArrayUnaccessData> lock(SUCCEEDED(hr) ? psa : nullptr);
  if (FAILED(hr) || !data) {
    Line(kError, L"%s SafeArrayAccessData failed hr = %x", kSafeArrayDestroy, hr);
    return hr;
  }

  ULONG count = ElementCount(psa, dimensions);
  Line(kProgress, L"zqSafeArrayDestroy nbElem = %d", count);

  VARTYPE type = VT_EMPTY;
  if (SUCCEEDED(SafeArrayGetVartype(psa, &type)) && type == VT_BSTR) {
    BSTR* strings = static_cast<BSTR*>(data);
    for (ULONG i = 0; i < count; ++i) zqSysFreeString(strings[i], FALSE);
  }
  Wipe(data, static_cast<size_t>(count) * elementSize);

  hr = SafeArrayUnaccessData(lock.release());
  if (FAILED(hr)) {
    Line(kError, L"%s SafeArrayUnaccessData failed hr = %x", kSafeArrayDestroy, hr);
    return hr;
  }
  if (!bKeep) hr = SafeArrayDestroy(psa);
  return hr;
}

}  // namespace

extern "C" void zqSysFreeString(BSTR bstr, BOOL bKeep) {
  Line(kProgress, L"zqSysFreeString bstr = %s", bstr);
  if (bstr) Wipe(bstr, SysStringByteLen(bstr));
  Line(kProgress, L"zqSysFreeString bstr = %s", bstr);
  if (!bKeep) SysFreeString(bstr);
  Line(kProgress, L"zqSysFreeString");
}

extern "C" HRESULT zqSafeArrayDestroy(SAFEARRAY* psa, BOOL bKeep) {
  // The format takes 32 bits: the pointer's low half.
  Line(kProgress, L"zqSafeArrayDestroy psa = %x", static_cast<unsigned>(reinterpret_cast<uintptr_t>(psa)));
  HRESULT hr = psa ? WipeArray(psa, bKeep) : S_OK;
  Line(kProgress, L"zqSafeArrayDestroy hr = %x", hr);
  return hr;
}
