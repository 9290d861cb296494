// The user name under which an account's profile was made: the profile
// folder keeps it when the account is renamed later.
#include <windows.h>
#include <sddl.h>

#include <string>

#include "netinternal.h"
#include "nettext.h"
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
    DWORD error = GetLastError();
    log::Line(log::kError, L"zqNetGetInitialUserNameBeforeRenameW Cannot convert sid to string sid");
    return BoolOutcome::Failure(error);
  }
  log::Line(log::kDetail, L"zqNetGetInitialUserNameBeforeRenameW SID : %s", sidText.get());

  const std::wstring path = std::wstring(kProfileListKey) + sidText.get();
  UniqueKey key;
  LSTATUS rc = RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_QUERY_VALUE, key.put());
  if (rc != ERROR_SUCCESS) {
    log::Line(log::kError, L"zqNetGetInitialUserNameBeforeRenameW Can't open registry key %s (%d)", path.c_str(), rc);
    return BoolOutcome::Failure(rc);
  }
  alignas(wchar_t) BYTE data[kProfilePathBytes + 1] = {};
  DWORD bytes = kProfilePathBytes;
  rc = RegQueryValueExW(key.get(), L"ProfileImagePath", nullptr, nullptr, data, &bytes);
  if (rc != ERROR_SUCCESS) {
    log::Line(log::kError, L"zqNetGetInitialUserNameBeforeRenameW Can't read registry value 'ProfileImagePath' (%d)",
              rc);
    return BoolOutcome::Failure(rc);
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
  const DWORD needed = CountOf(initialName.size() + 1);
  if (!buffer || *count <= initialName.size()) {
    *count = needed;
    return BoolOutcome::Failure(ERROR_MORE_DATA);
  }
  CopyWithTerminator(buffer, initialName);
  *count = needed;
  log::Line(log::kDetail, L"zqNetGetInitialUserNameBeforeRenameW Initial user name before rename ");
  return BoolOutcome::Success();
}

}  // namespace
}  // namespace zq::net

using namespace zq;
using namespace zq::net;

extern "C" BOOL zqNetGetInitialUserNameBeforeRenameW(const wchar_t* pszUserName, const wchar_t* pszDomainName,
                                                     wchar_t* pszBuffer, DWORD* pcchBuffer) {
  DWORD callerError = GetLastError();
  log::Line(log::kEntry, L"zqNetGetInitialUserNameBeforeRenameW");
  BoolOutcome outcome = BoolOutcome::Failure(ERROR_INVALID_PARAMETER);
  if (!pszUserName || !pszDomainName || !pcchBuffer) {
    log::Line(log::kError, L"zqNetGetInitialUserNameBeforeRenameW invalid parameter");
  } else {
    log::Line(log::kDetail, L"zqNetGetInitialUserNameBeforeRenameW current user name");
    log::Line(log::kDetail, L"zqNetGetInitialUserNameBeforeRenameW domain name = %s", pszDomainName);
    outcome = InitialUserName(pszUserName, pszDomainName, pszBuffer, pcchBuffer);
  }
  log::Line(log::kExit, L"zqNetGetInitialUserNameBeforeRenameW");
  return outcome.Deliver(callerError);
}
