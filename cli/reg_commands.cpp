// "reg" commands: everything goes through the library's registry exports.
#include <zqregistry.h>

#include <cwchar>

#include "cli.h"

namespace cli {
namespace {

int Failed(const wchar_t* what, int status) {
  Err(std::wstring(L"zqplatutil: ") + what + L" failed with status " + std::to_wstring(status));
  return kExitFailed;
}

// Prints each string of a REG_MULTI_SZ block on its own line.
void PrintMulti(const wchar_t* data, DWORD bytes) {
  size_t chars = bytes / sizeof(wchar_t);
  size_t start = 0;
  while (start < chars && data[start] != L'\0') {
    size_t end = start;
    while (end < chars && data[end] != L'\0') ++end;
    Out(L"  " + std::wstring(data + start, end - start));
    start = end + 1;
  }
}

int RegGet(Args args) {
  DWORD section = 0;
  if (!TakeView(args, &section)) return Usage(L"--view takes 32 or 64");
  if (args.empty() || args.size() > 2) return Usage(L"reg get ROOT\\path [VALUE] [--view 32|64]");
  HKEY root = nullptr;
  std::wstring path;
  if (!ParseKeyPath(args[0], &root, &path)) return Usage(L"unknown registry root in '" + args[0] + L"'");
  const wchar_t* valueName = args.size() == 2 ? args[1].c_str() : nullptr;

  // First the type and size, then the data with that type.
  DWORD type = 0;
  DWORD size = 0;
  int status = zqRegReadValueEx(root, path.c_str(), valueName, &type, nullptr, &size, section);
  if (status != ZQ_REG_OK) return Failed(L"zqRegReadValueEx", status);

  std::vector<BYTE> data(size + sizeof(wchar_t) * 2, 0);
  if (type == REG_DWORD || type == REG_QWORD) size = type == REG_DWORD ? 4 : 8;
  status = zqRegReadValueEx(root, path.c_str(), valueName, &type, data.data(), &size, section);
  if (status == ZQ_REG_WRONG_TYPE) {
    Err(L"zqplatutil: the library does not read " + TypeName(type) + L" values");
    return kExitFailed;
  }
  if (status != ZQ_REG_OK) return Failed(L"zqRegReadValueEx", status);

  switch (type) {
    case REG_DWORD: {
      DWORD value = 0;
      memcpy(&value, data.data(), sizeof value);
      wchar_t text[48];
      _snwprintf(text, 48, L"REG_DWORD 0x%08lx (%lu)", value, value);
      Out(text);
      break;
    }
    case REG_QWORD: {
      ULONGLONG value = 0;
      memcpy(&value, data.data(), sizeof value);
      wchar_t text[64];
      _snwprintf(text, 64, L"REG_QWORD 0x%016I64x (%I64u)", value, value);
      Out(text);
      break;
    }
    case REG_SZ:
      Out(L"REG_SZ " + std::wstring(reinterpret_cast<const wchar_t*>(data.data())));
      break;
    case REG_MULTI_SZ:
      Out(L"REG_MULTI_SZ");
      PrintMulti(reinterpret_cast<const wchar_t*>(data.data()), size);
      break;
    default:
      Out(L"REG_BINARY " + Hex(data.data(), size));
      break;
  }
  return kExitOk;
}

int RunReg(Args args) {
  if (args.empty()) return Usage(L"reg needs a command: get");
  std::wstring command = args[0];
  args.erase(args.begin());
  if (command == L"get") return RegGet(args);
  return Usage(L"unknown reg command '" + command + L"'");
}

const wchar_t kRegHelp[] =
    L"Registry (ROOT is HKLM, HKCU, HKCR, HKU or HKCC, or the long name):\n"
    L"  reg get ROOT\\path [VALUE] [--view 32|64]\n"
    L"      Print the value's type and data (the default value when VALUE is\n"
    L"      left out): DWORD, QWORD, string, multi-string, binary as hex.";

const Registration kReg{{L"reg", kRegHelp, RunReg}};

}  // namespace

}  // namespace cli
