// Toast managers and the bridge entry points, with the test bridge (steered
// through its first string, see winrt/testbridge.cpp). A toast that a test
// means to hide waits 5 s on its own, so a hide that never arrives shows as
// "by=timeout"; no wait here outlasts ten seconds.
#include <gtest/gtest.h>
#include <process.h>

#include <algorithm>
#include <condition_variable>
#include <system_error>

#include "calls.h"
#include "toastmanager.h"

using namespace zqtest;
using namespace ZQ::Framework;
using Events = std::vector<std::wstring>;

namespace {

constexpr std::chrono::milliseconds kPatience{10000};

// What the test bridge reports, bar thread attaches and IsDisplayed answers,
// and a hook run on the reporting thread. Never destroyed: the bridge reports
// while it unloads.
struct Journal {
  std::mutex mutex;
  std::condition_variable changed;
  Events events;
  std::function<void(const std::wstring&)> hook;
  void Add(const wchar_t* event) {
    std::unique_lock<std::mutex> lock(mutex);
    auto run = hook;
    lock.unlock();
    if (run) run(event);  // done before anyone waiting sees the event
    lock.lock();
    if (wcscmp(event, L"thread attach") != 0 && wcsncmp(event, L"isdisplayed", 11) != 0) events.push_back(event);
    changed.notify_all();
  }
  // The events so far; the journal starts afresh with the hook given.
  Events Take(decltype(hook) with = nullptr) {
    std::lock_guard<std::mutex> lock(mutex);
    hook = std::move(with);
    return std::exchange(events, {});
  }
  bool WaitFor(const std::wstring& event) {
    std::unique_lock<std::mutex> lock(mutex);
    return changed.wait_for(lock, kPatience, [&] { return std::ranges::count(events, event) > 0; });
  }
}& journal = *new Journal;

std::wstring Folder() {  // of this program, which holds no bridge
  wchar_t path[MAX_PATH];
  std::wstring program(path, GetModuleFileNameW(nullptr, path, MAX_PATH));
  return program.erase(program.find_last_of(L'\\') + 1);
}
// Which vx.platutil.winrt.dll a load finds.
void UseBridge(const wchar_t* folder) { SetDllDirectoryW((Folder() + folder).c_str()); }
bool BridgeLoaded() { return GetModuleHandleW(L"vx.platutil.winrt.dll") != nullptr; }

// A manager operation's lines: its entry, the lines inside, its exit with the result.
Lines Op(const wchar_t* op, int result, const Lines& inside = {}) {
  return Around(Format(L"VXToastManager::%s", op), inside, Format(L"VXToastManager::%s : returns %d", op, result));
}
const Lines kNoTarget =
    Op(L"HideToast", 0, {{1, L"VXToastManager::HideToast : Exception getting thread id (invalid map<K, T> key) "}});
const std::wstring kCreate = L"zqCreateToastManager", kDelete = L"zqDeleteToastManager";
const std::wstring kCtor = L"VXToastManager::VXToastManager", kDtor = L"VXToastManager::~VXToastManager";
const Lines kLoaded{{0, L"zqCreateToastManager: LoadLibrary(vx.platutil.winrt.dll) succeeded"}};
const Lines kFactory{{0, L"zqCreateToastManager: loading CreateToastNotification succeeded"}};

class Toast : public ::testing::Test {
 protected:
  void SetUp() override { UseBridge(L"testbridge"); }
  void TearDown() override {
    journal.Take();
    EXPECT_FALSE(BridgeLoaded());  // every manager gave its reference back
    std::lock_guard<std::mutex> lock(zq::toast::g_threadRegistryLock);
    EXPECT_TRUE(zq::toast::g_threadRegistry.empty());
  }
};

TEST_F(Toast, ShowToastReturnsWhatDisplayWrote) {
  struct { const wchar_t *behaviour, *ended; bool flag; int reason; Lines fail; } cases[] = {
      {L"wait=0;reason=7", L"7 by=timeout", true, 7, {}},
      {L"wait=0;reason=none", L"none by=timeout", false, 0, {}},
      {L"wait=0;reason=3;hr=0x80004005", L"3 by=timeout", false, 3,
       {{1, L"VXToastManager::ShowToast : Display failed (0x80004005)"}}}};
  for (const auto& c : cases) {
    LogCapture log;
    IVXToastManager* manager = zqCreateToastManager(c.behaviour, L"t", c.flag);
    EXPECT_EQ(manager->ShowToast(), c.reason);
    zqDeleteToastManager(manager);
    EXPECT_EQ(log.Lines(), Around(kCreate, kLoaded + kFactory + Around(kCtor, {}, kCtor), kCreate) +
                               Op(L"ShowToast", c.reason, c.fail) + Around(kDelete, Around(kDtor, {}, kDtor), kDelete));
    // The strings and the flag reach the factory; the toast goes before the bridge.
    EXPECT_EQ(journal.Take(), (Events{Format(L"create t flag=%d", c.flag), L"display t begin",
                                      Format(L"display t end reason=%s", c.ended), L"delete t", L"unload"}));
  }
}

TEST_F(Toast, ShowToastIsHiddenByWayOfTheCreatingThreadAndWaitsForOtherDisplays) {
  IVXToastManager* other = zqCreateToastManager(L"wait=250;displayed=1", L"t", false);
  IVXToastManager* manager = zqCreateToastManager(L"wait=5000", L"sync", false);
  RunCases({ZQ_CASE(manager->HideToast(), 0, Op(L"HideToast", 0))});  // nothing displayed: nothing posted
  std::thread hider([&] { if (journal.WaitFor(L"display sync begin")) manager->HideToast(); });
  EXPECT_EQ(manager->ShowToast(), 1);  // hidden
  hider.join();
  zqDeleteToastManager(manager);

  // The bridge stays for the other manager, whose ShowToast waits for the
  // display of its toast thread. Once joined, that thread is no hide target.
  ASSERT_TRUE(other->CreateToastThread());
  ASSERT_TRUE(journal.WaitFor(L"display t begin"));
  EXPECT_EQ(other->ShowToast(), 2);
  EXPECT_TRUE(other->JoinToastThread());
  RunCases({ZQ_CASE(other->HideToast(), 0, kNoTarget),
            ZQ_CASE(other->JoinToastThread(), 0, Op(L"JoinToastThread", 0))});
  const std::wstring begin = L"display t begin", end = L"display t end reason=2 by=timeout";
  EXPECT_EQ(journal.Take(), (Events{L"create t flag=0", L"create sync flag=0", L"display sync begin",
                                    L"display sync end reason=1 by=hide", L"delete sync", begin, end, begin, end}));
  EXPECT_TRUE(other->CreateToastThread());  // a joined thread makes room for the next
  zqDeleteToastManager(other);
}

TEST_F(Toast, ToastThreadIsHiddenOnceRegisteredAndJoinedBeforeDeletion) {
  IVXToastManager* manager = zqCreateToastManager(L"wait=5000;displayed=1", L"e", false);
  HANDLE gate = CreateEventW(nullptr, TRUE, FALSE, nullptr);  // holds new threads before they can register
  journal.Take([gate](auto& event) { if (event == L"thread attach") WaitForSingleObject(gate, kPatience.count()); });
  const std::wstring create = L"VXToastManager::CreateToastThread : ";
  RunCases({ZQ_CASE(manager->CreateToastThread(), 1, Op(L"CreateToastThread", 1, {{0, create + L"thread created."}})),
            ZQ_CASE(manager->HideToast(), 0, kNoTarget),
            ZQ_CASE(manager->CreateToastThread(), 0,  // one toast thread at a time
                    Op(L"CreateToastThread", 0, {{1, create + L"the toast thread has not been joined."}}))});
  std::error_code raised;  // the toast thread cannot join itself
  auto joinItself = [&] { try { manager->JoinToastThread(); } catch (std::system_error& e) { raised = e.code(); } };
  journal.Take([&](auto& event) { if (event == L"display e begin") joinItself(); });
  SetEvent(gate);
  ASSERT_TRUE(journal.WaitFor(L"display e begin"));

  // Deletion hides the toast, joins the thread (whose last lines interleave
  // with the caller's) and deletes the toast while the bridge is still there.
  LogCapture log;
  zqDeleteToastManager(manager);
  EXPECT_EQ(raised, std::errc::resource_deadlock_would_occur);
  const Lines own{{2, L"VXToastManager::ShowToastThread : exit reason = 1"}, {16, L"VXToastManager::ShowToastThread"}};
  Lines lines = log.Lines(), callers = lines;
  std::erase_if(callers, [&](auto& line) { return std::ranges::count(own, line) > 0; });
  EXPECT_EQ(callers, Around(kDelete, Around(kDtor, Op(L"HideToast", 1) + Op(L"JoinToastThread", 1), kDtor), kDelete));
  auto at = [&](const LogLine& line) { return std::ranges::find(lines, line) - lines.begin(); };
  EXPECT_LT(at(own[0]), at(own[1]));
  EXPECT_LT(at(own[1]), at({16, L"VXToastManager::JoinToastThread : returns 1"}));
  EXPECT_EQ(journal.Take(), (Events{L"display e begin", L"display e end reason=1 by=hide", L"delete e", L"unload"}));
  CloseHandle(gate);
}

TEST_F(Toast, MissingBridgeMissingExportAndNoNotification) {
  const std::wstring mode = L"zqGetUIMode", load = L": LoadLibrary(vx.platutil.winrt.dll)";
  const std::wstring error = L" failed with error code 0x";
  const Lines noFactory{{1, kCreate + L": GetProcAddress(CreateToastNotification)" + error + L"7f"}};
  struct { const wchar_t *folder, *behaviour; bool stays; Lines inside; } cases[] = {
      {L"", L"", false, {{1, kCreate + load + error + L"7e"}}},
      {L"nofactory", L"", true, kLoaded + noFactory},
      {L"testbridge", L"fail=1", true, kLoaded + kFactory}};
  LogCapture log;
  size_t atUnload = 0;
  journal.Take([&](auto& event) { if (event == L"unload") atUnload = log.Lines().size(); });
  for (const auto& c : cases) {
    UseBridge(c.folder);
    log.Clear();
    EXPECT_EQ(zqCreateToastManager(c.behaviour, L"", false), nullptr);
    EXPECT_EQ(BridgeLoaded(), c.stays);  // until the matching delete
    zqDeleteToastManager(nullptr);
    EXPECT_EQ(zqGetUIMode(), c.stays ? 2 : 0);
    EXPECT_EQ(atUnload, c.stays ? log.Lines().size() - 1 : 0);  // GetUIMode lets the bridge go before its exit line
    Lines ui = c.stays ? Lines{{0, mode + load + L" succeeded"}} : Lines{{1, mode + load + error + L"7e"}};
    EXPECT_EQ(log.Lines(), Around(kCreate, c.inside, kCreate) + Around(kDelete, {}, kDelete) + Around(mode, ui, mode));
  }
}

TEST(ToastVersion, WinRTSupportFollowsTheReportedWindowsVersion) {
  const wchar_t key[] = L"Software\\Wine\\AppDefaults\\winrt_probe.exe";
  for (auto [version, supported] : {std::pair<const wchar_t*, DWORD>{L"win7", 0}, {L"win8", 1}, {L"win10", 1}}) {
    RegSetKeyValueW(HKEY_CURRENT_USER, key, L"Version", REG_SZ, version, DWORD(wcslen(version) + 1) * sizeof(wchar_t));
    auto probe = HANDLE(_wspawnl(_P_NOWAIT, (Folder() + L"winrt_probe.exe").c_str(), L"winrt_probe", nullptr));
    DWORD answer = 99;  // the probe's exit code: 1 supported, 0 not
    EXPECT_EQ(WaitForSingleObject(probe, kPatience.count()), WAIT_OBJECT_0);
    EXPECT_TRUE(GetExitCodeProcess(probe, &answer) && answer == supported) << Narrow(version);
    CloseHandle(probe);
  }
  RegDeleteTreeW(HKEY_CURRENT_USER, key);
}

}  // namespace

// The test bridge reports here.
extern "C" __declspec(dllexport) void ToastBridgeJournal(const wchar_t* event) { journal.Add(event); }
