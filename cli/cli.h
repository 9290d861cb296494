// Shared pieces of the zqplatutil command-line tool.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace cli {

using Args = std::vector<std::wstring>;

// Exit codes of every command.
enum Exit : int {
  kExitOk = 0,
  kExitFailed = 1,  // the library answered with an error status
  kExitUsage = 2,   // bad command line
};

// Output is UTF-8 on standard output and standard error.
void Out(const std::wstring& text);
void Err(const std::wstring& text);
int Usage(const std::wstring& message);  // prints message and a hint, returns kExitUsage
// "zqplatutil: " + message on standard error; returns kExitFailed.
int Fail(const std::wstring& message);
// kExitUsage with "unknown option --x" for the first option left in args, else 0.
int UnknownOption(const Args& args);
// For a command without arguments: an option or argument left is a usage error (else 0).
int NoArguments(const Args& args, const wchar_t* command);

// A Win32 error in FormatMessageW's words, its number kept: "Access denied (error 5)".
std::wstring Win32Text(DWORD error);
// An HRESULT the same way: "... (0x80070583)".
std::wstring HResultText(HRESULT hr);
// What to check when a window cannot be shown.
std::wstring DisplayHint();

// "HKLM\Software\X" into a predefined root and the path below it.
bool ParseKeyPath(const std::wstring& text, HKEY* root, std::wstring* path);
// "--view 32|64" into the registry section; removes the option from args.
bool TakeView(Args& args, DWORD* section);
// Removes "--name" from args and tells whether it was there.
bool TakeFlag(Args& args, const wchar_t* name);
// Removes "--name VALUE" from args; false when absent; sets *missing when the value is.
bool TakeOption(Args& args, const wchar_t* name, std::wstring* value, bool* missing);

std::wstring TypeName(DWORD type);
std::wstring Hex(const BYTE* data, DWORD size);

// A top-level command. Each command file registers its own at start-up:
//   static const cli::Registration reg{{L"reg", kRegHelp, RunReg}};
struct Command {
  const wchar_t* name;
  const wchar_t* help;  // the lines that --help shows, already indented
  int (*run)(Args args);
};

struct Registration {
  explicit Registration(const Command& command);
};

// Every registered command, sorted by name.
std::vector<Command> Commands();

}  // namespace cli
