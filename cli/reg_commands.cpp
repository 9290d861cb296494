// "reg" commands: everything goes through the library's registry exports.
#include <zqregistry.h>

#include <algorithm>
#include <cerrno>
#include <cwchar>
#include <cwctype>
#include <utility>

#include "cli.h"

namespace cli {
namespace {

// The library's statuses in words, the number kept.
std::wstring StatusText(int status, DWORD type = REG_NONE) {
  std::wstring number = L" (status " + std::to_wstring(status) + L")";
  switch (status) {
    case ZQ_REG_ERROR: return L"a system call failed" + number;
    case ZQ_REG_MORE_DATA: return L"buffer too small, the value changed while it was read" + number;
    case ZQ_REG_BAD_ARGUMENT: return L"the library refused the section (view)" + number;
    case ZQ_REG_WRONG_TYPE: return L"wrong type, the library does not read " + TypeName(type) + L" values" + number;
    default: return L"unknown status" + number;
  }
}

std::wstring KeyText(const std::wstring& key) { return L"key '" + key + L"'"; }

std::wstring ValueText(const wchar_t* value, const std::wstring& key) {
  if (!value || !*value) return L"the default value of " + KeyText(key);
  return L"value '" + std::wstring(value) + L"' of " + KeyText(key);
}

// The library answers -1 alike for a missing key, a missing value, an empty
// key and a refused call: the tool looks at the key itself to tell them apart.
struct KeyProbe {
  LONG open = ERROR_SUCCESS;
  LONG value = ERROR_SUCCESS;
  DWORD subkeys = 0;
  DWORD values = 0;
};

KeyProbe Probe(HKEY root, const std::wstring& path, const wchar_t* value, DWORD section, REGSAM access = KEY_READ) {
  KeyProbe probe;
  HKEY key = nullptr;
  probe.open = RegOpenKeyExW(root, path.c_str(), 0, access | section, &key);
  if (probe.open != ERROR_SUCCESS) return probe;
  RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &probe.subkeys, nullptr, nullptr, &probe.values, nullptr, nullptr,
                   nullptr, nullptr);
  if (access & KEY_QUERY_VALUE) probe.value = RegQueryValueExW(key, value, nullptr, nullptr, nullptr, nullptr);
  RegCloseKey(key);
  return probe;
}

// Key missing or not to be opened: the message; else empty.
std::wstring KeyProblem(const KeyProbe& probe, const std::wstring& key) {
  if (probe.open == ERROR_FILE_NOT_FOUND) return KeyText(key) + L" not found (status -1)";
  if (probe.open != ERROR_SUCCESS) return L"cannot open " + KeyText(key) + L": " + Win32Text(probe.open);
  return L"";
}

// verb: what the tool was doing with the value, "read" or "delete".
int ValueFailed(const wchar_t* verb, int status, DWORD type, HKEY root, const std::wstring& path,
                const std::wstring& key, const wchar_t* value, DWORD section) {
  if (status != ZQ_REG_ERROR) return Fail(std::wstring(L"cannot ") + verb + L" " + ValueText(value, key) + L": " + StatusText(status, type));
  KeyProbe probe = Probe(root, path, value, section);
  std::wstring problem = KeyProblem(probe, key);
  if (!problem.empty()) return Fail(problem);
  if (probe.value == ERROR_FILE_NOT_FOUND) {
    if (!value || !*value) return Fail(KeyText(key) + L" has no default value (status -1)");
    return Fail(L"value '" + std::wstring(value) + L"' not found in " + KeyText(key) + L" (status -1)");
  }
  return Fail(std::wstring(L"cannot ") + verb + L" " + ValueText(value, key) + L": " +
              (probe.value != ERROR_SUCCESS ? Win32Text(probe.value) : StatusText(status)));
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
  if (int usage = UnknownOption(args)) return usage;
  if (args.empty() || args.size() > 2) return Usage(L"reg get ROOT\\path [VALUE] [--view 32|64]");
  HKEY root = nullptr;
  std::wstring path;
  if (!ParseKeyPath(args[0], &root, &path)) return Usage(L"unknown registry root in '" + args[0] + L"'");
  const wchar_t* valueName = args.size() == 2 ? args[1].c_str() : nullptr;

  // First the type and size, then the data with that type.
  DWORD type = 0;
  DWORD size = 0;
  int status = zqRegReadValueEx(root, path.c_str(), valueName, &type, nullptr, &size, section);
  if (status != ZQ_REG_OK) return ValueFailed(L"read", status, type, root, path, args[0], valueName, section);

  std::vector<BYTE> data(size + sizeof(wchar_t) * 2, 0);
  if (type == REG_DWORD || type == REG_QWORD) size = type == REG_DWORD ? 4 : 8;
  status = zqRegReadValueEx(root, path.c_str(), valueName, &type, data.data(), &size, section);
  if (status != ZQ_REG_OK) return ValueFailed(L"read", status, type, root, path, args[0], valueName, section);

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

// "12", "0x1f" or "4294967295" into a DWORD; nothing else.
bool ParseDword(const std::wstring& text, DWORD* value) {
  if (text.empty() || text[0] == L'-' || text[0] == L'+') return false;
  wchar_t* end = nullptr;
  errno = 0;
  unsigned long long parsed = wcstoull(text.c_str(), &end, 0);
  if (errno != 0 || *end != L'\0' || parsed > 0xFFFFFFFFull) return false;
  *value = static_cast<DWORD>(parsed);
  return true;
}

// "dead01", "de ad 01" or "de:ad:01" into bytes.
bool ParseHex(const std::wstring& text, std::vector<BYTE>* bytes) {
  std::wstring digits;
  for (wchar_t c : text) {
    if (c == L' ' || c == L':') continue;
    if (!iswxdigit(c)) return false;
    digits += c;
  }
  if (digits.size() % 2 != 0) return false;
  for (size_t i = 0; i < digits.size(); i += 2) {
    bytes->push_back(static_cast<BYTE>(wcstoul(digits.substr(i, 2).c_str(), nullptr, 16)));
  }
  return true;
}

// "REG_SZ", "sz", "REG_DWORD", "dword", ... or a number.
bool ParseType(const std::wstring& text, DWORD* type) {
  static const struct {
    const wchar_t* name;
    DWORD type;
  } kTypes[] = {{L"sz", REG_SZ},         {L"expand_sz", REG_EXPAND_SZ}, {L"binary", REG_BINARY},
                {L"dword", REG_DWORD},   {L"multi_sz", REG_MULTI_SZ},   {L"qword", REG_QWORD},
                {L"none", REG_NONE}};
  std::wstring name = text;
  if (name.size() > 4 && _wcsnicmp(name.c_str(), L"REG_", 4) == 0) name = name.substr(4);
  for (const auto& known : kTypes) {
    if (_wcsicmp(name.c_str(), known.name) == 0) {
      *type = known.type;
      return true;
    }
  }
  return ParseDword(text, type);
}

const wchar_t kSetUsage[] =
    L"reg set ROOT\\path VALUE --dword N | --string S | --multi S1 S2... | --binary HEX [--view 32|64]";

int RegSet(Args args) {
  DWORD section = 0;
  if (!TakeView(args, &section)) return Usage(L"--view takes 32 or 64");

  // --multi takes every argument after it.
  std::vector<std::wstring> multi;
  bool isMulti = false;
  for (auto it = args.begin(); it != args.end(); ++it) {
    if (*it == L"--multi") {
      multi.assign(it + 1, args.end());
      args.erase(it, args.end());
      isMulti = true;
      break;
    }
  }
  std::wstring dword, text, hex;
  bool missing = false;
  bool isDword = TakeOption(args, L"--dword", &dword, &missing);
  if (missing) return Usage(L"--dword needs a number");
  bool isString = TakeOption(args, L"--string", &text, &missing);
  if (missing) return Usage(L"--string needs a text");
  bool isBinary = TakeOption(args, L"--binary", &hex, &missing);
  if (missing) return Usage(L"--binary needs hex digits");
  if (int usage = UnknownOption(args)) return usage;
  if (isDword + isString + isMulti + isBinary != 1 || args.size() != 2) return Usage(kSetUsage);

  HKEY root = nullptr;
  std::wstring path;
  if (!ParseKeyPath(args[0], &root, &path)) return Usage(L"unknown registry root in '" + args[0] + L"'");
  const wchar_t* valueName = args[1].c_str();

  int status = ZQ_REG_OK;
  if (isDword) {
    DWORD value = 0;
    if (!ParseDword(dword, &value)) return Usage(L"--dword takes a number from 0 to 4294967295 (or 0x...)");
    status = zqRegWriteDWORDValueEx(root, path.c_str(), valueName, value, section);
  } else if (isString) {
    // The stored string keeps its terminator.
    status = zqRegWriteStringValueEx(root, path.c_str(), valueName, text.c_str(),
                                     static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)), section);
  } else if (isMulti) {
    if (multi.empty()) return Usage(L"--multi needs at least one string");
    std::wstring block;
    for (const std::wstring& item : multi) {
      if (item.empty()) return Usage(L"--multi cannot hold an empty string");
      block += item;
      block += L'\0';
    }
    block += L'\0';
    status = zqRegWriteMultiStringValueEx(root, path.c_str(), valueName, block.data(),
                                          static_cast<DWORD>(block.size() * sizeof(wchar_t)), section);
  } else {
    std::vector<BYTE> bytes;
    if (!ParseHex(hex, &bytes)) return Usage(L"--binary takes pairs of hex digits, such as 'de ad 01'");
    status = zqRegWriteBinaryValueEx(root, path.c_str(), valueName, bytes.data(), static_cast<DWORD>(bytes.size()),
                                     section);
  }
  if (status == ZQ_REG_OK) return kExitOk;
  std::wstring what = L"cannot write " + ValueText(valueName, args[0]) + L": ";
  if (status != ZQ_REG_ERROR) return Fail(what + StatusText(status));
  KeyProbe probe = Probe(root, path, valueName, section, KEY_SET_VALUE);
  if (probe.open != ERROR_SUCCESS && probe.open != ERROR_FILE_NOT_FOUND) return Fail(what + Win32Text(probe.open));
  return Fail(what + L"the key could not be created or the value not written (status -1)");
}

// Lists with the count asked first; lists again with more room when the key
// grew in between, so that every name is printed.
template <typename Element, typename ListFn>
bool ListAll(ListFn list, std::vector<Element>* elements, const Element& blank, int* status) {
  int count = 0;
  *status = list(nullptr, &count);
  if (*status != ZQ_REG_OK) return false;
  for (int capacity = count + 16;; capacity *= 2) {
    elements->assign(static_cast<size_t>(capacity), blank);
    count = capacity;
    *status = list(elements->data(), &count);
    if (*status != ZQ_REG_OK) return false;
    if (count < capacity) break;
  }
  elements->resize(static_cast<size_t>(count));
  return true;
}

int ListFailed(int status, HKEY root, const std::wstring& path, const std::wstring& key, DWORD section, bool values) {
  std::wstring what = values ? L"values" : L"subkeys";
  if (status != ZQ_REG_ERROR) return Fail(L"cannot list the " + what + L" of " + KeyText(key) + L": " + StatusText(status));
  KeyProbe probe = Probe(root, path, nullptr, section);
  std::wstring problem = KeyProblem(probe, key);
  if (!problem.empty()) return Fail(problem);
  if ((values ? probe.values : probe.subkeys) == 0) return Fail(KeyText(key) + L" has no " + what + L" (status -1)");
  return Fail(L"cannot list the " + what + L" of " + KeyText(key) + L": " + StatusText(status));
}

int RegLs(Args args) {
  DWORD section = 0;
  if (!TakeView(args, &section)) return Usage(L"--view takes 32 or 64");
  bool values = TakeFlag(args, L"--values");
  std::wstring typeText;
  bool missing = false;
  bool filtered = TakeOption(args, L"--type", &typeText, &missing);
  if (missing) return Usage(L"--type needs a registry type");
  if (filtered && !values) return Usage(L"--type goes with --values");
  if (int usage = UnknownOption(args)) return usage;
  if (args.size() != 1) return Usage(L"reg ls ROOT\\path [--values [--type T]] [--view 32|64]");
  HKEY root = nullptr;
  std::wstring path;
  if (!ParseKeyPath(args[0], &root, &path)) return Usage(L"unknown registry root in '" + args[0] + L"'");
  DWORD filter = ZQ_REG_ANY_TYPE;
  if (filtered && !ParseType(typeText, &filter)) return Usage(L"unknown registry type '" + typeText + L"'");

  int status = ZQ_REG_OK;
  if (!values) {
    std::vector<ZQ_REG_SUBKEY_SLOT> slots;
    auto list = [&](ZQ_REG_SUBKEY_SLOT* array, int* count) {
      return zqRegListKeysEx(root, path.c_str(), array, count, section);
    };
    if (!ListAll(list, &slots, ZQ_REG_SUBKEY_SLOT{}, &status)) return ListFailed(status, root, path, args[0], section, false);
    for (const ZQ_REG_SUBKEY_SLOT& slot : slots) Out(slot.szName);
    return kExitOk;
  }

  // Entries that the filter refuses keep this type, which no value has here.
  ZQ_REG_VALUE_ENTRY blank{};
  blank.dwType = ZQ_REG_ANY_TYPE;
  std::vector<ZQ_REG_VALUE_ENTRY> entries;
  auto list = [&](ZQ_REG_VALUE_ENTRY* array, int* count) {
    return zqRegListValueNamesEx(root, path.c_str(), array, count, filter, section);
  };
  if (!ListAll(list, &entries, blank, &status)) return ListFailed(status, root, path, args[0], section, true);
  std::vector<std::pair<std::wstring, DWORD>> rows;
  size_t width = 0;
  for (const ZQ_REG_VALUE_ENTRY& entry : entries) {
    if (entry.dwType == ZQ_REG_ANY_TYPE) continue;
    rows.emplace_back(entry.szName[0] ? entry.szName : L"(default)", entry.dwType);
    width = std::max(width, rows.back().first.size());
  }
  // The type column starts at the same place on every line.
  for (const auto& row : rows) Out(row.first + std::wstring(width - row.first.size() + 2, L' ') + TypeName(row.second));
  return kExitOk;
}

int RegDel(Args args) {
  DWORD section = 0;
  bool viewGiven = std::find(args.begin(), args.end(), L"--view") != args.end();
  if (!TakeView(args, &section)) return Usage(L"--view takes 32 or 64");
  bool tree = TakeFlag(args, L"--tree");
  if (int usage = UnknownOption(args)) return usage;
  if (args.empty() || args.size() > 2 || (tree && args.size() == 2)) {
    return Usage(L"reg del ROOT\\path [VALUE] [--tree] [--view 32|64]");
  }
  HKEY root = nullptr;
  std::wstring path;
  if (!ParseKeyPath(args[0], &root, &path)) return Usage(L"unknown registry root in '" + args[0] + L"'");

  if (args.size() == 2) {
    const wchar_t* value = args[1].c_str();
    int status = zqRegDeleteValue(root, path.c_str(), value, section);
    if (status == ZQ_REG_OK) return kExitOk;
    return ValueFailed(L"delete", status, REG_NONE, root, path, args[0], value, section);
  }
  // The library deletes a key in the 32-bit view when given no view; the tool
  // deletes where its other commands look by default, the 64-bit view.
  if (!viewGiven && !tree) section = KEY_WOW64_64KEY;
  int status = zqRegDeleteKey(root, path.c_str(), tree ? 1 : 0, section);
  if (status == ZQ_REG_OK) return kExitOk;
  std::wstring what = L"cannot delete " + KeyText(args[0]) + L": ";
  if (status != ZQ_REG_ERROR) return Fail(what + StatusText(status));
  KeyProbe probe = Probe(root, path, nullptr, section);
  std::wstring problem = KeyProblem(probe, args[0]);
  if (!problem.empty()) return Fail(problem);
  if (!tree && probe.subkeys > 0) return Fail(what + L"it has subkeys (give --tree to delete them too) (status -1)");
  return Fail(what + StatusText(status));
}

int RunReg(Args args) {
  if (args.empty()) return Usage(L"reg needs a command: get, set, ls or del");
  std::wstring command = args[0];
  args.erase(args.begin());
  if (command == L"get") return RegGet(args);
  if (command == L"set") return RegSet(args);
  if (command == L"ls") return RegLs(args);
  if (command == L"del") return RegDel(args);
  return Usage(L"unknown reg command '" + command + L"'");
}

const wchar_t kRegHelp[] =
    L"Registry (ROOT is HKLM, HKCU, HKCR, HKU or HKCC, or the long name):\n"
    L"  reg get ROOT\\path [VALUE] [--view 32|64]\n"
    L"      Print the value's type and data (the default value when VALUE is\n"
    L"      left out): DWORD, QWORD, string, multi-string, binary as hex.\n"
    L"  reg set ROOT\\path VALUE --dword N | --string S | --multi S1 S2... | --binary HEX\n"
    L"          [--view 32|64]\n"
    L"      Write one value (\"\" names the default value), creating the key and\n"
    L"      its missing parents. N is decimal or 0x-hex; HEX is pairs of digits.\n"
    L"  reg ls ROOT\\path [--values [--type T]] [--view 32|64]\n"
    L"      Print every subkey name, or with --values every value's name and type\n"
    L"      (T: REG_SZ, REG_DWORD, REG_MULTI_SZ, REG_BINARY, ... or a number).\n"
    L"      A key without subkeys (or values) answers as an error.\n"
    L"  reg del ROOT\\path [VALUE] [--tree] [--view 32|64]\n"
    L"      Delete one value, or the key (which must have no subkeys), or with\n"
    L"      --tree the key and everything below it. Without --view a key is\n"
    L"      deleted in the 64-bit view and a tree in the default view.";

const Registration kReg{{L"reg", kRegHelp, RunReg}};

}  // namespace

}  // namespace cli
