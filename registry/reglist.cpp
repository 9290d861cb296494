// Listings of value names and subkey names into the caller's arrays.
#include <cwchar>

#include "regframe.h"

namespace zq::reg {
namespace {

// What one listing enumerates and where each name goes.
class ValueNames {
 public:
  static constexpr const wchar_t* kName = L"zqRegListValueNamesEx";
  static constexpr const wchar_t* kNullCount = L"pnValueCount is NULL";
  static constexpr REGSAM kRights = KEY_QUERY_VALUE;
  static constexpr const wchar_t* kFirstFailed = L"RegEnumValue failed with error code 0x%x";
  static constexpr const wchar_t* kFull = L"%s: Max number of value reached";

  ValueNames(ZQ_REG_VALUE_ENTRY* entries, DWORD filter) : entries_(entries), filter_(filter) {}
  bool HasArray() const { return entries_ != nullptr; }

  LSTATUS Enumerate(HKEY key, DWORD index) {
    std::wmemset(name_, L'\0', ZQ_REG_VALUE_NAME_CCH);
    DWORD length = ZQ_REG_VALUE_NAME_CCH;
    return RegEnumValueW(key, index, name_, &length, nullptr, &type_, nullptr, nullptr);
  }
  // A value that the filter refuses leaves the caller's element alone.
  void Store(int index) const {
    if (filter_ != ZQ_REG_ANY_TYPE && filter_ != type_) return;
    entries_[index].dwType = type_;
    lstrcpynW(entries_[index].szName, name_, ZQ_REG_VALUE_NAME_CCH);
  }

 private:
  ZQ_REG_VALUE_ENTRY* entries_;
  DWORD filter_;
  wchar_t name_[ZQ_REG_VALUE_NAME_CCH];
  DWORD type_ = 0;
};

class SubKeyNames {
 public:
  static constexpr const wchar_t* kName = L"zqRegListKeysEx";
  static constexpr const wchar_t* kNullCount = L"pnSubKeyCount is NULL";
  static constexpr REGSAM kRights = KEY_ENUMERATE_SUB_KEYS;
  static constexpr const wchar_t* kFirstFailed = L"RegEnumKeyEx failed with error code 0x%x";
  static constexpr const wchar_t* kFull = L"%s: max number of subkey reached";

  explicit SubKeyNames(ZQ_REG_SUBKEY_SLOT* slots) : slots_(slots) {}
  bool HasArray() const { return slots_ != nullptr; }

  LSTATUS Enumerate(HKEY key, DWORD index) {
    std::wmemset(name_, L'\0', ZQ_REG_SUBKEY_NAME_CCH);
    DWORD length = ZQ_REG_SUBKEY_NAME_CCH;
    return RegEnumKeyExW(key, index, name_, &length, nullptr, nullptr, nullptr, nullptr);
  }
  void Store(int index) const { lstrcpynW(slots_[index].szName, name_, ZQ_REG_SUBKEY_NAME_CCH); }

 private:
  ZQ_REG_SUBKEY_SLOT* slots_;
  wchar_t name_[ZQ_REG_SUBKEY_NAME_CCH];
};

// The walk both listings share: index i fills element i, the capacity stops
// it, ERROR_NO_MORE_ITEMS ends it, and a name too long for the buffer still
// takes its index.
template <typename Names>
int List(Names& names, HKEY root, const wchar_t* key, int* count, DWORD section) {
  Call call(Names::kName, section);
  if (!call.SectionAccepted()) return call.Finish(kBadArgument);
  if (!call.Given(key, L"pszKey is NULL") || !call.Given(count, Names::kNullCount)) return call.Finish(kBadArgument);

  UniqueKey opened;
  LSTATUS rc = RegOpenKeyExW(root, key, 0, call.Access(Names::kRights), opened.put());
  if (rc != ERROR_SUCCESS) {
    log::Line(names.HasArray() ? log::kError : log::kDetail, L"RegOpenKeyEx failed with error code 0x%x", rc);
    return call.Finish(kSystemError);
  }
  rc = names.Enumerate(opened.get(), 0);
  if (rc != ERROR_SUCCESS) {
    log::Line(log::kError, Names::kFirstFailed, rc);
    return call.Finish(kSystemError);
  }

  const int capacity = *count;
  int index = 0;
  for (;;) {
    if (names.HasArray()) {
      if (!(index < capacity)) {
        log::Line(log::kDetail, Names::kFull, call.Name());
        break;
      }
      names.Store(index);
    }
    ++index;
    rc = names.Enumerate(opened.get(), static_cast<DWORD>(index));
    // A deleted key fails every further index: nothing more to walk.
    if (rc == ERROR_NO_MORE_ITEMS || rc == ERROR_KEY_DELETED) break;
  }
  *count = index;
  opened.reset();
  return call.Finish(kOk);
}

}  // namespace
}  // namespace zq::reg

extern "C" int zqRegListValueNamesEx(HKEY hRoot, const wchar_t* pszKey, ZQ_REG_VALUE_ENTRY* pEntries,
                                     int* pnValueCount, DWORD dwTypeFilter, DWORD dwSection) {
  zq::reg::ValueNames names(pEntries, dwTypeFilter);
  return zq::reg::List(names, hRoot, pszKey, pnValueCount, dwSection);
}

extern "C" int zqRegListValueNames(HKEY hRoot, const wchar_t* pszKey, ZQ_REG_VALUE_ENTRY* pEntries, int* pnValueCount,
                                   DWORD dwTypeFilter) {
  return zqRegListValueNamesEx(hRoot, pszKey, pEntries, pnValueCount, dwTypeFilter, ZQ_REG_SECTION_DEFAULT);
}

extern "C" int zqRegListKeysEx(HKEY hRoot, const wchar_t* pszKey, ZQ_REG_SUBKEY_SLOT* pSubKeys, int* pnSubKeyCount,
                               DWORD dwSection) {
  zq::reg::SubKeyNames names(pSubKeys);
  return zq::reg::List(names, hRoot, pszKey, pnSubKeyCount, dwSection);
}

extern "C" int zqRegListKeys(HKEY hRoot, const wchar_t* pszKey, ZQ_REG_SUBKEY_SLOT* pSubKeys, int* pnSubKeyCount) {
  return zqRegListKeysEx(hRoot, pszKey, pSubKeys, pnSubKeyCount, ZQ_REG_SECTION_DEFAULT);
}
