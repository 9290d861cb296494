// zqbench_secstr: what the secure wide string costs against the floor that
// its design sets, for texts of 16 B, 1 KiB and 64 KiB (UTF-16). All times
// are nanoseconds per call.
//
//   zqbench_secstr [iterations]
//
// Operations, each on a string that already holds a text of the same size:
//   assign   s = text
//   append   s = text; s += text
//   replace  s = text; s.Replace(L"a", L"xy")   (one match in every 8 characters)
//
// The design makes one temporary heap string per assignment, growth or load,
// wipes it and the string over their whole capacity, and keeps no buffer
// between calls. So the floor of an operation is the plain CString's time
// for it, plus the heap blocks that CSecStr makes beyond the plain string's
// (counted through the string manager) at the measured cost of one block of
// that size, plus each temporary's own inner string object (a heap block of
// its size), plus the copies and wipes that the design adds, at memcpy and
// memset speed:
//   assign   the text into the temporary; wipe the string and the temporary
//   append   the assignment's, then the current text and the appended text
//            into the temporary, the whole back into the string (three text
//            lengths more than the plain +=); wipe the string and the temporary
//   replace  the assignment's, then the result from the temporary back into
//            the string; wipe the string and the temporary
// Target: at 1 KiB, CSecStr within 1.3 times the floor.
//
// The first lines compare the stand-in's 16-byte length scan (ATL::TextLength)
// with the runtime's wcslen and strlen.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "benchclock.h"
#include "zqmfc.h"
#include "zqsecstr.h"

namespace {

volatile int g_sink;

// Forwards to the default manager and counts the blocks it makes; every
// block made while it is installed, the nil block's growth included, comes
// back through it.
class CountingManager final : public ATL::IAtlStringMgr {
 public:
  explicit CountingManager(ATL::IAtlStringMgr* base) noexcept : base_(base), nil_(this) {}
  ATL::CStringData* Allocate(int nChars, int nCharSize) noexcept override {
    return Counted(base_->Allocate(nChars, nCharSize));
  }
  void Free(ATL::CStringData* pData) noexcept override { base_->Free(pData); }
  ATL::CStringData* Reallocate(ATL::CStringData* pData, int nChars, int nCharSize) noexcept override {
    return Counted(base_->Reallocate(pData, nChars, nCharSize));
  }
  ATL::CStringData* GetNilString() noexcept override {
    nil_.AddRef();
    return &nil_;
  }
  ATL::IAtlStringMgr* Clone() noexcept override { return this; }

  long long blocks = 0;

 private:
  ATL::CStringData* Counted(ATL::CStringData* data) noexcept {
    if (data) {
      data->pStringMgr = this;
      ++blocks;
    }
    return data;
  }

  ATL::IAtlStringMgr* base_;
  ATL::CNilStringData nil_;
};

// Blocks per call that fn makes through the string manager, after one call
// that brings its strings to their steady capacity.
template <typename Fn>
double BlocksPerCall(CountingManager& counter, int calls, Fn fn) {
  fn();
  ATL::IAtlStringMgr* previous = AfxSetStringManager(&counter);
  counter.blocks = 0;
  for (int i = 0; i < calls; ++i) fn();
  AfxSetStringManager(previous);
  return static_cast<double>(counter.blocks) / calls;
}

double CopyNs(size_t bytes, int iterations) {
  static char from[256 * 1024], to[256 * 1024];
  return bench::NsPerCall(iterations, [&] {
    memcpy(to, from, bytes);
    g_sink = to[0];
  });
}

double WipeNs(size_t bytes, int iterations) {
  static char block[256 * 1024];
  return bench::NsPerCall(iterations, [&] {
    memset(block, 0, bytes);
    g_sink = block[0];
  });
}

double HeapBlockNs(size_t bytes, int iterations) {
  return bench::NsPerCall(iterations, [&] {
    auto* block = static_cast<volatile char*>(malloc(bytes));
    block[0] = 1;
    g_sink = block[0];
    free(const_cast<char*>(block));
  });
}

// Bytes of the block that holds a text of `chars` characters (capacity
// rounded up to 8 characters with the terminator, as the default manager does).
size_t CapacityBytes(int chars) { return static_cast<size_t>((chars + 1 + 7) & ~7) * sizeof(wchar_t); }

void CompareLengthScans(int iterations) {
  printf("length scan, ns per call     wcslen  TextLength    strlen  TextLength\n");
  for (int bytes : {16, 1024}) {
    std::wstring wide(static_cast<size_t>(bytes) / sizeof(wchar_t) - 1, L'b');
    std::string narrow(static_cast<size_t>(bytes) - 1, 'b');
    const wchar_t* volatile w = wide.c_str();
    const char* volatile n = narrow.c_str();
    bench::Pair wideNs = bench::Compare(iterations * 20, [&] { g_sink = static_cast<int>(wcslen(w)); },
                                        [&] { g_sink = ATL::TextLength(w); });
    bench::Pair narrowNs = bench::Compare(iterations * 20, [&] { g_sink = static_cast<int>(strlen(n)); },
                                          [&] { g_sink = ATL::TextLength(n); });
    printf("%-5d B%23.1f %11.1f %9.1f %11.1f\n", bytes, wideNs.first, wideNs.second, narrowNs.first,
           narrowNs.second);
  }
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  int iterations = bench::Iterations(argc, argv, "zqbench_secstr", 2000);
  static CountingManager counter(AfxGetStringManager());

  CompareLengthScans(iterations);
  printf("\nCSecStr against its floor, ns per call, %d calls per round, best of 10 alternating rounds\n",
         iterations);
  printf("%-6s %-8s %9s %12s %7s %9s %9s %9s %6s\n", "size", "op", "CString", "blocks/plain", "block", "copy+wipe",
         "floor", "CSecStr", "ratio");
  bool met = true;
  for (int bytes : {16, 1024, 64 * 1024}) {
    int chars = bytes / static_cast<int>(sizeof(wchar_t)) - 1;  // the terminator counts too
    std::wstring text;
    for (int i = 0; i < chars; ++i) text += (i % 8 == 0) ? L'a' : static_cast<wchar_t>(L'b' + i % 20);
    const wchar_t* p = text.c_str();
    int rounds = bytes > 4096 ? std::max(1, iterations / 20) : iterations;
    int matches = (chars + 7) / 8;

    CString plain = p;
    CSecStr secure(p);
    auto plainAssign = [&] { plain = p; g_sink = plain.GetLength(); };
    auto secureAssign = [&] { secure = p; g_sink = secure.GetLength(); };
    auto plainAppend = [&] { plain = p; plain += p; g_sink = plain.GetLength(); };
    auto secureAppend = [&] { secure = p; secure += p; g_sink = secure.GetLength(); };
    auto plainReplace = [&] { plain = p; g_sink = plain.Replace(L"a", L"xy"); };
    auto secureReplace = [&] { secure = p; g_sink = secure.Replace(L"a", L"xy"); };

    // The copies and wipes each operation adds, in characters. The string's
    // capacity never shrinks: after one round of the three operations it is
    // the one that every timed call wipes.
    struct Row {
      const char* name;
      bench::Pair ns;
      double blocks;  // per call, CSecStr's and the plain string's
      double plainBlocks;
      std::vector<int> copies;
      std::vector<int> temporaries;  // their lengths; the string is wiped once for each
      size_t stringCapacity;
    };
    secureAppend();
    secureReplace();
    size_t capacity = static_cast<size_t>(secure.GetAllocLength()) * sizeof(wchar_t);
    int replaced = chars + matches;
    Row rows[] = {
        {"assign", bench::Compare(rounds, plainAssign, secureAssign), BlocksPerCall(counter, 50, secureAssign),
         BlocksPerCall(counter, 50, plainAssign), {chars}, {chars}, capacity},
        {"append", bench::Compare(rounds, plainAppend, secureAppend), BlocksPerCall(counter, 50, secureAppend),
         BlocksPerCall(counter, 50, plainAppend), {chars, 3 * chars}, {chars, 2 * chars}, capacity},
        {"replace", bench::Compare(rounds, plainReplace, secureReplace), BlocksPerCall(counter, 50, secureReplace),
         BlocksPerCall(counter, 50, plainReplace), {chars, replaced}, {chars, replaced}, capacity},
    };
    for (const Row& row : rows) {
      double extra = 0, blockNs = 0;
      for (int copied : row.copies) extra += CopyNs(static_cast<size_t>(copied) * sizeof(wchar_t), rounds);
      for (int length : row.temporaries) {
        extra += WipeNs(CapacityBytes(length), rounds) + WipeNs(row.stringCapacity, rounds);
        extra += HeapBlockNs(sizeof(CString), rounds);  // the temporary's inner string object
        blockNs += HeapBlockNs(CapacityBytes(length) + sizeof(ATL::CStringData), rounds) / row.temporaries.size();
      }
      double floor = row.ns.first + (row.blocks - row.plainBlocks) * blockNs + extra;
      double ratio = row.ns.second / floor;
      printf("%-6d %-8s %9.0f %8.0f/%-3.0f %7.0f %9.0f %9.0f %9.0f %6.2f\n", bytes, row.name, row.ns.first,
             row.blocks, row.plainBlocks, blockNs, extra, floor, row.ns.second, ratio);
      if (bytes == 1024 && ratio > 1.3) met = false;
    }
  }
  printf("target at 1 KiB: CSecStr <= 1.3 x floor: %s\n", met ? "met" : "MISSED");
  return 0;
}
