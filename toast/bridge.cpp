// The entry points: load the bridge library, wrap its notifications in toast
// managers, and give the bridge back when a manager is deleted.
#include <windows.h>

#include <atomic>

#include "toastmanager.h"
#include "unique.h"
#include "zqlog.h"

using ZQ::Framework::IVXToastManager;
using ZQ::Framework::IVXToastNotification;
using ZQ::Framework::secwstring;
using namespace zq::log;

namespace {

constexpr wchar_t kBridgeName[] = L"vx.platutil.winrt.dll";

// The bridge module of the latest zqCreateToastManager; each delete gives one
// reference back through it.
std::atomic<HMODULE> g_bridge{nullptr};

using CreateToastNotificationFn = IVXToastNotification* (*)(secwstring, secwstring, bool);
using GetUIModeFn = PLATUTIL_UI_MODE (*)();

}  // namespace

namespace ZQ::Framework {

IVXToastManager* zqCreateToastManager(secwstring first, secwstring second, bool flag) {
  Line(kEntry, L"zqCreateToastManager");
  IVXToastManager* manager = nullptr;
  HMODULE bridge = LoadLibraryW(kBridgeName);
  g_bridge.store(bridge);
  if (!bridge) {
    Line(kError, L"zqCreateToastManager: LoadLibrary(vx.platutil.winrt.dll) failed with error code 0x%x", GetLastError());
  } else {
    Line(kProgress, L"zqCreateToastManager: LoadLibrary(vx.platutil.winrt.dll) succeeded");
    auto create = zq::ProcAs<CreateToastNotificationFn>(bridge, "CreateToastNotification");
    if (!create) {
      Line(kError, L"zqCreateToastManager: GetProcAddress(CreateToastNotification) failed with error code 0x%x",
           GetLastError());
    } else {
      Line(kProgress, L"zqCreateToastManager: loading CreateToastNotification succeeded");
      if (IVXToastNotification* toast = create(first, second, flag)) manager = new VXToastManager(toast);
    }
  }
  Line(kExit, L"zqCreateToastManager");
  return manager;
}

void zqDeleteToastManager(IVXToastManager* manager) {
  Line(kEntry, L"zqDeleteToastManager");
  delete manager;
  if (HMODULE bridge = g_bridge.load()) FreeLibrary(bridge);
  Line(kExit, L"zqDeleteToastManager");
}

PLATUTIL_UI_MODE zqGetUIMode() {
  Line(kEntry, L"zqGetUIMode");
  auto mode = static_cast<PLATUTIL_UI_MODE>(0);
  zq::UniqueModule bridge = zq::LoadModule(kBridgeName);
  if (!bridge.get()) {
    Line(kError, L"zqGetUIMode: LoadLibrary(vx.platutil.winrt.dll) failed with error code 0x%x", GetLastError());
  } else {
    Line(kProgress, L"zqGetUIMode: LoadLibrary(vx.platutil.winrt.dll) succeeded");
    if (auto getMode = zq::ProcAs<GetUIModeFn>(bridge.get(), "GetUIMode")) {
      mode = getMode();
    } else {
      Line(kError, L"zqGetUIMode: GetProcAddress(GetUIMode) failed with error code 0x%x", GetLastError());
    }
    bridge.reset();  // released before the exit line
  }
  Line(kExit, L"zqGetUIMode");
  return mode;
}

bool zqIsWinRTSupported() {
  Line(kEntry, L"zqIsWinRTSupported");
  OSVERSIONINFOEXW version = {};
  version.dwOSVersionInfoSize = sizeof version;
  version.dwMajorVersion = 6;
  version.dwMinorVersion = 2;  // and service pack 0
  DWORDLONG mask = VerSetConditionMask(0, VER_MAJORVERSION, VER_GREATER_EQUAL);
  mask = VerSetConditionMask(mask, VER_MINORVERSION, VER_GREATER_EQUAL);
  mask = VerSetConditionMask(mask, VER_SERVICEPACKMAJOR, VER_GREATER_EQUAL);
  bool supported = VerifyVersionInfoW(&version, VER_MAJORVERSION | VER_MINORVERSION | VER_SERVICEPACKMAJOR, mask) != FALSE;
  Line(kExit, L"zqIsWinRTSupported: returns %s.", supported ? L"true" : L"false");
  return supported;
}

}  // namespace ZQ::Framework
