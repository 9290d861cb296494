// The toast manager: serialised display on the caller's thread or on a toast
// thread, and hiding by a thread message to whichever thread displays.
#include "toastmanager.h"

#include <pthread.h>

#include <stdexcept>
#include <system_error>

#include "vxcext.h"
#include "zqlog.h"

using ZQ::Framework::IVXToastNotification;
using zq::log::kDetail;
using zq::log::kEntry;
using zq::log::kError;
using zq::log::kExit;
using zq::log::kProgress;
using zq::log::Line;

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

}  // namespace
}  // namespace zq::toast

namespace ZQ::Framework {

IVXToastManager::IVXToastManager() = default;
IVXToastManager::IVXToastManager(const IVXToastManager&) = default;
IVXToastManager& IVXToastManager::operator=(const IVXToastManager&) { return *this; }
IVXToastManager::~IVXToastManager() = default;

}  // namespace ZQ::Framework

VXToastManager::VXToastManager(IVXToastNotification* toast) : toast(toast), ownerThreadId(GetCurrentThreadId()) {
  Line(kEntry, L"VXToastManager::VXToastManager");
  Line(kExit, L"VXToastManager::VXToastManager");
}

VXToastManager::~VXToastManager() {
  Line(kEntry, L"VXToastManager::~VXToastManager");
  if (toastThread) {
    HideToast();
    JoinToastThread();
    delete toastThread;
    toastThread = nullptr;
  }
  if (toast) {
    delete toast;
    toast = nullptr;
  }
  Line(kExit, L"VXToastManager::~VXToastManager");
}

int VXToastManager::ShowToast() {
  Line(kEntry, L"VXToastManager::ShowToast");
  int exitReason = 0;
  HRESULT hr;
  {
    std::lock_guard<std::mutex> lock(displayLock);
    hr = toast->Display(&exitReason);
  }
  if (FAILED(hr)) Line(kError, L"VXToastManager::ShowToast : Display failed (0x%x)", hr);
  Line(kExit, L"VXToastManager::ShowToast : returns %d", exitReason);
  return exitReason;
}

bool VXToastManager::HideToast() {
  Line(kEntry, L"VXToastManager::HideToast");
  bool posted = false;
  if (toast && toast->IsDisplayed()) {
    DWORD target = ownerThreadId;
    bool found = true;
    if (toastThread) {
      try {
        target = zq::toast::HideTargetOf(zq::toast::ThreadKey(toastThread->native_handle()));
      } catch (const std::exception& e) {
        Line(kError, L"VXToastManager::HideToast : Exception getting thread id (%s) ", zq::toast::Widen(e.what()).c_str());
        found = false;
      }
    }
    if (found) {
      PostThreadMessageW(target, kVXToastHideMessage, 0, 0);
      posted = true;
    }
  }
  Line(kExit, L"VXToastManager::HideToast : returns %d", posted ? 1 : 0);
  return posted;
}

bool VXToastManager::CreateToastThread() {
  Line(kEntry, L"VXToastManager::CreateToastThread");
  bool created = false;
  if (toastThread && toastThread->joinable()) {
    // One toast thread at a time: the earlier one must be joined first.
    Line(kError, L"VXToastManager::CreateToastThread : the toast thread has not been joined.");
  } else {
    try {
      auto* thread = new std::thread(&VXToastManager::ShowToastThread, toast, &displayLock);
      delete toastThread;  // an earlier, joined thread object
      toastThread = thread;
      Line(kProgress, L"VXToastManager::CreateToastThread : thread created.");
      created = true;
    } catch (const std::system_error& e) {
      Line(kError, L"VXToastManager::CreateToastThread : creating thread failed with error %d (%s).", e.code().value(),
           zq::toast::Widen(e.code().message().c_str()).c_str());
    }
  }
  Line(kExit, L"VXToastManager::CreateToastThread : returns %d", created ? 1 : 0);
  return created;
}

bool VXToastManager::JoinToastThread() {
  Line(kEntry, L"VXToastManager::JoinToastThread");
  bool joined = false;
  if (toastThread && toastThread->joinable()) {
    if (toastThread->get_id() == std::this_thread::get_id())
      throw std::system_error(std::make_error_code(std::errc::resource_deadlock_would_occur));
    unsigned int key = zq::toast::ThreadKey(toastThread->native_handle());
    toastThread->join();
    {
      std::lock_guard<std::mutex> lock(zq::toast::g_threadRegistryLock);
      zq::toast::g_threadRegistry.erase(key);
    }
    joined = true;
  }
  Line(kExit, L"VXToastManager::JoinToastThread : returns %d", joined ? 1 : 0);
  return joined;
}

void VXToastManager::ShowToastThread(IVXToastNotification* toast, std::mutex* displayLock) {
  Line(kEntry, L"VXToastManager::ShowToastThread");
  int exitReason = 0;
  {
    std::lock_guard<std::mutex> lock(zq::toast::g_threadRegistryLock);
    zq::toast::g_threadRegistry.emplace(zq::toast::ThreadKey(pthread_self()), GetCurrentThreadId());
  }
  HRESULT hr;
  {
    std::lock_guard<std::mutex> lock(*displayLock);
    hr = toast->Display(&exitReason);
  }
  if (FAILED(hr)) Line(kError, L"VXToastManager::ShowToastThread : Display failed (0x%x)", hr);
  Line(kDetail, L"VXToastManager::ShowToastThread : exit reason = %d", exitReason);
  Line(kExit, L"VXToastManager::ShowToastThread");
}
