// "zqplatutil prompt": the password dialog from the program's own template
// resource, driven from this test like a user would.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

namespace {

struct PromptRun {
  DWORD exitCode = 0;
  std::string output;
};

std::wstring ToolPath() {
  wchar_t path[MAX_PATH];
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring dir(path);
  return dir.substr(0, dir.rfind(L'\\') + 1) + L"zqplatutil.exe";
}

// Starts the prompt, waits for its dialog, lets `drive` act on it, and
// collects what the tool prints.
template <typename Drive>
PromptRun RunPrompt(const wchar_t* title, Drive drive) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE readEnd = nullptr, writeEnd = nullptr;
  EXPECT_TRUE(CreatePipe(&readEnd, &writeEnd, &inherit, 0));
  SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = writeEnd;
  startup.hStdError = writeEnd;
  PROCESS_INFORMATION process{};
  std::wstring command = L"\"" + ToolPath() + L"\" prompt --title \"" + title + L"\"";
  PromptRun run;
  if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process)) {
    ADD_FAILURE() << "cannot start zqplatutil.exe: " << GetLastError();
    return run;
  }
  CloseHandle(writeEnd);

  HWND dialog = nullptr;
  for (int attempt = 0; attempt < 400 && !dialog; ++attempt) {
    dialog = FindWindowW(nullptr, title);
    if (!dialog) Sleep(50);
  }
  if (dialog) {
    drive(dialog);
  } else {
    ADD_FAILURE() << "no dialog appeared";
    TerminateProcess(process.hProcess, 99);
  }
  char chunk[256];
  DWORD got = 0;
  while (ReadFile(readEnd, chunk, sizeof chunk, &got, nullptr) && got) run.output.append(chunk, got);
  WaitForSingleObject(process.hProcess, 30000);
  GetExitCodeProcess(process.hProcess, &run.exitCode);
  CloseHandle(process.hProcess);
  CloseHandle(process.hThread);
  CloseHandle(readEnd);
  return run;
}

TEST(PromptCommand, PrintsTheLengthOfTheSecretNeverTheText) {
  PromptRun ok = RunPrompt(L"ZqPromptTestOk", [](HWND dialog) {
    HWND edit = GetDlgItem(dialog, 101);
    for (wchar_t c : std::wstring(L"hunter2")) SendMessageW(edit, WM_CHAR, c, 0);
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
  });
  EXPECT_EQ(ok.exitCode, 0u);
  EXPECT_EQ(ok.output, "length: 7\r\n");

  PromptRun cancelled = RunPrompt(L"ZqPromptTestCancel", [](HWND dialog) {
    SendMessageW(GetDlgItem(dialog, 101), WM_CHAR, L'x', 0);
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
  });
  EXPECT_EQ(cancelled.exitCode, 1u);
  EXPECT_EQ(cancelled.output, "zqplatutil: cancelled\r\n");
}

}  // namespace
