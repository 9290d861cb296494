// Token queries against Wine's real tokens.
#include "handles.h"
#include "systest.h"
#include "token.h"
#include "zqsys.h"

using namespace systest;
using zqtest::LogCapture;

namespace {

DWORD LevelOf(HANDLE token) {
  BYTE buffer[128];
  DWORD size = 0;
  EXPECT_TRUE(GetTokenInformation(token, TokenIntegrityLevel, buffer, sizeof buffer, &size));
  PSID label = reinterpret_cast<TOKEN_MANDATORY_LABEL*>(buffer)->Label.Sid;
  return *GetSidSubAuthority(label, *GetSidSubAuthorityCount(label) - 1);
}

// Impersonates a copy of the process token, lowered to the level when the
// platform lets a token's level change, for the object's lifetime.
struct Impersonation {
  HANDLE token = nullptr;
  explicit Impersonation(DWORD level) {
    HANDLE process = nullptr;
    EXPECT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_DUPLICATE | TOKEN_QUERY, &process));
    EXPECT_TRUE(
        DuplicateTokenEx(process, TOKEN_ALL_ACCESS, nullptr, SecurityImpersonation, TokenImpersonation, &token));
    CloseHandle(process);
    SID_IDENTIFIER_AUTHORITY mandatory = SECURITY_MANDATORY_LABEL_AUTHORITY;
    PSID label = nullptr;
    AllocateAndInitializeSid(&mandatory, 1, level, 0, 0, 0, 0, 0, 0, 0, &label);
    TOKEN_MANDATORY_LABEL tml = {{label, SE_GROUP_INTEGRITY}};
    SetTokenInformation(token, TokenIntegrityLevel, &tml, sizeof tml + GetLengthSid(label));
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
  DWORD container = 0, size = 0;
  BOOL containerKnown = GetTokenInformation(token, TokenIsAppContainer, &container, sizeof container, &size);
  DWORD containerError = GetLastError();
  CloseHandle(token);

  uintptr_t handlesBefore = zqtest::ProbeHandleValue();
  LogCapture log;
  EXPECT_EQ(zqGetIntegrityLevel(), processLevel);
  EXPECT_EQ(zqIsAppContainer(), containerKnown && container != 0);
  Lines expected{
      {8, L"zqGetIntegrityLevel"}, {16, Format(L"zqGetIntegrityLevel: 0x%x", processLevel)}, {8, L"zqIsAppContainer"}};
  if (!containerKnown) {
    expected.push_back({1, Format(L"zqIsAppContainer: GetTokenInformation(TokenIsAppContainer) failed with error 0x%x",
                                  containerError)});
  }
  expected.push_back({16, L"zqIsAppContainer: false"});
  EXPECT_EQ(log.Lines(), expected);
  EXPECT_EQ(zqtest::ProbeHandleValue(), handlesBefore);

  // A thread that impersonates another token does not change the answer.
  Impersonation low(SECURITY_MANDATORY_LOW_RID);
  EXPECT_EQ(zqGetIntegrityLevel(), processLevel);
}

// An event is no process, so its token does not open (Wine does not check the
// access rights of a real process handle for its token): the thread's token
// answers, and without one the defaults.
TEST(TokenQueries, ThreadTokenThenDefaultsWhenTheProcessTokenDoesNotOpen) {
  HANDLE notAProcess = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  HANDLE none = nullptr;
  ASSERT_FALSE(OpenProcessToken(notAProcess, TOKEN_QUERY, &none));
  const DWORD openError = GetLastError();
  ASSERT_FALSE(OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, &none));
  const DWORD threadError = GetLastError();
  auto tryThread = [&](const wchar_t* name) {
    return zqtest::LogLine{
        2, name + Format(L" OpenProcessToken failed with error code 0x%x : try OpenThreadToken", openError)};
  };
  auto noToken = [&](const wchar_t* name) {
    return zqtest::LogLine{1, name + Format(L": OpenProcessToken failed with error 0x%x", threadError)};
  };

  uintptr_t handlesBefore = zqtest::ProbeHandleValue();
  LogCapture log;
  EXPECT_EQ(zq::sys::IntegrityLevelOf(notAProcess), 0x2000u);
  EXPECT_FALSE(zq::sys::AppContainerOf(notAProcess));
  EXPECT_EQ(log.Lines(), (Lines{{8, L"zqGetIntegrityLevel"},
                                tryThread(L"zqGetIntegrityLevel"),
                                noToken(L"zqGetIntegrityLevel"),
                                {16, L"zqGetIntegrityLevel: 0x2000"},
                                {8, L"zqIsAppContainer"},
                                tryThread(L"zqIsAppContainer"),
                                noToken(L"zqIsAppContainer"),
                                {16, L"zqIsAppContainer: false"}}));
  EXPECT_EQ(zqtest::ProbeHandleValue(), handlesBefore);

  {
    Impersonation low(SECURITY_MANDATORY_LOW_RID);
    const DWORD threadLevel = LevelOf(low.token);
    log.Clear();
    EXPECT_EQ(zq::sys::IntegrityLevelOf(notAProcess), threadLevel);
    EXPECT_EQ(log.Lines(), (Lines{{8, L"zqGetIntegrityLevel"},
                                  tryThread(L"zqGetIntegrityLevel"),
                                  {16, Format(L"zqGetIntegrityLevel: 0x%x", threadLevel)}}));
    log.Clear();
    EXPECT_FALSE(zq::sys::AppContainerOf(notAProcess));
    EXPECT_EQ(log.Lines(), (Lines{{8, L"zqIsAppContainer"},
                                  tryThread(L"zqIsAppContainer"),
                                  {16, L"zqIsAppContainer: false"}}));
  }
  EXPECT_EQ(zqtest::ProbeHandleValue(), handlesBefore);
  CloseHandle(notAProcess);
}

}  // namespace
