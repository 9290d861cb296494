// Value writes: create or open the key, set one value, close.
#include "regframe.h"

namespace zq::reg {
namespace {

int Write(const wchar_t* name, HKEY root, const wchar_t* key, const wchar_t* valueName, DWORD type, const void* data,
          DWORD size, DWORD section) {
  Call call(name, section);
  if (!call.SectionAccepted()) return call.Finish(kBadArgument);
  if (!call.Given(key, L"pszKey is NULL")) return call.Finish(kBadArgument);

  UniqueKey opened;
  LSTATUS rc = RegCreateKeyExW(root, key, 0, nullptr, REG_OPTION_NON_VOLATILE, call.Access(KEY_WRITE), nullptr,
                               opened.put(), nullptr);
  if (rc != ERROR_SUCCESS) {
    ZQ_LOG_NAMED(call, log::kDetail, "RegCreateKeyEx failed 0x%x", rc);
    return call.Finish(kSystemError);
  }
  // The data and size go to the system exactly as the caller gave them.
  rc = RegSetValueExT(opened.get(), valueName, type, data, size);
  ZQ_LOG_NAMED(call, log::kDetail, "RegSetValueEx returns 0x%x", rc);
  opened.reset();
  return call.Finish(rc == ERROR_SUCCESS ? kOk : kSystemError);
}

}  // namespace
}  // namespace zq::reg

using zq::reg::Write;

extern "C" int zqRegWriteDWORDValueEx(HKEY hRoot, const wchar_t* pszKey, const wchar_t* pszValueName, DWORD dwValue,
                                      DWORD dwSection) {
  return Write(L"zqRegWriteDWORDValueEx", hRoot, pszKey, pszValueName, REG_DWORD, &dwValue, sizeof dwValue, dwSection);
}

extern "C" int zqRegWriteDWORDValue(HKEY hRoot, const wchar_t* pszKey, const wchar_t* pszValueName, DWORD dwValue) {
  return zqRegWriteDWORDValueEx(hRoot, pszKey, pszValueName, dwValue, ZQ_REG_SECTION_DEFAULT);
}

extern "C" int zqRegWriteStringValueEx(HKEY hRoot, const wchar_t* pszKey, const wchar_t* pszValueName,
                                       const wchar_t* pszData, DWORD cbData, DWORD dwSection) {
  return Write(L"zqRegWriteStringValueEx", hRoot, pszKey, pszValueName, REG_SZ, pszData, cbData, dwSection);
}

extern "C" int zqRegWriteStringValue(HKEY hRoot, const wchar_t* pszKey, const wchar_t* pszValueName,
                                     const wchar_t* pszData, DWORD cbData) {
  return zqRegWriteStringValueEx(hRoot, pszKey, pszValueName, pszData, cbData, ZQ_REG_SECTION_DEFAULT);
}

extern "C" int zqRegWriteMultiStringValueEx(HKEY hRoot, const wchar_t* pszKey, const wchar_t* pszValueName,
                                            const wchar_t* pszData, DWORD cbData, DWORD dwSection) {
  return Write(L"zqRegWriteMultiStringValueEx", hRoot, pszKey, pszValueName, REG_MULTI_SZ, pszData, cbData, dwSection);
}

extern "C" int zqRegWriteMultiStringValue(HKEY hRoot, const wchar_t* pszKey, const wchar_t* pszValueName,
                                          const wchar_t* pszData, DWORD cbData) {
  return zqRegWriteMultiStringValueEx(hRoot, pszKey, pszValueName, pszData, cbData, ZQ_REG_SECTION_DEFAULT);
}

extern "C" int zqRegWriteBinaryValueEx(HKEY hRoot, const wchar_t* pszKey, const wchar_t* pszValueName,
                                       const BYTE* pbData, DWORD cbData, DWORD dwSection) {
  return Write(L"zqRegWriteBinaryValueEx", hRoot, pszKey, pszValueName, REG_BINARY, pbData, cbData, dwSection);
}

extern "C" int zqRegWriteBinaryValue(HKEY hRoot, const wchar_t* pszKey, const wchar_t* pszValueName,
                                     const BYTE* pbData, DWORD cbData) {
  return zqRegWriteBinaryValueEx(hRoot, pszKey, pszValueName, pbData, cbData, ZQ_REG_SECTION_DEFAULT);
}
