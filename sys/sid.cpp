// Account SIDs, SIDs as text and the user of a token as text.
#include <string>

#include "unique.h"
#include "zqlog.h"
#include "zqsys.h"

namespace zq::sys {
namespace {

// The wide and narrow system calls behind each form.
template <typename Char>
struct Api;

template <>
struct Api<wchar_t> {
  static BOOL Lookup(const wchar_t* account, PSID sid, DWORD* sidSize, wchar_t* domain, DWORD* domainSize,
                     SID_NAME_USE* use) {
    return LookupAccountNameW(nullptr, account, sid, sidSize, domain, domainSize, use);
  }
  static constexpr const wchar_t* kEntryFormat = L"zqSysGetUserSID(%s,%p)";
};

template <>
struct Api<char> {
  static BOOL Lookup(const char* account, PSID sid, DWORD* sidSize, char* domain, DWORD* domainSize,
                     SID_NAME_USE* use) {
    return LookupAccountNameA(nullptr, account, sid, sidSize, domain, domainSize, use);
  }
  static constexpr const wchar_t* kEntryFormat = L"zqSysGetUserSID(%S,%p)";
};

template <typename Char>
DWORD GetUserSid(const std::basic_string<Char>& user, const std::basic_string<Char>& domain, void*& sid) {
  log::Operation op(L"zqSysGetUserSID", Api<Char>::kEntryFormat, domain.c_str(), sid);
  const std::basic_string<Char> account = domain + Char('\\') + user;
  sid = nullptr;

  DWORD sidSize = 0;
  DWORD domainSize = 0;
  SID_NAME_USE use;
  if (Api<Char>::Lookup(account.c_str(), nullptr, &sidSize, nullptr, &domainSize, &use)) {
    return op.Exit(DWORD{ERROR_SUCCESS}, L"%s (%d)");
  }
  DWORD status = GetLastError();
  if (status != ERROR_INSUFFICIENT_BUFFER) {
    log::Line(log::kError, L"zqSysGetUserSID Unable to lookup for the SID of the account (%d)", status);
    return op.Exit(status, L"%s (%d)");
  }

  // The SID goes to the caller as soon as it exists, whatever happens next.
  sid = std::calloc(sidSize, 1);
  UniqueCrt<Char> domainName = CallocArray<Char>(domainSize);
  if (!sid || !domainName) {
    log::Line(log::kError, L"zqSysGetUserSID Memory allocation failed\n");
    return op.Exit(DWORD{ERROR_NOT_ENOUGH_MEMORY}, L"%s (%d)");
  }
  if (!Api<Char>::Lookup(account.c_str(), sid, &sidSize, domainName.get(), &domainSize, &use)) {
    status = GetLastError();
    log::Line(log::kError, L"zqSysGetUserSID Unable to lookup for the SID of the account (%d)", status);
    return op.Exit(status, L"%s (%d)");
  }
  return op.Exit(DWORD{ERROR_SUCCESS}, L"%s (%d)");
}

// The characters a SID's text may need: "S-1-" and the authority, then up to
// eleven characters per sub-authority, with room to spare.
constexpr DWORD RequiredChars(DWORD subAuthorities) { return 28 + 12 * subAuthorities; }

// The text form of a SID, written with the platform's wsprintf of each width.
template <typename Char>
struct Text;

template <>
struct Text<wchar_t> {
  static int Print(wchar_t* out, const wchar_t* format, unsigned long value) { return wsprintfW(out, format, value); }
  static int PrintAuthority(wchar_t* out, const BYTE* v) {
    return wsprintfW(out, L"0x%02hx%02hx%02hx%02hx%02hx%02hx", USHORT{v[0]}, USHORT{v[1]}, USHORT{v[2]},
                     USHORT{v[3]}, USHORT{v[4]}, USHORT{v[5]});
  }
  static constexpr const wchar_t* kRevision = L"S-%lu-";
  static constexpr const wchar_t* kNumber = L"%lu";
  static constexpr const wchar_t* kSubAuthority = L"-%lu";
};

template <>
struct Text<char> {
  static int Print(char* out, const char* format, unsigned long value) { return wsprintfA(out, format, value); }
  static int PrintAuthority(char* out, const BYTE* v) {
    return wsprintfA(out, "0x%02hx%02hx%02hx%02hx%02hx%02hx", USHORT{v[0]}, USHORT{v[1]}, USHORT{v[2]},
                     USHORT{v[3]}, USHORT{v[4]}, USHORT{v[5]});
  }
  static constexpr const char* kRevision = "S-%lu-";
  static constexpr const char* kNumber = "%lu";
  static constexpr const char* kSubAuthority = "-%lu";
};

template <typename Char>
BOOL ConvertSid(PSID sid, Char* text, DWORD* size) {
  if (!sid) {
    SetLastError(ERROR_INVALID_SID);
    return FALSE;
  }
  if (!IsValidSid(sid)) return FALSE;  // the system's last error stands
  if (!size) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const DWORD subAuthorities = *GetSidSubAuthorityCount(sid);
  const DWORD required = RequiredChars(subAuthorities) * sizeof(Char);
  if (*size < required) {
    *size = required;
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  if (!text) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }

  // The revision is always written as 1, the only one there is.
  Char* out = text + Text<Char>::Print(text, Text<Char>::kRevision, 1);
  const BYTE* authority = GetSidIdentifierAuthority(sid)->Value;
  if (authority[0] != 0 || authority[1] != 0) {
    out += Text<Char>::PrintAuthority(out, authority);
  } else {
    unsigned long value = (static_cast<unsigned long>(authority[2]) << 24) |
                          (static_cast<unsigned long>(authority[3]) << 16) |
                          (static_cast<unsigned long>(authority[4]) << 8) | authority[5];
    out += Text<Char>::Print(out, Text<Char>::kNumber, value);
  }
  for (DWORD i = 0; i < subAuthorities; ++i) {
    out += Text<Char>::Print(out, Text<Char>::kSubAuthority, *GetSidSubAuthority(sid, i));
  }
  return TRUE;
}

template <typename Char>
BOOL ObtainSid(HANDLE token, Char* text, DWORD* size) {
  DWORD needed = 0;
  if (GetTokenInformation(token, TokenUser, nullptr, 0, &needed)) return TRUE;
  if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) return FALSE;

  UniqueLocal<void> buffer(LocalAlloc(LPTR, needed));
  if (!buffer) return FALSE;
  if (!GetTokenInformation(token, TokenUser, buffer.get(), needed, &needed)) return FALSE;
  return ConvertSid(static_cast<TOKEN_USER*>(buffer.get())->User.Sid, text, size);
}

}  // namespace
}  // namespace zq::sys

using namespace zq;

DWORD zqSysGetUserSID(const std::wstring& user, const std::wstring& domain, void*& pSid) {
  return sys::GetUserSid(user, domain, pSid);
}

DWORD zqSysGetUserSID(const std::string& user, const std::string& domain, void*& pSid) {
  return sys::GetUserSid(user, domain, pSid);
}

DWORD zqSysGetUserSIDW(const wchar_t* pszUser, const wchar_t* pszDomain, void** ppSid) {
  log::Operation op(L"zqSysGetUserSIDW", L"zqSysGetUserSIDW(%p,%p)", pszDomain, ppSid ? *ppSid : nullptr);
  if (!pszUser || !pszDomain || !ppSid) return op.Exit(DWORD{ERROR_INVALID_PARAMETER}, L"%s (%d)");
  return op.Exit(zqSysGetUserSID(std::wstring(pszUser), std::wstring(pszDomain), *ppSid), L"%s (%d)");
}

DWORD zqSysGetUserSIDA(const char* pszUser, const char* pszDomain, void** ppSid) {
  log::Operation op(L"zqSysGetUserSIDA", L"zqSysGetUserSIDA(%p,%p)", pszDomain, ppSid ? *ppSid : nullptr);
  if (!pszUser || !pszDomain || !ppSid) return op.Exit(DWORD{ERROR_INVALID_PARAMETER}, L"%s (%d)");
  return op.Exit(zqSysGetUserSID(std::string(pszUser), std::string(pszDomain), *ppSid), L"%s (%d)");
}

BOOL zqSysConvertSIDW(PSID pSid, wchar_t* pszText, DWORD* pcbText) { return sys::ConvertSid(pSid, pszText, pcbText); }

BOOL zqSysConvertSIDA(PSID pSid, char* pszText, DWORD* pcbText) { return sys::ConvertSid(pSid, pszText, pcbText); }

BOOL zqSysObtainSIDW(HANDLE hToken, wchar_t* pszText, DWORD* pcbText) {
  return sys::ObtainSid(hToken, pszText, pcbText);
}

BOOL zqSysObtainSIDA(HANDLE hToken, char* pszText, DWORD* pcbText) { return sys::ObtainSid(hToken, pszText, pcbText); }
