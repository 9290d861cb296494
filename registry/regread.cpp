// Typed registry reads and the generic read.
#include "regread.h"

#include "regframe.h"

namespace zq::reg {
namespace {

// The line of a text read; the data are of the read's width.
template <typename Char>
constexpr const wchar_t* kTextLine = sizeof(Char) == 1 ? L"%s : RegQueryValueEx returns %.*S"
                                                       : L"%s : RegQueryValueEx returns %.*s";

// What tells one typed read from another: the type it wants and its log texts.
struct ReadKind {
  DWORD type;
  const wchar_t* typeName;                                   // in the wrong-type and value lines
  const wchar_t* nullPointers = L"pszKey or pdwValue is NULL";  // the level-2 text for a null argument
  const wchar_t* openCall = L"RegOpenKeyEx";                 // named in the open's failure line
  const wchar_t* queryCall = L"RegQueryValueEx";             // named in the query's failure line
};

constexpr ReadKind kDword{REG_DWORD, L"DWORD"};
constexpr ReadKind kQword{REG_QWORD, L"QWORD", L"pszKey or pullValue is NULL"};
constexpr ReadKind kString{REG_SZ, L"REG_SZ"};
constexpr ReadKind kMulti{REG_MULTI_SZ, L"REG_MULTI_SZ"};
// Only the narrow multi-string read names the narrow calls in its failure lines.
constexpr ReadKind kMultiA{REG_MULTI_SZ, L"REG_MULTI_SZ", L"pszKey or pdwValue is NULL", L"RegOpenKeyExA",
                           L"RegQueryValueExA"};
constexpr ReadKind kBinary{REG_BINARY, L"REG_BINARY"};

// Entry, section check, pointer check and open: the steps every typed read
// takes first. Returns kOk with the key open, or the status to finish with.
template <typename Char>
int OpenForRead(const Call& call, const ReadKind& kind, HKEY root, const Char* key, bool outPointerGiven,
                UniqueKey& opened) {
  if (!call.SectionAccepted()) return kBadArgument;
  if (!call.Given(key && outPointerGiven, kind.nullPointers)) return kBadArgument;
  return call.Open(root, key, KEY_QUERY_VALUE, opened, kind.openCall) ? kOk : kSystemError;
}

// DWORD and QWORD: a fixed size, written by the system into the caller's value.
template <typename Char, typename Value>
int ReadFixed(const wchar_t* name, const ReadKind& kind, HKEY root, const Char* key, const Char* valueName,
              Value* value, DWORD section) {
  Call call(name, section);
  UniqueKey opened;
  int status = OpenForRead(call, kind, root, key, value != nullptr, opened);
  if (status != kOk) return call.Finish(status);

  DWORD type = 0;
  DWORD size = sizeof(Value);
  LSTATUS rc = RegQueryValueExT(opened.get(), valueName, &type, value, &size);
  if (rc != ERROR_SUCCESS) {
    log::Line(log::kDetail, L"%s : %s fails 0x%x", name, kind.queryCall, rc);
    status = kSystemError;
  } else if (type != kind.type) {
    log::Line(log::kDetail, L"%s : RegQueryValueEx returns type %d instead of %s", name, type, kind.typeName);
    status = kWrongType;
  } else {
    // The line shows the value as a 32-bit %d, as it always has.
    log::Line(log::kDetail, L"%s : RegQueryValueEx returns %s %d", name, kind.typeName, static_cast<int>(*value));
    status = kOk;
  }
  return call.Finish(status);
}

// String, multi-string and binary: the caller's buffer and size in bytes.
template <typename Char>
int ReadSized(const wchar_t* name, const ReadKind& kind, HKEY root, const Char* key, const Char* valueName,
              void* data, DWORD* size, DWORD section) {
  Call call(name, section);
  UniqueKey opened;
  int status = OpenForRead(call, kind, root, key, size != nullptr, opened);
  if (status != kOk) return call.Finish(status);

  DWORD type = 0;
  DWORD returned = *size;
  LSTATUS rc = RegQueryValueExT(opened.get(), valueName, &type, data, &returned);
  if (rc != ERROR_SUCCESS) {
    log::Line(log::kDetail, L"%s : %s fails 0x%x", name, kind.queryCall, rc);
    return call.Finish(rc == ERROR_MORE_DATA ? kMoreData : kSystemError);
  }
  *size = returned;
  if (type != kind.type) {
    log::Line(log::kDetail, L"%s : RegQueryValueEx returns type %d instead of %s", name, type, kind.typeName);
    return call.Finish(kWrongType);
  }
  if (!data) {
    log::Line(log::kDetail, L"%s : RegQueryValueEx returns length %d", name, returned);
  } else if (kind.type == REG_BINARY) {
    log::Bytes(log::kDetail, data, returned, L"zqRegReadBinaryValueEx : RegQueryValueEx returns");
  } else {
    // The stored data need not end in a terminator: never read past them.
    log::Line(log::kDetail, kTextLine<Char>, name, static_cast<int>(returned / sizeof(Char)), data);
  }
  return call.Finish(kOk);
}

}  // namespace
}  // namespace zq::reg

using namespace zq::reg;

extern "C" int zqRegReadDWORDValueExW(HKEY hRoot, const wchar_t* pszKey, const wchar_t* pszValueName,
                                      DWORD* pdwValue, DWORD dwSection) {
  return ReadFixed(L"zqRegReadDWORDValueExW", kDword, hRoot, pszKey, pszValueName, pdwValue, dwSection);
}

extern "C" int zqRegReadDWORDValueExA(HKEY hRoot, const char* pszKey, const char* pszValueName, DWORD* pdwValue,
                                      DWORD dwSection) {
  return ReadFixed(L"zqRegReadDWORDValueExA", kDword, hRoot, pszKey, pszValueName, pdwValue, dwSection);
}

extern "C" int zqRegReadDWORDValueEx(HKEY hRoot, const wchar_t* pszKey, const wchar_t* pszValueName, DWORD* pdwValue,
                                     DWORD dwSection) {
  return zqRegReadDWORDValueExW(hRoot, pszKey, pszValueName, pdwValue, dwSection);
}

extern "C" int zqRegReadDWORDValue(HKEY hRoot, const wchar_t* pszKey, const wchar_t* pszValueName, DWORD* pdwValue) {
  return zqRegReadDWORDValueExW(hRoot, pszKey, pszValueName, pdwValue, ZQ_REG_SECTION_DEFAULT);
}

int zqRegReadQWORDValueExW(HKEY hRoot, const wchar_t* pszKey, const wchar_t* pszValueName, ULONGLONG* pullValue,
                           DWORD dwSection) {
  return ReadFixed(L"zqRegReadQWORDValueExW", kQword, hRoot, pszKey, pszValueName, pullValue, dwSection);
}

extern "C" int zqRegReadStringValueExW(HKEY hRoot, const wchar_t* pszKey, const wchar_t* pszValueName,
                                       wchar_t* pszData, DWORD* pcbData, DWORD dwSection) {
  return ReadSized(L"zqRegReadStringValueExW", kString, hRoot, pszKey, pszValueName, pszData, pcbData, dwSection);
}

extern "C" int zqRegReadStringValueExA(HKEY hRoot, const char* pszKey, const char* pszValueName, char* pszData,
                                       DWORD* pcbData, DWORD dwSection) {
  return ReadSized(L"zqRegReadStringValueExA", kString, hRoot, pszKey, pszValueName, pszData, pcbData, dwSection);
}

extern "C" int zqRegReadStringValueEx(HKEY hRoot, const wchar_t* pszKey, const wchar_t* pszValueName,
                                      wchar_t* pszData, DWORD* pcbData, DWORD dwSection) {
  return zqRegReadStringValueExW(hRoot, pszKey, pszValueName, pszData, pcbData, dwSection);
}

extern "C" int zqRegReadStringValue(HKEY hRoot, const wchar_t* pszKey, const wchar_t* pszValueName, wchar_t* pszData,
                                    DWORD* pcbData) {
  return zqRegReadStringValueExW(hRoot, pszKey, pszValueName, pszData, pcbData, ZQ_REG_SECTION_DEFAULT);
}

extern "C" int zqRegReadMultiStringValueExW(HKEY hRoot, const wchar_t* pszKey, const wchar_t* pszValueName,
                                            wchar_t* pszData, DWORD* pcbData, DWORD dwSection) {
  return ReadSized(L"zqRegReadMultiStringValueExW", kMulti, hRoot, pszKey, pszValueName, pszData, pcbData, dwSection);
}

extern "C" int zqRegReadMultiStringValueExA(HKEY hRoot, const char* pszKey, const char* pszValueName, char* pszData,
                                            DWORD* pcbData, DWORD dwSection) {
  return ReadSized(L"zqRegReadMultiStringValueExA", kMultiA, hRoot, pszKey, pszValueName, pszData, pcbData, dwSection);
}

extern "C" int zqRegReadMultiStringValueEx(HKEY hRoot, const wchar_t* pszKey, const wchar_t* pszValueName,
                                           wchar_t* pszData, DWORD* pcbData, DWORD dwSection) {
  return zqRegReadMultiStringValueExW(hRoot, pszKey, pszValueName, pszData, pcbData, dwSection);
}

extern "C" int zqRegReadMultiStringValue(HKEY hRoot, const wchar_t* pszKey, const wchar_t* pszValueName,
                                         wchar_t* pszData, DWORD* pcbData) {
  return zqRegReadMultiStringValueExW(hRoot, pszKey, pszValueName, pszData, pcbData, ZQ_REG_SECTION_DEFAULT);
}

extern "C" int zqRegReadBinaryValueEx(HKEY hRoot, const wchar_t* pszKey, const wchar_t* pszValueName, BYTE* pbData,
                                      DWORD* pcbData, DWORD dwSection) {
  return ReadSized(L"zqRegReadBinaryValueEx", kBinary, hRoot, pszKey, pszValueName, pbData, pcbData, dwSection);
}

extern "C" int zqRegReadBinaryValue(HKEY hRoot, const wchar_t* pszKey, const wchar_t* pszValueName, BYTE* pbData,
                                    DWORD* pcbData) {
  return zqRegReadBinaryValueEx(hRoot, pszKey, pszValueName, pbData, pcbData, ZQ_REG_SECTION_DEFAULT);
}

extern "C" int zqRegReadValueEx(HKEY hRoot, const wchar_t* pszKey, const wchar_t* pszValueName, DWORD* pdwType,
                                void* pData, DWORD* pcbData, DWORD dwSection) {
  Call call(L"zqRegReadValueEx", dwSection);
  if (!call.SectionAccepted()) return call.Finish(kBadArgument);
  if (!call.Given(pszKey && pdwType && pcbData, L"pszKey or pdwValue is NULL")) return call.Finish(kBadArgument);

  if (pData) {
    // The caller's type chooses the typed read; the stored type is its business.
    int status = kWrongType;
    switch (*pdwType) {
      case REG_SZ:
        status = zqRegReadStringValueExW(hRoot, pszKey, pszValueName, static_cast<wchar_t*>(pData), pcbData,
                                         dwSection);
        break;
      case REG_BINARY:
        status = zqRegReadBinaryValueEx(hRoot, pszKey, pszValueName, static_cast<BYTE*>(pData), pcbData, dwSection);
        break;
      case REG_DWORD:
        status = zqRegReadDWORDValueExW(hRoot, pszKey, pszValueName, static_cast<DWORD*>(pData), dwSection);
        break;
      case REG_MULTI_SZ:
        status = zqRegReadMultiStringValueExW(hRoot, pszKey, pszValueName, static_cast<wchar_t*>(pData), pcbData,
                                              dwSection);
        break;
      case REG_QWORD:
        status = zqRegReadQWORDValueExW(hRoot, pszKey, pszValueName, static_cast<ULONGLONG*>(pData), dwSection);
        break;
      default:
        break;
    }
    return call.Finish(status);
  }

  UniqueKey opened;
  if (!call.Open(hRoot, pszKey, KEY_QUERY_VALUE, opened)) return call.Finish(kSystemError);
  DWORD returned = *pcbData;
  LSTATUS rc = RegQueryValueExW(opened.get(), pszValueName, nullptr, pdwType, nullptr, &returned);
  if (rc != ERROR_SUCCESS) {
    ZQ_LOG_NAMED(call, zq::log::kDetail, "RegQueryValueEx fails 0x%x", rc);
    return call.Finish(kSystemError);
  }
  *pcbData = returned;
  ZQ_LOG_NAMED(call, zq::log::kDetail, "RegQueryValueEx returns type %d", *pdwType);
  ZQ_LOG_NAMED(call, zq::log::kDetail, "RegQueryValueEx returns length %d", returned);
  return call.Finish(kOk);
}

extern "C" int zqRegReadValue(HKEY hRoot, const wchar_t* pszKey, const wchar_t* pszValueName, DWORD* pdwType,
                              void* pData, DWORD* pcbData) {
  return zqRegReadValueEx(hRoot, pszKey, pszValueName, pdwType, pData, pcbData, ZQ_REG_SECTION_DEFAULT);
}
