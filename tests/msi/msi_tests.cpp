// The installer actions and the Terminal Services test in sessions of the test
// package (built with wixl next to this program), on folder trees of their own,
// and the file actions run from that package by Wine's msiexec.
#include <gtest/gtest.h>
#include <windows.h>

#include <msiquery.h>

#include <filesystem>
#include <set>
#include <sstream>

#include "handles.h"
#include "logcapture.h"
#include "scratchkey.h"
#include "tse.h"
#include "zqmsi.h"

namespace fs = std::filesystem;
using std::wstring;

namespace {

const wchar_t kSessionManager[] = L"SYSTEM\\CurrentControlSet\\Control\\Session Manager",
              kPending[] = L"PendingFileRenameOperations";

// The temporary folder, or this program's, ending in a backslash.
wstring Folder(bool temporary) {
  wchar_t path[MAX_PATH];
  wstring folder(path, temporary ? GetTempPathW(MAX_PATH, path) : GetModuleFileNameW(nullptr, path, MAX_PATH));
  return folder.substr(0, folder.rfind(L'\\') + 1);
}
const wstring kRoot = Folder(true) + L"zqmsi\\", P = kRoot + L"P\\", kPackage = Folder(false) + L"zqactions.msi";

// A folder tree of the test's own, removed with a killed run's leftovers at the
// start and with all it holds at the end, and with it the platform's record of
// deletions at the next restart. Names of any length ("\\?\" paths).
struct Tree {
  wstring root;  // ends in a backslash
  explicit Tree(wstring folder, const wstring& leaves = L"") : root(L"\\\\?\\" + folder) { Remove(), Make(leaves); }
  ~Tree() { Remove(); }
  void Remove() const {
    std::error_code ignored;  // read-only files would stop remove_all
    for (auto& entry : fs::recursive_directory_iterator(root, ignored)) SetFileAttributesW(entry.path().c_str(), 0x80);
    fs::remove_all(root, ignored);
    RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, kSessionManager, kPending);
  }
  // Makes the leaves of a listing: files (read-only when so named) and folders ending in a backslash.
  void Make(const wstring& leaves) const {
    std::wistringstream in(leaves);
    wstring leaf;  // the first round makes the root
    do {
      const wstring path = root + leaf;
      for (size_t at = 7; (at = path.find(L'\\', at + 1)) != path.npos;)
        CreateDirectoryW(path.substr(0, at).c_str(), 0);
      DWORD readOnly = leaf.find(L"readonly") == wstring::npos ? 0 : FILE_ATTRIBUTE_READONLY;
      if (path.back() != L'\\') CloseHandle(CreateFileW(path.c_str(), GENERIC_WRITE, 0, 0, CREATE_NEW, readOnly, 0));
    } while (in >> leaf);
  }
  // The files and empty folders (with their backslash) below the root, sorted, space-separated.
  wstring Leaves() const {
    std::set<wstring> leaves;
    for (auto& entry : fs::recursive_directory_iterator(root)) {
      const wstring name = entry.path().wstring().substr(root.size());
      if (!entry.is_directory() || fs::is_empty(entry)) leaves.insert(name + (entry.is_directory() ? L"\\" : L""));
    }
    wstring text;
    for (const wstring& leaf : leaves) text += (text.empty() ? L"" : L" ") + leaf;
    return text;
  }
  // The paths scheduled at restart, in order; those below the tree relative to it ("." the root itself).
  // Pairs of source and target, which is empty for a deletion: a rename shows as one path more.
  wstring Scheduled() const {
    wchar_t data[16384] = {};
    DWORD size = sizeof data;
    RegGetValueW(HKEY_LOCAL_MACHINE, kSessionManager, kPending, RRF_RT_REG_MULTI_SZ, nullptr, data, &size);
    wstring text;
    for (const wchar_t* at = data; at < data + size / 2; at += wcslen(at) + 1) {
      const size_t skip = *at && !wcsncmp(at + 4, root.c_str() + 4, root.size() - 4) ? root.size() : 4;
      if (*at) text += (text.empty() ? L"" : L" ") + (at[skip] ? wstring(at + skip) : L".");
    }
    return text;
  }
};

#define PM L"P\\Resources\\Merged\\"
#define CM L"C\\Quorvane\\Resources\\Merged\\"
#define CR L"C\\Quorvane\\Resources\\"
#define START PM L"a.txt " PM L"sub\\deeper\\c.txt P\\Resources\\keep.txt " CM L"s2\\d.txt " CR L"keep.txt"

TEST(InstallerActions, RemoveEmptyOrScheduleWhatTheyName) {
  const wstring x259 = wstring(259 - P.size(), L'x'), above = L"P\\Resources\\ P\\ . " CR L" C\\Quorvane\\";
  const wstring deep = wstring(247 - kRoot.size(), L'd') + L"\\", longP = wstring(221 - kRoot.size(), L'p') + L"\\";
  const wstring cut = longP + L"Resources\\Merged\\" + wstring(20, L'n');  // 259 characters in all
  const struct {
    UINT(WINAPI* action)(MSIHANDLE);
    wstring start, data;  // the tree's leaves before; "CustomActionData" below the tree
    UINT status;
    // Scheduled at restart (below the tree, in order); the tree's leaves afterwards (empty: as before);
    // "CommonProgramFiles" below the tree (empty: unset).
    wstring scheduled, left = L"", common = L"C";
    const wchar_t* held = L"P\\held.txt";  // held open without delete sharing through the call
  } cases[] = {
      {MSIDeleteResourceFiles, START, L"P\\", 0, PM L"sub\\deeper " PM L"sub " CM L"s2 " + above,
       CR L"keep.txt P\\Resources\\keep.txt"},
      {MSICleanMergedFolders, START, L"P\\", 0, PM L"sub\\deeper " PM L"sub " CM L"s2",
       CM L" " CR L"keep.txt " PM L" P\\Resources\\keep.txt"},
      // Without "CommonProgramFiles", or too long for MAX_PATH: 1 after the first folder, nothing scheduled above.
      {MSIDeleteResourceFiles, START, L"P\\", 1, PM L"sub\\deeper " PM L"sub",
       CM L"s2\\d.txt " CR L"keep.txt P\\Resources\\keep.txt", L""},
      {MSICleanMergedFolders, START, L"P\\", 1, PM L"sub\\deeper " PM L"sub",
       CM L"s2\\d.txt " CR L"keep.txt " PM L" P\\Resources\\keep.txt", wstring(MAX_PATH, L'c')},
      // Missing merged folders: scheduled as named by removal (emptying has nothing to do), no error.
      {MSIDeleteResourceFiles, L"C\\ P\\", L"P\\", 0, PM L" " CM L" " + above},
      // A held file, then its folder twice (by removal, and as an entry); a read-only file.
      {MSICleanMergedFolders, PM L"h\\held.txt " CM L"readonly.txt", L"P\\", 0,
       PM L"h\\held.txt " PM L"h\\ " PM L"h " CM L"readonly.txt", L"", L"C", PM L"h\\held.txt"},
      // Paths that do not fit MAX_PATH are skipped whole, never cut: entries, and folders of the action.
      {MSICleanMergedFolders, cut + L" " + cut + L"n C\\", longP, 0, L"", L"C\\ " + cut + L"n"},
      {MSIDeleteResourceFiles, L"C\\ " + deep, deep, 0,
       CM L" " + deep + L"Resources\\ " + deep + L" . " CR L" C\\Quorvane\\"},
      // Unusable "CustomActionData": 2, nothing touched, though each value cut to 259 characters would name
      // the product folder or a file.
      {MSIDeleteFile, L"C\\ P\\" + x259, L"P\\" + x259 + L"y", 2, L""},
      {MSIDeleteResourceFiles, START, L"P" + wstring(260 - P.size() + 1, L'\\'), 2, L""},
      {MSICleanMergedFolders, START, L"", 2, L""},
      // 259 characters are read; a held file or a missing one is scheduled.
      {MSIDeleteFile, L"C\\ P\\" + x259, L"P\\" + x259, 0, L"", L"C\\ P\\"},
      {MSIDeleteFile, L"C\\ P\\held.txt", L"P\\held.txt", 0, L"P\\held.txt"},
      {MSIDeleteFile, L"C\\ P\\", L"P\\gone.txt", 0, L"P\\gone.txt"},
  };
  PMSIHANDLE session;
  ASSERT_EQ(MsiOpenPackageExW(kPackage.c_str(), MSIOPENPACKAGEFLAGS_IGNOREMACHINESTATE, &session), 0u);
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.start + L" > " + c.data));
    Tree tree(kRoot, c.start);
    const wstring before = tree.Leaves();
    SetEnvironmentVariableW(L"CommonProgramFiles", c.common.empty() ? nullptr : (kRoot + c.common).c_str());
    MsiSetPropertyW(session, L"CustomActionData", c.data.empty() ? L"" : (kRoot + c.data).c_str());
    HANDLE held = CreateFileW((kRoot + c.held).c_str(), GENERIC_READ, FILE_SHARE_READ, 0, OPEN_EXISTING, 0, 0);
    zqtest::LogCapture log;
    uintptr_t handles = zqtest::ProbeHandleValue();
    EXPECT_EQ(c.action(session), c.status);
    EXPECT_EQ(zqtest::ProbeHandleValue(), handles);
    CloseHandle(held);  // or INVALID_HANDLE_VALUE, which nothing owns
    EXPECT_EQ(tree.Scheduled(), c.scheduled);
    EXPECT_EQ(tree.Leaves(), c.left.empty() ? before : c.left);
    EXPECT_TRUE(log.Lines().empty());
  }
}

// The registry check and the published text directly; through the exports, 0 whatever the
// setting, as Wine reports no Terminal suite. HKLM is a key of the test's own meanwhile.
TEST(TerminalServices, SettingReadOnlyAsADwordAndPublishedAsSignedText) {
  PMSIHANDLE session;
  ASSERT_EQ(MsiOpenPackageExW(kPackage.c_str(), MSIOPENPACKAGEFLAGS_IGNOREMACHINESTATE, &session), 0u);
  zqtest::ScratchKey machine(L"msi");
  HKEY scratch = nullptr;
  ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, machine.Path().c_str(), 0, KEY_ALL_ACCESS, &scratch), ERROR_SUCCESS);
  ASSERT_EQ(RegOverridePredefKey(HKEY_LOCAL_MACHINE, scratch), ERROR_SUCCESS);
  wchar_t property[8];
  DWORD length;
  auto published = [&] {
    return length = 8, MsiGetPropertyW(session, L"TSE_ENABLED", property, &length), wstring(property);
  };
  zqtest::LogCapture log;
  uintptr_t handles = zqtest::ProbeHandleValue();
  // Type, size, data (null: no such value; first without the key, last in it), result, published text.
  const std::tuple<DWORD, DWORD, const void*, DWORD, const wchar_t*> cases[] = {
      {REG_DWORD, 0, nullptr, ZQ_TSE_UNKNOWN, L"-1"},
      {REG_DWORD, 4, "\0\0\0\0", ZQ_TSE_ENABLED, L"1"},
      {REG_DWORD, 4, "\1\0\0\0", ZQ_TSE_DISABLED, L"0"},
      {REG_DWORD, 4, "\2\0\0\0", ZQ_TSE_DISABLED, L"0"},
      {REG_SZ, 4, L"0", ZQ_TSE_UNKNOWN, L"-1"},
      {REG_BINARY, 4, "\0\0\0\0", ZQ_TSE_UNKNOWN, L"-1"},
      {REG_DWORD, 8, "\0\0\0\0\0\0\0\0", ZQ_TSE_UNKNOWN, L"-1"},
      {REG_DWORD, 0, nullptr, ZQ_TSE_UNKNOWN, L"-1"}};
  for (auto [type, size, data, result, text] : cases) {
    if (data) machine.SetRaw(zq::msi::kTerminalServerKey, L"fDenyTSConnections", type, data, size);
    if (!data) RegDeleteKeyValueW(scratch, zq::msi::kTerminalServerKey, L"fDenyTSConnections");
    EXPECT_EQ(zq::msi::TerminalServerRegistryCheck(), result) << type << " of " << size;
    MsiSetPropertyW(session, L"TSE_ENABLED", L"unset");
    EXPECT_EQ(zq::msi::PublishTerminalServices(session, result), result);
    EXPECT_EQ(published(), text);
    EXPECT_EQ(IsTerminalServicesEnabled(), 0u);
  }
  EXPECT_EQ(DetectTSE(session), 0u);
  EXPECT_EQ(published(), L"0");
  EXPECT_EQ(zq::msi::PublishTerminalServices(0, ZQ_TSE_UNKNOWN), ZQ_TSE_UNKNOWN);  // no session
  EXPECT_EQ(zqtest::ProbeHandleValue(), handles);
  EXPECT_TRUE(log.Lines().empty());
  RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr);
  RegCloseKey(scratch);
}

// Runs msiexec quietly on `target` with the tree as ZQSCRATCH; its exit code.
DWORD RunInstaller(const wchar_t* what, const wstring& target) {
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  DWORD code = ~0u;
  wstring command = L"msiexec.exe /qn " + (what + (L" \"" + target)) + L"\" \"ZQSCRATCH=" + kRoot + L"\"";
  if (CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
    // An installer that hangs is stopped rather than waited for.
    if (WaitForSingleObject(process.hProcess, 60000) != WAIT_OBJECT_0) TerminateProcess(process.hProcess, code);
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread), CloseHandle(process.hProcess);
  }
  return code;
}

// The package deletes "victim.txt" at installation and empties the merged folders at removal.
TEST(InstallerPackage, DeferredActionsRunWithTheirActionData) {
  auto installed = [] {
    return MsiQueryProductStateW(L"{3C0B6E59-7A1D-4E8F-9B24-5F6A0D1C8E73}") == INSTALLSTATE_DEFAULT;
  };
  // The actions' DLL runs from a temporary copy: its log library is found on the path.
  SetEnvironmentVariableW(L"PATH", (Folder(false) + L";" + _wgetenv(L"PATH")).c_str());
  if (installed()) RunInstaller(L"/x", kPackage);  // a killed run's
  Tree tree(kRoot, L"victim.txt keep.txt Resources\\Merged\\a.txt Resources\\Merged\\sub\\b.txt");
  EXPECT_EQ(RunInstaller(L"/i", kPackage), 0u);
  EXPECT_TRUE(installed());
  EXPECT_EQ(tree.Leaves(), L"Resources\\Merged\\a.txt Resources\\Merged\\sub\\b.txt keep.txt");
  EXPECT_EQ(tree.Scheduled(), L"");
  EXPECT_EQ(RunInstaller(L"/x", kPackage), 0u);
  EXPECT_FALSE(installed());
  EXPECT_EQ(tree.Leaves(), L"Resources\\Merged\\ keep.txt");
  EXPECT_EQ(tree.Scheduled(), L"Resources\\Merged\\sub");
}

}  // namespace
