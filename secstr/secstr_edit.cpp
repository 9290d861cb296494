// CSecStr editing: concatenation, insertion, replacement, formatting, parts,
// and the in-place operations passed on to the inner string.
#include <cstdio>
#include <stdexcept>

#include "secinner.h"
#include "zqsecstr.h"

using namespace zq::secstr;

CSecStr& CSecStr::operator+=(const CSecStr& src) {
  AppendText(*m_pStr, src.GetString(), TextLength(src.GetString()), src.GetLength());
  return *this;
}

CSecStr& CSecStr::operator+=(const wchar_t* psz) {
  int length = TextLength(psz);
  AppendText(*m_pStr, psz, length, length);
  return *this;
}

CSecStr& CSecStr::operator+=(wchar_t ch) {
  const wchar_t* current = GetString();
  int length = TextLength(current);
  int size = CheckedAdd(length, 2);
  CheckedBytes<wchar_t>(size);
  Rebuild(*m_pStr, length + 1, [&](wchar_t* buffer) {
    wmemcpy(buffer, current, static_cast<size_t>(length));
    buffer[length] = ch;
    return length + 1;  // L'\0' too lengthens the string
  });
  return *this;
}

int CSecStr::Insert(int nIndex, const wchar_t* psz) { return InsertText(*m_pStr, nIndex, psz); }

int CSecStr::Insert(int nIndex, wchar_t ch) {
  const wchar_t text[2] = {ch, 0};
  return Insert(nIndex, text);
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
  int oldLength = TextLength(pszOld);
  int newLength = TextLength(pszNew);
  int count = 0;
  for (const wchar_t* match = wcsstr(GetString(), pszOld); match; match = wcsstr(match + oldLength, pszOld)) {
    count = CheckedAdd(count, 1);
  }
  if (count == 0) return 0;

  const wchar_t* source = GetString();
  int length = TextLength(source);
  int grown = newLength < oldLength ? 0 : CheckedMul(newLength - oldLength, count);
  CheckedBytes<wchar_t>(CheckedAdd(CheckedAdd(length, grown), 1));
  Rebuild(*m_pStr, length + (newLength - oldLength) * count, [&](wchar_t* buffer) {
    wchar_t* out = buffer;
    const wchar_t* rest = source;
    for (const wchar_t* match = wcsstr(rest, pszOld); match; match = wcsstr(rest, pszOld)) {
      out = wmemcpy(out, rest, static_cast<size_t>(match - rest)) + (match - rest);
      out = wmemcpy(out, pszNew, static_cast<size_t>(newLength)) + newLength;
      rest = match + oldLength;
    }
    out = wmemcpy(out, rest, static_cast<size_t>(source + length - rest)) + (source + length - rest);
    return static_cast<int>(out - buffer);
  });
  return count;
}

void CSecStr::FormatV(const wchar_t* pszFormat, va_list args) {
  va_list measureArgs;
  va_copy(measureArgs, args);
  int measured = _vscwprintf(pszFormat, measureArgs);
  va_end(measureArgs);
  if (measured < 0) ThrowHResult(E_INVALIDARG);  // a format the runtime rejects
  int size = CheckedAdd(measured, 1);
  CheckedBytes<wchar_t>(size);
  Rebuild(*m_pStr, measured, [&](wchar_t* buffer) {
    // Some formats pass the measuring but not the writing (a lone % at the end).
    if (vswprintf_s(buffer, static_cast<size_t>(size), pszFormat, args) < 0) ThrowHResult(E_INVALIDARG);
    return TextLength(buffer);
  });
}

namespace {

// Ends a variable argument list on every path, also when FormatV throws.
struct ArgumentsEnd {
  va_list& args;
  ~ArgumentsEnd() { va_end(args); }
};

// An operation that the inner string does in place; answers the secure string.
template <typename Operation>
CSecStr& InPlace(CSecStr& self, Operation operation) {
  operation();
  return self;
}

}  // namespace

void CSecStr::Format(const wchar_t* pszFormat, ...) {
  va_list args;
  va_start(args, pszFormat);
  ArgumentsEnd end{args};
  FormatV(pszFormat ? pszFormat : L"", args);
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
  return CSecStr(GetString() + nFirst, nCount);
}

CSecStr CSecStr::Mid(int nFirst) const {
  if (nFirst < 0) nFirst = 0;
  return Mid(nFirst, GetLength() - nFirst);
}

CSecStr CSecStr::Left(int nCount) const { return Mid(0, nCount); }

CSecStr CSecStr::Right(int nCount) const {
  int length = GetLength();
  nCount = std::clamp(nCount, 0, length);
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

CSecStr& CSecStr::MakeUpper() { return InPlace(*this, [&] { m_pStr->MakeUpper(); }); }
CSecStr& CSecStr::MakeLower() { return InPlace(*this, [&] { m_pStr->MakeLower(); }); }
CSecStr& CSecStr::TrimLeft() { return InPlace(*this, [&] { m_pStr->TrimLeft(); }); }
CSecStr& CSecStr::TrimLeft(wchar_t ch) { return InPlace(*this, [&] { m_pStr->TrimLeft(ch); }); }
CSecStr& CSecStr::TrimRight() { return InPlace(*this, [&] { m_pStr->TrimRight(); }); }
CSecStr& CSecStr::TrimRight(wchar_t ch) { return InPlace(*this, [&] { m_pStr->TrimRight(ch); }); }
