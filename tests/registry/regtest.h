// Helpers of the registry tests: the log lines a call must write, a table
// runner for calls, and the platform's own view of the registry.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "calls.h"

namespace regtest {

using zqtest::Case;
using zqtest::Lines;
using zqtest::Narrow;
using zqtest::RunCases;
using zqtest::operator+;

// A root that no open can use: a call given it proves that it opened nothing.
inline const HKEY kBogusRoot = reinterpret_cast<HKEY>(static_cast<uintptr_t>(0x7654));

// The lines of one call of `name`: its entry line, the details, its exit line
// with `ret`. Details are written "name : text" unless `named` is false (the
// texts that stand alone).
inline Lines Call(const std::wstring& name, int ret, const Lines& details = {}, bool named = true) {
  Lines lines{{8, name}};
  for (const zqtest::LogLine& detail : details) {
    lines.push_back({detail.level, named ? name + L" : " + detail.text : detail.text});
  }
  lines.push_back({16, name + L" : ret=(" + std::to_wstring(ret) + L")"});
  return lines;
}
// One detail line that stands alone.
inline Lines Alone(const std::wstring& name, int ret, unsigned level, const std::wstring& text) {
  return Call(name, ret, {{level, text}}, false);
}
// The common case: one detail line at level 2.
inline Lines Call(const std::wstring& name, int ret, const wchar_t* detail) { return Call(name, ret, {{2, detail}}); }
// A section rejected before anything else.
inline Lines Rejected(const std::wstring& name, const wchar_t* section = L"0x300") {
  return Call(name, -3, {{1, L"Desired registry section incorrect (" + std::wstring(section) + L")"}});
}

#define REG_CASE ZQ_CASE

inline bool KeyExists(HKEY root, const std::wstring& path, REGSAM view = 0) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(root, path.c_str(), 0, KEY_QUERY_VALUE | view, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

// The stored type and bytes as the platform reads them, with room for exactly
// the stored size (so the platform adds no terminator).
struct Stored {
  LSTATUS rc = ERROR_SUCCESS;
  DWORD type = 0;
  std::vector<BYTE> bytes;
};

inline Stored QueryRaw(HKEY root, const std::wstring& path, const wchar_t* name, REGSAM view = 0) {
  Stored stored;
  HKEY key = nullptr;
  stored.rc = RegOpenKeyExW(root, path.c_str(), 0, KEY_QUERY_VALUE | view, &key);
  if (stored.rc != ERROR_SUCCESS) return stored;
  DWORD size = 0;
  stored.rc = RegQueryValueExW(key, name, nullptr, &stored.type, nullptr, &size);
  stored.bytes.resize(size);
  if (stored.rc == ERROR_SUCCESS) stored.rc = RegQueryValueExW(key, name, nullptr, nullptr, stored.bytes.data(), &size);
  RegCloseKey(key);
  return stored;
}

}  // namespace regtest
