// Toasts: 8 threads of create / show on a thread / hide / join / delete
// cycles through the test bridge. Each answer is the documented one; the
// bridge's own record must balance, and at the end no toast thread, no bridge
// reference and no window is left.
#include "soak.h"

#include <tlhelp32.h>

#include <thread>

#include "zqtoast.h"

static SRWLOCK g_journalLock = SRWLOCK_INIT;
static std::map<std::wstring, long> g_journal;  // the record's lines, by their first words

// The test bridge reports every call here.
extern "C" __declspec(dllexport) void ToastBridgeJournal(const wchar_t* event) {
  std::wstring line = event;
  size_t end = line.find(L" end ");
  line = end != std::wstring::npos ? line.substr(end) : line.substr(0, line.find(L' ')) + (line.find(L" begin") + 1 ? L" begin" : L"");
  AcquireSRWLockExclusive(&g_journalLock);
  ++g_journal[line];
  ReleaseSRWLockExclusive(&g_journalLock);
}

namespace soak {

using namespace ZQ::Framework;

static int Threads() {
  int count = 0;
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  THREADENTRY32 entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry))
    count += entry.th32OwnerProcessID == GetCurrentProcessId();
  return CloseHandle(snapshot), count;
}

static BOOL CALLBACK CountOwn(HWND window, LPARAM count) {
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  return *reinterpret_cast<int*>(count) += pid == GetCurrentProcessId(), TRUE;
}

static int Windows() {
  int count = 0;
  EnumWindows(CountOwn, reinterpret_cast<LPARAM>(&count));
  for (HWND w = nullptr; (w = FindWindowExW(HWND_MESSAGE, w, nullptr, nullptr));) CountOwn(w, reinterpret_cast<LPARAM>(&count));
  return count;
}

static void Cycles(int thread, int cycles, Tally& t) {
  const std::string want = "hide 0 thread 1 0 hide 1 join 1 0 hide 0";
  for (int i = 0; i < cycles; ++i, Beat()) {
    std::string what = Str("thread %d cycle %d", thread, i);
    if (i % 10 == 9) {  // a bridge that refuses: null, given back all the same
      IVXToastManager* refused = zqCreateToastManager(L"fail=1", L"refused", false);
      zqDeleteToastManager(refused);
      if (t.calls += 2, refused) Mismatch(t, "zqCreateToastManager", what + " fail=1", "a manager", "null");
      continue;
    }
    IVXToastManager* m = zqCreateToastManager(L"wait=8000", L"soak", i & 1);
    if (!m) return Mismatch(t, "zqCreateToastManager", what, "null", "a manager");
    bool hiddenEarly = m->HideToast(), started = m->CreateToastThread(), second = m->CreateToastThread(), hidden = false;
    // The toast thread registers in its own time: polled, 5 s at most.
    for (ULONGLONG until = GetTickCount64() + 5000; !(hidden = m->HideToast()) && GetTickCount64() < until;) Sleep(1);
    bool joined = m->JoinToastThread(), again = m->JoinToastThread(), late = m->HideToast();
    zqDeleteToastManager(m);
    t.calls += 9;
    std::string got = Str("hide %d thread %d %d hide %d join %d %d hide %d", hiddenEarly, started, second, hidden, joined, again, late);
    if (got != want) Mismatch(t, "cycle", what, got, want);
  }
}

// The library's thread registry lock gets a wait event from the threading
// runtime the first time two threads meet at it, and keeps it while loaded.
// The warm-up makes them meet: HideToast on a manager whose thread is joined
// looks that thread up every time.
static void MeetAtTheRegistryLock() {
  IVXToastManager* m = zqCreateToastManager(L"wait=0;displayed=1", L"meet", false);
  m->CreateToastThread(), m->JoinToastThread();
  for (int i = 0; i < 200; ++i) m->HideToast();
  zqDeleteToastManager(m);
}

void RunToasts(const Options& o, Tally& t, bool warmup) {
  int threadsBefore = Threads(), windowsBefore = Windows();
  // Ours first, so that the library's load by name finds the test bridge and
  // not the demo bridge next to this program.
  HMODULE bridge = LoadLibraryW(L"" ZQSOAK_BRIDGE);
  if (!bridge) return Mismatch(t, "LoadLibraryW", ZQSOAK_BRIDGE, Str("error %lu", GetLastError()), "the test bridge");
  std::vector<std::thread> workers;
  g_journal.clear();
  for (int i = 0; warmup && i < 32; ++i) workers.emplace_back(MeetAtTheRegistryLock);  // its record is not checked
  // The warm-up runs four times the threads: the runtimes keep a cache of
  // thread records (an event each) as large as the most threads at once.
  int threads = warmup ? 32 : 8, cycles = warmup ? 10 : static_cast<int>(Count(o, 200, 20));
  for (int i = 0; i < threads; ++i) workers.emplace_back(Cycles, i, cycles, std::ref(t));
  for (auto& w : workers) w.join();  // each cycle waits 5 s at most, the watchdog watches the rest
  FreeLibrary(bridge);
  long shown = threads * (cycles - cycles / 10), all = threads * cycles;
  std::string record = Str("create %ld delete %ld begin %ld hidden %ld timed out %ld unload %ld", g_journal[L"create"],
                           g_journal[L"delete"], g_journal[L"display begin"], g_journal[L" end reason=1 by=hide"],
                           g_journal[L" end reason=2 by=timeout"], g_journal[L"unload"]);
  std::string want = Str("create %ld delete %ld begin %ld hidden %ld timed out 0 unload 1", all, shown, shown, shown);
  if (!warmup && record != want) Mismatch(t, "the bridge's record", Str("%d threads x %d cycles", threads, cycles), record, want);
  std::string left = Str("bridge %s, threads %+d, windows %+d", GetModuleHandleW(L"vx.platutil.winrt.dll") ? "loaded" : "gone",
                         Threads() - threadsBefore, Windows() - windowsBefore);
  if (left != "bridge gone, threads +0, windows +0") Mismatch(t, "left behind", "", left, "bridge gone, threads +0, windows +0");
  t.extra = left;
}

}  // namespace soak
