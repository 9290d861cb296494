// zqplatutilu.dll: strings for secrets.
//
// CSecStr (wide) and CSecStrA (narrow) follow MFC's CString, with one
// guarantee added: no copy of their text is left in memory they give up.
// Every buffer is overwritten with zeros over its whole capacity before it is
// released or reused, also the buffers that MFC frees on its own when a string
// grows (the text is moved to a temporary, the string wiped, grown, the text
// copied back and the temporary wiped). Temporaries are wiped on every path,
// also when an exception passes.
//
// Storage: each object holds one pointer to an MFC string on the heap whose
// buffer is never shared with another string. Text enters only by copying
// characters up to the first NUL (so an embedded NUL ends the text), by
// conversion, by resource loading, or through GetBuffer/ReleaseBuffer.
// Length and capacity are int counts of characters (bytes for CSecStrA); the
// capacity does not count the terminator's slot.
//
// Errors are MFC exceptions, thrown as pointers (catch CException*, call
// Delete()): E_OUTOFMEMORY (every failed allocation, also of a list element)
// as CMemoryException*, any other HRESULT
// (E_INVALIDARG 0x80070057, E_UNEXPECTED 0x8000FFFF) as COleException* with
// m_sc set. Checked 32-bit size arithmetic throws
// msl::utilities::SafeIntException (by value). Append with a null pointer
// throws std::invalid_argument("EINVAL"), a std::exception whose what() is
// "EINVAL". The exception classes are declared by the MFC stand-in (zqmfc.h).
//
// Threads: no locks; one thread at a time per object.
#pragma once

#include <windows.h>

#include <cstdarg>

#include "zqexport.h"

// The MFC types these classes are built on (defined by the MFC stand-in).
namespace ATL {
template <typename BaseType, class StringTraits>
class CStringT;
template <typename T>
class ChTraitsCRT;
}  // namespace ATL
template <typename BaseType, class StringIterator>
class StrTraitMFC_DLL;
using CStringW = ATL::CStringT<wchar_t, StrTraitMFC_DLL<wchar_t, ATL::ChTraitsCRT<wchar_t>>>;
using CStringA = ATL::CStringT<char, StrTraitMFC_DLL<char, ATL::ChTraitsCRT<char>>>;
class CObList;
struct __POSITION;
typedef __POSITION* POSITION;

// ---- CSecStr ---------------------------------------------------------------

class ZQPLATUTIL_API CSecStr {
 public:
  CSecStr();
  // The one character ch (L'\0' gives an empty string).
  CSecStr(wchar_t ch);
  // A copy of psz; null gives an empty string.
  CSecStr(const wchar_t* psz);
  // The first nLength characters of pch, up to a NUL among them. A null pch
  // with nLength != 0 throws E_INVALIDARG, a negative nLength E_OUTOFMEMORY;
  // nLength 0 gives an empty string (pch may then be null).
  CSecStr(const wchar_t* pch, int nLength);
  // A copy of the characters of src, never a shared buffer.
  CSecStr(const CSecStr& src);
  // psz converted from the ANSI code page; null gives an empty string.
  CSecStr(char* psz);
  // The first nLength bytes of pch, converted; errors as the wide form.
  CSecStr(const char* pch, int nLength);
  ~CSecStr();

  CSecStr& operator=(const CSecStr& src);
  // A null psz only wipes the string.
  CSecStr& operator=(const wchar_t* psz);
  CSecStr& operator=(char* psz);
  CSecStr& operator=(const char* psz);
  // As CSecStr(pch, nLength), with its errors, then assigned.
  void SetString(const wchar_t* pch, int nLength);

  // Not above the capacity: the current buffer, text and length unchanged.
  // Above it: a larger buffer holding the old text at the old length (the old
  // buffer is wiped before it is freed). End with ReleaseBuffer.
  wchar_t* GetBuffer(int nMinBufferLength);
  // Sets the length: -1 measures up to the first NUL within the capacity;
  // below -1 or above the capacity throws E_INVALIDARG. The characters from
  // the new length to the capacity are zeroed.
  void ReleaseBuffer(int nNewLength = -1);
  // The writable buffer of the text.
  wchar_t* GetBuffer() const;
  operator const wchar_t*() const;
  const wchar_t* GetString() const;
  // Wipes the whole capacity and sets the length to 0; the capacity stays.
  void Empty();
  int GetLength() const;
  bool IsEmpty() const;
  int GetAllocLength() const;

  // The string resource nID of hInstance; returns non-zero on success. A
  // failed load (missing or empty entry) leaves the previous text.
  int LoadStringW(HINSTANCE hInstance, UINT nID);
  // As above, from the module that the resource-handle function names.
  int LoadStringW(UINT nID);
  // Replaces the function that maps a string resource id to its module
  // (initially the MFC module's own lookup, AfxFindStringResourceHandle). No
  // check, no lock: set it before other threads load strings.
  static void UpdateFindStringResourceHandleFunction(HINSTANCE (*pFn)(UINT));

  // ---- Editing ----
  // Appends; self-append and arguments inside the own text work.
  CSecStr& operator+=(const CSecStr& src);
  CSecStr& operator+=(const wchar_t* psz);
  // Appends one character; the length grows by one, also for L'\0'.
  CSecStr& operator+=(wchar_t ch);
  // Inserts before nIndex, clamped into 0..length; returns the new length
  // (the unchanged length for a null or empty psz). Size overflow throws
  // SafeIntException.
  int Insert(int nIndex, const wchar_t* psz);
  int Insert(int nIndex, wchar_t ch);
  void Append(const wchar_t* psz);
  // A null pch with nLength != 0 throws std::invalid_argument("EINVAL"); with
  // nLength 0 nothing happens. Otherwise as CSecStr(pch, nLength) appended.
  void Append(const wchar_t* pch, int nLength);
  // Replaces every occurrence of pszOld (left to right, not overlapping) by
  // pszNew (null removes them); returns the count, 0 for a null or empty
  // pszOld. Size overflow throws SafeIntException.
  int Replace(const wchar_t* pszOld, const wchar_t* pszNew);
  // printf-style with the platform's wide conventions (%s wide, %S narrow).
  // A format that the runtime rejects (when measuring or when writing) throws
  // E_INVALIDARG and leaves the text unchanged.
  void Format(const wchar_t* pszFormat, ...);
  // The format is string resource nFormatID; a missing one gives empty text.
  void Format(UINT nFormatID, ...);
  CSecStr Mid(int nFirst, int nCount) const;
  CSecStr Mid(int nFirst) const;
  CSecStr Left(int nCount) const;
  CSecStr Right(int nCount) const;

  // Passed on to the MFC string; none of them lengthens the text. Characters
  // that Remove and the trims leave behind the new length stay until the next
  // wipe.
  int Find(wchar_t ch, int iStart = 0) const;
  int Find(const wchar_t* psz, int iStart = 0) const;
  int ReverseFind(wchar_t ch) const;
  wchar_t GetAt(int iChar) const;
  void SetAt(int iChar, wchar_t ch);
  // Ordinal and case-sensitive.
  int Compare(const wchar_t* psz) const;
  int CompareNoCase(const wchar_t* psz) const;
  int Remove(wchar_t ch);
  CSecStr& MakeUpper();
  CSecStr& MakeLower();
  CSecStr& TrimLeft();
  CSecStr& TrimLeft(wchar_t ch);
  CSecStr& TrimRight();
  CSecStr& TrimRight(wchar_t ch);

 protected:
  // Maps a string resource id to the module that holds it.
  static HINSTANCE (*m_pFnFindStringResourceHandle)(UINT);

 private:
  void FormatV(const wchar_t* pszFormat, va_list args);
  void AssignText(const wchar_t* psz);
  void Wipe();

  CStringW* m_pStr;  // owned; never shares its buffer
};

// Concatenation: a new string, temporaries wiped.
ZQPLATUTIL_API CSecStr operator+(const CSecStr& a, const CSecStr& b);
ZQPLATUTIL_API CSecStr operator+(const CSecStr& a, const wchar_t* psz);
ZQPLATUTIL_API CSecStr operator+(const wchar_t* psz, const CSecStr& b);
// Comparisons as CSecStr::Compare: ordinal, case-sensitive.
ZQPLATUTIL_API bool operator==(const CSecStr& a, const CSecStr& b);
ZQPLATUTIL_API bool operator==(const CSecStr& a, const wchar_t* psz);
ZQPLATUTIL_API bool operator==(const wchar_t* psz, const CSecStr& b);
ZQPLATUTIL_API bool operator!=(const CSecStr& a, const CSecStr& b);
ZQPLATUTIL_API bool operator!=(const CSecStr& a, const wchar_t* psz);
ZQPLATUTIL_API bool operator!=(const wchar_t* psz, const CSecStr& b);
ZQPLATUTIL_API bool operator<(const CSecStr& a, const CSecStr& b);

// ---- CSecStrList -------------------------------------------------------------

// An ordered list of secure strings that owns its elements: each is made by
// AddTail and wiped and freed by RemoveHead, RemoveAll or the destructor.
// Positions are node handles of MFC's CObList; they stay valid until their
// element is removed.
class ZQPLATUTIL_API CSecStrList {
 public:
  class CElem;

  // Creates the storage (block size 10); out of memory throws E_OUTOFMEMORY.
  CSecStrList();
  ~CSecStrList();
  // Copies every string of src into elements of this list's own (after the
  // current elements are removed and wiped); the two lists never share
  // elements or storage. Self-assignment leaves the list as it is.
  CSecStrList& operator=(const CSecStrList& src);
  CSecStrList(const CSecStrList&) = delete;

  POSITION AddTail(const CSecStr& s);
  POSITION AddTail(const wchar_t* psz);
  // The head's string (an independent copy); an empty list gives an empty
  // string and stays as it is.
  CSecStr RemoveHead();
  void RemoveAll();
  // An empty list throws E_UNEXPECTED.
  const CSecStr& GetHead() const;
  POSITION GetHeadPosition() const;
  // A null position throws CInvalidArgException; pos becomes the next node
  // (null after the tail).
  const CSecStr& GetNext(POSITION& pos) const;
  // A null position throws CInvalidArgException.
  CSecStr& GetAt(POSITION pos);
  // The first node after startAfter (from the head when null) whose string
  // equals psz (CSecStr::Compare); null when none.
  POSITION Find(const wchar_t* psz, POSITION startAfter = nullptr) const;
  INT_PTR GetCount() const;
  int IsEmpty() const;

 private:
  CObList* m_pList;  // owned; nodes point to CElem objects that the list owns
};

// ---- CSecStrA ----------------------------------------------------------------

// The narrow counterpart, counted in bytes. Every operation but the
// destructor throws E_OUTOFMEMORY when the inner string is missing.
class ZQPLATUTIL_API CSecStrA {
 public:
  CSecStrA();
  // A copy of psz; null gives an empty string.
  CSecStrA(const char* psz);
  // As CSecStr(pch, nLength), in bytes, without conversion.
  CSecStrA(const char* pch, int nLength);
  CSecStrA(const CSecStrA& src);
  // The text of ssA converted with the runtime's wcstombs_s (its current
  // multibyte code page). The length is always ssA's length in characters;
  // a failed conversion is logged at level 1 and leaves zero bytes.
  CSecStrA(const CSecStr& ssA);
  ~CSecStrA();

  CSecStrA& operator=(const CSecStrA& src);
  // Wipes, then converts psz as the CSecStr constructor does.
  CSecStrA& operator=(wchar_t* psz);

  operator const char*() const;
  char* GetBuffer() const;
  const char* GetString() const;
  int GetLength() const;
  void Empty();
  char* GetBuffer(int nMinBufferLength);
  void ReleaseBuffer(int nNewLength = -1);
  int Find(const char* psz, int iStart = 0) const;
  // A null pch throws std::invalid_argument("EINVAL"), whatever nLength is.
  void Append(const char* pch, int nLength);
  // Inserts before nIndex, clamped into 0..length; returns the new length.
  int Insert(int nIndex, const char* psz);

 private:
  CStringA& Inner() const;
  void ConvertFrom(const CSecStr& wide);
  void Wipe();

  CStringA* m_pStr;  // owned; never shares its buffer
};
