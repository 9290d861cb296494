// The file actions run by Wine's real installer, from a package that carries
// zqplatutilu.dll in its Binary table (built with wixl next to this program).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "msitestkit.h"

using zqmsitest::EnvironmentOverride;
using zqmsitest::PendingDeletions;
using zqmsitest::Recorded;
using zqmsitest::ScratchTree;
using Names = std::vector<std::wstring>;
using Paths = std::vector<std::wstring>;

namespace {

const wchar_t kProductCode[] = L"{3C0B6E59-7A1D-4E8F-9B24-5F6A0D1C8E73}";

std::wstring ProgramFolder() {
  wchar_t path[MAX_PATH];
  DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring folder(path, length);
  return folder.substr(0, folder.rfind(L'\\') + 1);
}

// Runs msiexec with `arguments` and returns its exit code.
DWORD RunInstaller(const std::wstring& arguments) {
  std::wstring command = L"msiexec.exe " + arguments;
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
    ADD_FAILURE() << "msiexec does not start: " << GetLastError();
    return ~0u;
  }
  EXPECT_EQ(WaitForSingleObject(process.hProcess, INFINITE), WAIT_OBJECT_0);
  DWORD code = ~0u;
  GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return code;
}

bool ProductInstalled() { return MsiQueryProductStateW(kProductCode) == INSTALLSTATE_DEFAULT; }

// Removes the product at the end should the test stop half-way.
struct ProductRemoval {
  ~ProductRemoval() {
    if (ProductInstalled()) RunInstaller(std::wstring(L"/x ") + kProductCode + L" /qn");
  }
};

TEST(InstallerPackage, DeferredActionsRunWithTheirActionData) {
  const std::wstring package = ProgramFolder() + L"zqactions.msi";
  ASSERT_NE(GetFileAttributesW(package.c_str()), INVALID_FILE_ATTRIBUTES)
      << "zqactions.msi was not built: wixl is missing (scripts/setup.sh installs it)";
  ASSERT_FALSE(ProductInstalled()) << "the test product is installed already";

  ScratchTree tree(L"zqmsi-package");
  for (const wchar_t* file : {L"victim.txt", L"keep.txt", L"Resources\\Merged\\a.txt", L"Resources\\Merged\\sub\\b.txt",
                              L"Resources\\keep.txt"}) {
    tree.AddFile(file);
  }
  // The installer's actions see the system's common files folder.
  wchar_t commonFiles[MAX_PATH];
  DWORD length = GetEnvironmentVariableW(L"CommonProgramFiles", commonFiles, MAX_PATH);
  ASSERT_TRUE(length > 0 && length < MAX_PATH);
  ScratchTree common(std::wstring(commonFiles) + L"\\", L"Quorvane");
  for (const wchar_t* file : {L"Resources\\Merged\\c.txt", L"Resources\\Merged\\s\\d.txt", L"Resources\\keep.txt"}) {
    common.AddFile(file);
  }

  PendingDeletions pending;
  // The action's DLL is loaded from a temporary file: its log library is found on the path.
  wchar_t path[4096];
  GetEnvironmentVariableW(L"PATH", path, 4096);
  EnvironmentOverride searchPath(L"PATH", (ProgramFolder() + L";" + path).c_str());
  ProductRemoval removal;
  const std::wstring properties = L" /qn \"ZQSCRATCH=" + tree.Root() + L"\"";

  ASSERT_EQ(RunInstaller(L"/i \"" + package + L"\"" + properties), 0u);
  EXPECT_TRUE(ProductInstalled());
  EXPECT_EQ(tree.List(L""), (Names{L"Resources", L"keep.txt"}));
  EXPECT_EQ(tree.List(L"Resources\\Merged"), (Names{L"a.txt", L"sub"}));
  EXPECT_EQ(common.List(L"Resources\\Merged"), (Names{L"c.txt", L"s"}));
  EXPECT_EQ(pending.Paths(), Paths{});

  ASSERT_EQ(RunInstaller(L"/x \"" + package + L"\"" + properties), 0u);
  EXPECT_FALSE(ProductInstalled());
  EXPECT_EQ(tree.List(L""), (Names{L"Resources", L"keep.txt"}));
  for (const ScratchTree* t : {&tree, &common}) {
    EXPECT_EQ(t->List(L"Resources"), (Names{L"Merged", L"keep.txt"}));
    EXPECT_EQ(t->List(L"Resources\\Merged"), Names{});
  }
  EXPECT_EQ(pending.Paths(),
            (Paths{Recorded(tree.Path(L"Resources\\Merged\\sub")), Recorded(common.Path(L"Resources\\Merged\\s"))}));
}

}  // namespace
