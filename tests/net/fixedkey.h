// A registry key at a fixed path (the library's caches, the system's domain
// cache, a profile-list entry) that a test needs for a while: created with the
// parents that were missing, and on the way out either removed from the first
// key it created, or, when it already existed, cleared of the values the test
// set (restoring the values they replaced).
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

namespace nettest {

class FixedKey {
 public:
  explicit FixedKey(const std::wstring& path, HKEY root = HKEY_LOCAL_MACHINE);
  ~FixedKey();
  FixedKey(const FixedKey&) = delete;
  FixedKey& operator=(const FixedKey&) = delete;

  const std::wstring& Path() const { return path_; }
  void SetString(const std::wstring& name, const std::wstring& value) const;
  void SetRaw(const std::wstring& name, DWORD type, const void* data, DWORD size) const;
  // The value's text, or nothing when it is missing.
  std::optional<std::wstring> GetString(const std::wstring& name) const;
  void DeleteValue(const std::wstring& name) const;

 private:
  struct Saved {
    std::wstring name;
    bool existed;
    DWORD type;
    std::vector<BYTE> data;
  };
  void Remember(const std::wstring& name) const;

  HKEY root_;
  std::wstring path_;
  std::wstring createdFrom_;  // the first key this object created, or empty
  mutable std::vector<Saved> saved_;
};

// Makes sure a fixed key is absent for a while, and puts it back afterwards
// (values of the key itself only: the keys used here have no subkeys).
class AbsentKey {
 public:
  explicit AbsentKey(const std::wstring& path, HKEY root = HKEY_LOCAL_MACHINE);
  ~AbsentKey();
  AbsentKey(const AbsentKey&) = delete;
  AbsentKey& operator=(const AbsentKey&) = delete;

 private:
  HKEY root_;
  std::wstring path_;
  bool existed_ = false;
  std::vector<std::pair<std::wstring, std::pair<DWORD, std::vector<BYTE>>>> values_;
};

}  // namespace nettest
