// The test build of vx.platutil.winrt.dll: notifications that show nothing and
// do what the test asks.
//
// The first string of CreateToastNotification is the behaviour, "key=value"
// pairs separated by ';' (unknown keys are ignored):
//   wait=MS         how long Display() waits for the hide message before it
//                   returns on its own (default 10000)
//   hr=N            what Display() returns (default 0)
//   reason=N|none   the exit reason written when the wait runs out, or none
//                   written at all (default 2, timed out); a hide message
//                   always writes 1 (hidden)
//   displayed=live|1|0  what IsDisplayed() answers: true only while Display()
//                   runs (default), always, or never
//   fail=1          CreateToastNotification returns null
// The second string is a label that the record carries.
//
// The record: every call is reported, as one line of text, to the function
// "ToastBridgeJournal" (void (const wchar_t*)) that the main program exports,
// when it does. Lines: "create LABEL flag=F", "display LABEL begin" (once the
// thread's message queue exists), "display LABEL end reason=R by=hide|timeout",
// "isdisplayed LABEL N", "delete LABEL", "thread attach", "unload".
// Built a second time without "CreateToastNotification" (TESTBRIDGE_WITHOUT_FACTORY).
#define VXTOASTBRIDGE_BUILDING
#include "vxtoastbridge.h"

#include <atomic>
#include <cwchar>
#include <string>

#include "unique.h"

namespace {

using ZQ::Framework::secwstring;

// Resolved once at load, under the loader's lock: a lookup later could wait
// for that lock while another thread holds it in this DLL's DllMain.
using JournalFn = void (*)(const wchar_t*);
JournalFn g_journal = nullptr;

void Journal(const std::wstring& line) {
  if (g_journal) g_journal(line.c_str());
}

struct Behaviour {
  DWORD waitMs = 10000;
  HRESULT result = S_OK;
  bool writeReason = true;
  int reason = VX_TOAST_EXIT_TIMED_OUT;
  int displayed = -1;  // -1 live, 0 never, 1 always
  bool fail = false;
};

[[maybe_unused]] Behaviour Parse(const secwstring& text) {
  Behaviour behaviour;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find(L';', start);
    if (end == secwstring::npos) end = text.size();
    secwstring pair = text.substr(start, end - start);
    size_t equals = pair.find(L'=');
    if (equals != secwstring::npos) {
      std::wstring key(pair.data(), equals);
      std::wstring value(pair.data() + equals + 1, pair.size() - equals - 1);
      long number = wcstol(value.c_str(), nullptr, 0);
      if (key == L"wait") behaviour.waitMs = static_cast<DWORD>(number);
      if (key == L"hr") behaviour.result = static_cast<HRESULT>(wcstoul(value.c_str(), nullptr, 0));
      if (key == L"reason") {
        behaviour.writeReason = value != L"none";
        behaviour.reason = static_cast<int>(number);
      }
      if (key == L"displayed") behaviour.displayed = value == L"live" ? -1 : static_cast<int>(number);
      if (key == L"fail") behaviour.fail = number != 0;
    }
    start = end + 1;
  }
  return behaviour;
}

class TestToast final : public ZQ::Framework::IVXToastNotification {
 public:
  TestToast(const Behaviour& behaviour, std::wstring label) : behaviour_(behaviour), label_(std::move(label)) {}
  ~TestToast() override { Journal(L"delete " + label_); }

  HRESULT Display(int* exitReason) override {
    MSG message;
    PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE);  // the queue that the hide message needs
    displaying_ = true;
    Journal(L"display " + label_ + L" begin");
    bool hidden = false;
    ULONGLONG deadline = GetTickCount64() + behaviour_.waitMs;
    while (!hidden) {
      while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.hwnd == nullptr && message.message == kVXToastHideMessage) hidden = true;
      }
      if (hidden) break;
      ULONGLONG now = GetTickCount64();
      if (now >= deadline) break;
      MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(deadline - now), QS_ALLINPUT);
    }
    displaying_ = false;
    int reason = hidden ? VX_TOAST_EXIT_HIDDEN : behaviour_.reason;
    if (hidden || behaviour_.writeReason) *exitReason = reason;
    Journal(L"display " + label_ + L" end reason=" + ((hidden || behaviour_.writeReason) ? std::to_wstring(reason) : L"none") +
            (hidden ? L" by=hide" : L" by=timeout"));
    return behaviour_.result;
  }

  HRESULT SetExpiration(unsigned int milliseconds) override {
    behaviour_.waitMs = milliseconds;
    return S_OK;
  }

  bool IsDisplayed() override {
    bool answer = behaviour_.displayed < 0 ? displaying_.load() : behaviour_.displayed != 0;
    Journal(L"isdisplayed " + label_ + (answer ? L" 1" : L" 0"));
    return answer;
  }

 private:
  Behaviour behaviour_;
  std::wstring label_;
  std::atomic<bool> displaying_{false};
};

}  // namespace

#ifndef TESTBRIDGE_WITHOUT_FACTORY
VXTOASTBRIDGE_API ZQ::Framework::IVXToastNotification* CreateToastNotification(secwstring first, secwstring second,
                                                                               bool flag) {
  std::wstring label(second.data(), second.size());
  Journal(L"create " + label + (flag ? L" flag=1" : L" flag=0"));
  Behaviour behaviour = Parse(first);
  if (behaviour.fail) return nullptr;
  return new TestToast(behaviour, label);
}
#endif

// A mode that neither default nor "unknown" could produce by accident.
VXTOASTBRIDGE_API PLATUTIL_UI_MODE GetUIMode() { return PLATUTIL_UI_MODE_TABLET; }

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    g_journal = zq::ProcAs<JournalFn>(GetModuleHandleW(nullptr), "ToastBridgeJournal");
  }
  if (reason == DLL_THREAD_ATTACH) Journal(L"thread attach");
  if (reason == DLL_PROCESS_DETACH) Journal(L"unload");
  return TRUE;
}
