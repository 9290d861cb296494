// Text helpers shared by the account functions, in both widths.
#pragma once

#include <windows.h>

#include <cstring>
#include <cwchar>
#include <string>

namespace zq::net {

// Copies text and its terminator into a buffer known to hold both.
template <typename Char>
void CopyWithTerminator(Char* buffer, const std::basic_string<Char>& text) {
  std::memcpy(buffer, text.c_str(), (text.size() + 1) * sizeof(Char));
}

// Length of text stored in at most `count` characters (registry data need not
// carry a terminator).
inline size_t BoundedLength(const wchar_t* text, size_t count) { return wcsnlen(text, count); }
inline size_t BoundedLength(const char* text, size_t count) { return strnlen(text, count); }

inline DWORD CountOf(size_t length) { return static_cast<DWORD>(length); }

// Literals of either width.
template <typename Char>
constexpr Char At() {
  return static_cast<Char>('@');
}
template <typename Char>
constexpr Char Backslash() {
  return static_cast<Char>('\\');
}

}  // namespace zq::net
