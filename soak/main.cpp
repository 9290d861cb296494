// zqsoak.exe: zqplatutilu.dll under load, faults and bad input, in figures.
// One line per area, a total line last; exit code 0 only when every answer
// matched its oracle and nothing leaked, crashed or hung.
#include "soak.h"

#include <io.h>
#include <psapi.h>

#include <cstdarg>
#include <mutex>

namespace soak {

static std::atomic<ULONGLONG> g_lastBeat{0};
static std::atomic<const char*> g_area{"start"};
static std::mutex g_print;
static bool g_progress = false;
const ULONGLONG kHangMs = 120000;  // no area goes this long without progress

static LONG WINAPI OnCrash(EXCEPTION_POINTERS* info) {
  printf("CRASH in area %s: exception 0x%08lx at %p\n", g_area.load(),
         static_cast<unsigned long>(info->ExceptionRecord->ExceptionCode), info->ExceptionRecord->ExceptionAddress);
  return fflush(stdout), ExitProcess(3), 0;
}

static DWORD WINAPI Watchdog(void*) {
  for (;; Sleep(500))
    if (GetTickCount64() - g_lastBeat.load() > kHangMs)
      printf("HANG in area %s: no progress for %llu ms\n", g_area.load(), kHangMs), fflush(stdout), ExitProcess(4);
}

// Wine hands out the lowest free handle value: the highest of a batch of new
// events rises with every handle left open below it.
static uintptr_t ProbeHandles() {
  HANDLE events[32];
  uintptr_t highest = 0;
  for (HANDLE& e : events) highest = std::max(highest, reinterpret_cast<uintptr_t>(e = CreateEventW(0, 1, 0, 0)));
  return std::for_each(events, events + 32, CloseHandle), highest;
}

// The runtimes' caches of thread records move their events about, which lifts
// the high-water mark now and then without a handle more: the count decides.
// Wine's GetProcessHandleCount answers 0, so the values are tried one by one.
static long HandleCount() {
  long count = 0;
  DWORD flags;
  for (uintptr_t value = 4; value < 0x10000; value += 4) count += GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags);
  return count;
}

static double PrivateMiB() {
  PROCESS_MEMORY_COUNTERS_EX pmc{};
  GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&pmc), sizeof pmc);
  // Wine leaves PrivateUsage at 0; the commit charge is the same figure there.
  return static_cast<double>(pmc.PrivateUsage ? pmc.PrivateUsage : pmc.PagefileUsage) / (1 << 20);
}

const struct { const char* name; void (*run)(const Options&, Tally&, bool); } kAreas[] = {{"registry", RunRegistry},
    {"accounts", RunAccounts}, {"iso8601", RunIso8601}, {"secstr", RunSecStr}, {"toasts", RunToasts}, {"installer", RunInstaller}};

void Beat() { g_lastBeat = GetTickCount64(); }

std::string Str(const char* format, ...) {
  char text[1024];
  va_list args;
  va_start(args, format), vsnprintf(text, sizeof text, format, args), va_end(args);
  return text;
}

std::string Show(const std::wstring& text) {
  std::string out = "\"";
  for (wchar_t c : text) out += c >= 0x20 && c < 0x7f && c != '"' ? std::string(1, char(c)) : Str("\\u%04x", c);
  return out + "\"";
}

std::string Hex(const void* data, size_t bytes) {
  std::string out;
  for (size_t i = 0; i < bytes; ++i) out += Str("%02x", static_cast<const unsigned char*>(data)[i]);
  return out;
}

void Mismatch(Tally& t, const std::string& op, const std::string& input, const std::string& got, const std::string& want) {
  if (++t.mismatches > 10) return;  // the first ten in full
  std::lock_guard<std::mutex> lock(g_print);
  printf("MISMATCH [%s] %s(%s)\n    got:  %s\n    want: %s\n", g_area.load(), op.c_str(), input.c_str(), got.c_str(),
         want.c_str()), fflush(stdout);
}

void Progress(const char* area, uint64_t done, uint64_t total) {
  static std::atomic<ULONGLONG> last{0};
  if (Beat(), !g_progress || (done != total && GetTickCount64() - last < 500)) return;
  last = GetTickCount64();
  std::lock_guard<std::mutex> lock(g_print);
  fprintf(stderr, done == total ? "\r%60s\r" : "\r%-10s %llu / %llu  ", area, static_cast<unsigned long long>(done),
          static_cast<unsigned long long>(total));
}

void Differential(const char* area, Tally& t, int streams, uint64_t perStream, uint64_t seed, OpFn op) {
  const uint64_t kChunk = 1000;
  std::vector<Rng> alone, load;
  for (int s = 0; s < streams; ++s) alone.emplace_back(seed * 131 + s), load.emplace_back(seed * 131 + s);
  std::vector<std::vector<std::string>> answers(streams);
  for (uint64_t done = 0; done < perStream; done += kChunk) {
    uint64_t n = std::min(kChunk, perStream - done);
    Tally unseen;  // the calls alone are not counted
    std::string what;
    for (int s = 0; s < streams; ++s)
      for (uint64_t i = (answers[s].clear(), 0); i < n; ++i) answers[s].push_back(op(s, false, alone[s], what, unseen));
    // Plain system threads: the runtime would keep a record (and its event) of some.
    std::atomic<int> next{0};
    std::function<void()> run = [&] {
      int s = next++;
      std::string what;
      for (uint64_t i = 0; i < n; ++i) {
        std::string got = op(s, true, load[s], what, t);
        if (got != answers[s][i]) Mismatch(t, what, Str("stream %d under load", s), got, answers[s][i] + " (alone)");
        if (s == 0 && i % 64 == 0) Progress(area, done + i, perStream);
      }
    };
    std::vector<HANDLE> workers;
    for (int s = 0; s < streams; ++s)
      workers.push_back(CreateThread(nullptr, 0, [](void* f) -> DWORD { return (*static_cast<decltype(run)*>(f))(), 0; }, &run, 0, 0));
    if (WaitForMultipleObjects(streams, workers.data(), TRUE, kHangMs) != WAIT_OBJECT_0)
      printf("HANG in area %s: a chunk ran over %llu ms\n", area, kHangMs), fflush(stdout), ExitProcess(4);
    for (HANDLE w : workers) CloseHandle(w);
  }
  Progress(area, perStream, perStream);
}

}  // namespace soak

int wmain(int argc, wchar_t** argv) {
  using namespace soak;
  Options o;
  std::string only;  // every area when empty
  for (int i = 1; i < argc; ++i) {
    std::wstring a = argv[i], next = i + 1 < argc ? argv[i + 1] : L"";
    if (a == L"--quick") o.quick = true;
    else if (next.empty() || (a != L"--seed" && a != L"--scale" && a != L"--only"))
      return fprintf(stderr, "usage: zqsoak [--seed N] [--scale F] [--only AREA[,AREA...]] [--quick]\n"
                             "areas: registry accounts iso8601 secstr toasts installer\n"), 2;
    else if (++i, a == L"--seed") o.seed = wcstoull(next.c_str(), nullptr, 0);
    else if (a == L"--scale") o.scale = wcstod(next.c_str(), nullptr);
    else only.assign(next.begin(), next.end());
  }
  if (!(o.scale > 0 && o.scale <= 1000)) return fprintf(stderr, "--scale wants a number in (0, 1000]\n"), 2;
  g_progress = _isatty(_fileno(stderr));
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX), SetUnhandledExceptionFilter(OnCrash), Beat();
  HANDLE dog = CreateThread(nullptr, 0, Watchdog, nullptr, 0, nullptr);
  printf("zqsoak seed %llu scale %g%s\n", static_cast<unsigned long long>(o.seed), o.scale, o.quick ? " quick" : "");
  unsigned long long calls = 0, mismatches = 0, leaks = 0, ran = 0, start = GetTickCount64();
  for (const auto& area : kAreas) {
    if (!only.empty() && ("," + only + ",").find("," + std::string(area.name) + ",") == std::string::npos) continue;
    Tally warm, t;
    g_area = area.name, Beat();
    area.run(o, warm, true);  // first-use allocations (loader, runtime, caches) before the measure
    uintptr_t handles = ProbeHandles();
    long count = HandleCount();
    double before = PrivateMiB(), t0 = static_cast<double>(GetTickCount64());
    area.run(o, t, false);
    double seconds = (static_cast<double>(GetTickCount64()) - t0) / 1000, after = PrivateMiB();
    // Threads that have just ended may still hold a handle for a moment: a leak is what stays.
    long handleGrowth = HandleCount() - count;
    for (int i = 0; i < 40 && handleGrowth > 0; ++i) Sleep(50), handleGrowth = HandleCount() - count;
    long highWater = static_cast<long>(ProbeHandles() - handles) / 4;
    double growthKiB = (after - before) * 1024;
    bool leaked = handleGrowth > 0 || growthKiB >= 1024;
    unsigned long long bad = t.mismatches + warm.mismatches;
    printf("%-10s %9llu calls %5llu mismatches  handles %+ld (high-water %+ld)  private %+.0f KiB (%.1f MiB)  %5.1f s  %s  %s\n",
           area.name, static_cast<unsigned long long>(t.calls.load()), bad, handleGrowth,
           highWater, growthKiB, after, seconds, bad || leaked ? "FAIL" : "ok", t.extra.c_str()), fflush(stdout);
    calls += t.calls, mismatches += bad, leaks += leaked, ++ran;
  }
  if (!ran) return fprintf(stderr, "unknown area\n"), 2;
  TerminateThread(dog, 0), CloseHandle(dog);  // it only sleeps and reads counters
  bool pass = mismatches == 0 && leaks == 0;
  printf("total      %9llu calls %5llu mismatches  %llu leaks  0 crashes  0 hangs  %.1f s  %s\n", calls, mismatches, leaks,
         static_cast<double>(GetTickCount64() - start) / 1000, pass ? "PASS" : "FAIL");
  return pass ? 0 : 1;
}
