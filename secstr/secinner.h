// The wiping rules on the inner MFC strings, shared by CSecStr (wide) and
// CSecStrA (narrow): wipe, wipe-before-grow, temporaries wiped on every path.
#pragma once

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <new>

#include "checked.h"
#include "zqmfc.h"

namespace zq::secstr {

// The error routine of the secure strings: E_OUTOFMEMORY as CMemoryException*,
// any other code as COleException*.
[[noreturn]] inline void ThrowHResult(HRESULT hr) { ATL::AtlThrow(hr); }

template <typename Inner>
using CharOf = typename Inner::XCHAR;

// A new object as MFC's operator new gives it: failure is a CMemoryException*.
template <typename T>
T* NewObject() {
  auto* object = new (std::nothrow) T;
  if (!object) ThrowHResult(E_OUTOFMEMORY);
  return object;
}

// Zeroes the whole capacity and sets the length to 0; the buffer is kept.
// The shared empty block (capacity 0) holds nothing to wipe.
template <typename Inner>
void Wipe(Inner& inner) {
  int capacity = inner.GetAllocLength();
  if (capacity == 0) return;
  CharOf<Inner>* buffer = inner.GetBuffer();
  SecureZeroMemory(buffer, static_cast<size_t>(capacity) * sizeof(CharOf<Inner>));
  inner.ReleaseBuffer(0);
}

template <typename Inner>
void DeleteWiped(Inner* inner) noexcept {
  if (!inner) return;
  Wipe(*inner);
  delete inner;
}

// A temporary inner string on the heap, wiped over its whole capacity and
// deleted when it goes, on every path.
template <typename Inner>
class Temp {
 public:
  Temp() : inner_(NewObject<Inner>()) {}
  // A copy of text up to its first NUL (null gives empty).
  template <typename Char>
  explicit Temp(const Char* text) : Temp() {
    *inner_ = text;
  }
  ~Temp() { DeleteWiped(inner_); }
  Temp(const Temp&) = delete;
  Temp& operator=(const Temp&) = delete;

  Inner& operator*() const { return *inner_; }
  Inner* operator->() const { return inner_; }

 private:
  Inner* inner_;
};

// A plain array that is zeroed before it is deleted.
template <typename Char>
class ZeroedArray {
 public:
  explicit ZeroedArray(int count) : count_(count), data_(new (std::nothrow) Char[static_cast<size_t>(count)]) {
    if (!data_) ThrowHResult(E_OUTOFMEMORY);
  }
  ~ZeroedArray() {
    SecureZeroMemory(data_, static_cast<size_t>(count_) * sizeof(Char));
    delete[] data_;
  }
  ZeroedArray(const ZeroedArray&) = delete;
  ZeroedArray& operator=(const ZeroedArray&) = delete;
  Char* get() const { return data_; }

 private:
  int count_;
  Char* data_;
};

// The length of a text up to its first NUL; 0 for null.
using ATL::TextLength;

// Wipes self, grows it to `room` characters (only zeros reach a reallocation)
// and copies the text of `from`, another string, into it.
template <typename Inner>
void Store(Inner& self, const Inner& from, int room) {
  Wipe(self);
  int length = from.GetLength();
  memcpy(self.GetBuffer(room), from.GetString(), static_cast<size_t>(length) * sizeof(CharOf<Inner>));
  self.ReleaseBuffer(length);
}

// Assignment of text: copy the source first (it may lie inside this string),
// wipe, grow to length + 1, copy the characters, set the length, wipe the copy.
template <typename Inner>
void AssignText(Inner& self, const CharOf<Inner>* text) {
  Temp<Inner> source(text);
  Store(self, *source, source->GetLength() + 1);
}

// An edit that may lengthen the text: fill writes the new text into the
// buffer of one temporary (`capacity` characters) and returns its length;
// self is untouched until then, so the arguments may lie in it. The text is
// then stored into self grown to its length + `terminator` characters.
template <typename Inner, typename Fill>
void Rebuild(Inner& self, int capacity, Fill fill, int terminator = 1) {
  Temp<Inner> result;
  int length = fill(result->GetBuffer(capacity));
  result->ReleaseBufferSetLength(length);
  Store(self, *result, length + terminator);
}

// The first nLength elements of pch (up to a NUL among them) into the fresh
// string self, through a zeroed plain array. Source may be narrow for a wide
// string (converted from the ANSI code page by the inner string).
template <typename Inner, typename Source>
void AssignCounted(Inner& self, const Source* pch, int nLength) {
  if (!pch && nLength != 0) ThrowHResult(E_INVALIDARG);
  if (nLength < 0) ThrowHResult(E_OUTOFMEMORY);
  if (nLength == 0) return;
  ZeroedArray<Source> array(CheckedAdd(nLength, 1));
  memcpy(array.get(), pch, static_cast<size_t>(nLength) * sizeof(Source));
  array.get()[nLength] = 0;
  self = static_cast<const Source*>(array.get());
}

// GetBuffer(n): the current buffer when n fits the capacity; otherwise grows
// with the text moved aside, so that the block the inner string frees holds
// only zeros.
template <typename Inner>
CharOf<Inner>* GrowBuffer(Inner& self, int nMinBufferLength) {
  if (nMinBufferLength <= self.GetAllocLength()) return self.GetBuffer();
  int length = self.GetLength();
  Temp<Inner> saved(static_cast<const CharOf<Inner>*>(self.GetBuffer()));
  Store(self, *saved, nMinBufferLength);
  self.ReleaseBufferSetLength(length);  // behind a NUL in the text: the wipe's zeros
  return self.GetBuffer();
}

// ReleaseBuffer(n) with the tail behind the new length zeroed.
template <typename Inner>
void ReleaseWiped(Inner& self, int nNewLength) {
  using Char = CharOf<Inner>;
  if (nNewLength < -1) ThrowHResult(E_INVALIDARG);
  int capacity = self.GetAllocLength();
  if (capacity == 0) {
    // The shared empty block: only length 0 (or a measured 0) fits.
    if (nNewLength > 0) ThrowHResult(E_INVALIDARG);
    return;
  }
  Char* buffer = self.GetBuffer();
  if (nNewLength == -1) nNewLength = TextLength(buffer, static_cast<size_t>(capacity));
  if (nNewLength > capacity) ThrowHResult(E_INVALIDARG);
  if (nNewLength < capacity) {
    SecureZeroMemory(buffer + nNewLength, static_cast<size_t>(capacity - nNewLength) * sizeof(Char));
  }
  self.ReleaseBuffer(nNewLength);
}

// Inserts text before nIndex (clamped into 0..length); the new length.
template <typename Inner>
int InsertText(Inner& self, int nIndex, const CharOf<Inner>* psz) {
  using Char = CharOf<Inner>;
  int count = TextLength(psz);
  if (count == 0) return self.GetLength();
  const Char* text = self.GetString();
  int length = TextLength(text);
  nIndex = std::clamp(nIndex, 0, length);
  int newLength = CheckedAdd(length, count);
  CheckedBytes<Char>(CheckedAdd(newLength, 1));
  Rebuild(self, newLength, [&](Char* buffer) {
    memcpy(buffer, text, static_cast<size_t>(nIndex) * sizeof(Char));
    memcpy(buffer + nIndex, psz, static_cast<size_t>(count) * sizeof(Char));
    memcpy(buffer + nIndex + count, text + nIndex, static_cast<size_t>(length - nIndex) * sizeof(Char));
    return newLength;
  }, 0);  // grown to the new length, as the inner string's own Insert asks
  return newLength;
}

// Appends the `added` characters of text (its length up to its first NUL) to
// this text up to its first NUL; either may lie in this string. `counted` is
// the length the caller holds for text, checked for overflow.
template <typename Inner>
void AppendText(Inner& self, const CharOf<Inner>* text, int added, int counted) {
  using Char = CharOf<Inner>;
  const Char* current = self.GetString();
  int length = TextLength(current);
  CheckedBytes<Char>(CheckedAdd(CheckedAdd(length, counted), 1));
  Rebuild(self, length + added, [&](Char* buffer) {
    memcpy(buffer, current, static_cast<size_t>(length) * sizeof(Char));
    memcpy(buffer + length, text, static_cast<size_t>(added) * sizeof(Char));
    return length + added;
  });
}

}  // namespace zq::secstr
