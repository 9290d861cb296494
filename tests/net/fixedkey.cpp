#include "fixedkey.h"

#include <gtest/gtest.h>

namespace nettest {
namespace {

bool KeyExists(HKEY root, const std::wstring& path) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

HKEY OpenOrFail(HKEY root, const std::wstring& path, REGSAM access) {
  HKEY key = nullptr;
  LSTATUS rc = RegOpenKeyExW(root, path.c_str(), 0, access, &key);
  EXPECT_EQ(rc, ERROR_SUCCESS) << "opening the test key";
  return rc == ERROR_SUCCESS ? key : nullptr;
}

}  // namespace

FixedKey::FixedKey(const std::wstring& path, HKEY root) : root_(root), path_(path) {
  // The first missing component is where our own subtree starts.
  for (size_t at = 0; at != std::wstring::npos;) {
    at = path.find(L'\\', at + 1);
    std::wstring prefix = path.substr(0, at);
    if (!KeyExists(root, prefix)) {
      createdFrom_ = prefix;
      break;
    }
  }
  HKEY key = nullptr;
  EXPECT_EQ(RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr), ERROR_SUCCESS);
  if (key) RegCloseKey(key);
}

FixedKey::~FixedKey() {
  if (!createdFrom_.empty()) {
    RegDeleteTreeW(root_, createdFrom_.c_str());
    RegDeleteKeyW(root_, createdFrom_.c_str());
    return;
  }
  HKEY key = OpenOrFail(root_, path_, KEY_WRITE);
  if (!key) return;
  for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
    if (it->existed) {
      RegSetValueExW(key, it->name.c_str(), 0, it->type, it->data.data(), static_cast<DWORD>(it->data.size()));
    } else {
      RegDeleteValueW(key, it->name.c_str());
    }
  }
  RegCloseKey(key);
}

void FixedKey::Remember(const std::wstring& name) const {
  if (!createdFrom_.empty()) return;
  for (const Saved& s : saved_) {
    if (s.name == name) return;
  }
  Saved saved{name, false, 0, {}};
  HKEY key = OpenOrFail(root_, path_, KEY_QUERY_VALUE);
  if (!key) return;
  DWORD size = 0;
  if (RegQueryValueExW(key, name.c_str(), nullptr, &saved.type, nullptr, &size) == ERROR_SUCCESS) {
    saved.data.resize(size);
    saved.existed =
        RegQueryValueExW(key, name.c_str(), nullptr, &saved.type, saved.data.data(), &size) == ERROR_SUCCESS;
  }
  RegCloseKey(key);
  saved_.push_back(saved);
}

void FixedKey::SetRaw(const std::wstring& name, DWORD type, const void* data, DWORD size) const {
  Remember(name);
  HKEY key = OpenOrFail(root_, path_, KEY_WRITE);
  if (!key) return;
  EXPECT_EQ(RegSetValueExW(key, name.c_str(), 0, type, static_cast<const BYTE*>(data), size), ERROR_SUCCESS);
  RegCloseKey(key);
}

void FixedKey::SetString(const std::wstring& name, const std::wstring& value) const {
  SetRaw(name, REG_SZ, value.c_str(), static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

std::optional<std::wstring> FixedKey::GetString(const std::wstring& name) const {
  HKEY key = OpenOrFail(root_, path_, KEY_QUERY_VALUE);
  if (!key) return std::nullopt;
  wchar_t data[512] = {};
  DWORD size = sizeof data - sizeof(wchar_t);
  LSTATUS rc = RegQueryValueExW(key, name.c_str(), nullptr, nullptr, reinterpret_cast<BYTE*>(data), &size);
  RegCloseKey(key);
  if (rc != ERROR_SUCCESS) return std::nullopt;
  return std::wstring(data);
}

void FixedKey::DeleteValue(const std::wstring& name) const {
  Remember(name);
  HKEY key = OpenOrFail(root_, path_, KEY_WRITE);
  if (!key) return;
  RegDeleteValueW(key, name.c_str());
  RegCloseKey(key);
}

AbsentKey::AbsentKey(const std::wstring& path, HKEY root) : root_(root), path_(path) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return;
  existed_ = true;
  for (DWORD index = 0;; ++index) {
    wchar_t name[256];
    DWORD nameChars = 256;
    DWORD type = 0;
    BYTE data[2048];
    DWORD size = sizeof data;
    if (RegEnumValueW(key, index, name, &nameChars, nullptr, &type, data, &size) != ERROR_SUCCESS) break;
    values_.push_back({name, {type, std::vector<BYTE>(data, data + size)}});
  }
  RegCloseKey(key);
  RegDeleteTreeW(root, path.c_str());
  RegDeleteKeyW(root, path.c_str());
}

AbsentKey::~AbsentKey() {
  if (!existed_) return;
  HKEY key = nullptr;
  if (RegCreateKeyExW(root_, path_.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) != ERROR_SUCCESS) return;
  for (const auto& [name, value] : values_) {
    RegSetValueExW(key, name.c_str(), 0, value.first, value.second.data(), static_cast<DWORD>(value.second.size()));
  }
  RegCloseKey(key);
}

}  // namespace nettest
