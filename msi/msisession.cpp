// The common start of the installer actions.
#include "msisession.h"

#include <cwchar>

#include "zqmsi.h"

namespace zq::msi {

bool FormatPath(PathBuffer& out, const wchar_t* format, ...) {
  va_list args;
  va_start(args, format);
  int written = _vsnwprintf(out, kPathChars, format, args);
  va_end(args);
  // -1 when it did not fit; kPathChars when only the terminator did not.
  if (written < 0 || written >= kPathChars) {
    out[0] = L'\0';
    return false;
  }
  return true;
}

UINT ReadCustomActionData(MSIHANDLE session, UniqueModule& installer, PathBuffer& data) {
  installer = LoadModule(L"msi.dll");
  if (!installer) return GetLastError();
  auto getProperty = ProcAs<MsiGetPropertyFn>(installer.get(), "MsiGetPropertyW");
  if (!getProperty) return GetLastError();

  DWORD size = kPathChars;
  data[0] = L'\0';
  // ERROR_MORE_DATA included: a value of 260 characters or more is not used.
  if (getProperty(session, L"CustomActionData", data, &size) != ERROR_SUCCESS) return ZQ_MSI_NO_ACTION_DATA;
  return 0;
}

}  // namespace zq::msi
