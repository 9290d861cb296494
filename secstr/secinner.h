// The wiping rules on the inner MFC strings, shared by CSecStr (wide) and
// CSecStrA (narrow): wipe, wipe-before-grow, temporaries wiped on every path.
#pragma once

#include <windows.h>

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

// A temporary inner string on the heap, wiped and deleted when it goes.
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

// The text of an empty string, for arguments that may be null.
template <typename Char>
const Char* EmptyText() {
  static const Char empty[1] = {0};
  return empty;
}

template <typename Char>
size_t BoundedLength(const Char* text, size_t limit) {
  size_t length = 0;
  while (length < limit && text[length] != 0) ++length;
  return length;
}

inline void CopyText(wchar_t* destination, int size, const wchar_t* source) {
  wcscpy_s(destination, static_cast<size_t>(size), source);
}
inline void CopyText(char* destination, int size, const char* source) {
  strcpy_s(destination, static_cast<size_t>(size), source);
}

// Assignment of text: copy the source first (it may lie inside this string),
// wipe, grow to length + 1, copy the characters, set the length, wipe the copy.
template <typename Inner>
void AssignText(Inner& self, const CharOf<Inner>* text) {
  using Char = CharOf<Inner>;
  Temp<Inner> source(text);
  Wipe(self);
  int length = source->GetLength();
  Char* buffer = self.GetBuffer(length + 1);
  memcpy(buffer, source->GetString(), static_cast<size_t>(length) * sizeof(Char));
  self.ReleaseBuffer(length);
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
  using Char = CharOf<Inner>;
  if (nMinBufferLength <= self.GetAllocLength()) return self.GetBuffer();
  int length = self.GetLength();
  if (length == 0) {
    // No text to keep: wipe (whatever the capacity held) and grow.
    Wipe(self);
    return self.GetBuffer(nMinBufferLength);
  }
  Temp<Inner> saved(static_cast<const Char*>(self.GetBuffer()));
  Wipe(self);
  Char* buffer = self.GetBuffer(nMinBufferLength);
  int kept = saved->GetLength();  // shorter than length only if the text holds a NUL
  memcpy(buffer, saved->GetString(), static_cast<size_t>(kept) * sizeof(Char));
  memset(buffer + kept, 0, static_cast<size_t>(length - kept) * sizeof(Char));
  self.ReleaseBufferSetLength(length);
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
  if (nNewLength == -1) nNewLength = static_cast<int>(BoundedLength(buffer, static_cast<size_t>(capacity)));
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
  Temp<Inner> current(static_cast<const Char*>(self.GetString()));
  Temp<Inner> inserted(psz);
  int length = current->GetLength();
  int count = inserted->GetLength();
  if (!psz || count == 0) return self.GetLength();
  if (nIndex < 0) nIndex = 0;
  if (nIndex > length) nIndex = length;
  int newLength = CheckedAdd(length, count);
  int roomBytes = CheckedBytes<Char>(CheckedSub(newLength, nIndex));
  int movedBytes = CheckedBytes<Char>(length - nIndex);
  int insertedBytes = CheckedBytes<Char>(count);
  CheckedBytes<Char>(CheckedAdd(newLength, 1));
  Wipe(self);
  Char* buffer = self.GetBuffer(newLength);
  CopyText(buffer, newLength, current->GetString());
  memmove_s(buffer + nIndex + count, static_cast<size_t>(roomBytes - insertedBytes), buffer + nIndex,
            static_cast<size_t>(movedBytes));
  memcpy_s(buffer + nIndex, static_cast<size_t>(roomBytes), inserted->GetString(), static_cast<size_t>(insertedBytes));
  self.ReleaseBuffer(newLength);
  return newLength;
}

}  // namespace zq::secstr
