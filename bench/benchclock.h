// What every benchmark program measures with: the performance counter, the
// time of one round, and two variants compared round after round.
#pragma once

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <type_traits>

namespace bench {

// The iterations argument: absent gives the default; anything but one positive
// number prints the usage line and ends the program with 2.
inline int Iterations(int argc, wchar_t** argv, const char* program, int fallback) {
  if (argc == 1) return fallback;
  wchar_t* end = argv[1];
  long value = argc == 2 ? wcstol(argv[1], &end, 10) : 0;
  if (argc > 2 || end == argv[1] || *end != L'\0' || value <= 0 || value > 100000000) {
    fprintf(stderr, "usage: %s [iterations]   (calls per round, 1 to 100000000; default %d)\n", program, fallback);
    exit(2);
  }
  return static_cast<int>(value);
}

inline double Now() {
  static const LARGE_INTEGER frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f;
  }();
  LARGE_INTEGER counter;
  QueryPerformanceCounter(&counter);
  return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// Nanoseconds per call over one round; fn takes the call's index or nothing.
template <typename Fn>
double NsPerCallOnce(int iterations, Fn fn) {
  double start = Now();
  for (int i = 0; i < iterations; ++i) {
    if constexpr (std::is_invocable_v<Fn, int>) {
      fn(i);
    } else {
      fn();
    }
  }
  return (Now() - start) * 1e9 / iterations;
}

// The best of several rounds.
template <typename Fn>
double NsPerCall(int iterations, Fn fn, int rounds = 5) {
  double best = 1e300;
  for (int round = 0; round < rounds; ++round) best = std::min(best, NsPerCallOnce(iterations, fn));
  return best;
}

struct Pair {
  double first;
  double second;
};

// Both variants round after round, alternating, so that whatever else the
// machine does weighs on both alike; the best round of each counts.
template <typename First, typename Second>
Pair Compare(int iterations, First first, Second second, int rounds = 10) {
  Pair best{1e300, 1e300};
  for (int round = 0; round < rounds; ++round) {
    best.first = std::min(best.first, NsPerCallOnce(iterations, first));
    best.second = std::min(best.second, NsPerCallOnce(iterations, second));
  }
  return best;
}

}  // namespace bench
