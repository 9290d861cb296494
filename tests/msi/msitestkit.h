// What the installer tests need around the library: a real installer session,
// a folder tree of the test's own, and registry values put back afterwards.
#pragma once

#include <windows.h>
#include <msi.h>

#include <string>
#include <vector>

namespace zqmsitest {

// A package database made with msi.dll and a session opened on it.
class InstallerSession {
 public:
  InstallerSession();
  ~InstallerSession();
  InstallerSession(const InstallerSession&) = delete;
  InstallerSession& operator=(const InstallerSession&) = delete;

  MSIHANDLE Handle() const { return session_; }
  void SetProperty(const wchar_t* name, const std::wstring& value) const;
  std::wstring Property(const wchar_t* name) const;

 private:
  std::wstring path_;
  MSIHANDLE session_ = 0;
};

// A folder of the test's own under the temporary folder, removed with all
// it holds at the end (read-only files included).
class ScratchTree {
 public:
  explicit ScratchTree(const std::wstring& name);
  // The folder `name` itself under `parent` (ending in a backslash), which
  // must not exist yet.
  ScratchTree(const std::wstring& parent, const std::wstring& name);
  ~ScratchTree();
  ScratchTree(const ScratchTree&) = delete;
  ScratchTree& operator=(const ScratchTree&) = delete;

  // The folder, ending in a backslash; Path(L"a\\b") is the entry below it.
  const std::wstring& Root() const { return root_; }
  std::wstring Path(const std::wstring& relative) const { return root_ + relative; }

  // Creates the file (and the folders above it) holding its own name.
  void AddFile(const std::wstring& relative) const;
  void AddFolder(const std::wstring& relative) const;
  // The names in a folder, "." and ".." left out, sorted.
  std::vector<std::wstring> List(const std::wstring& relative) const;

 private:
  std::wstring root_;
  bool owned_ = false;  // made here, so removed here
};

// One registry value, saved when made and put back (or deleted again) at the end.
class SavedValue {
 public:
  SavedValue(HKEY root, std::wstring key, std::wstring name);
  ~SavedValue();
  SavedValue(const SavedValue&) = delete;
  SavedValue& operator=(const SavedValue&) = delete;

  void Set(DWORD type, const void* data, DWORD size) const;
  void SetDword(DWORD value) const { Set(REG_DWORD, &value, sizeof value); }
  void Delete() const;

 private:
  HKEY root_;
  std::wstring key_, name_;
  bool keyExisted_ = false, valueExisted_ = false;
  DWORD type_ = 0;
  std::vector<BYTE> data_;
};

// The platform's record of deletions at the next restart, emptied for the
// test and put back as it was at the end.
class PendingDeletions {
 public:
  PendingDeletions();
  // The paths scheduled for deletion since then, in order, as recorded
  // (NT form "\??\C:\..."). Renames, which the library never schedules, fail the test.
  std::vector<std::wstring> Paths() const;
  void Clear() const { value_.Delete(); }

 private:
  SavedValue value_;
};

// The NT form that the platform records for a path scheduled at restart.
std::wstring Recorded(const std::wstring& path);

// An environment variable of this process, put back at the end.
class EnvironmentOverride {
 public:
  // A null value unsets the variable.
  EnvironmentOverride(const wchar_t* name, const wchar_t* value);
  ~EnvironmentOverride();
  EnvironmentOverride(const EnvironmentOverride&) = delete;
  EnvironmentOverride& operator=(const EnvironmentOverride&) = delete;

 private:
  std::wstring name_, saved_;
  bool wasSet_ = false;
};

// A file held open without delete sharing until the end.
class HeldFile {
 public:
  explicit HeldFile(const std::wstring& path);
  ~HeldFile();
  HeldFile(const HeldFile&) = delete;
  HeldFile& operator=(const HeldFile&) = delete;

 private:
  HANDLE file_;
};

}  // namespace zqmsitest
