// Token queries against Wine's real tokens.
#include <gtest/gtest.h>

#include <windows.h>

#include "handles.h"
#include "logcapture.h"
#include "token.h"
#include "zqsys.h"

using zqtest::LogCapture;
using zqtest::LogLine;
using Lines = std::vector<LogLine>;

namespace {

std::wstring Hex(const wchar_t* format, DWORD value) {
  wchar_t text[160];
  _snwprintf(text, 160, format, value);
  return text;
}

// What the platform says about a token, read directly.
DWORD LevelOf(HANDLE token) {
  BYTE buffer[128];
  DWORD size = 0;
  EXPECT_TRUE(GetTokenInformation(token, TokenIntegrityLevel, buffer, sizeof buffer, &size));
  PSID label = reinterpret_cast<TOKEN_MANDATORY_LABEL*>(buffer)->Label.Sid;
  return *GetSidSubAuthority(label, *GetSidSubAuthorityCount(label) - 1);
}

// A handle whose token cannot be opened: an event is no process. (Wine does
// not check the access rights of a process handle for its token.)
struct UnqueryableProcess {
  HANDLE handle = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  DWORD openError = 0;
  UnqueryableProcess() {
    HANDLE token = nullptr;
    EXPECT_FALSE(OpenProcessToken(handle, TOKEN_QUERY, &token));
    openError = GetLastError();
    if (token) CloseHandle(token);
  }
  ~UnqueryableProcess() { CloseHandle(handle); }
};

// Impersonates a copy of the process token, lowered to the given level when
// the platform lets a token's level change, for the object's lifetime.
struct Impersonation {
  HANDLE token = nullptr;
  bool lowered = false;
  explicit Impersonation(DWORD level) {
    HANDLE process = nullptr;
    EXPECT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_DUPLICATE | TOKEN_QUERY, &process));
    EXPECT_TRUE(DuplicateTokenEx(process, TOKEN_ALL_ACCESS, nullptr, SecurityImpersonation, TokenImpersonation,
                                 &token));
    CloseHandle(process);
    SID_IDENTIFIER_AUTHORITY mandatory = SECURITY_MANDATORY_LABEL_AUTHORITY;
    PSID label = nullptr;
    AllocateAndInitializeSid(&mandatory, 1, level, 0, 0, 0, 0, 0, 0, 0, &label);
    TOKEN_MANDATORY_LABEL tml = {{label, SE_GROUP_INTEGRITY}};
    lowered = SetTokenInformation(token, TokenIntegrityLevel, &tml, sizeof tml + GetLengthSid(label)) &&
              LevelOf(token) == level;
    FreeSid(label);
    EXPECT_TRUE(SetThreadToken(nullptr, token));
  }
  ~Impersonation() {
    RevertToSelf();
    CloseHandle(token);
  }
};

TEST(TokenQueries, AnswerFromTheProcessToken) {
  HANDLE token = nullptr;
  ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token));
  const DWORD processLevel = LevelOf(token);
  DWORD container = 0;
  DWORD size = 0;
  BOOL containerKnown = GetTokenInformation(token, TokenIsAppContainer, &container, sizeof container, &size);
  DWORD containerError = GetLastError();
  CloseHandle(token);

  uintptr_t handlesBefore = zqtest::ProbeHandleValue();
  LogCapture log;
  EXPECT_EQ(zqGetIntegrityLevel(), processLevel);
  EXPECT_EQ(log.Lines(), (Lines{{8, L"zqGetIntegrityLevel"}, {16, Hex(L"zqGetIntegrityLevel: 0x%x", processLevel)}}));

  log.Clear();
  EXPECT_EQ(zqIsAppContainer(), containerKnown && container != 0);
  if (containerKnown) {
    EXPECT_EQ(log.Lines(), (Lines{{8, L"zqIsAppContainer"}, {16, L"zqIsAppContainer: false"}}));
  } else {
    EXPECT_EQ(log.Lines(),
              (Lines{{8, L"zqIsAppContainer"},
                     {1, Hex(L"zqIsAppContainer: GetTokenInformation(TokenIsAppContainer) failed with error 0x%x",
                             containerError)},
                     {16, L"zqIsAppContainer: false"}}));
  }
  EXPECT_EQ(zqtest::ProbeHandleValue(), handlesBefore);

  // A thread that impersonates another token does not change the answer.
  Impersonation low(SECURITY_MANDATORY_LOW_RID);
  EXPECT_EQ(zqGetIntegrityLevel(), processLevel);
  EXPECT_EQ(zq::sys::IntegrityLevelOf(GetCurrentProcess()), processLevel);
  if (!low.lowered) GTEST_LOG_(INFO) << "Wine keeps the level of a duplicated token";
}

TEST(TokenQueries, ThreadTokenWhenTheProcessTokenDoesNotOpen) {
  UnqueryableProcess process;
  Impersonation low(SECURITY_MANDATORY_LOW_RID);
  const DWORD threadLevel = LevelOf(low.token);
  if (low.lowered) {
    EXPECT_EQ(threadLevel, static_cast<DWORD>(SECURITY_MANDATORY_LOW_RID));
  }

  LogCapture log;
  EXPECT_EQ(zq::sys::IntegrityLevelOf(process.handle), threadLevel);
  EXPECT_EQ(log.Lines(),
            (Lines{{8, L"zqGetIntegrityLevel"},
                   {2, Hex(L"zqGetIntegrityLevel OpenProcessToken failed with error code 0x%x : try OpenThreadToken",
                           process.openError)},
                   {16, Hex(L"zqGetIntegrityLevel: 0x%x", threadLevel)}}));
  log.Clear();
  zq::sys::AppContainerOf(process.handle);
  ASSERT_GE(log.Lines().size(), 3u);
  EXPECT_EQ(log.Lines()[1],
            (LogLine{2, Hex(L"zqIsAppContainer OpenProcessToken failed with error code 0x%x : try OpenThreadToken",
                            process.openError)}));
}

TEST(TokenQueries, DefaultsWhenNoTokenOpens) {
  UnqueryableProcess process;
  HANDLE none = nullptr;
  ASSERT_FALSE(OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, &none));
  const DWORD threadError = GetLastError();
  EXPECT_EQ(threadError, static_cast<DWORD>(ERROR_NO_TOKEN));

  uintptr_t handlesBefore = zqtest::ProbeHandleValue();
  LogCapture log;
  EXPECT_EQ(zq::sys::IntegrityLevelOf(process.handle), 0x2000u);
  EXPECT_FALSE(zq::sys::AppContainerOf(process.handle));
  EXPECT_EQ(log.Lines(),
            (Lines{{8, L"zqGetIntegrityLevel"},
                   {2, Hex(L"zqGetIntegrityLevel OpenProcessToken failed with error code 0x%x : try OpenThreadToken",
                           process.openError)},
                   {1, Hex(L"zqGetIntegrityLevel: OpenProcessToken failed with error 0x%x", threadError)},
                   {16, L"zqGetIntegrityLevel: 0x2000"},
                   {8, L"zqIsAppContainer"},
                   {2, Hex(L"zqIsAppContainer OpenProcessToken failed with error code 0x%x : try OpenThreadToken",
                           process.openError)},
                   {1, Hex(L"zqIsAppContainer: OpenProcessToken failed with error 0x%x", threadError)},
                   {16, L"zqIsAppContainer: false"}}));
  EXPECT_EQ(zqtest::ProbeHandleValue(), handlesBefore);
}

}  // namespace
