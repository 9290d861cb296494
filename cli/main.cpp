// zqplatutil: a command-line front end over zqplatutilu.dll.
#include <windows.h>

#include <algorithm>
#include <cwchar>
#include <iterator>
#include <vector>

#include "cli.h"

namespace {

// Help in a reader's order; a command not named here comes last.
const wchar_t* const kHelpOrder[] = {L"reg",    L"whoami", L"user",  L"sid",    L"token", L"drives",
                                     L"time",   L"toast",  L"winrt", L"prompt", L"tse"};

int Help() {
  std::vector<cli::Command> commands = cli::Commands();
  auto rank = [](const cli::Command& command) {
    size_t i = 0;
    while (i < std::size(kHelpOrder) && wcscmp(kHelpOrder[i], command.name) != 0) ++i;
    return i;
  };
  std::stable_sort(commands.begin(), commands.end(),
                   [&](const cli::Command& a, const cli::Command& b) { return rank(a) < rank(b); });
  cli::Out(L"Usage: zqplatutil COMMAND [ARGS]");
  for (const cli::Command& command : commands) {
    // A help text that opens with a heading starts a group.
    if (command.help[0] != L' ') cli::Out(L"");
    cli::Out(command.help);
  }
  cli::Out(L"\n  --help    this text\n");
  cli::Out(L"Exit codes: 0 success, 1 the library reported an error, 2 bad command line.");
  return cli::kExitOk;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  cli::Args args(argv + 1, argv + argc);
  if (args.empty()) return cli::Usage(L"no command given");
  std::wstring name = args[0];
  args.erase(args.begin());
  if (name == L"--help" || name == L"-h" || name == L"help") return Help();
  for (const cli::Command& command : cli::Commands()) {
    if (name == command.name) return command.run(args);
  }
  return cli::Usage(L"unknown command '" + name + L"'");
}
