// Checked signed 32-bit size arithmetic of the secure strings: overflow
// throws msl::utilities::SafeIntException, as SafeInt<int> does.
#pragma once

#include "zqmfc.h"

namespace zq::secstr {

[[noreturn]] inline void ThrowOverflow() {
  throw msl::utilities::SafeIntException(msl::utilities::SafeIntArithmeticOverflow);
}

inline int CheckedAdd(int a, int b) {
  int sum;
  if (__builtin_add_overflow(a, b, &sum)) ThrowOverflow();
  return sum;
}

inline int CheckedMul(int a, int b) {
  int product;
  if (__builtin_mul_overflow(a, b, &product)) ThrowOverflow();
  return product;
}

// The byte count of `count` characters of type Char, checked.
template <typename Char>
inline int CheckedBytes(int count) {
  return CheckedMul(count, static_cast<int>(sizeof(Char)));
}

}  // namespace zq::secstr
