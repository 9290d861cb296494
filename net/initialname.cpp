// The user name under which an account's profile was made: the profile
// folder keeps it when the account is renamed later.
#include <windows.h>
#include <sddl.h>

#include <string>

#include "netinternal.h"
#include "zqlog.h"
#include "zqnet.h"

namespace zq::net {
namespace {

constexpr const wchar_t kProfileListKey[] = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList\\";
constexpr DWORD kProfilePathBytes = 255;

BoolOutcome InitialUserName(const wchar_t* user, const wchar_t* domain, wchar_t* buffer, DWORD* count) {
  if (!*user) return BoolOutcome::Failure(ERROR_INVALID_PARAMETER);

  UniqueHeap<void> sid;
  if (!zqNetLookupUserNameW(user, domain, sid.put())) return BoolOutcome::Failure(GetLastError());

  UniqueLocal<wchar_t> sidText;
  if (!ConvertSidToStringSidW(sid.get(), sidText.put())) {
    return LoggedFailure(GetLastError(), L"zqNetGetInitialUserNameBeforeRenameW Cannot convert sid to string sid");
  }
  log::Line(log::kDetail, L"zqNetGetInitialUserNameBeforeRenameW SID : %s", sidText.get());

  const std::wstring path = std::wstring(kProfileListKey) + sidText.get();
  UniqueKey key;
  LSTATUS rc = RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_QUERY_VALUE, key.put());
  if (rc != ERROR_SUCCESS) {
    return LoggedFailure(rc, L"zqNetGetInitialUserNameBeforeRenameW Can't open registry key %s (%d)", path.c_str(), rc);
  }
  alignas(wchar_t) BYTE data[kProfilePathBytes + 1] = {};
  DWORD bytes = kProfilePathBytes;
  rc = RegQueryValueExW(key.get(), L"ProfileImagePath", nullptr, nullptr, data, &bytes);
  if (rc != ERROR_SUCCESS) {
    return LoggedFailure(rc, L"zqNetGetInitialUserNameBeforeRenameW Can't read registry value 'ProfileImagePath' (%d)",
                         rc);
  }

  const wchar_t* text = reinterpret_cast<const wchar_t*>(data);
  const std::wstring profilePath(text, BoundedLength(text, bytes / sizeof(wchar_t)));
  const size_t slash = profilePath.rfind(L'\\');
  if (profilePath.empty() || slash == profilePath.npos) {
    log::Line(log::kError, L"zqNetGetInitialUserNameBeforeRenameW invalid format for value 'ProfileImagePath': %s ",
              profilePath.c_str());
    return BoolOutcome::FailureWithoutError();
  }

  const std::wstring initialName = profilePath.substr(slash + 1);
  // Here a null buffer is too small, not a size query.
  if (!buffer || !CopyOut(initialName, buffer, count)) {
    *count = CountOf(initialName.size() + 1);
    return BoolOutcome::Failure(ERROR_MORE_DATA);
  }
  log::Line(log::kDetail, L"zqNetGetInitialUserNameBeforeRenameW Initial user name before rename ");
  return BoolOutcome::Success();
}

}  // namespace
}  // namespace zq::net

using namespace zq;
using namespace zq::net;

extern "C" BOOL zqNetGetInitialUserNameBeforeRenameW(const wchar_t* pszUserName, const wchar_t* pszDomainName,
                                                     wchar_t* pszBuffer, DWORD* pcchBuffer) {
  return AccountCall(L"zqNetGetInitialUserNameBeforeRenameW", L"%s current user name", L"%s domain name = %s",
                     pszUserName && pszDomainName && pcchBuffer, pszDomainName,
                     [&] { return InitialUserName(pszUserName, pszDomainName, pszBuffer, pcchBuffer); });
}
