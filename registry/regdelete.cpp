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

}  // namespace
}  // namespace zq::reg

using namespace zq::reg;

extern "C" int zqRegDeleteValue(HKEY hRoot, const wchar_t* pszKey, const wchar_t* pszValueName, DWORD dwSection) {
  Call call(L"zqRegDeleteValue", dwSection);
  if (!call.SectionAccepted()) return call.Finish(kBadArgument);
  if (!call.Given(pszKey && pszValueName, L"pszKey or pszValueName is NULL")) return call.Finish(kBadArgument);
  UniqueKey opened;
  if (!call.Open(hRoot, pszKey, KEY_SET_VALUE, opened)) return call.Finish(kSystemError);
  LSTATUS rc = RegDeleteValueW(opened.get(), pszValueName);
  ZQ_LOG_NAMED(call, zq::log::kDetail, "RegDeleteValue returns 0x%x", rc);
  opened.reset();
  return call.Finish(rc == ERROR_SUCCESS ? kOk : kSystemError);
}

// Without a section of its own the deletion goes to the 32-bit view.
extern "C" int zqRegDeleteKey(HKEY hRoot, const wchar_t* pszKey, BYTE bRecursive, DWORD dwSection) {
  Call call(L"zqRegDeleteKey", dwSection);
  if (!call.SectionAccepted()) return call.Finish(kBadArgument);
  if (!call.Given(pszKey, L"pszKey is NULL")) return call.Finish(kBadArgument);
  const DWORD view = dwSection != 0 ? dwSection : KEY_WOW64_32KEY;

  zq::UniqueModule advapi = zq::LoadModule(L"Advapi32.dll");
  if (!advapi) {
    ZQ_LOG_NAMED(call, zq::log::kDetail, "LoadLibrary(Advapi32.dll) failed");
    return call.Finish(kSystemError);
  }
  const bool recursive = bRecursive == kFlagSet;
  auto deleteKeyEx = zq::ProcAs<DeleteKeyExFn>(advapi.get(), "RegDeleteKeyExW");
  auto deleteTree = deleteKeyEx && recursive ? zq::ProcAs<DeleteTreeFn>(advapi.get(), "RegDeleteTreeW") : nullptr;

  // The deletion that the platform offers, and its name for the result line.
  LSTATUS rc;
  const wchar_t* deletion;
  if (deleteKeyEx && !recursive) {
    rc = deleteKeyEx(hRoot, pszKey, view, 0);
    deletion = L"RegDeleteKeyEx";
  } else if (deleteTree) {
    // The platform's tree deletion takes no view: the process's default one.
    rc = deleteTree(hRoot, pszKey);
    deletion = L"RegDeleteTree";
  } else if (recursive) {
    rc = zqRegDeleteSubKey(hRoot, pszKey, view, kFlagSet);  // a status, ZQ_REG_OK (0) on success
    deletion = L"zqRegDeleteSubKey";
  } else {
    rc = RegDeleteKeyW(hRoot, pszKey);
    deletion = L"RegDeleteKey";
  }
  zq::log::Line(zq::log::kDetail, L"%s : %s returns 0x%x", call.Name(), deletion, rc);
  advapi.reset();
  return call.Finish(rc == ERROR_SUCCESS ? kOk : kSystemError);
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
