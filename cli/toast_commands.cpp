// "toast" and "winrt" commands: a toast through the library's toast manager
// with the bridge next to this program, and the bridge's support answers.
#include <zqtoast.h>

#include <cwchar>
#include <thread>

#include "cli.h"

namespace cli {
namespace {

using ZQ::Framework::IVXToastManager;
using ZQ::Framework::secwstring;

// Exit reasons of the bridge's notifications.
std::wstring ReasonName(int reason) {
  switch (reason) {
    case 0: return L"none";
    case 1: return L"hidden";
    case 2: return L"timed out";
    case 3: return L"dismissed";
    case 4: return L"activated";
  }
  return L"reason " + std::to_wstring(reason);
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
  if (args.size() != 2) return Usage(L"toast TITLE TEXT [--thread] [--hide-after MS]");

  IVXToastManager* manager =
      ZQ::Framework::zqCreateToastManager(secwstring(args[0].c_str()), secwstring(args[1].c_str()), false);
  if (!manager) {
    ZQ::Framework::zqDeleteToastManager(manager);
    Err(L"zqplatutil: zqCreateToastManager failed (is vx.platutil.winrt.dll next to the program?)");
    return kExitFailed;
  }

  if (onThread) {
    if (!manager->CreateToastThread()) {
      ZQ::Framework::zqDeleteToastManager(manager);
      Err(L"zqplatutil: the toast thread could not be started");
      return kExitFailed;
    }
    if (hideAfter) {
      Sleep(hideAfterMs);
      Out(manager->HideToast() ? L"hide sent to the toast thread" : L"nothing to hide");
    }
    manager->JoinToastThread();
    Out(L"toast thread ended");
  } else {
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
    Out(L"exit reason " + std::to_wstring(reason) + L" (" + ReasonName(reason) + L")");
  }
  ZQ::Framework::zqDeleteToastManager(manager);
  return kExitOk;
}

int RunWinRT(Args args) {
  if (!args.empty()) return Usage(L"winrt");
  bool supported = ZQ::Framework::zqIsWinRTSupported();
  int mode = static_cast<int>(ZQ::Framework::zqGetUIMode());
  Out(std::wstring(L"zqIsWinRTSupported: ") + (supported ? L"true" : L"false"));
  Out(L"zqGetUIMode: " + std::to_wstring(mode));
  return kExitOk;
}

const wchar_t kToastHelp[] =
    L"Toast notifications (through vx.platutil.winrt.dll next to the program):\n"
    L"  toast TITLE TEXT [--thread] [--hide-after MS]\n"
    L"      Show a toast and wait until it is gone; print its exit reason.\n"
    L"      --thread shows it on a toast thread; --hide-after hides it early.";
const wchar_t kWinRTHelp[] =
    L"Bridge support:\n"
    L"  winrt\n"
    L"      Print whether this Windows version supports the bridge, and its UI mode.";

const Registration kToast{{L"toast", kToastHelp, RunToast}};
const Registration kWinRT{{L"winrt", kWinRTHelp, RunWinRT}};

}  // namespace
}  // namespace cli
