// The toast manager: serialised display on the caller's thread or on a toast
// thread, and hiding by a thread message to whichever thread displays.
#include "toastmanager.h"

#include <pthread.h>

#include <stdexcept>
#include <system_error>

#include "vxcext.h"
#include "zqlog.h"

using ZQ::Framework::IVXToastNotification;
using namespace zq::log;

namespace zq::toast {

// The library's only process-wide objects besides the module state.
std::mutex g_threadRegistryLock;
std::map<unsigned int, unsigned int> g_threadRegistry;

unsigned int ThreadKey(std::thread::native_handle_type thread) { return static_cast<unsigned int>(thread); }

unsigned int HideTargetOf(unsigned int key) {
  std::lock_guard<std::mutex> lock(g_threadRegistryLock);
  auto entry = g_threadRegistry.find(key);
  if (entry == g_threadRegistry.end()) throw std::out_of_range(kInvalidKeyText);
  return entry->second;
}

namespace {

// Narrow exception texts go into wide log lines through the conversion library.
ZQ::Framework::secwstring Widen(const char* text) {
  ZQ::Framework::secwstring wide;
  ZQ::Framework::CConverter::charToString(text, -1, wide);
  return wide;
}

// One display under the manager's lock, so that a manager never shows two
// toasts at once; a failure is the caller's error line.
HRESULT DisplayLocked(IVXToastNotification* toast, std::mutex& displayLock, const wchar_t* caller, int* exitReason) {
  HRESULT hr;
  {
    std::lock_guard<std::mutex> lock(displayLock);
    hr = toast->Display(exitReason);
  }
  if (FAILED(hr)) Line(kError, L"%s : Display failed (0x%x)", caller, hr);
  return hr;
}

// The exit line of the manager's yes-or-no operations.
bool Returns(const Operation& call, bool result) { return call.Exit(result ? 1 : 0, L"%s : returns %d") != 0; }

}  // namespace
}  // namespace zq::toast

namespace ZQ::Framework {

IVXToastManager::IVXToastManager() = default;
IVXToastManager::IVXToastManager(const IVXToastManager&) = default;
IVXToastManager& IVXToastManager::operator=(const IVXToastManager&) { return *this; }
IVXToastManager::~IVXToastManager() = default;

}  // namespace ZQ::Framework

using zq::toast::Returns;

VXToastManager::VXToastManager(IVXToastNotification* toast) : toast(toast), ownerThreadId(GetCurrentThreadId()) {
  Line(kEntry, L"VXToastManager::VXToastManager");
  Line(kExit, L"VXToastManager::VXToastManager");
}

VXToastManager::~VXToastManager() {
  Operation call(L"VXToastManager::~VXToastManager");
  if (toastThread) {
    HideToast();
    JoinToastThread();
    delete toastThread;
  }
  delete toast;
  call.Exit();
}

int VXToastManager::ShowToast() {
  Operation call(L"VXToastManager::ShowToast");
  int exitReason = 0;
  zq::toast::DisplayLocked(toast, displayLock, call.Name(), &exitReason);
  return call.Exit(exitReason, L"%s : returns %d");
}

bool VXToastManager::HideToast() {
  Operation call(L"VXToastManager::HideToast");
  if (!toast || !toast->IsDisplayed()) return Returns(call, false);
  DWORD target = ownerThreadId;
  if (toastThread) {
    try {
      target = zq::toast::HideTargetOf(zq::toast::ThreadKey(toastThread->native_handle()));
    } catch (const std::exception& e) {
      Line(kError, L"VXToastManager::HideToast : Exception getting thread id (%s) ", zq::toast::Widen(e.what()).c_str());
      return Returns(call, false);
    }
  }
  PostThreadMessageW(target, kVXToastHideMessage, 0, 0);
  return Returns(call, true);
}

bool VXToastManager::CreateToastThread() {
  Operation call(L"VXToastManager::CreateToastThread");
  if (toastThread && toastThread->joinable()) {
    // One toast thread at a time: the earlier one must be joined first.
    Line(kError, L"VXToastManager::CreateToastThread : the toast thread has not been joined.");
    return Returns(call, false);
  }
  try {
    auto* thread = new std::thread(&VXToastManager::ShowToastThread, toast, &displayLock);
    delete toastThread;  // an earlier, joined thread object
    toastThread = thread;
  } catch (const std::system_error& e) {
    Line(kError, L"VXToastManager::CreateToastThread : creating thread failed with error %d (%s).", e.code().value(),
         zq::toast::Widen(e.code().message().c_str()).c_str());
    return Returns(call, false);
  }
  Line(kProgress, L"VXToastManager::CreateToastThread : thread created.");
  return Returns(call, true);
}

bool VXToastManager::JoinToastThread() {
  Operation call(L"VXToastManager::JoinToastThread");
  if (!toastThread || !toastThread->joinable()) return Returns(call, false);
  if (toastThread->get_id() == std::this_thread::get_id())
    throw std::system_error(std::make_error_code(std::errc::resource_deadlock_would_occur));
  unsigned int key = zq::toast::ThreadKey(toastThread->native_handle());
  toastThread->join();
  {
    std::lock_guard<std::mutex> lock(zq::toast::g_threadRegistryLock);
    zq::toast::g_threadRegistry.erase(key);
  }
  return Returns(call, true);
}

void VXToastManager::ShowToastThread(IVXToastNotification* toast, std::mutex* displayLock) {
  Operation call(L"VXToastManager::ShowToastThread");
  {
    std::lock_guard<std::mutex> lock(zq::toast::g_threadRegistryLock);
    zq::toast::g_threadRegistry.emplace(zq::toast::ThreadKey(pthread_self()), GetCurrentThreadId());
  }
  int exitReason = 0;
  zq::toast::DisplayLocked(toast, *displayLock, call.Name(), &exitReason);
  Line(kDetail, L"%s : exit reason = %d", call.Name(), exitReason);
  call.Exit();
}
