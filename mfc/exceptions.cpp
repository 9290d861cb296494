// MFC's exceptions and the functions that throw them.
#include <cwchar>
#include <new>

#include "zqmfc.h"

namespace {

// The static exceptions that MFC throws without allocating. Built in place on
// first use and never destroyed, so that nothing runs at load or unload.
template <typename Exception>
Exception* StaticException() {
  alignas(Exception) static unsigned char storage[sizeof(Exception)];
  static Exception* const exception = new (storage) Exception(FALSE);
  return exception;
}

BOOL CopyMessage(LPWSTR pszError, UINT nMaxError, PUINT pnHelpContext, const wchar_t* text) {
  if (pnHelpContext) *pnHelpContext = 0;
  if (!pszError || nMaxError == 0) return FALSE;
  wcsncpy_s(pszError, nMaxError, text, _TRUNCATE);
  return TRUE;
}

}  // namespace

void CException::Delete() noexcept {
  if (m_bAutoDelete > 0) delete this;
}

BOOL CException::GetErrorMessage(LPWSTR, UINT, PUINT pnHelpContext) const {
  if (pnHelpContext) *pnHelpContext = 0;
  return FALSE;
}

BOOL CMemoryException::GetErrorMessage(LPWSTR pszError, UINT nMaxError, PUINT pnHelpContext) const {
  return CopyMessage(pszError, nMaxError, pnHelpContext, L"Out of memory.");
}

BOOL CInvalidArgException::GetErrorMessage(LPWSTR pszError, UINT nMaxError, PUINT pnHelpContext) const {
  return CopyMessage(pszError, nMaxError, pnHelpContext, L"Invalid argument.");
}

BOOL COleException::GetErrorMessage(LPWSTR pszError, UINT nMaxError, PUINT pnHelpContext) const {
  if (pnHelpContext) *pnHelpContext = 0;
  if (!pszError || nMaxError == 0) return FALSE;
  DWORD written = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                 static_cast<DWORD>(m_sc), 0, pszError, nMaxError, nullptr);
  if (written == 0) _snwprintf_s(pszError, nMaxError, _TRUNCATE, L"OLE error 0x%08lx", static_cast<unsigned long>(m_sc));
  return TRUE;
}

void AfxThrowMemoryException() { throw StaticException<CMemoryException>(); }

void AfxThrowInvalidArgException() { throw StaticException<CInvalidArgException>(); }

void AfxThrowOleException(SCODE sc) {
  auto* exception = new (std::nothrow) COleException(sc);
  if (!exception) AfxThrowMemoryException();
  throw exception;
}

void ATL::AtlThrow(HRESULT hr) {
  if (hr == E_OUTOFMEMORY) AfxThrowMemoryException();
  AfxThrowOleException(hr);
}
