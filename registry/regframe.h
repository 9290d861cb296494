// What every registry operation shares: the status codes, the section check
// that comes before anything else and the exit line.
#pragma once

#include <windows.h>

#include "unique.h"
#include "widthcalls.h"
#include "zqlog.h"
#include "zqregistry.h"

namespace zq::reg {

using zq::UniqueKey;

enum Status : int {
  kOk = ZQ_REG_OK,
  kSystemError = ZQ_REG_ERROR,
  kMoreData = ZQ_REG_MORE_DATA,
  kBadArgument = ZQ_REG_BAD_ARGUMENT,
  kWrongType = ZQ_REG_WRONG_TYPE,
};

// 0, KEY_WOW64_64KEY or KEY_WOW64_32KEY alone.
constexpr bool IsAcceptedSection(DWORD section) {
  return (section & ~DWORD{0x300}) == 0 && section != 0x300;
}

// One registry operation: entry line on construction, the section and pointer
// checks, the open in the section's view, and the "name : ret=(%d)" exit line.
class Call {
 public:
  Call(const wchar_t* name, DWORD section) : operation_(name), section_(section) {}

  const wchar_t* Name() const { return operation_.Name(); }
  DWORD Access(DWORD rights) const { return section_ | rights; }

  // Logs the rejection at level 1.
  bool SectionAccepted() const {
    if (IsAcceptedSection(section_)) return true;
    ZQ_LOG_NAMED(*this, log::kError, "Desired registry section incorrect (0x%x)", section_);
    return false;
  }

  // The level-2 "name : text" line when a required pointer is null.
  bool Given(bool pointers, const wchar_t* nullText) const {
    if (!pointers) log::Line(log::kDetail, L"%s : %s", Name(), nullText);
    return pointers;
  }

  // Opens `key` in the section's view; the failure's level-2 line names `openCall`.
  template <typename Char>
  bool Open(HKEY root, const Char* key, DWORD rights, UniqueKey& opened,
            const wchar_t* openCall = L"RegOpenKeyEx") const {
    LSTATUS rc = RegOpenKeyExT(root, key, 0, Access(rights), opened.put());
    if (rc != ERROR_SUCCESS) log::Line(log::kDetail, L"%s : %s failed 0x%x", Name(), openCall, rc);
    return rc == ERROR_SUCCESS;
  }

  int Finish(int status) const { return operation_.Exit(status, L"%s : ret=(%d)"); }

 private:
  log::Operation operation_;
  DWORD section_;
};

}  // namespace zq::reg
