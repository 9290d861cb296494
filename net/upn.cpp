// User principal names to SAM-compatible names: the directory's translation,
// the logon service's domain cache and the library's own domain cache.
#include <windows.h>
#include <sensapi.h>
#define SECURITY_WIN32
#include <security.h>

#include <string>

#include "netinternal.h"
#include "nettext.h"
#include "zqlog.h"
#include "zqnet.h"

namespace zq::net {
namespace {

// Working space of the offline road, in characters.
constexpr DWORD kWorkChars = 256;
// Capacities of the system domain cache's enumeration.
constexpr DWORD kSystemCacheNameChars = 255;
constexpr DWORD kSystemCacheDataBytes = 255;

// The wide and narrow system calls and texts behind each function.
template <typename Char>
struct Api;

template <>
struct Api<wchar_t> {
  using TranslateFunction = BOOLEAN(SEC_ENTRY*)(LPCWSTR, EXTENDED_NAME_FORMAT, EXTENDED_NAME_FORMAT, LPWSTR, PULONG);
  static constexpr const char* kTranslateName = "TranslateNameW";
  static constexpr const wchar_t* kSystemCacheKey = kSystemDomainCacheKeyW;
  static constexpr const wchar_t* kLibraryCacheKey = kDomainCacheKeyW;
  static constexpr const wchar_t* kVistaName = L"zqNetGetNETBIOSDomainNameFromUPNVistaW";
  static constexpr const wchar_t* kVistaOpenFailed = L"zqNetGetNETBIOSDomainNameFromUPNVistaW Can't open registry key %ls";
  static constexpr const wchar_t* kVistaQueryFailed =
      L"zqNetGetNETBIOSDomainNameFromUPNVistaW Can't get value of registry key %ls";
  static constexpr const wchar_t* kVistaExit = L"zqNetGetNETBIOSDomainNameFromUPNVistaW (%d)";

  static LSTATUS Open(const wchar_t* path, REGSAM access, HKEY* key) {
    return RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, access, key);
  }
  static LSTATUS Enumerate(HKEY key, DWORD index, wchar_t* name, DWORD* nameChars, BYTE* data, DWORD* dataBytes) {
    return RegEnumValueW(key, index, name, nameChars, nullptr, nullptr, data, dataBytes);
  }
  static LSTATUS Query(HKEY key, const wchar_t* name, BYTE* data, DWORD* bytes) {
    return RegQueryValueExW(key, name, nullptr, nullptr, data, bytes);
  }
  static LSTATUS SetString(HKEY key, const wchar_t* name, const std::wstring& text) {
    return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                          CountOf((text.size() + 1) * sizeof(wchar_t)));
  }
};

template <>
struct Api<char> {
  using TranslateFunction = BOOLEAN(SEC_ENTRY*)(LPCSTR, EXTENDED_NAME_FORMAT, EXTENDED_NAME_FORMAT, LPSTR, PULONG);
  static constexpr const char* kTranslateName = "TranslateNameA";
  static constexpr const char* kSystemCacheKey = kSystemDomainCacheKeyA;
  static constexpr const char* kLibraryCacheKey = kDomainCacheKeyA;
  static constexpr const wchar_t* kVistaName = L"zqNetGetNETBIOSDomainNameFromUPNVistaA";
  static constexpr const wchar_t* kVistaOpenFailed = L"zqNetGetNETBIOSDomainNameFromUPNVistaA Can't open registry key %S";
  static constexpr const wchar_t* kVistaQueryFailed =
      L"zqNetGetNETBIOSDomainNameFromUPNVistaA Can't get value of registry key %S";
  static constexpr const wchar_t* kVistaExit = L"zqNetGetNETBIOSDomainNameFromUPNVistaA (%d)";

  static LSTATUS Open(const char* path, REGSAM access, HKEY* key) {
    return RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, access, key);
  }
  static LSTATUS Enumerate(HKEY key, DWORD index, char* name, DWORD* nameChars, BYTE* data, DWORD* dataBytes) {
    return RegEnumValueA(key, index, name, nameChars, nullptr, nullptr, data, dataBytes);
  }
  static LSTATUS Query(HKEY key, const char* name, BYTE* data, DWORD* bytes) {
    return RegQueryValueExA(key, name, nullptr, nullptr, data, bytes);
  }
  static LSTATUS SetString(HKEY key, const char* name, const std::string& text) {
    return RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                          CountOf(text.size() + 1));
  }
};

// The text after the first "@", or the whole text without one.
template <typename Char>
std::basic_string<Char> DnsDomainOf(const std::basic_string<Char>& upn) {
  size_t at = upn.find(At<Char>());
  return at == upn.npos ? upn : upn.substr(at + 1);
}

template <typename Char>
BoolOutcome FindInSystemDomainCache(const Char* dnsDomain, Char* buffer, DWORD* count) {
  if (!dnsDomain || !count) return BoolOutcome::Failure(ERROR_INVALID_PARAMETER);
  UniqueKey key;
  LSTATUS rc = Api<Char>::Open(Api<Char>::kSystemCacheKey, KEY_READ, key.put());
  if (rc != ERROR_SUCCESS) return BoolOutcome::Failure(rc);

  const std::basic_string<Char> wanted(dnsDomain);
  for (DWORD index = 0;; ++index) {
    Char name[kSystemCacheNameChars];
    DWORD nameChars = kSystemCacheNameChars;
    alignas(Char) BYTE data[kSystemCacheDataBytes + sizeof(Char)];
    DWORD dataBytes = kSystemCacheDataBytes;
    // Any failure ends the search, also one that hides a later match.
    rc = Api<Char>::Enumerate(key.get(), index, name, &nameChars, data, &dataBytes);
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
  log::Line(log::kEntry, Api<Char>::kVistaName);
  LSTATUS rc = ERROR_INVALID_PARAMETER;
  if (upn && bytes) {
    UniqueKey key;
    rc = Api<Char>::Open(Api<Char>::kLibraryCacheKey, KEY_QUERY_VALUE, key.put());
    if (rc != ERROR_SUCCESS) {
      log::Line(log::kError, Api<Char>::kVistaOpenFailed, Api<Char>::kLibraryCacheKey);
    } else {
      std::basic_string<Char> valueName = DnsDomainOf(std::basic_string<Char>(upn));
      rc = Api<Char>::Query(key.get(), valueName.c_str(), reinterpret_cast<BYTE*>(buffer), bytes);
      if (rc != ERROR_SUCCESS) log::Line(log::kError, Api<Char>::kVistaQueryFailed, valueName.c_str());
    }
  }
  log::Line(log::kExit, Api<Char>::kVistaExit, rc);
  return rc == ERROR_SUCCESS ? BoolOutcome::Success() : BoolOutcome::Failure(rc);
}

// Records what the directory answered: DNS domain -> NETBIOS domain. The
// messages name the wide function in both widths.
template <typename Char>
void RecordTranslation(const std::basic_string<Char>& upn, const std::basic_string<Char>& translated) {
  UniqueKey key;
  if (Api<Char>::Open(Api<Char>::kLibraryCacheKey, KEY_WRITE, key.put()) != ERROR_SUCCESS) {
    log::Line(log::kError, L"zqNetGetNETBIOSDomainNameFromUPNVistaW Can't open DomainCache key");
    return;
  }
  std::basic_string<Char> netbiosDomain = translated.substr(0, translated.find(Backslash<Char>()));
  if (Api<Char>::SetString(key.get(), DnsDomainOf(upn).c_str(), netbiosDomain) != ERROR_SUCCESS) {
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
  auto translate =
      ProcAs<typename Api<Char>::TranslateFunction>(secur32.get(), Api<Char>::kTranslateName);
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
  size_t at = text.find(At<Char>());
  if (at == text.npos) return BoolOutcome::Failure(ERROR_INVALID_PARAMETER);
  const std::basic_string<Char> user = text.substr(0, at);
  const std::basic_string<Char> dnsDomain = text.substr(at + 1);

  std::basic_string<Char> netbiosDomain;
  BoolOutcome found = FindCachedDomain(dnsDomain.c_str(), upn, &netbiosDomain);
  if (!found.Succeeded()) return found;

  const DWORD needed = CountOf(netbiosDomain.size() + 1 + user.size() + 1);
  if (buffer && capacity < needed) {
    *count = needed;
    return BoolOutcome::Failure(ERROR_INSUFFICIENT_BUFFER);
  }
  if (buffer) CopyWithTerminator(buffer, netbiosDomain + Backslash<Char>() + user);
  *count = needed;
  return BoolOutcome::Success();
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
