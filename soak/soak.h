// zqsoak: shared pieces of the areas. Every area runs an operation mix, checks
// each answer against an oracle and counts what did not match.
#pragma once

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace soak {

using std::string;
using std::wstring;
inline string N(const wstring& w) { return string(w.begin(), w.end()); }  // for ASCII texts

struct Options {
  uint64_t seed = 20260601;
  double scale = 1.0;
  bool quick = false;
};

// splitmix64: small, seedable, the same stream on every machine.
struct Rng {
  uint64_t s;
  explicit Rng(uint64_t seed) : s(seed) {}
  uint64_t Next() {
    uint64_t z = (s += 0x9e3779b97f4a7c15ull);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull, z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
    return z ^ (z >> 31);
  }
  uint32_t Below(uint32_t n) { return n ? static_cast<uint32_t>(Next() % n) : 0; }
  int Range(int lo, int hi) { return lo + static_cast<int>(Below(static_cast<uint32_t>(hi - lo + 1))); }
  bool Chance(int percent) { return Below(100) < static_cast<uint32_t>(percent); }
};

// What an area reports back; the harness adds handles, memory and time.
struct Tally {
  std::atomic<uint64_t> calls{0}, mismatches{0};
  std::string extra;  // appended to the area's line
};

// Prints the first mismatches of an area in full: operation, input, both answers.
void Mismatch(Tally& t, const std::string& op, const std::string& input, const std::string& got, const std::string& want);
void Progress(const char* area, uint64_t done, uint64_t total);  // on standard error when it is a terminal
void Beat();  // the calling thread makes progress: the watchdog waits on
std::string Show(const std::wstring& text);  // quoted, with escapes for what is not printable ASCII
std::string Hex(const void* data, size_t bytes);
std::string Str(const char* format, ...);
inline uint64_t Count(const Options& o, double full, double quick) {  // scaled, at least 1
  return std::max<uint64_t>(1, static_cast<uint64_t>((o.quick ? quick : full) * o.scale));
}

// Streams of seeded operations, run chunk by chunk: first each stream alone
// (recording every answer), then all streams at once, every answer compared
// with its recorded one. op describes the operation in `what` and returns its
// answer; it draws the same random numbers whatever the answers are.
using OpFn = std::string (*)(int stream, bool underLoad, Rng& r, std::string& what, Tally& t);
void Differential(const char* area, Tally& t, int streams, uint64_t perStream, uint64_t seed, OpFn op);

void RunIso8601(const Options& o, Tally& t, bool warmup);
void RunRegistry(const Options& o, Tally& t, bool warmup);
void RunSecStr(const Options& o, Tally& t, bool warmup);
void RunAccounts(const Options& o, Tally& t, bool warmup);
void RunToasts(const Options& o, Tally& t, bool warmup);
void RunInstaller(const Options& o, Tally& t, bool warmup);

}  // namespace soak
