// "zqplatutil prompt" run as a user runs it: the password dialog of the
// program's own template resource, driven from here, then the tool's exit code
// and the exact bytes it prints.
#include <gtest/gtest.h>

#include <windows.h>

#include <utility>

// Runs "zqplatutil prompt", types a secret into its dialog and presses
// `button`. The output goes to a file, not a pipe: Wine's desktop process,
// started by the tool, inherits its handles, so a pipe would never report its
// end. Every wait is bounded.
static std::pair<DWORD, std::string> RunPrompt(int button) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  // Deleted with its last handle, whoever holds it: nothing is left behind.
  HANDLE out = CreateFileW((L"zqprompt-" + std::to_wstring(GetCurrentProcessId()) + L".out").c_str(),
                           GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           &inherit, CREATE_ALWAYS, FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup, startup.dwFlags = STARTF_USESTDHANDLES, startup.hStdOutput = startup.hStdError = out;
  PROCESS_INFORMATION process{};
  std::wstring command = L"zqplatutil.exe prompt --title ZqPromptTest";  // found next to this program
  EXPECT_TRUE(CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process));
  HWND dialog = nullptr;
  for (int attempt = 0; !dialog && attempt < 400; ++attempt) dialog = FindWindowW(nullptr, L"ZqPromptTest"), Sleep(50);
  for (const wchar_t* c = L"hunter2"; dialog && *c; ++c) SendMessageW(GetDlgItem(dialog, 101), WM_CHAR, *c, 0);
  EXPECT_TRUE(dialog && PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), 0)) << "no dialog appeared";
  EXPECT_EQ(WaitForSingleObject(process.hProcess, 15000), WAIT_OBJECT_0) << "zqplatutil.exe did not exit";
  TerminateProcess(process.hProcess, 99), WaitForSingleObject(process.hProcess, 5000);  // no-op once it has exited
  DWORD exitCode = 0, size = 0;
  GetExitCodeProcess(process.hProcess, &exitCode);
  CloseHandle(process.hProcess), CloseHandle(process.hThread);
  char output[4096];
  SetFilePointer(out, 0, nullptr, FILE_BEGIN), ReadFile(out, output, sizeof output, &size, nullptr);
  CloseHandle(out);
  return {exitCode, std::string(output, size)};
}

TEST(PromptCommand, PrintsTheLengthOfTheSecretNeverTheText) {
  EXPECT_EQ(RunPrompt(IDOK), std::make_pair(DWORD{0}, std::string("length: 7\r\n")));
  EXPECT_EQ(RunPrompt(IDCANCEL), std::make_pair(DWORD{1}, std::string("zqplatutil: cancelled\r\n")));
}
