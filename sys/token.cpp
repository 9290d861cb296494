// Integrity level and app-container state of the calling process's token.
#include "token.h"

#include "unique.h"
#include "zqlog.h"
#include "zqsys.h"

namespace zq::sys {
namespace {

// The process's token, or the thread's when the process's cannot be opened.
bool OpenQueryToken(HANDLE process, const log::Operation& op, UniqueHandle& token) {
  if (OpenProcessToken(process, TOKEN_QUERY, token.put())) return true;
  log::Line(log::kDetail, L"%s OpenProcessToken failed with error code 0x%x : try OpenThreadToken", op.Name(),
            GetLastError());
  if (OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, token.put())) return true;
  log::Line(log::kError, L"%s: OpenProcessToken failed with error 0x%x", op.Name(), GetLastError());
  return false;
}

}  // namespace

DWORD IntegrityLevelOf(HANDLE process) {
  log::Operation op(L"zqGetIntegrityLevel");
  DWORD level = SECURITY_MANDATORY_MEDIUM_RID;
  UniqueHandle token;
  if (!OpenQueryToken(process, op, token)) return op.Exit(level, L"%s: 0x%x");

  DWORD size = 0;
  if (!GetTokenInformation(token.get(), TokenIntegrityLevel, nullptr, 0, &size) &&
      GetLastError() == ERROR_INSUFFICIENT_BUFFER) {
    UniqueLocal<void> buffer(LocalAlloc(LMEM_FIXED, size));
    if (buffer) {
      if (GetTokenInformation(token.get(), TokenIntegrityLevel, buffer.get(), size, &size)) {
        PSID label = static_cast<TOKEN_MANDATORY_LABEL*>(buffer.get())->Label.Sid;
        UCHAR count = *GetSidSubAuthorityCount(label);
        if (count > 0) level = *GetSidSubAuthority(label, count - 1u);  // a label without one keeps the default
      } else {
        log::Line(log::kError, L"zqGetIntegrityLevel: GetTokenInformation(TokenIntegrityLevel) failed with error 0x%x",
                  GetLastError());
      }
    }
  }
  token.reset();
  return op.Exit(level, L"%s: 0x%x");
}

bool AppContainerOf(HANDLE process) {
  log::Operation op(L"zqIsAppContainer");
  bool answer = false;
  UniqueHandle token;
  if (OpenQueryToken(process, op, token)) {
    DWORD isAppContainer = 0;
    DWORD size = 0;
    if (GetTokenInformation(token.get(), TokenIsAppContainer, &isAppContainer, sizeof isAppContainer, &size)) {
      answer = isAppContainer != 0;
    } else {
      log::Line(log::kError, L"zqIsAppContainer: GetTokenInformation(TokenIsAppContainer) failed with error 0x%x",
                GetLastError());
    }
    token.reset();
  }
  log::Line(log::kExit, L"zqIsAppContainer: %s", answer ? L"true" : L"false");
  return answer;
}

}  // namespace zq::sys

DWORD zqGetIntegrityLevel(void) { return zq::sys::IntegrityLevelOf(GetCurrentProcess()); }

bool zqIsAppContainer(void) { return zq::sys::AppContainerOf(GetCurrentProcess()); }
