// Toast notifications of zqplatutilu.dll.
//
// A toast manager shows one desktop notification, made by the bridge library
// vx.platutil.winrt.dll that the library loads at run time, and takes it down
// again. Callers create managers with zqCreateToastManager and give every one
// back, null included, with exactly one zqDeleteToastManager: that pairing
// keeps the bridge loaded while any of its notifications exists.
//
// Every operation logs its entry (level 8) and exit (level 16) under the
// module tag "PLATUTIL". Failures are answered with null, 0 or false; only
// JoinToastThread raises (std::system_error).
#pragma once

#include "zqexport.h"
#include "zqsecalloc.h"

// The bridge's user-interface mode; its values are the bridge's (0: unknown).
enum PLATUTIL_UI_MODE : int;

// The values the bridge gives. The bridge's own header defines the same two
// enumerations; a unit that uses both includes that header first.
#ifndef VXTOASTBRIDGE_API
// What zqGetUIMode answers.
enum PLATUTIL_UI_MODE : int {
  PLATUTIL_UI_MODE_UNKNOWN = 0,  // the bridge cannot tell (or cannot be asked)
  PLATUTIL_UI_MODE_DESKTOP = 1,  // mouse and keyboard desktop
  PLATUTIL_UI_MODE_TABLET = 2,   // touch-first tablet mode
};

// What IVXToastManager::ShowToast returns: why the toast went away.
enum VX_TOAST_EXIT_REASON : int {
  VX_TOAST_EXIT_NONE = 0,       // never shown (the display failed)
  VX_TOAST_EXIT_HIDDEN = 1,     // HideToast reached the displaying thread
  VX_TOAST_EXIT_TIMED_OUT = 2,  // its display time ran out
  VX_TOAST_EXIT_DISMISSED = 3,  // the user closed it (right click, Escape)
  VX_TOAST_EXIT_ACTIVATED = 4,  // the user clicked it
};
#endif

namespace ZQ::Framework {

class ZQPLATUTIL_API IVXToastManager {
 public:
  IVXToastManager();
  IVXToastManager(const IVXToastManager&);
  IVXToastManager& operator=(const IVXToastManager&);  // copies nothing
  virtual ~IVXToastManager();

  // Shows the toast on the calling thread and returns its exit reason when it
  // is gone (the bridge's value; 0 when the display wrote none). A second
  // display of the same manager waits for the first to end.
  virtual int ShowToast() = 0;
  // Posts the hide message to the thread that displays: the toast thread if
  // one was created, else the thread that created the manager. False when no
  // toast is up, or when the toast thread has not registered yet or has been
  // joined (then nothing is posted).
  virtual bool HideToast() = 0;
  // Shows the toast on a new thread of its own. False when the thread cannot
  // be started, or while an earlier toast thread of this manager has not
  // been joined (the manager keeps one toast thread at a time).
  virtual bool CreateToastThread() = 0;
  // Waits for the toast thread. False without one, or when it was joined
  // already. Called on the toast thread itself it raises std::system_error
  // (std::errc::resource_deadlock_would_occur).
  virtual bool JoinToastThread() = 0;
};

// Loads the bridge and wraps a new notification (first, second and flag are
// handed to the bridge unchanged). Null on any failure.
ZQPLATUTIL_API IVXToastManager* zqCreateToastManager(secwstring first, secwstring second, bool flag);
// Deletes the manager (hiding and joining its toast thread first) and gives
// back the bridge reference of the matching create.
ZQPLATUTIL_API void zqDeleteToastManager(IVXToastManager* manager);
// The bridge's user-interface mode; 0 when the bridge cannot be asked.
ZQPLATUTIL_API PLATUTIL_UI_MODE zqGetUIMode();
// True on Windows 8 (6.2) and later, where the bridge can work.
ZQPLATUTIL_API bool zqIsWinRTSupported();

}  // namespace ZQ::Framework
