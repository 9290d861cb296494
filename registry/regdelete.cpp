// Deletion of one value, of one key, and of a key's subtree.
#include <cwchar>

#include "regframe.h"

namespace zq::reg {
namespace {

constexpr BYTE kFlagSet = 1;           // any other byte is "not set"
constexpr DWORD kChildNameCch = 260;   // the subtree walk's name buffer
constexpr size_t kChildPathCch = 780;  // "parent\child" with terminator

using DeleteKeyExFn = LSTATUS(WINAPI*)(HKEY, const wchar_t*, REGSAM, DWORD);
using DeleteTreeFn = LSTATUS(WINAPI*)(HKEY, const wchar_t*);

// Without a section of its own the deletion goes to the 32-bit view.
int DeleteKey(HKEY root, const wchar_t* key, BYTE recursive, DWORD section) {
  Call call(L"zqRegDeleteKey", section);
  if (!call.SectionAccepted()) return call.Finish(kBadArgument);
  if (!key) {
    ZQ_LOG_NAMED(call.Log(), log::kDetail, "pszKey is NULL");
    return call.Finish(kBadArgument);
  }
  const DWORD view = section != 0 ? section : KEY_WOW64_32KEY;

  UniqueModule advapi = LoadModule(L"Advapi32.dll");
  if (!advapi) {
    ZQ_LOG_NAMED(call.Log(), log::kDetail, "LoadLibrary(Advapi32.dll) failed");
    return call.Finish(kSystemError);
  }

  int status = kSystemError;
  auto deleteKeyEx = ProcAs<DeleteKeyExFn>(advapi.get(), "RegDeleteKeyExW");
  DeleteTreeFn deleteTree = nullptr;
  if (deleteKeyEx && recursive == kFlagSet) {
    deleteTree = ProcAs<DeleteTreeFn>(advapi.get(), "RegDeleteTreeW");
  }

  if (deleteKeyEx && recursive != kFlagSet) {
    LSTATUS rc = deleteKeyEx(root, key, view, 0);
    status = rc == ERROR_SUCCESS ? kOk : kSystemError;
    ZQ_LOG_NAMED(call.Log(), log::kDetail, "RegDeleteKeyEx returns 0x%x", rc);
  } else if (deleteTree) {
    // The platform's tree deletion takes no view: the process's default one.
    LSTATUS rc = deleteTree(root, key);
    status = rc == ERROR_SUCCESS ? kOk : kSystemError;
    ZQ_LOG_NAMED(call.Log(), log::kDetail, "RegDeleteTree returns 0x%x", rc);
  } else if (recursive == kFlagSet) {
    int walked = zqRegDeleteSubKey(root, key, view, kFlagSet);
    status = walked == kOk ? kOk : kSystemError;
    ZQ_LOG_NAMED(call.Log(), log::kDetail, "zqRegDeleteSubKey returns 0x%x", walked);
  } else {
    LSTATUS rc = RegDeleteKeyW(root, key);
    status = rc == ERROR_SUCCESS ? kOk : kSystemError;
    ZQ_LOG_NAMED(call.Log(), log::kDetail, "RegDeleteKey returns 0x%x", rc);
  }
  advapi.reset();
  return call.Finish(status);
}

}  // namespace
}  // namespace zq::reg

using namespace zq::reg;

extern "C" int zqRegDeleteValue(HKEY hRoot, const wchar_t* pszKey, const wchar_t* pszValueName, DWORD dwSection) {
  Call call(L"zqRegDeleteValue", dwSection);
  if (!call.SectionAccepted()) return call.Finish(kBadArgument);
  if (!pszKey || !pszValueName) {
    ZQ_LOG_NAMED(call.Log(), zq::log::kDetail, "pszKey or pszValueName is NULL");
    return call.Finish(kBadArgument);
  }
  UniqueKey opened;
  LSTATUS rc = RegOpenKeyExW(hRoot, pszKey, 0, call.Access(KEY_SET_VALUE), opened.put());
  if (rc != ERROR_SUCCESS) {
    ZQ_LOG_NAMED(call.Log(), zq::log::kDetail, "RegOpenKeyEx failed 0x%x", rc);
    return call.Finish(kSystemError);
  }
  rc = RegDeleteValueW(opened.get(), pszValueName);
  ZQ_LOG_NAMED(call.Log(), zq::log::kDetail, "RegDeleteValue returns 0x%x", rc);
  opened.reset();
  return call.Finish(rc == ERROR_SUCCESS ? kOk : kSystemError);
}

extern "C" int zqRegDeleteKey(HKEY hRoot, const wchar_t* pszKey, BYTE bRecursive, DWORD dwSection) {
  return DeleteKey(hRoot, pszKey, bRecursive, dwSection);
}

// No entry line: it is also the recursive step of its own walk and the
// fallback of zqRegDeleteKey. Keys are opened and deleted in the default view.
extern "C" int zqRegDeleteSubKey(HKEY hRoot, const wchar_t* pszKey, DWORD dwSection, BYTE bDeleteSelf) {
  static constexpr const wchar_t kName[] = L"zqRegDeleteSubKey";
  auto finish = [](int status) {
    zq::log::Line(zq::log::kExit, L"%s : ret=(%d)", kName, status);
    return status;
  };
  if (!IsAcceptedSection(dwSection)) {
    zq::log::Line(zq::log::kError, L"%s : Desired registry section incorrect (0x%x)", kName, dwSection);
    return finish(kBadArgument);
  }
  // A null path would make the root itself the key to empty.
  if (!pszKey) {
    zq::log::Line(zq::log::kDetail, L"%s : pszKey is NULL", kName);
    return finish(kBadArgument);
  }
  const bool deleteSelf = bDeleteSelf == kFlagSet;

  // A key without subkeys goes at once, without being opened.
  if (deleteSelf && RegDeleteKeyW(hRoot, pszKey) == ERROR_SUCCESS) {
    zq::log::Line(zq::log::kDetail, L"%s : RegDeleteKey returns 0x%x", kName, ERROR_SUCCESS);
    return finish(kOk);
  }

  UniqueKey opened;
  LSTATUS rc = RegOpenKeyExW(hRoot, pszKey, 0, KEY_READ, opened.put());
  if (rc != ERROR_SUCCESS) {
    zq::log::Line(zq::log::kDetail, L"%s : RegOpenKeyEx failed 0x%x", kName, rc);
    return finish(kSystemError);
  }

  // Always index 0: each deleted child moves the next one up.
  wchar_t child[kChildNameCch] = {};
  wchar_t childPath[kChildPathCch] = {};
  DWORD length = kChildNameCch;
  while (RegEnumKeyExW(opened.get(), 0, child, &length, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS) {
    int written = _snwprintf(childPath, kChildPathCch, L"%s\\%s", pszKey, child);
    // A path that does not fit cannot name the child: the walk ends as on a denied child.
    if (written < 0 || static_cast<size_t>(written) >= kChildPathCch) break;
    if (zqRegDeleteSubKey(hRoot, childPath, dwSection, kFlagSet) != kOk) break;
    std::wmemset(childPath, L'\0', kChildPathCch);
    length = kChildNameCch;
  }
  opened.reset();

  if (!deleteSelf) return finish(kOk);
  return finish(RegDeleteKeyW(hRoot, pszKey) == ERROR_SUCCESS ? kOk : kSystemError);
}
