// The ATL/MFC string of the stand-in: CStringT over a string manager.
//
// Layout and behaviour follow ATL's CSimpleStringT/CStringT:
// - the text lives in a CStringData block (manager, length, capacity, reference
//   count) followed by capacity + 1 characters; capacity counts characters
//   without the terminator's slot;
// - copying one string to another shares the block by reference count;
//   GetBuffer() and every write unshare it first;
// - every block is allocated, grown and freed through the IAtlStringMgr that
//   made it. Growing reallocates: the old block is freed (or realloc'ed) as it
//   is, NOT wiped. Whoever keeps secrets in these strings must wipe first;
// - a new string starts on the manager's shared empty ("nil") block of
//   capacity 0; StrTraitMFC_DLL takes the manager from AfxGetStringManager().
// Errors are thrown through ATL::AtlThrow (MFC exceptions, see zqmfc.h).
#pragma once

#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <cwctype>
#include <cctype>
#include <algorithm>
#include <climits>
#include <cstdint>
#include <type_traits>
#include <emmintrin.h>

namespace ATL {

// Throws the MFC exception for an HRESULT: E_OUTOFMEMORY as CMemoryException*,
// every other code as COleException* carrying it.
[[noreturn]] void AtlThrow(HRESULT hr);

class IAtlStringMgr;

struct CStringData {
  IAtlStringMgr* pStringMgr;  // the manager that allocated this block and frees it
  int nDataLength;            // characters, without the terminator
  int nAllocLength;           // capacity in characters, without the terminator's slot
  long nRefs;                 // strings sharing this block

  void* data() noexcept { return this + 1; }
  void AddRef() noexcept { InterlockedIncrement(&nRefs); }
  inline void Release() noexcept;
  bool IsShared() const noexcept { return nRefs > 1; }
};

// The interface through which every string block is allocated and freed.
class IAtlStringMgr {
 public:
  // A block for at least nChars characters of nCharSize bytes (plus the
  // terminator); null when out of memory. nRefs 1, length 0.
  virtual CStringData* Allocate(int nChars, int nCharSize) noexcept = 0;
  virtual void Free(CStringData* pData) noexcept = 0;
  // Grows a block; the old block is gone afterwards (its content unwiped).
  virtual CStringData* Reallocate(CStringData* pData, int nChars, int nCharSize) noexcept = 0;
  // The shared empty block, with a reference added for the caller.
  virtual CStringData* GetNilString() noexcept = 0;
  virtual IAtlStringMgr* Clone() noexcept = 0;

 protected:
  ~IAtlStringMgr() = default;
};

inline void CStringData::Release() noexcept {
  if (InterlockedDecrement(&nRefs) <= 0) pStringMgr->Free(this);
}

// The empty block of a manager: capacity 0, never freed (its count starts at 2).
class CNilStringData : public CStringData {
 public:
  explicit constexpr CNilStringData(IAtlStringMgr* manager) noexcept
      : CStringData{manager, 0, 0, 2}, achNil{0, 0} {}

 private:
  wchar_t achNil[2];  // room for a terminator of either character size
};

// The default manager: blocks on msvcrt's heap, capacity rounded up as ATL does.
class CAtlStringMgr final : public IAtlStringMgr {
 public:
  constexpr CAtlStringMgr() noexcept : m_nil(this) {}
  CStringData* Allocate(int nChars, int nCharSize) noexcept override;
  void Free(CStringData* pData) noexcept override;
  CStringData* Reallocate(CStringData* pData, int nChars, int nCharSize) noexcept override;
  CStringData* GetNilString() noexcept override;
  IAtlStringMgr* Clone() noexcept override { return this; }

 private:
  CNilStringData m_nil;
};

// The length of a NUL-terminated text (0 for null), at most `limit`
// characters, sixteen bytes at a time: the runtime's wcslen and strlen go one
// character at a time under Wine (zqbench_secstr measures both). The loads are
// aligned 16-byte blocks, so the scan never reads into a page that the text
// does not reach.
template <typename Char>
int TextLength(const Char* psz, size_t limit = INT_MAX) noexcept {
  static_assert(sizeof(Char) == 1 || sizeof(Char) == 2);
  if (!psz) return 0;
  auto address = reinterpret_cast<uintptr_t>(psz);
  if (address % sizeof(Char) != 0) {  // characters not on the blocks' grid
    size_t length = 0;
    while (length < limit && psz[length]) ++length;
    return static_cast<int>(length);
  }
  auto zerosIn = [](const __m128i* block) {
    __m128i data = _mm_load_si128(block);
    __m128i zero = _mm_setzero_si128();
    __m128i found = sizeof(Char) == 1 ? _mm_cmpeq_epi8(data, zero) : _mm_cmpeq_epi16(data, zero);
    return static_cast<unsigned>(_mm_movemask_epi8(found));
  };
  uintptr_t bytes = limit * sizeof(Char);  // past this the scan stops
  const auto* block = reinterpret_cast<const __m128i*>(address & ~uintptr_t{15});
  unsigned mask = zerosIn(block) & (~0u << (address & 15));  // bytes before psz do not count
  while (mask == 0 && reinterpret_cast<uintptr_t>(block + 1) - address < bytes) mask = zerosIn(++block);
  if (mask == 0) return static_cast<int>(limit);
  auto end = reinterpret_cast<uintptr_t>(block) + static_cast<unsigned>(__builtin_ctz(mask));
  return static_cast<int>(std::min(end - address, bytes) / sizeof(Char));
}

// Character operations of the C runtime: one overload per character type,
// which the argument picks.
template <typename T>
class ChTraitsCRT {
 public:
  using XCHAR = T;
  using YCHAR = std::conditional_t<sizeof(T) == 1, wchar_t, char>;
  static int StringLength(const T* psz) noexcept { return TextLength(psz); }
  static int StringCompare(const wchar_t* a, const wchar_t* b) noexcept { return wcscmp(a, b); }
  static int StringCompare(const char* a, const char* b) noexcept { return strcmp(a, b); }
  static int StringCompareIgnore(const wchar_t* a, const wchar_t* b) noexcept { return _wcsicmp(a, b); }
  static int StringCompareIgnore(const char* a, const char* b) noexcept { return _stricmp(a, b); }
  static const wchar_t* StringFindString(const wchar_t* s, const wchar_t* f) noexcept { return wcsstr(s, f); }
  static const char* StringFindString(const char* s, const char* f) noexcept { return strstr(s, f); }
  static const wchar_t* StringFindChar(const wchar_t* s, wchar_t c) noexcept { return wcschr(s, c); }
  static const char* StringFindChar(const char* s, char c) noexcept { return strchr(s, c); }
  static const wchar_t* StringScanSetRev(const wchar_t* s, wchar_t c) noexcept { return wcsrchr(s, c); }
  static const char* StringScanSetRev(const char* s, char c) noexcept { return strrchr(s, c); }
  static bool IsSpace(wchar_t c) noexcept { return iswspace(c) != 0; }
  static bool IsSpace(char c) noexcept { return isspace(static_cast<unsigned char>(c)) != 0; }
  static void StringUppercase(wchar_t* s, size_t size) noexcept { _wcsupr_s(s, size); }
  static void StringUppercase(char* s, size_t size) noexcept { _strupr_s(s, size); }
  static void StringLowercase(wchar_t* s, size_t size) noexcept { _wcslwr_s(s, size); }
  static void StringLowercase(char* s, size_t size) noexcept { _strlwr_s(s, size); }

  // Text of the other character type, through the ANSI code page, and of the
  // same type.
  static int GetBaseTypeLength(const YCHAR* psz, int n = -1) noexcept {
    int count = Convert(nullptr, 0, psz, n);
    return n == -1 ? (count > 0 ? count - 1 : 0) : count;
  }
  static void ConvertToBaseType(T* dst, int nDst, const YCHAR* src, int nSrc = -1) noexcept {
    Convert(dst, nDst, src, nSrc);
  }
  static int GetBaseTypeLength(const T*, int n) noexcept { return n; }
  static void ConvertToBaseType(T* dst, int nDst, const T* src, int nSrc) noexcept {
    memcpy(dst, src, static_cast<size_t>(nSrc < nDst ? nSrc : nDst) * sizeof(T));
  }

 private:
  static int Convert(wchar_t* dst, int nDst, const char* src, int nSrc) noexcept {
    return MultiByteToWideChar(CP_ACP, 0, src, nSrc, dst, nDst);
  }
  static int Convert(char* dst, int nDst, const wchar_t* src, int nSrc) noexcept {
    return WideCharToMultiByte(CP_ACP, 0, src, nSrc, dst, nDst, nullptr, nullptr);
  }
};

// The resource image of one string table entry (UTF-16, not terminated).
struct ATLSTRINGRESOURCEIMAGE {
  WORD nLength;
  WCHAR achString[1];
};

// The entry nID of the string table in hInstance; null when the block or the
// entry is missing or the entry is empty.
const ATLSTRINGRESOURCEIMAGE* AtlGetStringResourceImage(HINSTANCE hInstance, UINT nID) noexcept;

}  // namespace ATL

// The manager that new strings take (AfxSetStringManager replaces it).
ATL::IAtlStringMgr* AfxGetStringManager() noexcept;
// Installs another manager for strings made from now on and returns the
// previous one; null restores the default heap manager. Strings keep the
// manager that made their block, so install before making strings and restore
// after they are gone. Meant for tests that watch every block.
ATL::IAtlStringMgr* AfxSetStringManager(ATL::IAtlStringMgr* manager) noexcept;
HINSTANCE AfxFindStringResourceHandle(UINT nID);

// MFC's traits for strings of the MFC DLL: the default manager and the module
// that holds a string resource.
template <typename BaseType, class StringIterator = ATL::ChTraitsCRT<BaseType>>
class StrTraitMFC_DLL : public StringIterator {
 public:
  static ATL::IAtlStringMgr* GetDefaultManager() noexcept { return AfxGetStringManager(); }
  static HINSTANCE FindStringResourceInstance(UINT nID) { return AfxFindStringResourceHandle(nID); }
};

namespace ATL {

template <typename BaseType, class StringTraits>
class CStringT {
 public:
  using XCHAR = BaseType;
  using PXSTR = BaseType*;
  using PCXSTR = const BaseType*;
  using YCHAR = typename StringTraits::YCHAR;

  CStringT() noexcept { Attach(StringTraits::GetDefaultManager()->GetNilString()); }
  CStringT(const CStringT& src) noexcept { Attach(CloneData(src.GetData())); }
  CStringT(PCXSTR psz) : CStringT() { *this = psz; }
  CStringT(const YCHAR* psz) : CStringT() { *this = psz; }
  ~CStringT() noexcept { GetData()->Release(); }

  CStringT& operator=(const CStringT& src) noexcept {
    CStringData* oldData = GetData();
    CStringData* newData = CloneData(src.GetData());
    Attach(newData);
    oldData->Release();
    return *this;
  }
  CStringT& operator=(PCXSTR psz) {
    SetString(psz, StringTraits::StringLength(psz));
    return *this;
  }
  // Conversion from the other character type (ANSI code page).
  CStringT& operator=(const YCHAR* psz) {
    if (psz) Convert(psz, -1);
    else Empty();
    return *this;
  }
  CStringT& operator=(XCHAR ch) {
    XCHAR text[2] = {ch, 0};
    return *this = static_cast<PCXSTR>(text);
  }

  CStringT& operator+=(const CStringT& src) {
    Append(src.GetString(), src.GetLength());
    return *this;
  }
  CStringT& operator+=(PCXSTR psz) {
    Append(psz, StringTraits::StringLength(psz));
    return *this;
  }
  CStringT& operator+=(XCHAR ch) {
    Append(&ch, 1);
    return *this;
  }

  int GetLength() const noexcept { return GetData()->nDataLength; }
  int GetAllocLength() const noexcept { return GetData()->nAllocLength; }
  bool IsEmpty() const noexcept { return GetLength() == 0; }
  PCXSTR GetString() const noexcept { return m_pszData; }
  operator PCXSTR() const noexcept { return m_pszData; }

  // Drops the text; an unshared block is freed as it is (not wiped).
  void Empty() noexcept {
    CStringData* oldData = GetData();
    if (oldData->nDataLength == 0) return;
    IAtlStringMgr* manager = oldData->pStringMgr;
    Attach(manager->GetNilString());
    oldData->Release();
  }

  PXSTR GetBuffer() { return PrepareWrite(GetLength()); }
  PXSTR GetBuffer(int nMinBufferLength) { return PrepareWrite(nMinBufferLength); }
  void ReleaseBuffer(int nNewLength = -1) {
    if (nNewLength == -1) nNewLength = StringTraits::StringLength(m_pszData);
    SetLength(nNewLength);
  }
  void ReleaseBufferSetLength(int nNewLength) { SetLength(nNewLength); }

  // Entry nID of hInstance's string table; FALSE (text unchanged) when missing or empty.
  BOOL LoadStringW(HINSTANCE hInstance, UINT nID) {
    const ATLSTRINGRESOURCEIMAGE* image = AtlGetStringResourceImage(hInstance, nID);
    if (!image) return FALSE;
    Convert(image->achString, image->nLength);
    return TRUE;
  }
  BOOL LoadStringW(UINT nID) { return LoadStringW(StringTraits::FindStringResourceInstance(nID), nID); }

  int Find(XCHAR ch, int iStart = 0) const noexcept {
    if (iStart < 0 || iStart >= GetLength()) return -1;
    return IndexOf(StringTraits::StringFindChar(m_pszData + iStart, ch));
  }
  int Find(PCXSTR psz, int iStart = 0) const noexcept {
    if (!psz || iStart < 0 || iStart > GetLength()) return -1;
    return IndexOf(StringTraits::StringFindString(m_pszData + iStart, psz));
  }
  int ReverseFind(XCHAR ch) const noexcept { return IndexOf(StringTraits::StringScanSetRev(m_pszData, ch)); }
  XCHAR GetAt(int iChar) const {
    if (iChar < 0 || iChar > GetLength()) AtlThrow(E_INVALIDARG);
    return m_pszData[iChar];
  }
  void SetAt(int iChar, XCHAR ch) {
    if (iChar < 0 || iChar >= GetLength()) AtlThrow(E_INVALIDARG);
    Rewrite([&](PXSTR buffer, size_t) { buffer[iChar] = ch; });
  }
  int Compare(PCXSTR psz) const { return StringTraits::StringCompare(m_pszData, NotNull(psz)); }
  int CompareNoCase(PCXSTR psz) const { return StringTraits::StringCompareIgnore(m_pszData, NotNull(psz)); }

  // Removes every ch in place; returns how many.
  int Remove(XCHAR ch) {
    int length = GetLength();
    PXSTR buffer = GetBuffer();
    int kept = 0;
    for (int i = 0; i < length; ++i) {
      if (buffer[i] != ch) buffer[kept++] = buffer[i];
    }
    ReleaseBufferSetLength(kept);
    return length - kept;
  }
  CStringT& MakeUpper() { return Rewrite([](PXSTR s, size_t size) { StringTraits::StringUppercase(s, size); }); }
  CStringT& MakeLower() { return Rewrite([](PXSTR s, size_t size) { StringTraits::StringLowercase(s, size); }); }
  CStringT& TrimLeft() { return TrimLeftWhile([](XCHAR c) { return StringTraits::IsSpace(c); }); }
  CStringT& TrimLeft(XCHAR ch) { return TrimLeftWhile([ch](XCHAR c) { return c == ch; }); }
  CStringT& TrimRight() { return TrimRightWhile([](XCHAR c) { return StringTraits::IsSpace(c); }); }
  CStringT& TrimRight(XCHAR ch) { return TrimRightWhile([ch](XCHAR c) { return c == ch; }); }

  // Replaces every occurrence of pszOld (left to right, not overlapping); the
  // count of replacements.
  int Replace(PCXSTR pszOld, PCXSTR pszNew) {
    int oldLength = StringTraits::StringLength(pszOld);
    if (oldLength == 0) return 0;
    int newLength = StringTraits::StringLength(pszNew);
    int count = 0;
    for (PCXSTR p = StringTraits::StringFindString(m_pszData, pszOld); p;
         p = StringTraits::StringFindString(p + oldLength, pszOld)) {
      ++count;
    }
    if (count == 0) return 0;
    CStringT replacement(pszNew ? pszNew : Nil());  // pszNew may point into this text
    CStringT old(pszOld);
    long long resultLength = GetLength() + static_cast<long long>(newLength - oldLength) * count;
    if (resultLength > INT_MAX - 1) AtlThrow(E_INVALIDARG);
    int length = GetLength();
    int needed = static_cast<int>(resultLength) > length ? static_cast<int>(resultLength) : length;
    PXSTR buffer = GetBuffer(needed);
    PXSTR at = buffer;
    for (int i = 0; i < count; ++i) {
      at = const_cast<PXSTR>(StringTraits::StringFindString(at, old.GetString()));
      int tail = length - static_cast<int>(at - buffer) - oldLength;
      memmove(at + newLength, at + oldLength, (static_cast<size_t>(tail) + 1) * sizeof(XCHAR));
      memcpy(at, replacement.GetString(), static_cast<size_t>(newLength) * sizeof(XCHAR));
      length += newLength - oldLength;
      at += newLength;
    }
    ReleaseBufferSetLength(length);
    return count;
  }

 private:
  static PCXSTR Nil() noexcept {
    static const XCHAR nil[1] = {0};
    return nil;
  }
  static PCXSTR NotNull(PCXSTR psz) noexcept { return psz ? psz : Nil(); }
  int IndexOf(PCXSTR found) const noexcept { return found ? static_cast<int>(found - m_pszData) : -1; }

  // The text converted from nSrc characters of src (-1: up to its NUL);
  // nothing to convert empties the string.
  template <typename Other>
  void Convert(const Other* src, int nSrc) {
    int length = StringTraits::GetBaseTypeLength(src, nSrc);
    if (length <= 0) return Empty();
    StringTraits::ConvertToBaseType(GetBuffer(length), length, src, nSrc);
    ReleaseBufferSetLength(length);
  }
  // Changes the characters in place (change gets the buffer and its size
  // with the terminator); the length stays.
  template <typename Change>
  CStringT& Rewrite(Change change) {
    int length = GetLength();
    change(GetBuffer(), static_cast<size_t>(length) + 1);
    ReleaseBufferSetLength(length);
    return *this;
  }

  CStringData* GetData() const noexcept { return reinterpret_cast<CStringData*>(m_pszData) - 1; }
  void Attach(CStringData* data) noexcept { m_pszData = static_cast<PXSTR>(data->data()); }

  // Shares a block with another string of the same manager.
  static CStringData* CloneData(CStringData* data) noexcept {
    data->AddRef();
    return data;
  }

  template <typename Predicate>
  CStringT& TrimLeftWhile(Predicate skip) {
    int length = GetLength();
    int first = 0;
    while (first < length && skip(m_pszData[first])) ++first;
    if (first == 0) return *this;
    PXSTR buffer = GetBuffer();
    memmove(buffer, buffer + first, static_cast<size_t>(length - first) * sizeof(XCHAR));
    ReleaseBufferSetLength(length - first);
    return *this;
  }
  template <typename Predicate>
  CStringT& TrimRightWhile(Predicate skip) {
    int length = GetLength();
    int end = length;
    while (end > 0 && skip(m_pszData[end - 1])) --end;
    if (end == length) return *this;
    GetBuffer();
    ReleaseBufferSetLength(end);
    return *this;
  }

  void SetString(PCXSTR psz, int nLength) {
    if (nLength == 0) {
      Empty();
      return;
    }
    if (!psz) AtlThrow(E_INVALIDARG);
    int oldLength = GetLength();
    size_t offset = static_cast<size_t>(psz - m_pszData);  // psz may point into this text
    PXSTR buffer = GetBuffer(nLength);
    if (offset <= static_cast<size_t>(oldLength)) {
      memmove(buffer, buffer + offset, static_cast<size_t>(nLength) * sizeof(XCHAR));
    } else {
      memcpy(buffer, psz, static_cast<size_t>(nLength) * sizeof(XCHAR));
    }
    ReleaseBufferSetLength(nLength);
  }

  void Append(PCXSTR psz, int nLength) {
    if (nLength == 0) return;
    int oldLength = GetLength();
    if (nLength < 0 || nLength > INT_MAX - oldLength) AtlThrow(E_INVALIDARG);
    size_t offset = static_cast<size_t>(psz - m_pszData);
    int newLength = oldLength + nLength;
    PXSTR buffer = GetBuffer(newLength);
    if (offset <= static_cast<size_t>(oldLength)) psz = buffer + offset;
    memmove(buffer + oldLength, psz, static_cast<size_t>(nLength) * sizeof(XCHAR));
    ReleaseBufferSetLength(newLength);
  }

  // An unshared block of at least nLength characters, the text kept.
  PXSTR PrepareWrite(int nLength) {
    if (nLength < 0) AtlThrow(E_INVALIDARG);
    CStringData* oldData = GetData();
    if (oldData->IsShared() || oldData->nAllocLength < nLength) PrepareWrite2(nLength);
    return m_pszData;
  }
  void PrepareWrite2(int nLength) {
    CStringData* oldData = GetData();
    if (oldData->nDataLength > nLength) nLength = oldData->nDataLength;
    if (oldData->IsShared()) {
      Fork(nLength);
    } else if (oldData->nAllocLength < nLength) {
      // ATL's growth: half again the capacity, at least what is asked.
      int grown = oldData->nAllocLength;
      grown = grown > 1024 * 1024 * 1024 ? grown + 1024 * 1024 : grown + grown / 2;
      if (grown < nLength) grown = nLength;
      Reallocate(grown);
    }
  }
  void Fork(int nLength) {
    CStringData* oldData = GetData();
    int oldLength = oldData->nDataLength;
    CStringData* newData = oldData->pStringMgr->Clone()->Allocate(nLength, sizeof(XCHAR));
    if (!newData) AtlThrow(E_OUTOFMEMORY);
    int copied = (oldLength < nLength ? oldLength : nLength) + 1;
    memcpy(newData->data(), m_pszData, static_cast<size_t>(copied) * sizeof(XCHAR));
    newData->nDataLength = oldLength;
    oldData->Release();
    Attach(newData);
  }
  void Reallocate(int nLength) {
    CStringData* oldData = GetData();
    CStringData* newData = oldData->pStringMgr->Reallocate(oldData, nLength, sizeof(XCHAR));
    if (!newData) AtlThrow(E_OUTOFMEMORY);
    Attach(newData);
  }
  void SetLength(int nLength) {
    if (nLength < 0 || nLength > GetData()->nAllocLength) AtlThrow(E_INVALIDARG);
    if (nLength == 0 && GetData()->nAllocLength == 0) return;  // the nil block stays as it is
    GetData()->nDataLength = nLength;
    m_pszData[nLength] = 0;
  }

  PXSTR m_pszData;
};

}  // namespace ATL

using CStringW = ATL::CStringT<wchar_t, StrTraitMFC_DLL<wchar_t, ATL::ChTraitsCRT<wchar_t>>>;
using CStringA = ATL::CStringT<char, StrTraitMFC_DLL<char, ATL::ChTraitsCRT<char>>>;
using CString = CStringW;
