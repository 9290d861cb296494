// zqplatutil: a command-line front end over zqplatutilu.dll.
#include <windows.h>

#include "cli.h"

namespace {

int Help() {
  cli::Out(L"Usage: zqplatutil COMMAND [ARGS]\n");
  for (const cli::Command& command : cli::Commands()) cli::Out(std::wstring(command.help) + L"\n");
  cli::Out(L"  --help    this text\n");
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
