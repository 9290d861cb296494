#include "cli.h"

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <cwctype>

namespace cli {
namespace {

void Write(FILE* stream, const std::wstring& text) {
  std::wstring line = text + L"\n";
  int bytes = WideCharToMultiByte(CP_UTF8, 0, line.data(), static_cast<int>(line.size()), nullptr, 0, nullptr, nullptr);
  std::string utf8(static_cast<size_t>(bytes > 0 ? bytes : 0), '\0');
  WideCharToMultiByte(CP_UTF8, 0, line.data(), static_cast<int>(line.size()), utf8.data(), bytes, nullptr, nullptr);
  fwrite(utf8.data(), 1, utf8.size(), stream);
  fflush(stream);
}

struct RootName {
  const wchar_t* shortName;
  const wchar_t* longName;
  HKEY root;
};

const RootName kRoots[] = {
    {L"HKLM", L"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE}, {L"HKCU", L"HKEY_CURRENT_USER", HKEY_CURRENT_USER},
    {L"HKCR", L"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT},   {L"HKU", L"HKEY_USERS", HKEY_USERS},
    {L"HKCC", L"HKEY_CURRENT_CONFIG", HKEY_CURRENT_CONFIG},
};

}  // namespace

void Out(const std::wstring& text) { Write(stdout, text); }
void Err(const std::wstring& text) { Write(stderr, text); }

int Usage(const std::wstring& message) {
  Err(L"zqplatutil: " + message);
  Err(L"Try 'zqplatutil --help'.");
  return kExitUsage;
}

int Fail(const std::wstring& message) {
  Err(L"zqplatutil: " + message);
  return kExitFailed;
}

int UnknownOption(const Args& args) {
  for (const std::wstring& arg : args) {
    if (arg.size() > 2 && arg.compare(0, 2, L"--") == 0) return Usage(L"unknown option " + arg);
  }
  return 0;
}

int NoArguments(const Args& args, const wchar_t* command) {
  if (int status = UnknownOption(args)) return status;
  return args.empty() ? 0 : Usage(std::wstring(command) + L" takes no arguments");
}

namespace {
std::wstring SystemText(DWORD code) {
  wchar_t* buffer = nullptr;
  DWORD length = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  std::wstring text = length && buffer ? std::wstring(buffer, length) : std::wstring();
  LocalFree(buffer);
  // One line without the closing full stop, to be followed by the number.
  while (!text.empty() && (iswspace(text.back()) || text.back() == L'.')) text.pop_back();
  for (wchar_t& c : text) {
    if (c == L'\r' || c == L'\n') c = L' ';
  }
  return text.empty() ? L"unknown error" : text;
}
}  // namespace

std::wstring Win32Text(DWORD error) { return SystemText(error) + L" (error " + std::to_wstring(error) + L")"; }

std::wstring HResultText(HRESULT hr) {
  wchar_t number[16];
  _snwprintf(number, 16, L"0x%08lx", static_cast<unsigned long>(hr));
  return SystemText(static_cast<DWORD>(hr)) + L" (" + number + L")";
}

std::wstring DisplayHint() {
  wchar_t display[256];
  DWORD length = GetEnvironmentVariableW(L"DISPLAY", display, 256);
  if (length == 0) return L"no display: DISPLAY is not set (under Wine, set it to a running X server such as Xvfb)";
  // Under Wine the first program of a wineserver decides whether its desktop has a display.
  return L"no display? DISPLAY is " + std::wstring(length < 256 ? display : L"set") +
         L": is its X server (Xvfb) running, and did the prefix's wineserver start with it?";
}

bool ParseKeyPath(const std::wstring& text, HKEY* root, std::wstring* path) {
  size_t slash = text.find(L'\\');
  std::wstring head = text.substr(0, slash);
  for (const RootName& name : kRoots) {
    if (_wcsicmp(head.c_str(), name.shortName) == 0 || _wcsicmp(head.c_str(), name.longName) == 0) {
      *root = name.root;
      *path = slash == std::wstring::npos ? std::wstring() : text.substr(slash + 1);
      return true;
    }
  }
  return false;
}

bool TakeFlag(Args& args, const wchar_t* name) {
  for (auto it = args.begin(); it != args.end(); ++it) {
    if (*it == name) {
      args.erase(it);
      return true;
    }
  }
  return false;
}

bool TakeOption(Args& args, const wchar_t* name, std::wstring* value, bool* missing) {
  *missing = false;
  for (auto it = args.begin(); it != args.end(); ++it) {
    if (*it != name) continue;
    if (it + 1 == args.end()) {
      *missing = true;
      args.erase(it);
      return false;
    }
    *value = *(it + 1);
    args.erase(it, it + 2);
    return true;
  }
  return false;
}

bool TakeView(Args& args, DWORD* section) {
  *section = 0;
  std::wstring view;
  bool missing = false;
  if (!TakeOption(args, L"--view", &view, &missing)) return !missing;
  if (view == L"64") {
    *section = KEY_WOW64_64KEY;
  } else if (view == L"32") {
    *section = KEY_WOW64_32KEY;
  } else {
    return false;
  }
  return true;
}

std::wstring TypeName(DWORD type) {
  switch (type) {
    case REG_NONE: return L"REG_NONE";
    case REG_SZ: return L"REG_SZ";
    case REG_EXPAND_SZ: return L"REG_EXPAND_SZ";
    case REG_BINARY: return L"REG_BINARY";
    case REG_DWORD: return L"REG_DWORD";
    case REG_DWORD_BIG_ENDIAN: return L"REG_DWORD_BIG_ENDIAN";
    case REG_LINK: return L"REG_LINK";
    case REG_MULTI_SZ: return L"REG_MULTI_SZ";
    case REG_QWORD: return L"REG_QWORD";
    default: return L"type " + std::to_wstring(type);
  }
}

std::wstring Hex(const BYTE* data, DWORD size) {
  static const wchar_t kDigits[] = L"0123456789abcdef";
  std::wstring text;
  for (DWORD i = 0; i < size; ++i) {
    if (i) text += L' ';
    text += kDigits[data[i] >> 4];
    text += kDigits[data[i] & 0xF];
  }
  return text;
}

namespace {
std::vector<Command>& Registry() {
  static std::vector<Command> commands;
  return commands;
}
}  // namespace

Registration::Registration(const Command& command) { Registry().push_back(command); }

std::vector<Command> Commands() {
  std::vector<Command> sorted = Registry();
  std::sort(sorted.begin(), sorted.end(),
            [](const Command& a, const Command& b) { return wcscmp(a.name, b.name) < 0; });
  return sorted;
}

}  // namespace cli
