// VXToastManager: the one implementation of IVXToastManager, and the
// process-wide registry of toast threads.
#pragma once

#include <windows.h>

#include <map>
#include <mutex>
#include <thread>

#include "vxtoastbridge.h"
#include "zqtoast.h"

namespace zq::toast {

// Toast thread registry: a toast thread's standard-library id (its pthread_t)
// to the Win32 thread id that hide messages go to. Every access holds
// g_threadRegistryLock, and only for that one map operation.
extern std::mutex g_threadRegistryLock;
extern std::map<unsigned int, unsigned int> g_threadRegistry;

// The registry key of a thread: the standard library's own thread id.
unsigned int ThreadKey(std::thread::native_handle_type thread);

// The registry's checked lookup: throws std::out_of_range with the text
// "invalid map<K, T> key" when the thread has no entry.
unsigned int HideTargetOf(unsigned int key);

// The text that a failed registry lookup reports.
inline constexpr char kInvalidKeyText[] = "invalid map<K, T> key";

}  // namespace zq::toast

class VXToastManager : public ZQ::Framework::IVXToastManager {
 public:
  // Takes ownership of the toast; the calling thread becomes the owner thread.
  explicit VXToastManager(ZQ::Framework::IVXToastNotification* toast);
  ~VXToastManager() override;
  VXToastManager(const VXToastManager&) = delete;
  VXToastManager& operator=(const VXToastManager&) = delete;

  int ShowToast() override;
  bool HideToast() override;
  bool CreateToastThread() override;
  bool JoinToastThread() override;

  // The whole life of a toast thread: register, display, log the exit reason.
  static void ShowToastThread(ZQ::Framework::IVXToastNotification* toast, std::mutex* displayLock);

 private:
  ZQ::Framework::IVXToastNotification* toast;
  DWORD ownerThreadId;
  std::thread* toastThread = nullptr;
  std::mutex displayLock;
};
