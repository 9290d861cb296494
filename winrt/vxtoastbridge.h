// vx.platutil.winrt.dll: the product's bridge to desktop notifications, loaded
// at run time by zqplatutilu.dll. Two builds share this interface:
//   - the demo bridge (demobridge.cpp) shows a plain Win32 popup window with
//     the title and the text near the corner of the work area;
//   - the test bridge (testbridge.cpp) shows nothing: tests steer what its
//     notifications do and read a record of the calls.
//
// Exports, by undecorated name:
//   "CreateToastNotification"  IVXToastNotification* (secwstring, secwstring, bool)
//   "GetUIMode"                PLATUTIL_UI_MODE ()
#pragma once

#include <windows.h>

#include "zqsecalloc.h"

#ifdef VXTOASTBRIDGE_BUILDING
#define VXTOASTBRIDGE_API extern "C" __declspec(dllexport)
#else
#define VXTOASTBRIDGE_API extern "C" __declspec(dllimport)
#endif

// The user-interface mode. zqplatutilu.dll itself knows only 0.
enum PLATUTIL_UI_MODE : int {
  PLATUTIL_UI_MODE_UNKNOWN = 0,  // the bridge cannot tell (or cannot be asked)
  PLATUTIL_UI_MODE_DESKTOP = 1,  // mouse and keyboard desktop
  PLATUTIL_UI_MODE_TABLET = 2,   // touch-first tablet mode
};

// Why a toast went away: what Display() writes through its pointer.
enum VX_TOAST_EXIT_REASON : int {
  VX_TOAST_EXIT_NONE = 0,       // never shown
  VX_TOAST_EXIT_HIDDEN = 1,     // the hide message reached the displaying thread
  VX_TOAST_EXIT_TIMED_OUT = 2,  // its display time ran out
  VX_TOAST_EXIT_DISMISSED = 3,  // the user closed it (right click, Escape)
  VX_TOAST_EXIT_ACTIVATED = 4,  // the user clicked it
};

// The thread message that takes a toast down: posted to the thread that runs
// Display(), with wParam and lParam 0.
constexpr UINT kVXToastHideMessage = WM_USER + 0x223;

namespace ZQ::Framework {

class IVXToastNotification {
 public:
  virtual ~IVXToastNotification() = default;
  // Shows the toast and returns when it is gone, with the reason written to
  // *exitReason. Runs a message loop on the calling thread; a negative result
  // is a failure.
  virtual HRESULT Display(int* exitReason) = 0;
  // Changes how long the next Display() keeps the toast up (milliseconds).
  virtual HRESULT SetExpiration(unsigned int milliseconds) = 0;
  // Whether a toast is up to be taken down; callable from any thread.
  virtual bool IsDisplayed() = 0;
};

}  // namespace ZQ::Framework

// first, second and flag are the bridge's: the demo bridge takes title, text
// and "long duration" (25 s instead of 7 s); the test bridge takes its
// behaviour, a label and a flag it only records (see testbridge.cpp).
// Returns a new object that the caller owns, or null.
VXTOASTBRIDGE_API ZQ::Framework::IVXToastNotification* CreateToastNotification(ZQ::Framework::secwstring first,
                                                                               ZQ::Framework::secwstring second,
                                                                               bool flag);
VXTOASTBRIDGE_API PLATUTIL_UI_MODE GetUIMode();
