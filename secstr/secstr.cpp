// CSecStr: storage, wiping, construction, assignment, buffers, resources.
#include "zqsecstr.h"

#include "secinner.h"

using namespace zq::secstr;

namespace {

// The initial resource lookup: the MFC module's own.
HINSTANCE FindStringResourceHandle(UINT nID) { return AfxFindStringResourceHandle(nID); }

}  // namespace

HINSTANCE (*CSecStr::m_pFnFindStringResourceHandle)(UINT) = FindStringResourceHandle;

CSecStr::CSecStr() : m_pStr(NewObject<CStringW>()) {}

CSecStr::CSecStr(wchar_t ch) : CSecStr() { *m_pStr = ch; }

CSecStr::CSecStr(const wchar_t* psz) : CSecStr() { *m_pStr = psz; }

CSecStr::CSecStr(const wchar_t* pch, int nLength) : CSecStr() { AssignCounted(*m_pStr, pch, nLength); }

CSecStr::CSecStr(const CSecStr& src) : CSecStr() { *m_pStr = static_cast<const wchar_t*>(src.m_pStr->GetBuffer()); }

CSecStr::CSecStr(char* psz) : CSecStr() { *m_pStr = static_cast<const char*>(psz); }

CSecStr::CSecStr(const char* pch, int nLength) : CSecStr() { AssignCounted(*m_pStr, pch, nLength); }

CSecStr::~CSecStr() { DeleteWiped(m_pStr); }

void CSecStr::Wipe() { zq::secstr::Wipe(*m_pStr); }

void CSecStr::AssignText(const wchar_t* psz) { zq::secstr::AssignText(*m_pStr, psz); }

CSecStr& CSecStr::operator=(const CSecStr& src) {
  AssignText(src.m_pStr->GetBuffer());
  return *this;
}

CSecStr& CSecStr::operator=(const wchar_t* psz) {
  if (psz) AssignText(psz);
  else Wipe();
  return *this;
}

CSecStr& CSecStr::operator=(char* psz) { return *this = static_cast<const char*>(psz); }

CSecStr& CSecStr::operator=(const char* psz) {
  CSecStr converted(const_cast<char*>(psz));
  return *this = converted;
}

void CSecStr::SetString(const wchar_t* pch, int nLength) {
  CSecStr counted(pch, nLength);
  *this = counted;
}

wchar_t* CSecStr::GetBuffer(int nMinBufferLength) { return GrowBuffer(*m_pStr, nMinBufferLength); }

void CSecStr::ReleaseBuffer(int nNewLength) { ReleaseWiped(*m_pStr, nNewLength); }

wchar_t* CSecStr::GetBuffer() const { return m_pStr->GetBuffer(); }

CSecStr::operator const wchar_t*() const { return GetBuffer(); }

const wchar_t* CSecStr::GetString() const { return m_pStr->GetString(); }

void CSecStr::Empty() { Wipe(); }

int CSecStr::GetLength() const { return m_pStr->GetLength(); }

bool CSecStr::IsEmpty() const { return GetLength() == 0; }

int CSecStr::GetAllocLength() const { return m_pStr->GetAllocLength(); }

int CSecStr::LoadStringW(HINSTANCE hInstance, UINT nID) {
  CSecStr backup(*this);
  Wipe();
  int loaded = m_pStr->LoadStringW(hInstance, nID);
  if (!loaded) *this = backup;
  return loaded;
}

int CSecStr::LoadStringW(UINT nID) { return LoadStringW(m_pFnFindStringResourceHandle(nID), nID); }

void CSecStr::UpdateFindStringResourceHandleFunction(HINSTANCE (*pFn)(UINT)) { m_pFnFindStringResourceHandle = pFn; }
