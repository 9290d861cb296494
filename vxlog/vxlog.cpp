// The log library: a filter mask read on every call, and a lock that keeps
// each line whole whichever thread writes it.
#define VXLOG_BUILDING
#include "vxlog.h"

#include <windows.h>

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cwchar>
#include <string>

namespace {

constexpr unsigned kAllLevels = 0xFFFFFFFFu;

// Bit n set: level n is kept (levels from 31 up share bit 31).
std::atomic<unsigned> g_keepMask{0};

struct State {
  CRITICAL_SECTION lock;
  HANDLE file = INVALID_HANDLE_VALUE;
  bool toStderr = false;
  unsigned targetMask = 0;  // what VXLOG_LEVELS keeps for the file and stderr
  vxlogSink sink = nullptr;
  void* sinkContext = nullptr;
};
State g_state;

unsigned LevelBit(unsigned level) { return 1u << (level < 31 ? level : 31); }

class LockGuard {
 public:
  LockGuard() { EnterCriticalSection(&g_state.lock); }
  ~LockGuard() { LeaveCriticalSection(&g_state.lock); }
  LockGuard(const LockGuard&) = delete;
  LockGuard& operator=(const LockGuard&) = delete;
};

std::wstring ReadEnv(const wchar_t* name) {
  wchar_t buffer[1024];
  DWORD n = GetEnvironmentVariableW(name, buffer, 1024);
  if (n == 0 || n >= 1024) return {};
  return std::wstring(buffer, n);
}

// A token that is not a level number is left out; `unusable` gets the first.
unsigned ParseLevels(const std::wstring& text, std::wstring* unusable) {
  if (text.empty() || _wcsicmp(text.c_str(), L"all") == 0) return kAllLevels;
  if (_wcsicmp(text.c_str(), L"none") == 0) return 0;
  unsigned mask = 0;
  const wchar_t* p = text.c_str();
  while (*p) {
    if (*p == L',' || *p == L' ') {
      ++p;
      continue;
    }
    wchar_t* end = nullptr;
    unsigned long level = wcstoul(p, &end, 10);
    if (end == p || (*end && *end != L',' && *end != L' ')) {
      const wchar_t* stop = wcschr(p, L',');
      if (unusable->empty()) unusable->assign(p, stop ? stop - p : wcslen(p));
      if (!stop) break;
      p = stop;
      continue;
    }
    mask |= LevelBit(static_cast<unsigned>(level));
    p = end;
  }
  return mask;
}

std::wstring LevelList(unsigned mask) {
  if (mask == kAllLevels) return L"all";
  std::wstring list;
  for (unsigned level = 0; level < 32; ++level) {
    if (mask & (1u << level)) list += (list.empty() ? L"" : L",") + std::to_wstring(level);
  }
  return list.empty() ? L"none" : list;
}

void PublishMask() {
  g_keepMask.store(g_state.sink ? kAllLevels : g_state.targetMask, std::memory_order_release);
}

void CloseFile() {
  if (g_state.file != INVALID_HANDLE_VALUE) CloseHandle(g_state.file);
  g_state.file = INVALID_HANDLE_VALUE;
}

// A setting the library cannot use is said once per process and variable on
// standard error, with what the library does instead: a silent typo would
// otherwise turn the log off, or on.
void Warn(unsigned variable, const std::wstring& text);

// Caller holds the lock.
void Configure() {
  CloseFile();
  std::wstring path = ReadEnv(L"VXLOG_FILE");
  if (!path.empty()) {
    g_state.file = CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (g_state.file == INVALID_HANDLE_VALUE) {
      Warn(0, L"VXLOG_FILE=" + path + L" cannot be opened (error " + std::to_wstring(GetLastError()) +
                  L"): no log file");
    }
  }
  const std::wstring toStderr = ReadEnv(L"VXLOG_STDERR");
  g_state.toStderr = toStderr == L"1";
  if (!toStderr.empty() && toStderr != L"1" && toStderr != L"0") {
    Warn(1, L"VXLOG_STDERR=" + toStderr + L" is neither 1 nor 0: nothing goes to standard error");
  }
  bool hasTarget = g_state.file != INVALID_HANDLE_VALUE || g_state.toStderr;
  const std::wstring levels = ReadEnv(L"VXLOG_LEVELS");
  std::wstring unusable;
  const unsigned mask = ParseLevels(levels, &unusable);
  if (!unusable.empty()) {
    Warn(2, L"VXLOG_LEVELS=" + levels + L": '" + unusable + L"' is not a level; keeping levels " + LevelList(mask));
  }
  g_state.targetMask = hasTarget ? mask : 0;
  PublishMask();
}

void WriteUtf8(HANDLE target, const std::wstring& line) {
  int bytes = WideCharToMultiByte(CP_UTF8, 0, line.data(), static_cast<int>(line.size()), nullptr, 0, nullptr, nullptr);
  if (bytes <= 0) return;
  std::string utf8(static_cast<size_t>(bytes), '\0');
  WideCharToMultiByte(CP_UTF8, 0, line.data(), static_cast<int>(line.size()), utf8.data(), bytes, nullptr, nullptr);
  DWORD written = 0;
  WriteFile(target, utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr);
}

void Warn(unsigned variable, const std::wstring& text) {
  static unsigned warned = 0;
  if (warned & (1u << variable)) return;
  warned |= 1u << variable;
  WriteUtf8(GetStdHandle(STD_ERROR_HANDLE), L"vxlog: " + text + L"\r\n");
}

// Sends one formatted text to the capture sink and the kept targets.
void Emit(const wchar_t* module, unsigned level, const std::wstring& text) {
  LockGuard guard;
  if (g_state.sink) g_state.sink(g_state.sinkContext, module, level, text.c_str());
  if (!(g_state.targetMask & LevelBit(level))) return;

  SYSTEMTIME now;
  GetSystemTime(&now);
  wchar_t prefix[96];
  _snwprintf(prefix, 96, L"%04u-%02u-%02uT%02u:%02u:%02u.%03uZ [%lu:%lu] %s %u ", now.wYear, now.wMonth, now.wDay,
             now.wHour, now.wMinute, now.wSecond, now.wMilliseconds, GetCurrentProcessId(), GetCurrentThreadId(),
             module ? module : L"-", level);
  prefix[95] = L'\0';
  std::wstring line = prefix;
  line += text;
  line += L"\r\n";
  if (g_state.file != INVALID_HANDLE_VALUE) WriteUtf8(g_state.file, line);
  if (g_state.toStderr) WriteUtf8(GetStdHandle(STD_ERROR_HANDLE), line);
}

std::wstring FormatV(const wchar_t* format, va_list args) {
  if (!format) return L"(null)";
  va_list counting;
  va_copy(counting, args);
  int length = _vscwprintf(format, counting);
  va_end(counting);
  if (length <= 0) return {};
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  _vsnwprintf(text.data(), text.size(), format, args);
  text.resize(static_cast<size_t>(length));
  return text;
}

}  // namespace

extern "C" void vxlogLog(const wchar_t* module, unsigned int level, const wchar_t* format, ...) {
  if (!(g_keepMask.load(std::memory_order_acquire) & LevelBit(level))) return;
  va_list args;
  va_start(args, format);
  std::wstring text = FormatV(format, args);
  va_end(args);
  Emit(module, level, text);
}

extern "C" void vxlogLogBin(const wchar_t* module, unsigned int level, const void* data, unsigned int cbData,
                            const wchar_t* label) {
  if (!(g_keepMask.load(std::memory_order_acquire) & LevelBit(level))) return;
  static const wchar_t kHex[] = L"0123456789ABCDEF";
  std::wstring text = label ? label : L"";
  text += L" [" + std::to_wstring(cbData) + L" bytes]";
  const unsigned char* bytes = static_cast<const unsigned char*>(data);
  for (unsigned i = 0; bytes && i < cbData; ++i) text += {L' ', kHex[bytes[i] >> 4], kHex[bytes[i] & 0xF]};
  Emit(module, level, text);
}

extern "C" void vxlogSetCapture(vxlogSink sink, void* context) {
  LockGuard guard;
  g_state.sink = sink;
  g_state.sinkContext = context;
  PublishMask();
}

extern "C" void vxlogReconfigure(void) {
  LockGuard guard;
  Configure();
}

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved) {
  if (reason == DLL_PROCESS_ATTACH) {
    InitializeCriticalSection(&g_state.lock);
    Configure();
  } else if (reason == DLL_PROCESS_DETACH) {
    g_keepMask.store(0);
    // At process exit other threads are gone; the file closes with the process.
    if (reserved == nullptr) CloseFile();
  }
  return TRUE;
}
