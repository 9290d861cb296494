// "toast" and "winrt" commands: a toast through the library's toast manager
// with the bridge next to this program, and the bridge's support answers.
#include <vxlog.h>
#include <zqtoast.h>

#include <cwchar>
#include <mutex>
#include <thread>

#include "cli.h"

namespace cli {
namespace {

using ZQ::Framework::IVXToastManager;
using ZQ::Framework::secwstring;

std::wstring ReasonName(int reason) {
  switch (reason) {
    case VX_TOAST_EXIT_NONE: return L"none";
    case VX_TOAST_EXIT_HIDDEN: return L"hidden";
    case VX_TOAST_EXIT_TIMED_OUT: return L"timed out";
    case VX_TOAST_EXIT_DISMISSED: return L"dismissed";
    case VX_TOAST_EXIT_ACTIVATED: return L"activated";
  }
  return L"reason " + std::to_wstring(reason);
}

// The manager answers a failed display with no reason at all (or, on a toast
// thread, with nothing): the library's log line holds the HRESULT, so the
// tool listens to the log while the toast runs.
class DisplayFailures {
 public:
  DisplayFailures() { vxlogSetCapture(&DisplayFailures::Line, this); }
  ~DisplayFailures() { vxlogSetCapture(nullptr, nullptr); }
  DisplayFailures(const DisplayFailures&) = delete;
  DisplayFailures& operator=(const DisplayFailures&) = delete;

  // True with the HRESULT of the first failed display.
  bool Failed(HRESULT* hr) {
    std::lock_guard<std::mutex> lock(mutex_);
    *hr = hr_;
    return failed_;
  }

 private:
  static void Line(void* context, const wchar_t*, unsigned int, const wchar_t* text) {
    auto* self = static_cast<DisplayFailures*>(context);
    const wchar_t* found = wcsstr(text, L"Display failed (0x");
    if (!found) return;
    std::lock_guard<std::mutex> lock(self->mutex_);
    if (self->failed_) return;
    self->failed_ = true;
    self->hr_ = static_cast<HRESULT>(wcstoul(found + wcslen(L"Display failed ("), nullptr, 16));
  }

  std::mutex mutex_;
  bool failed_ = false;
  HRESULT hr_ = S_OK;
};

int NotShown(const std::wstring& title, bool failed, HRESULT hr) {
  std::wstring why = failed ? HResultText(hr) : L"the bridge gave no exit reason";
  return Fail(L"the toast '" + title + L"' was not shown: " + why + L"; " + DisplayHint());
}

int RunToast(Args args) {
  bool onThread = TakeFlag(args, L"--thread");
  std::wstring hideAfterText;
  bool missing = false;
  bool hideAfter = TakeOption(args, L"--hide-after", &hideAfterText, &missing);
  if (missing) return Usage(L"--hide-after takes a time in milliseconds");
  unsigned long hideAfterMs = 0;
  if (hideAfter) {
    wchar_t* end = nullptr;
    hideAfterMs = wcstoul(hideAfterText.c_str(), &end, 10);
    if (hideAfterText.empty() || *end != L'\0') return Usage(L"--hide-after takes a time in milliseconds");
  }
  if (int usage = UnknownOption(args)) return usage;
  if (args.size() != 2) return Usage(L"toast TITLE TEXT [--thread] [--hide-after MS]");

  IVXToastManager* manager =
      ZQ::Framework::zqCreateToastManager(secwstring(args[0].c_str()), secwstring(args[1].c_str()), false);
  if (!manager) {
    ZQ::Framework::zqDeleteToastManager(manager);
    return Fail(L"no toast manager for '" + args[0] + L"': vx.platutil.winrt.dll is not next to the program or does "
                L"not load");
  }

  DisplayFailures failures;
  HRESULT hr = S_OK;
  if (onThread) {
    if (!manager->CreateToastThread()) {
      ZQ::Framework::zqDeleteToastManager(manager);
      return Fail(L"the toast thread for '" + args[0] + L"' could not be started");
    }
    bool hidden = false;
    if (hideAfter) {
      Sleep(hideAfterMs);
      hidden = manager->HideToast();
    }
    manager->JoinToastThread();
    ZQ::Framework::zqDeleteToastManager(manager);
    if (failures.Failed(&hr)) return NotShown(args[0], true, hr);
    if (hideAfter) Out(hidden ? L"hide sent to the toast thread" : L"nothing to hide");
    Out(L"toast thread ended");
    return kExitOk;
  }
  // The hide goes to this thread, which runs the toast in ShowToast.
  std::thread hider;
  if (hideAfter) {
    hider = std::thread([manager, hideAfterMs] {
      Sleep(hideAfterMs);
      manager->HideToast();
    });
  }
  int reason = manager->ShowToast();
  if (hider.joinable()) hider.join();
  ZQ::Framework::zqDeleteToastManager(manager);
  bool failed = failures.Failed(&hr);
  if (failed || reason == VX_TOAST_EXIT_NONE) return NotShown(args[0], failed, hr);
  Out(L"exit reason " + std::to_wstring(reason) + L" (" + ReasonName(reason) + L")");
  return kExitOk;
}

int RunWinRT(Args args) {
  if (int usage = NoArguments(args, L"winrt")) return usage;
  bool supported = ZQ::Framework::zqIsWinRTSupported();
  int mode = static_cast<int>(ZQ::Framework::zqGetUIMode());
  Out(std::wstring(L"zqIsWinRTSupported: ") + (supported ? L"true" : L"false"));
  const wchar_t* modeName = mode == PLATUTIL_UI_MODE_DESKTOP  ? L" (desktop)"
                            : mode == PLATUTIL_UI_MODE_TABLET ? L" (tablet)"
                                                              : L" (unknown)";
  Out(L"zqGetUIMode: " + std::to_wstring(mode) + modeName);
  return kExitOk;
}

const wchar_t kToastHelp[] =
    L"Toasts and the secure prompt:\n"
    L"  toast TITLE TEXT [--thread] [--hide-after MS]\n"
    L"      Show a toast through vx.platutil.winrt.dll next to the program and\n"
    L"      wait until it is gone; print its exit reason\n"
    L"      (1 hidden, 2 timed out, 3 dismissed, 4 activated). --thread shows it\n"
    L"      on a toast thread; --hide-after hides it early. Not shown (no\n"
    L"      display): exit 1.";
const wchar_t kWinRTHelp[] =
    L"  winrt\n"
    L"      Print whether this Windows version supports the bridge, and its UI\n"
    L"      mode (0 unknown, 1 desktop, 2 tablet).";

const Registration kToast{{L"toast", kToastHelp, RunToast}};
const Registration kWinRT{{L"winrt", kWinRTHelp, RunWinRT}};

}  // namespace
}  // namespace cli
