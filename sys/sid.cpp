// Account SIDs, SIDs as text and the user of a token as text.
#include <string>

#include "unique.h"
#include "widthcalls.h"
#include "zqlog.h"
#include "zqsys.h"

namespace zq::sys {
namespace {

constexpr const wchar_t kExitFormat[] = L"%s (%d)";

// The narrow domain goes into the line through %S.
template <typename Char>
constexpr const wchar_t* kEntryFormat = sizeof(Char) == 1 ? L"zqSysGetUserSID(%S,%p)" : L"zqSysGetUserSID(%s,%p)";

template <typename Char>
DWORD GetUserSid(const std::basic_string<Char>& user, const std::basic_string<Char>& domain, void*& sid) {
  log::Operation op(L"zqSysGetUserSID", kEntryFormat<Char>, domain.c_str(), sid);
  const std::basic_string<Char> account = domain + Char('\\') + user;
  sid = nullptr;

  DWORD sidSize = 0;
  DWORD domainSize = 0;
  SID_NAME_USE use;
  if (LookupAccountNameT(account.c_str(), nullptr, &sidSize, nullptr, &domainSize, &use)) {
    return op.Exit(DWORD{ERROR_SUCCESS}, kExitFormat);
  }
  DWORD status = GetLastError();
  if (status == ERROR_INSUFFICIENT_BUFFER) {
    // The SID goes to the caller as soon as it exists, whatever happens next.
    sid = std::calloc(sidSize, 1);
    UniqueCrt<Char> domainName = CallocArray<Char>(domainSize);
    if (!sid || !domainName) {
      log::Line(log::kError, L"zqSysGetUserSID Memory allocation failed\n");
      return op.Exit(DWORD{ERROR_NOT_ENOUGH_MEMORY}, kExitFormat);
    }
    if (LookupAccountNameT(account.c_str(), sid, &sidSize, domainName.get(), &domainSize, &use)) {
      return op.Exit(DWORD{ERROR_SUCCESS}, kExitFormat);
    }
    status = GetLastError();
  }
  log::Line(log::kError, L"zqSysGetUserSID Unable to lookup for the SID of the account (%d)", status);
  return op.Exit(status, kExitFormat);
}

// The C forms: a null argument answers 87 without touching *sid.
template <typename Char>
DWORD GetUserSidOf(const wchar_t* name, const Char* user, const Char* domain, void** sid) {
  log::Operation op(name, L"%s(%p,%p)", name, domain, sid ? *sid : nullptr);
  if (!user || !domain || !sid) return op.Exit(DWORD{ERROR_INVALID_PARAMETER}, kExitFormat);
  return op.Exit(GetUserSid(std::basic_string<Char>(user), std::basic_string<Char>(domain), *sid), kExitFormat);
}

// The characters a SID's text may need: "S-1-" and the authority, then up to
// eleven characters per sub-authority, with room to spare.
constexpr DWORD RequiredChars(DWORD subAuthorities) { return 28 + 12 * subAuthorities; }

// The text form's formats, wide here and narrow below.
template <typename Char>
struct SidFormats {
  const Char* revision;
  const Char* authority;  // six bytes in hexadecimal
  const Char* number;
  const Char* subAuthority;
};
template <typename Char>
constexpr SidFormats<Char> kSidFormats = {L"S-%lu-", L"0x%02hx%02hx%02hx%02hx%02hx%02hx", L"%lu", L"-%lu"};
template <>
constexpr SidFormats<char> kSidFormats<char> = {"S-%lu-", "0x%02hx%02hx%02hx%02hx%02hx%02hx", "%lu", "-%lu"};

BOOL Fail(DWORD error) {
  SetLastError(error);
  return FALSE;
}

template <typename Char>
BOOL ConvertSid(PSID sid, Char* text, DWORD* size) {
  if (!sid) return Fail(ERROR_INVALID_SID);
  if (!IsValidSid(sid)) return FALSE;  // the system's last error stands
  if (!size) return Fail(ERROR_INVALID_PARAMETER);
  const DWORD subAuthorities = *GetSidSubAuthorityCount(sid);
  const DWORD required = RequiredChars(subAuthorities) * sizeof(Char);
  if (*size < required) {
    *size = required;
    return Fail(ERROR_INSUFFICIENT_BUFFER);
  }
  if (!text) return Fail(ERROR_INVALID_PARAMETER);

  // The revision is always written as 1, the only one there is.
  const SidFormats<Char>& formats = kSidFormats<Char>;
  Char* out = text + wsprintfT(text, formats.revision, 1ul);
  const BYTE* v = GetSidIdentifierAuthority(sid)->Value;
  if (v[0] != 0 || v[1] != 0) {
    out += wsprintfT(out, formats.authority, USHORT{v[0]}, USHORT{v[1]}, USHORT{v[2]}, USHORT{v[3]}, USHORT{v[4]},
                     USHORT{v[5]});
  } else {
    unsigned long value = (static_cast<unsigned long>(v[2]) << 24) | (static_cast<unsigned long>(v[3]) << 16) |
                          (static_cast<unsigned long>(v[4]) << 8) | v[5];
    out += wsprintfT(out, formats.number, value);
  }
  for (DWORD i = 0; i < subAuthorities; ++i) {
    out += wsprintfT(out, formats.subAuthority, *GetSidSubAuthority(sid, i));
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
  return sys::GetUserSidOf(L"zqSysGetUserSIDW", pszUser, pszDomain, ppSid);
}

DWORD zqSysGetUserSIDA(const char* pszUser, const char* pszDomain, void** ppSid) {
  return sys::GetUserSidOf(L"zqSysGetUserSIDA", pszUser, pszDomain, ppSid);
}

BOOL zqSysConvertSIDW(PSID pSid, wchar_t* pszText, DWORD* pcbText) { return sys::ConvertSid(pSid, pszText, pcbText); }

BOOL zqSysConvertSIDA(PSID pSid, char* pszText, DWORD* pcbText) { return sys::ConvertSid(pSid, pszText, pcbText); }

BOOL zqSysObtainSIDW(HANDLE hToken, wchar_t* pszText, DWORD* pcbText) {
  return sys::ObtainSid(hToken, pszText, pcbText);
}

BOOL zqSysObtainSIDA(HANDLE hToken, char* pszText, DWORD* pcbText) { return sys::ObtainSid(hToken, pszText, pcbText); }
