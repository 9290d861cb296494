#include "msitestkit.h"

#include <gtest/gtest.h>
#include <msiquery.h>

#include <algorithm>
#include <atomic>
#include <cwchar>
#include <filesystem>
#include <utility>

namespace zqmsitest {
namespace {

namespace fs = std::filesystem;

void RunQuery(MSIHANDLE database, const wchar_t* query) {
  MSIHANDLE view = 0;
  ASSERT_EQ(MsiDatabaseOpenViewW(database, query, &view), 0u) << query;
  EXPECT_EQ(MsiViewExecute(view, 0), 0u) << query;
  MsiViewClose(view);
  MsiCloseHandle(view);
}

void SetSummary(MSIHANDLE database) {
  MSIHANDLE summary = 0;
  ASSERT_EQ(MsiGetSummaryInformationW(database, nullptr, 8, &summary), 0u);
  EXPECT_EQ(MsiSummaryInfoSetPropertyW(summary, 7 /*PID_TEMPLATE*/, VT_LPSTR, 0, nullptr, L"x64;1033"), 0u);
  EXPECT_EQ(MsiSummaryInfoSetPropertyW(summary, 9 /*PID_REVNUMBER*/, VT_LPSTR, 0, nullptr,
                                       L"{6E5C1B1A-2F44-4C36-9D8A-5D3F2C7B9A01}"),
            0u);
  EXPECT_EQ(MsiSummaryInfoSetPropertyW(summary, 14 /*PID_PAGECOUNT*/, VT_I4, 200, nullptr, nullptr), 0u);
  EXPECT_EQ(MsiSummaryInfoSetPropertyW(summary, 15 /*PID_WORDCOUNT*/, VT_I4, 0, nullptr, nullptr), 0u);
  EXPECT_EQ(MsiSummaryInfoPersist(summary), 0u);
  MsiCloseHandle(summary);
}

std::wstring UniqueName(const wchar_t* stem, const wchar_t* suffix) {
  static std::atomic<unsigned> counter{0};
  wchar_t name[96];
  _snwprintf(name, 96, L"%s-%lu-%u%s", stem, GetCurrentProcessId(), counter++, suffix);
  return name;
}

std::wstring TempFolder() {
  wchar_t buffer[MAX_PATH + 1];
  DWORD length = GetTempPathW(MAX_PATH + 1, buffer);
  return std::wstring(buffer, length);
}

}  // namespace

InstallerSession::InstallerSession() : path_(TempFolder() + UniqueName(L"zqmsi", L".msi")) {
  MSIHANDLE database = 0;
  EXPECT_EQ(MsiOpenDatabaseW(path_.c_str(), MSIDBOPEN_CREATE, &database), 0u);
  SetSummary(database);
  RunQuery(database,
           L"CREATE TABLE `Property` (`Property` CHAR(72) NOT NULL, `Value` CHAR(0) NOT NULL "
           L"PRIMARY KEY `Property`)");
  RunQuery(database,
           L"CREATE TABLE `Directory` (`Directory` CHAR(72) NOT NULL, `Directory_Parent` CHAR(72), "
           L"`DefaultDir` CHAR(255) NOT NULL LOCALIZABLE PRIMARY KEY `Directory`)");
  RunQuery(database,
           L"INSERT INTO `Directory` (`Directory`, `Directory_Parent`, `DefaultDir`) "
           L"VALUES ('TARGETDIR', '', 'SourceDir')");
  const wchar_t* properties[][2] = {{L"ProductCode", L"{0B7A3B5E-8D21-4F7E-A3C1-4E2D9B6F1C02}"},
                                    {L"ProductName", L"zqplatutil installer tests"},
                                    {L"ProductVersion", L"1.0.0"},
                                    {L"ProductLanguage", L"1033"},
                                    {L"Manufacturer", L"zqplatutil tests"}};
  for (auto& property : properties) {
    std::wstring insert = std::wstring(L"INSERT INTO `Property` (`Property`, `Value`) VALUES ('") + property[0] +
                          L"', '" + property[1] + L"')";
    RunQuery(database, insert.c_str());
  }
  EXPECT_EQ(MsiDatabaseCommit(database), 0u);
  MsiCloseHandle(database);

  MsiSetInternalUI(INSTALLUILEVEL_NONE, nullptr);
  EXPECT_EQ(MsiOpenPackageW(path_.c_str(), &session_), 0u);
}

InstallerSession::~InstallerSession() {
  if (session_) MsiCloseHandle(session_);
  DeleteFileW(path_.c_str());
}

void InstallerSession::SetProperty(const wchar_t* name, const std::wstring& value) const {
  ASSERT_EQ(MsiSetPropertyW(session_, name, value.c_str()), 0u);
}

std::wstring InstallerSession::Property(const wchar_t* name) const {
  wchar_t value[512] = {};
  DWORD size = 512;
  EXPECT_EQ(MsiGetPropertyW(session_, name, value, &size), 0u);
  return value;
}

ScratchTree::ScratchTree(const std::wstring& name) : root_(TempFolder() + UniqueName(name.c_str(), L"\\")) {
  owned_ = fs::create_directories(root_);
  EXPECT_TRUE(owned_);
}

ScratchTree::ScratchTree(const std::wstring& parent, const std::wstring& name) : root_(parent + name + L"\\") {
  owned_ = fs::create_directories(root_);
  EXPECT_TRUE(owned_) << "already there, left alone: " << testing::PrintToString(root_);
}

ScratchTree::~ScratchTree() {
  if (!owned_) return;
  std::error_code ignored;
  // Read-only files would stop remove_all.
  for (auto& entry : fs::recursive_directory_iterator(root_, ignored)) {
    SetFileAttributesW(entry.path().c_str(), FILE_ATTRIBUTE_NORMAL);
  }
  fs::remove_all(root_, ignored);
}

void ScratchTree::AddFile(const std::wstring& relative) const {
  fs::path path = Path(relative);
  fs::create_directories(path.parent_path());
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE) << path;
  DWORD written = 0;
  WriteFile(file, relative.data(), static_cast<DWORD>(relative.size() * sizeof(wchar_t)), &written, nullptr);
  CloseHandle(file);
}

void ScratchTree::AddFolder(const std::wstring& relative) const { fs::create_directories(Path(relative)); }

std::vector<std::wstring> ScratchTree::List(const std::wstring& relative) const {
  std::vector<std::wstring> names;
  std::error_code ignored;
  for (auto& entry : fs::directory_iterator(Path(relative), ignored)) names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

SavedValue::SavedValue(HKEY root, std::wstring key, std::wstring name)
    : root_(root), key_(std::move(key)), name_(std::move(name)) {
  HKEY opened = nullptr;
  keyExisted_ = RegOpenKeyExW(root_, key_.c_str(), 0, KEY_READ, &opened) == ERROR_SUCCESS;
  if (!keyExisted_) return;
  DWORD size = 0;
  if (RegQueryValueExW(opened, name_.c_str(), nullptr, &type_, nullptr, &size) == ERROR_SUCCESS) {
    data_.resize(size);
    valueExisted_ = RegQueryValueExW(opened, name_.c_str(), nullptr, &type_, data_.data(), &size) == ERROR_SUCCESS;
  }
  RegCloseKey(opened);
}

SavedValue::~SavedValue() {
  if (!keyExisted_) {
    RegDeleteTreeW(root_, key_.c_str());  // made for the test
    RegDeleteKeyW(root_, key_.c_str());
  } else if (valueExisted_) {
    Set(type_, data_.data(), static_cast<DWORD>(data_.size()));
  } else {
    Delete();
  }
}

void SavedValue::Set(DWORD type, const void* data, DWORD size) const {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExW(root_, key_.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr), ERROR_SUCCESS);
  EXPECT_EQ(RegSetValueExW(key, name_.c_str(), 0, type, static_cast<const BYTE*>(data), size), ERROR_SUCCESS);
  RegCloseKey(key);
}

void SavedValue::Delete() const { RegDeleteKeyValueW(root_, key_.c_str(), name_.c_str()); }

PendingDeletions::PendingDeletions()
    : value_(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Control\\Session Manager",
             L"PendingFileRenameOperations") {
  value_.Delete();
}

std::vector<std::wstring> PendingDeletions::Paths() const {
  std::vector<std::wstring> paths;
  const wchar_t* key = L"SYSTEM\\CurrentControlSet\\Control\\Session Manager";
  DWORD size = 0;
  if (RegGetValueW(HKEY_LOCAL_MACHINE, key, L"PendingFileRenameOperations", RRF_RT_REG_MULTI_SZ, nullptr, nullptr,
                   &size) != ERROR_SUCCESS) {
    return paths;
  }
  std::vector<wchar_t> data(size / sizeof(wchar_t) + 2, L'\0');
  EXPECT_EQ(RegGetValueW(HKEY_LOCAL_MACHINE, key, L"PendingFileRenameOperations", RRF_RT_REG_MULTI_SZ, nullptr,
                         data.data(), &size),
            ERROR_SUCCESS);
  // Pairs of source and target; an empty target is a deletion.
  for (const wchar_t* at = data.data(); *at;) {
    std::wstring source = at;
    at += source.size() + 1;
    EXPECT_EQ(std::wstring(at), L"") << "a rename of " << testing::PrintToString(source);
    at += wcslen(at) + 1;
    paths.push_back(source);
  }
  return paths;
}

std::wstring Recorded(const std::wstring& path) { return L"\\??\\" + path; }

EnvironmentOverride::EnvironmentOverride(const wchar_t* name, const wchar_t* value) : name_(name) {
  wchar_t buffer[1024];
  DWORD length = GetEnvironmentVariableW(name, buffer, 1024);
  wasSet_ = length != 0 && length < 1024;
  if (wasSet_) saved_.assign(buffer, length);
  SetEnvironmentVariableW(name, value);
}

EnvironmentOverride::~EnvironmentOverride() {
  SetEnvironmentVariableW(name_.c_str(), wasSet_ ? saved_.c_str() : nullptr);
}

HeldFile::HeldFile(const std::wstring& path)
    : file_(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr)) {
  EXPECT_NE(file_, INVALID_HANDLE_VALUE) << testing::PrintToString(path);
}

HeldFile::~HeldFile() {
  if (file_ != INVALID_HANDLE_VALUE) CloseHandle(file_);
}

}  // namespace zqmsitest
