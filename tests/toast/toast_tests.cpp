// Toast managers and the bridge entry points, with the test bridge (steered
// through its first string, see winrt/testbridge.cpp) and the demo bridge.
#include <gtest/gtest.h>

#include <windows.h>
#include <tlhelp32.h>

#include <algorithm>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "logcapture.h"
#include "toastmanager.h"
#include "vxcext.h"
#include "zqtoast.h"

using ZQ::Framework::IVXToastManager;
using ZQ::Framework::secwstring;
using ZQ::Framework::zqCreateToastManager;
using ZQ::Framework::zqDeleteToastManager;
using ZQ::Framework::zqGetUIMode;
using zqtest::LogCapture;
using zqtest::LogLine;
using Lines = std::vector<LogLine>;

namespace {

constexpr wchar_t kBridge[] = L"vx.platutil.winrt.dll";
constexpr DWORD kPatienceMs = 30000;  // upper bound for waits that end long before

// What the test bridge reports, in order, with a hook that runs on the
// reporting thread. Never destroyed: the bridge may report while unloading.
class BridgeJournal {
 public:
  static BridgeJournal& Get() {
    static auto* journal = new BridgeJournal;
    return *journal;
  }

  void Add(const wchar_t* event) {
    std::function<void(const std::wstring&)> hook;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (wcscmp(event, L"thread attach") != 0 && wcsncmp(event, L"isdisplayed", 11) != 0) events_.push_back(event);
      hook = hook_;
    }
    changed_.notify_all();
    if (hook) hook(event);
  }

  // The events, without thread attaches and IsDisplayed answers.
  std::vector<std::wstring> Events() {
    std::lock_guard<std::mutex> lock(mutex_);
    return events_;
  }
  void Clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    events_.clear();
  }
  bool WaitFor(const std::wstring& event) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(kPatienceMs), [&] {
      return std::find(events_.begin(), events_.end(), event) != events_.end();
    });
  }
  void SetHook(std::function<void(const std::wstring&)> hook) {
    std::lock_guard<std::mutex> lock(mutex_);
    hook_ = std::move(hook);
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::wstring> events_;
  std::function<void(const std::wstring&)> hook_;
};

std::wstring ProgramFolder() {
  wchar_t path[MAX_PATH];
  DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring folder(path, length);
  return folder.substr(0, folder.find_last_of(L'\\'));
}

// Which vx.platutil.winrt.dll a load finds; none is loaded between tests.
void UseBridge(const std::wstring& subfolder) {
  SetDllDirectoryW(subfolder.empty() ? L"" : (ProgramFolder() + L"\\" + subfolder).c_str());
}

bool BridgeLoaded() { return GetModuleHandleW(kBridge) != nullptr; }

IVXToastManager* Create(const wchar_t* behaviour, const wchar_t* label, bool flag = false) {
  return zqCreateToastManager(secwstring(behaviour), secwstring(label), flag);
}

size_t IndexOf(const std::vector<std::wstring>& events, const std::wstring& event) {
  return std::find(events.begin(), events.end(), event) - events.begin();
}
size_t IndexOf(const Lines& lines, const LogLine& line) {
  return std::find(lines.begin(), lines.end(), line) - lines.begin();
}

size_t RegisteredThreads() {
  std::lock_guard<std::mutex> lock(zq::toast::g_threadRegistryLock);
  return zq::toast::g_threadRegistry.size();
}

size_t ThreadsOfThisProcess() {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return 0;
  size_t count = 0;
  THREADENTRY32 entry = {};
  entry.dwSize = sizeof entry;
  for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry))
    if (entry.th32OwnerProcessID == GetCurrentProcessId()) ++count;
  CloseHandle(snapshot);
  return count;
}

class Toast : public ::testing::Test {
 protected:
  void SetUp() override {
    UseBridge(L"testbridge");
    BridgeJournal::Get().Clear();
    BridgeJournal::Get().SetHook(nullptr);
  }
  void TearDown() override {
    BridgeJournal::Get().SetHook(nullptr);
    // Every manager was given back: no bridge reference and no thread left.
    EXPECT_FALSE(BridgeLoaded());
    EXPECT_EQ(RegisteredThreads(), 0u);
    SetDllDirectoryW(nullptr);
  }
  BridgeJournal& journal = BridgeJournal::Get();
};

const Lines kCreated{{8, L"zqCreateToastManager"},
                     {0, L"zqCreateToastManager: LoadLibrary(vx.platutil.winrt.dll) succeeded"},
                     {0, L"zqCreateToastManager: loading CreateToastNotification succeeded"},
                     {8, L"VXToastManager::VXToastManager"},
                     {16, L"VXToastManager::VXToastManager"},
                     {16, L"zqCreateToastManager"}};

TEST_F(Toast, ShowToastReturnsTheExitReasonOfDisplay) {
  LogCapture log;
  IVXToastManager* manager = Create(L"wait=0;reason=7", L"seven", true);
  ASSERT_NE(manager, nullptr);
  EXPECT_EQ(log.Lines(), kCreated);
  EXPECT_TRUE(BridgeLoaded());

  log.Clear();
  EXPECT_EQ(manager->ShowToast(), 7);
  EXPECT_EQ(log.Lines(), (Lines{{8, L"VXToastManager::ShowToast"}, {16, L"VXToastManager::ShowToast : returns 7"}}));

  log.Clear();
  zqDeleteToastManager(manager);
  EXPECT_EQ(log.Lines(), (Lines{{8, L"zqDeleteToastManager"},
                                {8, L"VXToastManager::~VXToastManager"},
                                {16, L"VXToastManager::~VXToastManager"},
                                {16, L"zqDeleteToastManager"}}));
  // The strings and the flag reached the factory; the toast went before the bridge.
  EXPECT_EQ(journal.Events(), (std::vector<std::wstring>{L"create seven flag=1", L"display seven begin",
                                                         L"display seven end reason=7 by=timeout", L"delete seven",
                                                         L"unload"}));

  // No exit reason written: 0. A failed display is logged and its reason still returned.
  manager = Create(L"wait=0;reason=none", L"none");
  ASSERT_NE(manager, nullptr);
  EXPECT_EQ(manager->ShowToast(), 0);
  zqDeleteToastManager(manager);

  manager = Create(L"wait=0;reason=3;hr=0x80004005", L"failing");
  ASSERT_NE(manager, nullptr);
  log.Clear();
  EXPECT_EQ(manager->ShowToast(), 3);
  EXPECT_EQ(log.Lines(), (Lines{{8, L"VXToastManager::ShowToast"},
                                {1, L"VXToastManager::ShowToast : Display failed (0x80004005)"},
                                {16, L"VXToastManager::ShowToast : returns 3"}}));
  zqDeleteToastManager(manager);
}

TEST_F(Toast, HideWithoutAThreadGoesToTheCreatingThread) {
  MSG message;
  PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE);  // this thread's queue
  IVXToastManager* manager = Create(L"wait=20000", L"sync");
  ASSERT_NE(manager, nullptr);

  // Nothing displayed: nothing posted.
  LogCapture log;
  EXPECT_FALSE(manager->HideToast());
  EXPECT_EQ(log.Lines(), (Lines{{8, L"VXToastManager::HideToast"}, {16, L"VXToastManager::HideToast : returns 0"}}));
  EXPECT_FALSE(PeekMessageW(&message, nullptr, kVXToastHideMessage, kVXToastHideMessage, PM_NOREMOVE));

  // Another thread hides the toast that this thread shows.
  bool hidden = false;
  std::thread hider([&] {
    ASSERT_TRUE(journal.WaitFor(L"display sync begin"));
    hidden = manager->HideToast();
  });
  EXPECT_EQ(manager->ShowToast(), 1);
  hider.join();
  EXPECT_TRUE(hidden);
  EXPECT_EQ(IndexOf(journal.Events(), L"display sync end reason=1 by=hide"), 2u);
  zqDeleteToastManager(manager);

  // A manager made on another thread posts there, not to the caller.
  DWORD creator = 0;
  manager = nullptr;
  std::thread maker([&] {
    manager = Create(L"wait=0;displayed=1", L"elsewhere");
    creator = GetCurrentThreadId();
    MSG own;
    PeekMessageW(&own, nullptr, 0, 0, PM_NOREMOVE);
    ASSERT_TRUE(manager && manager->HideToast());
    // The hide message waits in the creating thread's queue.
    EXPECT_TRUE(PeekMessageW(&own, nullptr, kVXToastHideMessage, kVXToastHideMessage, PM_REMOVE));
  });
  maker.join();
  EXPECT_NE(creator, GetCurrentThreadId());
  EXPECT_FALSE(PeekMessageW(&message, nullptr, kVXToastHideMessage, kVXToastHideMessage, PM_REMOVE));
  zqDeleteToastManager(manager);
}

TEST_F(Toast, HideBeforeTheToastThreadRegistersAndAfterItIsJoined) {
  IVXToastManager* manager = Create(L"wait=20000;displayed=1", L"early");
  ASSERT_NE(manager, nullptr);

  // Hold every new thread at its start, before it can register.
  HANDLE gate = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  journal.SetHook([gate](const std::wstring& event) {
    if (event == L"thread attach") WaitForSingleObject(gate, kPatienceMs);
  });
  LogCapture log;
  EXPECT_TRUE(manager->CreateToastThread());
  EXPECT_FALSE(manager->HideToast());
  Lines held = log.Lines();  // the toast thread has logged nothing yet
  journal.SetHook(nullptr);
  SetEvent(gate);
  EXPECT_EQ(held,
            (Lines{{8, L"VXToastManager::CreateToastThread"},
                   {0, L"VXToastManager::CreateToastThread : thread created."},
                   {16, L"VXToastManager::CreateToastThread : returns 1"},
                   {8, L"VXToastManager::HideToast"},
                   {1, L"VXToastManager::HideToast : Exception getting thread id (invalid map<K, T> key) "},
                   {16, L"VXToastManager::HideToast : returns 0"}}));

  // Once it displays, the hide reaches it.
  ASSERT_TRUE(journal.WaitFor(L"display early begin"));
  EXPECT_EQ(RegisteredThreads(), 1u);
  log.Clear();
  EXPECT_TRUE(manager->HideToast());
  ASSERT_TRUE(journal.WaitFor(L"display early end reason=1 by=hide"));
  EXPECT_TRUE(manager->JoinToastThread());
  EXPECT_EQ(RegisteredThreads(), 0u);
  // The toast thread's last lines come before the join returns.
  Lines lines = log.Lines();
  EXPECT_LT(IndexOf(lines, {2, L"VXToastManager::ShowToastThread : exit reason = 1"}),
            IndexOf(lines, {16, L"VXToastManager::ShowToastThread"}));
  EXPECT_LT(IndexOf(lines, {16, L"VXToastManager::HideToast : returns 1"}), lines.size());
  EXPECT_EQ(lines.size(), 6u);
  EXPECT_EQ(lines.back(), (LogLine{16, L"VXToastManager::JoinToastThread : returns 1"}));

  // Joined: no entry any more, so the hide finds no target; no second join.
  log.Clear();
  EXPECT_FALSE(manager->HideToast());
  EXPECT_FALSE(manager->JoinToastThread());
  EXPECT_EQ(log.Lines(),
            (Lines{{8, L"VXToastManager::HideToast"},
                   {1, L"VXToastManager::HideToast : Exception getting thread id (invalid map<K, T> key) "},
                   {16, L"VXToastManager::HideToast : returns 0"},
                   {8, L"VXToastManager::JoinToastThread"},
                   {16, L"VXToastManager::JoinToastThread : returns 0"}}));
  zqDeleteToastManager(manager);
  CloseHandle(gate);
}

TEST_F(Toast, JoinWithoutThreadAndFromTheToastThread) {
  IVXToastManager* manager = Create(L"wait=0", L"self");
  ASSERT_NE(manager, nullptr);
  LogCapture log;
  EXPECT_FALSE(manager->JoinToastThread());
  EXPECT_EQ(log.Lines(), (Lines{{8, L"VXToastManager::JoinToastThread"},
                                {16, L"VXToastManager::JoinToastThread : returns 0"}}));

  // The toast thread asks to join itself while it displays.
  std::error_code raised;
  bool threw = false;
  journal.SetHook([&](const std::wstring& event) {
    if (event != L"display self begin") return;
    try {
      manager->JoinToastThread();
    } catch (const std::system_error& e) {
      threw = true;
      raised = e.code();
    }
  });
  ASSERT_TRUE(manager->CreateToastThread());
  ASSERT_TRUE(journal.WaitFor(L"display self end reason=2 by=timeout"));
  EXPECT_TRUE(manager->JoinToastThread());
  EXPECT_TRUE(threw);
  EXPECT_EQ(raised, std::errc::resource_deadlock_would_occur);

  // A joined thread makes room for the next one.
  EXPECT_TRUE(manager->CreateToastThread());
  zqDeleteToastManager(manager);
}

TEST_F(Toast, DeletionHidesJoinsAndDeletesBeforeTheBridgeGoes) {
  IVXToastManager* manager = Create(L"wait=20000", L"shown");
  ASSERT_NE(manager, nullptr);
  ASSERT_TRUE(manager->CreateToastThread());
  ASSERT_TRUE(journal.WaitFor(L"display shown begin"));
  // A second thread while the first one runs is refused.
  EXPECT_FALSE(manager->CreateToastThread());

  LogCapture log;
  zqDeleteToastManager(manager);
  std::vector<std::wstring> events = journal.Events();
  EXPECT_EQ(std::vector<std::wstring>(events.begin() + 2, events.end()),
            (std::vector<std::wstring>{L"display shown end reason=1 by=hide", L"delete shown", L"unload"}));
  Lines lines = log.Lines();
  ASSERT_EQ(lines.size(), 10u);
  EXPECT_EQ(lines[0], (LogLine{8, L"zqDeleteToastManager"}));
  EXPECT_EQ(lines[1], (LogLine{8, L"VXToastManager::~VXToastManager"}));
  EXPECT_EQ(lines[2], (LogLine{8, L"VXToastManager::HideToast"}));
  size_t hidden = IndexOf(lines, {16, L"VXToastManager::HideToast : returns 1"});
  size_t joinStarts = IndexOf(lines, {8, L"VXToastManager::JoinToastThread"});
  size_t threadEnds = IndexOf(lines, {16, L"VXToastManager::ShowToastThread"});
  EXPECT_LT(hidden, joinStarts);
  EXPECT_LT(IndexOf(lines, {2, L"VXToastManager::ShowToastThread : exit reason = 1"}), threadEnds);
  EXPECT_EQ(lines[7], (LogLine{16, L"VXToastManager::JoinToastThread : returns 1"}));
  EXPECT_LT(threadEnds, 7u);
  EXPECT_EQ(lines[8], (LogLine{16, L"VXToastManager::~VXToastManager"}));
  EXPECT_EQ(lines[9], (LogLine{16, L"zqDeleteToastManager"}));

  // A toast that does not answer IsDisplayed is not hidden: deletion waits
  // for its display to end on its own.
  journal.Clear();
  manager = Create(L"wait=300;displayed=0", L"deaf");
  ASSERT_NE(manager, nullptr);
  ASSERT_TRUE(manager->CreateToastThread());
  ASSERT_TRUE(journal.WaitFor(L"display deaf begin"));
  log.Clear();
  zqDeleteToastManager(manager);
  events = journal.Events();
  EXPECT_EQ(std::vector<std::wstring>(events.begin() + 2, events.end()),
            (std::vector<std::wstring>{L"display deaf end reason=2 by=timeout", L"delete deaf", L"unload"}));
  EXPECT_EQ(log.Lines()[3], (LogLine{16, L"VXToastManager::HideToast : returns 0"}));

  // Each manager holds the bridge once: it goes with the last of them.
  IVXToastManager* first = Create(L"wait=0", L"first");
  IVXToastManager* second = Create(L"wait=0;reason=7", L"second");
  ASSERT_NE(first, nullptr);
  ASSERT_NE(second, nullptr);
  zqDeleteToastManager(first);
  EXPECT_TRUE(BridgeLoaded());
  EXPECT_EQ(second->ShowToast(), 7);  // its notification still works
  zqDeleteToastManager(second);
  EXPECT_FALSE(BridgeLoaded());
}

TEST_F(Toast, MissingBridgeMissingExportAndNoNotification) {
  LogCapture log;
  UseBridge(L"");
  EXPECT_EQ(Create(L"", L""), nullptr);
  EXPECT_EQ(zqGetUIMode(), 0);
  zqDeleteToastManager(nullptr);
  EXPECT_EQ(log.Lines(),
            (Lines{{8, L"zqCreateToastManager"},
                   {1, L"zqCreateToastManager: LoadLibrary(vx.platutil.winrt.dll) failed with error code 0x7e"},
                   {16, L"zqCreateToastManager"},
                   {8, L"zqGetUIMode"},
                   {1, L"zqGetUIMode: LoadLibrary(vx.platutil.winrt.dll) failed with error code 0x7e"},
                   {16, L"zqGetUIMode"},
                   {8, L"zqDeleteToastManager"},
                   {16, L"zqDeleteToastManager"}}));

  // A bridge without the factory stays loaded until the matching delete.
  UseBridge(L"nofactory");
  log.Clear();
  EXPECT_EQ(Create(L"", L""), nullptr);
  EXPECT_EQ(log.Lines(),
            (Lines{{8, L"zqCreateToastManager"},
                   {0, L"zqCreateToastManager: LoadLibrary(vx.platutil.winrt.dll) succeeded"},
                   {1, L"zqCreateToastManager: GetProcAddress(CreateToastNotification) failed with error code 0x7f"},
                   {16, L"zqCreateToastManager"}}));
  EXPECT_TRUE(BridgeLoaded());
  EXPECT_EQ(zqGetUIMode(), 2);  // its GetUIMode is there
  EXPECT_TRUE(BridgeLoaded());
  zqDeleteToastManager(nullptr);
  EXPECT_FALSE(BridgeLoaded());

  // A factory that makes nothing: null, no line of its own, bridge kept.
  UseBridge(L"testbridge");
  log.Clear();
  EXPECT_EQ(Create(L"fail=1", L"nothing"), nullptr);
  EXPECT_EQ(log.Lines(), (Lines{{8, L"zqCreateToastManager"},
                                {0, L"zqCreateToastManager: LoadLibrary(vx.platutil.winrt.dll) succeeded"},
                                {0, L"zqCreateToastManager: loading CreateToastNotification succeeded"},
                                {16, L"zqCreateToastManager"}}));
  EXPECT_TRUE(BridgeLoaded());
  zqDeleteToastManager(nullptr);
  EXPECT_FALSE(BridgeLoaded());

  // GetUIMode loads and releases the bridge within the call, before its exit line.
  log.Clear();
  size_t linesAtUnload = 0;
  journal.SetHook([&](const std::wstring& event) {
    if (event == L"unload") linesAtUnload = log.Lines().size();
  });
  EXPECT_EQ(zqGetUIMode(), 2);
  journal.SetHook(nullptr);
  EXPECT_EQ(linesAtUnload, 2u);
  EXPECT_FALSE(BridgeLoaded());
  EXPECT_EQ(log.Lines(), (Lines{{8, L"zqGetUIMode"},
                                {0, L"zqGetUIMode: LoadLibrary(vx.platutil.winrt.dll) succeeded"},
                                {16, L"zqGetUIMode"}}));
}

TEST_F(Toast, ManyThreadsCreateShowHideAndDelete) {
  size_t threadsBefore = ThreadsOfThisProcess();
  constexpr int kWorkers = 6;
  constexpr int kRounds = 12;
  std::vector<std::thread> workers;
  for (int w = 0; w < kWorkers; ++w) {
    workers.emplace_back([w] {
      for (int round = 0; round < kRounds; ++round) {
        std::wstring label = L"w" + std::to_wstring(w) + L"r" + std::to_wstring(round);
        IVXToastManager* manager = Create(L"wait=150", label.c_str());
        if (!manager) {
          ADD_FAILURE() << "no manager";
          zqDeleteToastManager(manager);
          continue;
        }
        switch ((w + round) % 3) {
          case 0:  // on a toast thread, hidden while it may or may not display yet
            EXPECT_TRUE(manager->CreateToastThread());
            manager->HideToast();
            break;
          case 1:  // on a toast thread, left to the deletion
            EXPECT_TRUE(manager->CreateToastThread());
            break;
          case 2:  // on this thread, hidden from another
          {
            std::thread hider([manager] { manager->HideToast(); });
            EXPECT_GE(manager->ShowToast(), 1);
            hider.join();
            break;
          }
        }
        zqDeleteToastManager(manager);
      }
    });
  }
  for (std::thread& worker : workers) worker.join();

  std::vector<std::wstring> events = journal.Events();
  auto count = [&](const wchar_t* prefix) {
    return std::count_if(events.begin(), events.end(), [&](const std::wstring& e) { return e.rfind(prefix, 0) == 0; });
  };
  EXPECT_EQ(count(L"create "), kWorkers * kRounds);
  EXPECT_EQ(count(L"delete "), kWorkers * kRounds);
  EXPECT_EQ(count(L"display ") , 2 * kWorkers * kRounds);
  EXPECT_EQ(ThreadsOfThisProcess(), threadsBefore);
  // TearDown: no registry entry and no bridge reference left.
}

TEST(ToastVersion, WinRTSupportFollowsTheReportedWindowsVersion) {
  const std::wstring key = L"Software\\Wine\\AppDefaults\\winrt_probe.exe";
  const std::wstring probe = ProgramFolder() + L"\\winrt_probe.exe";
  struct Case {
    const wchar_t* version;
    DWORD supported;
  } cases[] = {{L"win7", 0}, {L"win8", 1}, {L"win81", 1}, {L"win10", 1}, {L"vista", 0}};
  for (const Case& c : cases) {
    ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, key.c_str(), L"Version", REG_SZ, c.version,
                              static_cast<DWORD>((wcslen(c.version) + 1) * sizeof(wchar_t))),
              ERROR_SUCCESS);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    std::wstring commandLine = L"\"" + probe + L"\"";
    ASSERT_TRUE(CreateProcessW(probe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                               &startup, &process));
    EXPECT_EQ(WaitForSingleObject(process.hProcess, kPatienceMs), WAIT_OBJECT_0);
    DWORD exitCode = 99;
    GetExitCodeProcess(process.hProcess, &exitCode);
    EXPECT_EQ(exitCode, c.supported) << "as " << std::string(c.version, c.version + wcslen(c.version));
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  }
  RegDeleteTreeW(HKEY_CURRENT_USER, key.c_str());

  // This program runs as Windows 7 unless told otherwise: the answer and its lines.
  LogCapture log;
  EXPECT_FALSE(ZQ::Framework::zqIsWinRTSupported());
  EXPECT_EQ(log.Lines(), (Lines{{8, L"zqIsWinRTSupported"}, {16, L"zqIsWinRTSupported: returns false."}}));
}

TEST(Converter, CharToStringFillsTheSecureString) {
  using ZQ::Framework::CConverter;
  secwstring out(L"left over from before, long enough for the heap");
  CConverter::charToString("invalid map<K, T> key", -1, out);
  EXPECT_EQ(out, secwstring(L"invalid map<K, T> key"));
  CConverter::charToString("abcdef", 3, out);  // a length counts bytes, no terminator needed
  EXPECT_EQ(out, secwstring(L"abc"));
  std::string ansi = "caf\xe9 \xa3 5";  // code page 1252 under Wine's default locale
  CConverter::charToString(ansi.c_str(), static_cast<int>(ansi.size()), out);
  EXPECT_EQ(out, secwstring(L"caf\u00e9 \u00a3 5"));
  std::string longText(300, 'x');
  CConverter::charToString(longText.c_str(), -1, out);
  EXPECT_EQ(out.size(), 300u);
  CConverter::charToString(nullptr, 5, out);
  EXPECT_TRUE(out.empty());
  out = L"x";
  CConverter::charToString("text", 0, out);
  EXPECT_TRUE(out.empty());
}

// The demo bridge's popup of this process (other programs may show theirs on
// the same test display), once it is visible.
HWND FindPopup() {
  for (DWORD waited = 0; waited < kPatienceMs; waited += 20) {
    HWND popup = nullptr;
    while ((popup = FindWindowExW(nullptr, popup, L"VXToastPopup", nullptr))) {
      DWORD process = 0;
      GetWindowThreadProcessId(popup, &process);
      if (process == GetCurrentProcessId() && IsWindowVisible(popup)) return popup;
    }
    Sleep(20);
  }
  return nullptr;
}

TEST_F(Toast, DemoPopupAppearsAndGoesAwayOnHide) {
  UseBridge(L"..\\bin");
  EXPECT_EQ(zqGetUIMode(), 1);
  IVXToastManager* manager = Create(L"Backup finished", L"All 12 files were saved.");
  ASSERT_NE(manager, nullptr);
  ASSERT_TRUE(manager->CreateToastThread());
  HWND popup = FindPopup();
  ASSERT_NE(popup, nullptr);
  wchar_t title[64] = {};
  GetWindowTextW(popup, title, 64);
  EXPECT_STREQ(title, L"Backup finished");
  RECT work, placed;
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  GetWindowRect(popup, &placed);
  EXPECT_GE(placed.left, (work.left + work.right) / 2);  // in the bottom-right corner
  EXPECT_GE(placed.top, (work.top + work.bottom) / 2);
  EXPECT_LE(placed.right, work.right);
  EXPECT_LE(placed.bottom, work.bottom);

  EXPECT_TRUE(manager->HideToast());
  EXPECT_TRUE(manager->JoinToastThread());
  EXPECT_FALSE(IsWindow(popup));
  zqDeleteToastManager(manager);

  // Shown on this thread and hidden from another: the exit reason is "hidden".
  manager = Create(L"Synchronous", L"Shown by ShowToast");
  ASSERT_NE(manager, nullptr);
  std::thread hider([manager] {
    if (FindPopup()) manager->HideToast();
  });
  EXPECT_EQ(manager->ShowToast(), 1);
  hider.join();
  zqDeleteToastManager(manager);
}

}  // namespace

// The test bridge reports here.
extern "C" __declspec(dllexport) void ToastBridgeJournal(const wchar_t* event) { BridgeJournal::Get().Add(event); }
