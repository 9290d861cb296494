// CSecStr editing: concatenation, insertion, replacement, formatting, parts,
// and the in-place operations passed on to the inner string.
#include <cstdio>
#include <stdexcept>

#include "secinner.h"
#include "zqsecstr.h"

using namespace zq::secstr;

CSecStr& CSecStr::operator+=(const CSecStr& src) {
  // src may be this string: both texts are read before anything is wiped.
  CSecStr current(*this);
  CSecStr result;
  int length = current.GetLength();
  int total = CheckedAdd(length, src.GetLength());
  CheckedBytes<wchar_t>(CheckedAdd(total, 1));
  wchar_t* buffer = result.GetBuffer(total + 1);
  wcscpy_s(buffer, static_cast<size_t>(total) + 1, current.GetString());
  wcscpy_s(buffer + length, static_cast<size_t>(total - length) + 1, src.GetString());
  result.ReleaseBuffer(total);
  Wipe();
  *this = result;
  return *this;
}

CSecStr& CSecStr::operator+=(const wchar_t* psz) {
  CSecStr appended(psz);
  return *this += appended;
}

CSecStr& CSecStr::operator+=(wchar_t ch) {
  CSecStr current(*this);
  int length = current.GetLength();
  int size = CheckedAdd(length, 2);
  CheckedBytes<wchar_t>(size);
  Wipe();
  wchar_t* buffer = m_pStr->GetBuffer(size);
  wcscpy_s(buffer, static_cast<size_t>(size), current.GetString());
  CSecStr character(ch);
  wcscpy_s(buffer + length, 2, character.GetString());
  m_pStr->ReleaseBuffer(length + 1);
  return *this;
}

int CSecStr::Insert(int nIndex, const wchar_t* psz) { return InsertText(*m_pStr, nIndex, psz); }

int CSecStr::Insert(int nIndex, wchar_t ch) {
  CSecStr character(ch);
  return Insert(nIndex, character.GetString());
}

void CSecStr::Append(const wchar_t* psz) { Insert(GetLength(), psz); }

void CSecStr::Append(const wchar_t* pch, int nLength) {
  if (!pch) {
    if (nLength != 0) throw std::invalid_argument("EINVAL");
    return;
  }
  CSecStr counted(pch, nLength);
  Insert(GetLength(), counted.GetString());
}

int CSecStr::Replace(const wchar_t* pszOld, const wchar_t* pszNew) {
  if (!pszOld || *pszOld == 0) return 0;
  // The arguments may point into this text; it stays untouched until the end.
  int oldLength = static_cast<int>(wcslen(pszOld));
  int newLength = pszNew ? static_cast<int>(wcslen(pszNew)) : 0;

  int count = 0;
  for (const wchar_t* match = wcsstr(GetString(), pszOld); match; match = wcsstr(match + oldLength, pszOld)) {
    count = CheckedAdd(count, 1);
  }
  if (count == 0) return 0;

  CSecStr source(*this);
  CSecStr result;
  int length = source.GetLength();
  int size = newLength < oldLength
                 ? CheckedAdd(length, 1)
                 : CheckedAdd(CheckedAdd(length, CheckedMul(newLength - oldLength, count)), 1);
  CheckedBytes<wchar_t>(size);
  wchar_t* buffer = result.GetBuffer(size);
  wcscpy_s(buffer, static_cast<size_t>(size), source.GetString());

  wchar_t* position = buffer;
  for (int i = 0; i < count; ++i) {
    wchar_t* match = wcsstr(position, pszOld);
    if (!match) break;
    int rest = size - static_cast<int>(match - buffer);
    if (newLength < oldLength) {
      memmove_s(match + newLength, static_cast<size_t>(rest - newLength) * sizeof(wchar_t), match + oldLength,
                static_cast<size_t>(rest - oldLength) * sizeof(wchar_t));
    } else if (newLength > oldLength) {
      memmove_s(match + newLength, static_cast<size_t>(rest - newLength) * sizeof(wchar_t), match + oldLength,
                static_cast<size_t>(rest - newLength) * sizeof(wchar_t));
    }
    if (newLength > 0) {
      memcpy_s(match, static_cast<size_t>(rest) * sizeof(wchar_t), pszNew,
               static_cast<size_t>(newLength) * sizeof(wchar_t));
    }
    position = match + newLength;
  }

  buffer[size - 1] = 0;
  int measured = static_cast<int>(wcsnlen(buffer, static_cast<size_t>(size)));
  SecureZeroMemory(buffer + measured, static_cast<size_t>(size - measured) * sizeof(wchar_t));
  result.ReleaseBuffer(measured);
  Wipe();
  *this = result;
  return count;
}

void CSecStr::FormatV(const wchar_t* pszFormat, va_list args) {
  CSecStr result;
  va_list measureArgs;
  va_copy(measureArgs, args);
  int measured = _vscwprintf(pszFormat, measureArgs);
  va_end(measureArgs);
  if (measured < 0) ThrowHResult(E_INVALIDARG);  // a format the runtime rejects
  int size = CheckedAdd(measured, 1);
  CheckedBytes<wchar_t>(size);
  wchar_t* buffer = result.GetBuffer(size);
  // Some formats pass the measuring but not the writing (a lone % at the end).
  if (vswprintf_s(buffer, static_cast<size_t>(size), pszFormat, args) < 0) ThrowHResult(E_INVALIDARG);
  result.ReleaseBuffer(-1);
  Wipe();
  *this = result;
}

namespace {

// Ends a variable argument list on every path, also when FormatV throws.
struct ArgumentsEnd {
  va_list& args;
  ~ArgumentsEnd() { va_end(args); }
};

}  // namespace

void CSecStr::Format(const wchar_t* pszFormat, ...) {
  CSecStr format(pszFormat);
  va_list args;
  va_start(args, pszFormat);
  ArgumentsEnd end{args};
  FormatV(format.GetString(), args);
}

void CSecStr::Format(UINT nFormatID, ...) {
  CSecStr format;
  format.LoadStringW(m_pFnFindStringResourceHandle(nFormatID), nFormatID);  // missing: empty format
  va_list args;
  va_start(args, nFormatID);
  ArgumentsEnd end{args};
  FormatV(format.GetString(), args);
}

CSecStr CSecStr::Mid(int nFirst, int nCount) const {
  int length = GetLength();
  if (nFirst < 0) nFirst = 0;
  if (nCount < 0 || nFirst > length) nCount = 0;
  else if (nCount > length - nFirst) nCount = length - nFirst;
  if (nFirst == 0 && nCount == length) return CSecStr(*this);
  if (nCount == 0) return CSecStr();
  CSecStr part(GetString() + nFirst, nCount);
  return CSecStr(part);
}

CSecStr CSecStr::Mid(int nFirst) const {
  if (nFirst < 0) nFirst = 0;
  return Mid(nFirst, GetLength() - nFirst);
}

CSecStr CSecStr::Left(int nCount) const {
  if (nCount < 0) nCount = 0;
  if (nCount >= GetLength()) return CSecStr(*this);
  if (nCount == 0) return CSecStr();
  return Mid(0, nCount);
}

CSecStr CSecStr::Right(int nCount) const {
  if (nCount < 0) nCount = 0;
  int length = GetLength();
  if (nCount >= length) return CSecStr(*this);
  if (nCount == 0) return CSecStr();
  return Mid(length - nCount, nCount);
}

int CSecStr::Find(wchar_t ch, int iStart) const { return m_pStr->Find(ch, iStart); }
int CSecStr::Find(const wchar_t* psz, int iStart) const { return m_pStr->Find(psz, iStart); }
int CSecStr::ReverseFind(wchar_t ch) const { return m_pStr->ReverseFind(ch); }
wchar_t CSecStr::GetAt(int iChar) const { return m_pStr->GetAt(iChar); }
void CSecStr::SetAt(int iChar, wchar_t ch) { m_pStr->SetAt(iChar, ch); }
int CSecStr::Compare(const wchar_t* psz) const { return m_pStr->Compare(psz); }
int CSecStr::CompareNoCase(const wchar_t* psz) const { return m_pStr->CompareNoCase(psz); }
int CSecStr::Remove(wchar_t ch) { return m_pStr->Remove(ch); }

CSecStr& CSecStr::MakeUpper() {
  m_pStr->MakeUpper();
  return *this;
}
CSecStr& CSecStr::MakeLower() {
  m_pStr->MakeLower();
  return *this;
}
CSecStr& CSecStr::TrimLeft() {
  m_pStr->TrimLeft();
  return *this;
}
CSecStr& CSecStr::TrimLeft(wchar_t ch) {
  m_pStr->TrimLeft(ch);
  return *this;
}
CSecStr& CSecStr::TrimRight() {
  m_pStr->TrimRight();
  return *this;
}
CSecStr& CSecStr::TrimRight(wchar_t ch) {
  m_pStr->TrimRight(ch);
  return *this;
}
