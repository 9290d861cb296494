#include "scratchkey.h"

#include <gtest/gtest.h>

namespace zqtest {

ScratchKey::ScratchKey(const std::wstring& name, HKEY root, REGSAM view)
    : root_(root), view_(view), path_(L"Software\\ZqPlatUtilTests\\" + name) {
  RegDeleteKeyExW(root_, path_.c_str(), view_, 0);  // a leftover of an aborted run
  CreateKey(L"");
}

ScratchKey::~ScratchKey() {
  HKEY parent = nullptr;
  if (RegOpenKeyExW(root_, L"Software\\ZqPlatUtilTests", 0, KEY_ALL_ACCESS | view_, &parent) == ERROR_SUCCESS) {
    std::wstring leaf = path_.substr(path_.rfind(L'\\') + 1);
    RegDeleteTreeW(parent, leaf.c_str());
    RegDeleteKeyExW(parent, leaf.c_str(), view_, 0);
    RegCloseKey(parent);
  }
}

void ScratchKey::CreateKey(const std::wstring& subpath) const {
  std::wstring full = subpath.empty() ? path_ : Sub(subpath);
  HKEY key = nullptr;
  LSTATUS rc = RegCreateKeyExW(root_, full.c_str(), 0, nullptr, 0, KEY_WRITE | view_, nullptr, &key, nullptr);
  ASSERT_EQ(rc, ERROR_SUCCESS);
  RegCloseKey(key);
}

void ScratchKey::SetRaw(const std::wstring& subpath, const wchar_t* name, DWORD type, const void* data,
                        DWORD size) const {
  std::wstring full = subpath.empty() ? path_ : Sub(subpath);
  HKEY key = nullptr;
  LSTATUS rc = RegCreateKeyExW(root_, full.c_str(), 0, nullptr, 0, KEY_WRITE | view_, nullptr, &key, nullptr);
  ASSERT_EQ(rc, ERROR_SUCCESS);
  rc = RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), size);
  RegCloseKey(key);
  ASSERT_EQ(rc, ERROR_SUCCESS);
}

void ScratchKey::SetDword(const std::wstring& subpath, const wchar_t* name, DWORD value) const {
  SetRaw(subpath, name, REG_DWORD, &value, sizeof value);
}

void ScratchKey::SetString(const std::wstring& subpath, const wchar_t* name, const std::wstring& value,
                           DWORD type) const {
  SetRaw(subpath, name, type, value.c_str(), static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

}  // namespace zqtest
