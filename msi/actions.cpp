// The installer custom actions: resource folders, merged folders, single files.
#include "zqmsi.h"

#include "folders.h"
#include "msisession.h"

namespace zq::msi {
namespace {

// "CommonProgramFiles" into `common`; false when it is not set (or too long).
bool ReadCommonFiles(PathBuffer& common) {
  DWORD length = GetEnvironmentVariableW(L"CommonProgramFiles", common, kPathChars);
  return length != 0 && length < static_cast<DWORD>(kPathChars);
}

// Formats a folder path and hands it to `work` when it fits.
template <typename... Args>
void OnFolder(void (*work)(const wchar_t*), const wchar_t* format, Args... args) {
  PathBuffer folder;
  if (FormatPath(folder, format, args...)) work(folder);
}

}  // namespace
}  // namespace zq::msi

using namespace zq::msi;

UINT WINAPI MSIDeleteResourceFiles(MSIHANDLE hInstall) {
  UniqueModule installer;
  PathBuffer data;
  if (UINT status = ReadCustomActionData(hInstall, installer, data)) return status;

  OnFolder(RemoveFolder, L"%sResources\\Merged\\", data);
  PathBuffer common;
  if (!ReadCommonFiles(common)) return ZQ_MSI_NO_COMMON_FILES;
  OnFolder(RemoveFolder, L"%s\\Quorvane\\Resources\\Merged\\", common);

  // The folders above the merged ones, innermost first; the system leaves
  // those that still hold files.
  OnFolder(ScheduleDeletion, L"%sResources\\", data);
  ScheduleDeletion(data);
  OnFolder(ScheduleDeletion, L"%s\\..\\", data);
  OnFolder(ScheduleDeletion, L"%s\\Quorvane\\Resources\\", common);
  OnFolder(ScheduleDeletion, L"%s\\Quorvane\\", common);
  return ZQ_MSI_OK;
}

UINT WINAPI MSIDeleteFile(MSIHANDLE hInstall) {
  UniqueModule installer;
  PathBuffer data;
  if (UINT status = ReadCustomActionData(hInstall, installer, data)) return status;

  DeleteOrSchedule(data);
  return ZQ_MSI_OK;
}

UINT WINAPI MSICleanMergedFolders(MSIHANDLE hInstall) {
  UniqueModule installer;
  PathBuffer data;
  if (UINT status = ReadCustomActionData(hInstall, installer, data)) return status;

  OnFolder(EmptyFolder, L"%sResources\\Merged\\", data);
  PathBuffer common;
  if (!ReadCommonFiles(common)) return ZQ_MSI_NO_COMMON_FILES;
  OnFolder(EmptyFolder, L"%s\\Quorvane\\Resources\\Merged\\", common);
  return ZQ_MSI_OK;
}
