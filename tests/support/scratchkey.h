// A registry key of the test's own, removed with its subtree at the end.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace zqtest {

class ScratchKey {
 public:
  // HKCU\Software\ZqPlatUtilTests\<name>, or under another root and view
  // (HKLM\Software is the key that the 32-bit view redirects).
  explicit ScratchKey(const std::wstring& name, HKEY root = HKEY_CURRENT_USER, REGSAM view = 0);
  ~ScratchKey();
  ScratchKey(const ScratchKey&) = delete;
  ScratchKey& operator=(const ScratchKey&) = delete;

  HKEY Root() const { return root_; }
  const std::wstring& Path() const { return path_; }
  std::wstring Sub(const std::wstring& child) const { return path_ + L"\\" + child; }

  // Raw writes through the platform, below Path() (subpath may be empty).
  void SetRaw(const std::wstring& subpath, const wchar_t* name, DWORD type, const void* data, DWORD size) const;
  void SetDword(const std::wstring& subpath, const wchar_t* name, DWORD value) const;
  void SetString(const std::wstring& subpath, const wchar_t* name, const std::wstring& value,
                 DWORD type = REG_SZ) const;
  void CreateKey(const std::wstring& subpath) const;

 private:
  HKEY root_;
  REGSAM view_;
  std::wstring path_;
};

}  // namespace zqtest
