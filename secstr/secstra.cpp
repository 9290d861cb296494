// CSecStrA: the narrow secure string, counted in bytes.
#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include "secinner.h"
#include "zqlog.h"
#include "zqsecstr.h"

using namespace zq::secstr;

CStringA& CSecStrA::Inner() const {
  if (!m_pStr) ThrowHResult(E_OUTOFMEMORY);
  return *m_pStr;
}

CSecStrA::CSecStrA() : m_pStr(NewObject<CStringA>()) {}

CSecStrA::CSecStrA(const char* psz) : CSecStrA() { *m_pStr = psz; }

CSecStrA::CSecStrA(const char* pch, int nLength) : CSecStrA() { AssignCounted(*m_pStr, pch, nLength); }

CSecStrA::CSecStrA(const CSecStrA& src) : CSecStrA() { *m_pStr = static_cast<const char*>(src.Inner().GetBuffer()); }

CSecStrA::CSecStrA(const CSecStr& ssA) : CSecStrA() { ConvertFrom(ssA); }

CSecStrA::~CSecStrA() { DeleteWiped(m_pStr); }

void CSecStrA::Wipe() { zq::secstr::Wipe(Inner()); }

// Converts into this (empty or wiped) string: as many bytes as the wide text
// has characters, the length set to that count whatever the conversion did.
void CSecStrA::ConvertFrom(const CSecStr& wide) {
  int length = wide.GetLength();
  int size = CheckedAdd(length, 1);
  char* buffer = GetBuffer(size);
  memset(buffer, 0, static_cast<size_t>(size));  // bytes the conversion leaves are zeros, not old heap
  size_t converted = 0;
  errno_t error = wcstombs_s(&converted, buffer, static_cast<size_t>(size), wide.GetString(),
                             static_cast<size_t>(length));
  if (error != 0) {
    zq::log::Line(zq::log::kError, L"CSecStrA::CSecStrA(const CSecStr&) : wcstombs_s failed (%d)", error);
  }
  ReleaseBuffer(length);
}

CSecStrA& CSecStrA::operator=(const CSecStrA& src) {
  AssignText(Inner(), static_cast<const char*>(src.Inner().GetBuffer()));
  return *this;
}

CSecStrA& CSecStrA::operator=(wchar_t* psz) {
  Wipe();
  ConvertFrom(CSecStr(static_cast<const wchar_t*>(psz)));
  return *this;
}

CSecStrA::operator const char*() const { return GetBuffer(); }

char* CSecStrA::GetBuffer() const { return Inner().GetBuffer(); }

const char* CSecStrA::GetString() const { return Inner().GetString(); }

int CSecStrA::GetLength() const { return Inner().GetLength(); }

void CSecStrA::Empty() { Wipe(); }

char* CSecStrA::GetBuffer(int nMinBufferLength) { return GrowBuffer(Inner(), nMinBufferLength); }

void CSecStrA::ReleaseBuffer(int nNewLength) { ReleaseWiped(Inner(), nNewLength); }

int CSecStrA::Find(const char* psz, int iStart) const { return Inner().Find(psz, iStart); }

void CSecStrA::Append(const char* pch, int nLength) {
  if (!pch) throw std::invalid_argument("EINVAL");
  CSecStrA counted(pch, nLength);
  Insert(GetLength(), counted.GetString());
}

int CSecStrA::Insert(int nIndex, const char* psz) { return InsertText(Inner(), nIndex, psz); }
