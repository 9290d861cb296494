// User principal names to SAM-compatible names: the directory's translation,
// the logon service's domain cache and the library's own domain cache.
#include <windows.h>
#include <sensapi.h>
#define SECURITY_WIN32
#include <security.h>

#include <string>

#include "netinternal.h"
#include "zqlog.h"
#include "zqnet.h"

namespace zq::net {
namespace {

// Working space of the offline road, in characters.
constexpr DWORD kWorkChars = 256;
// Capacities of the system domain cache's enumeration.
constexpr DWORD kSystemCacheNameChars = 255;
constexpr DWORD kSystemCacheDataBytes = 255;

// What differs per width: the directory's entry point, the cache keys, and
// the lines of the library cache's lookup, which name their own function.
template <typename Char>
struct WidthTexts {
  const char* translateName;
  const Char* systemCacheKey;
  const Char* libraryCacheKey;
  const wchar_t* vistaName;
  const wchar_t* vistaOpenFailed;
  const wchar_t* vistaQueryFailed;
  const wchar_t* vistaExit;
};
template <typename Char>
constexpr WidthTexts<Char> kTexts{};
template <>
constexpr WidthTexts<wchar_t> kTexts<wchar_t>{
    "TranslateNameW", kSystemDomainCacheKeyW, kDomainCacheKeyW, L"zqNetGetNETBIOSDomainNameFromUPNVistaW",
    L"zqNetGetNETBIOSDomainNameFromUPNVistaW Can't open registry key %ls",
    L"zqNetGetNETBIOSDomainNameFromUPNVistaW Can't get value of registry key %ls",
    L"zqNetGetNETBIOSDomainNameFromUPNVistaW (%d)"};
template <>
constexpr WidthTexts<char> kTexts<char>{
    "TranslateNameA", kSystemDomainCacheKeyA, kDomainCacheKeyA, L"zqNetGetNETBIOSDomainNameFromUPNVistaA",
    L"zqNetGetNETBIOSDomainNameFromUPNVistaA Can't open registry key %S",
    L"zqNetGetNETBIOSDomainNameFromUPNVistaA Can't get value of registry key %S",
    L"zqNetGetNETBIOSDomainNameFromUPNVistaA (%d)"};

// The text after the first "@", or the whole text without one.
template <typename Char>
std::basic_string<Char> DnsDomainOf(const std::basic_string<Char>& upn) {
  size_t at = upn.find(Literal<Char>('@'));
  return at == upn.npos ? upn : upn.substr(at + 1);
}

template <typename Char>
BoolOutcome FindInSystemDomainCache(const Char* dnsDomain, Char* buffer, DWORD* count) {
  if (!dnsDomain || !count) return BoolOutcome::Failure(ERROR_INVALID_PARAMETER);
  UniqueKey key;
  LSTATUS rc = RegOpenKeyExT(HKEY_LOCAL_MACHINE, kTexts<Char>.systemCacheKey, 0, KEY_READ, key.put());
  if (rc != ERROR_SUCCESS) return BoolOutcome::Failure(rc);

  const std::basic_string<Char> wanted(dnsDomain);
  for (DWORD index = 0;; ++index) {
    Char name[kSystemCacheNameChars];
    DWORD nameChars = kSystemCacheNameChars;
    alignas(Char) BYTE data[kSystemCacheDataBytes + sizeof(Char)];
    DWORD dataBytes = kSystemCacheDataBytes;
    // Any failure ends the search, also one that hides a later match.
    rc = RegEnumValueT(key.get(), index, name, &nameChars, nullptr, data, &dataBytes);
    if (rc != ERROR_SUCCESS) return BoolOutcome::Failure(rc);

    const Char* text = reinterpret_cast<const Char*>(data);
    size_t length = BoundedLength(text, dataBytes / sizeof(Char));
    if (wanted.compare(0, wanted.npos, text, length) != 0) continue;

    if (buffer && *count < nameChars) {
      *count = nameChars;
      return BoolOutcome::Failure(ERROR_INSUFFICIENT_BUFFER);
    }
    if (buffer) {
      std::memcpy(buffer, name, nameChars * sizeof(Char));
      buffer[nameChars] = Char{};
    }
    *count = nameChars;
    return BoolOutcome::Success();
  }
}

template <typename Char>
BoolOutcome FindInLibraryDomainCache(const Char* upn, Char* buffer, DWORD* bytes) {
  log::Line(log::kEntry, kTexts<Char>.vistaName);
  LSTATUS rc = ERROR_INVALID_PARAMETER;
  if (upn && bytes) {
    UniqueKey key;
    rc = RegOpenKeyExT(HKEY_LOCAL_MACHINE, kTexts<Char>.libraryCacheKey, 0, KEY_QUERY_VALUE, key.put());
    if (rc != ERROR_SUCCESS) {
      log::Line(log::kError, kTexts<Char>.vistaOpenFailed, kTexts<Char>.libraryCacheKey);
    } else {
      std::basic_string<Char> valueName = DnsDomainOf(std::basic_string<Char>(upn));
      rc = RegQueryValueExT(key.get(), valueName.c_str(), nullptr, buffer, bytes);
      if (rc != ERROR_SUCCESS) log::Line(log::kError, kTexts<Char>.vistaQueryFailed, valueName.c_str());
    }
  }
  log::Line(log::kExit, kTexts<Char>.vistaExit, rc);
  return rc == ERROR_SUCCESS ? BoolOutcome::Success() : BoolOutcome::Failure(rc);
}

// Records what the directory answered: DNS domain -> NETBIOS domain. The
// messages name the wide function in both widths.
template <typename Char>
void RecordTranslation(const std::basic_string<Char>& upn, const std::basic_string<Char>& translated) {
  UniqueKey key;
  if (RegOpenKeyExT(HKEY_LOCAL_MACHINE, kTexts<Char>.libraryCacheKey, 0, KEY_WRITE, key.put()) != ERROR_SUCCESS) {
    log::Line(log::kError, L"zqNetGetNETBIOSDomainNameFromUPNVistaW Can't open DomainCache key");
    return;
  }
  const std::basic_string<Char> netbiosDomain = translated.substr(0, translated.find(Literal<Char>('\\')));
  const DWORD bytes = CountOf((netbiosDomain.size() + 1) * sizeof(Char));
  if (RegSetValueExT(key.get(), DnsDomainOf(upn).c_str(), REG_SZ, netbiosDomain.c_str(), bytes) != ERROR_SUCCESS) {
    log::Line(log::kError, L"zqNetGetNETBIOSDomainNameFromUPNVistaW Can't add domain to DomainCache registry key");
  }
}

// The NETBIOS domain from the system's cache, else from the library's: its
// length, or the library cache's failure.
template <typename Char>
BoolOutcome FindCachedDomain(const Char* dnsDomain, const Char* upn, std::basic_string<Char>* netbiosDomain) {
  Char work[kWorkChars] = {};
  DWORD chars = kWorkChars - 1;
  if (FindInSystemDomainCache(dnsDomain, work, &chars).Succeeded()) {
    netbiosDomain->assign(work, chars);
    return BoolOutcome::Success();
  }
  DWORD bytes = sizeof work;
  BoolOutcome cached = FindInLibraryDomainCache(upn, work, &bytes);
  if (cached.Succeeded()) netbiosDomain->assign(work, BoundedLength(work, bytes / sizeof(Char)));
  return cached;
}

template <typename Char>
BoolOutcome TranslateUpn(const Char* upn, Char* buffer, DWORD* count) {
  if (!upn || !count) return BoolOutcome::Failure(ERROR_INVALID_PARAMETER);

  UniqueModule secur32 = LoadModule(L"Secur32.dll");
  if (!secur32) return BoolOutcome::Failure(ERROR_FILE_NOT_FOUND);
  using Translate = BOOLEAN(SEC_ENTRY*)(const Char*, EXTENDED_NAME_FORMAT, EXTENDED_NAME_FORMAT, Char*, PULONG);
  auto translate = ProcAs<Translate>(secur32.get(), kTexts<Char>.translateName);
  if (!translate) return BoolOutcome::Failure(ERROR_FILE_NOT_FOUND);

  const DWORD capacity = *count;
  DWORD networkFlags = 0;
  if (IsNetworkAlive(&networkFlags)) {
    ULONG size = *count;
    // A translation that fails without a reason of its own (Wine's does) must
    // not leave an older code behind to be read as its own.
    SetLastError(ERROR_SUCCESS);
    BOOLEAN translated = translate(upn, NameUserPrincipal, NameSamCompatible, buffer, &size);
    *count = size;
    if (translated && buffer) {
      RecordTranslation(std::basic_string<Char>(upn), std::basic_string<Char>(buffer, BoundedLength(buffer, size)));
      return BoolOutcome::Success();
    }
    DWORD error = GetLastError();
    if (error == ERROR_INSUFFICIENT_BUFFER) {
      return buffer ? BoolOutcome::Failure(ERROR_INSUFFICIENT_BUFFER) : BoolOutcome::SuccessWithError(0);
    }
  }

  // Offline: the domain from a cache, composed with the user name.
  *count = capacity;
  const std::basic_string<Char> text(upn);
  size_t at = text.find(Literal<Char>('@'));
  if (at == text.npos) return BoolOutcome::Failure(ERROR_INVALID_PARAMETER);
  const std::basic_string<Char> user = text.substr(0, at);
  const std::basic_string<Char> dnsDomain = text.substr(at + 1);

  std::basic_string<Char> netbiosDomain;
  BoolOutcome found = FindCachedDomain(dnsDomain.c_str(), upn, &netbiosDomain);
  if (!found.Succeeded()) return found;

  const bool copied = CopyOut(netbiosDomain + Literal<Char>('\\') + user, buffer, count);
  return copied ? BoolOutcome::Success() : BoolOutcome::Failure(ERROR_INSUFFICIENT_BUFFER);
}

}  // namespace
}  // namespace zq::net

using namespace zq::net;

extern "C" BOOL zqNetGetNETBIOSDomainNameFromUPNW(const wchar_t* pszDnsDomain, wchar_t* pszBuffer,
                                                  DWORD* pcchBuffer) {
  DWORD callerError = GetLastError();
  return FindInSystemDomainCache(pszDnsDomain, pszBuffer, pcchBuffer).Deliver(callerError);
}

extern "C" BOOL zqNetGetNETBIOSDomainNameFromUPNA(const char* pszDnsDomain, char* pszBuffer, DWORD* pcchBuffer) {
  DWORD callerError = GetLastError();
  return FindInSystemDomainCache(pszDnsDomain, pszBuffer, pcchBuffer).Deliver(callerError);
}

BOOL zqNetGetNETBIOSDomainNameFromUPNVistaW(const wchar_t* pszUpn, wchar_t* pszBuffer, DWORD* pcbBuffer) {
  DWORD callerError = GetLastError();
  return FindInLibraryDomainCache(pszUpn, pszBuffer, pcbBuffer).Deliver(callerError);
}

BOOL zqNetGetNETBIOSDomainNameFromUPNVistaA(const char* pszUpn, char* pszBuffer, DWORD* pcbBuffer) {
  DWORD callerError = GetLastError();
  return FindInLibraryDomainCache(pszUpn, pszBuffer, pcbBuffer).Deliver(callerError);
}

extern "C" BOOL zqNetGetUserNameDomainFromUPNW(const wchar_t* pszUpn, wchar_t* pszBuffer, DWORD* pcchBuffer) {
  DWORD callerError = GetLastError();
  return TranslateUpn(pszUpn, pszBuffer, pcchBuffer).Deliver(callerError);
}

extern "C" BOOL zqNetGetUserNameDomainFromUPNA(const char* pszUpn, char* pszBuffer, DWORD* pcchBuffer) {
  DWORD callerError = GetLastError();
  return TranslateUpn(pszUpn, pszBuffer, pcchBuffer).Deliver(callerError);
}
