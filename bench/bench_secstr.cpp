// zqbench_secstr: what the secure wide string costs against the MFC stand-in's
// plain CString, for texts of 16 B, 1 KiB and 64 KiB (UTF-16). Prints times
// and ratios.
//
//   zqbench_secstr [iterations]
//
// Operations, each on a string that already holds a text of the same size:
//   assign   s = text
//   append   s = text; s += text
//   replace  s = text; s.Replace(L"a", L"xy")   (one match in every 8 characters)
// Target: at 1 KiB, CSecStr costs at most 3 times the plain string.
//
// The last line prints what one heap block costs here (allocated and freed
// through msvcrt, as every string buffer and every inner string is): the
// plain string reuses its buffer from call to call, while each temporary of
// a CSecStr operation is a new inner string with a block of its own.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "benchclock.h"
#include "zqmfc.h"
#include "zqsecstr.h"

namespace {

using bench::Compare;

volatile int g_sink;

}  // namespace

int wmain(int argc, wchar_t** argv) {
  int iterations = bench::Iterations(argc, argv, "zqbench_secstr", 2000);

  printf("CSecStr against CString, %d calls per round, best of 10 alternating rounds; times per call\n", iterations);
  printf("%-8s %-8s %12s %12s %7s\n", "size", "op", "CString ns", "CSecStr ns", "ratio");
  bool met = true;
  const int sizes[] = {16, 1024, 64 * 1024};
  for (int bytes : sizes) {
    int chars = bytes / static_cast<int>(sizeof(wchar_t)) - 1;  // the terminator counts too
    std::wstring text;
    for (int i = 0; i < chars; ++i) text += (i % 8 == 0) ? L'a' : static_cast<wchar_t>(L'b' + i % 20);
    const wchar_t* p = text.c_str();
    int rounds = bytes > 4096 ? std::max(1, iterations / 20) : iterations;

    CString plain = p;
    CSecStr secure(p);
    struct Row {
      const char* name;
      bench::Pair ns;
    } rows[] = {
        {"assign", Compare(rounds, [&] { plain = p; g_sink = plain.GetLength(); },
                           [&] { secure = p; g_sink = secure.GetLength(); })},
        {"append", Compare(rounds, [&] { plain = p; plain += p; g_sink = plain.GetLength(); },
                           [&] { secure = p; secure += p; g_sink = secure.GetLength(); })},
        {"replace", Compare(rounds, [&] { plain = p; g_sink = plain.Replace(L"a", L"xy"); },
                            [&] { secure = p; g_sink = secure.Replace(L"a", L"xy"); })},
    };
    for (const Row& row : rows) {
      double ratio = row.ns.second / row.ns.first;
      printf("%-8d %-8s %12.0f %12.0f %7.2f\n", bytes, row.name, row.ns.first, row.ns.second, ratio);
      if (bytes == 1024 && ratio > 3.0) met = false;
    }
  }
  printf("target at 1 KiB: CSecStr <= 3 x CString: %s\n", met ? "met" : "MISSED");
  double heapBlock = bench::NsPerCall(iterations * 10, [] {
    auto* block = static_cast<volatile char*>(malloc(1024));
    block[0] = 1;
    g_sink = block[0];
    free(const_cast<char*>(block));
  });
  printf("one heap block (msvcrt malloc + free of 1 KiB): %.0f ns\n", heapBlock);
  return 0;
}
