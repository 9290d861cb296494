// The installer actions in real installer sessions, on folder trees of their own.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "folders.h"
#include "handles.h"
#include "logcapture.h"
#include "msitestkit.h"
#include "zqmsi.h"

using zqmsitest::EnvironmentOverride;
using zqmsitest::HeldFile;
using zqmsitest::InstallerSession;
using zqmsitest::PendingDeletions;
using zqmsitest::Recorded;
using zqmsitest::ScratchTree;
using Paths = std::vector<std::wstring>;
using Names = std::vector<std::wstring>;

namespace {

// A product folder with its merged resources, and the shared one under the
// common files folder, each with nested folders and a file beside them.
void AddResourceTrees(const ScratchTree& tree) {
  tree.AddFile(L"Product\\Resources\\Merged\\a.txt");
  tree.AddFile(L"Product\\Resources\\Merged\\sub\\b.txt");
  tree.AddFile(L"Product\\Resources\\Merged\\sub\\deeper\\c.txt");
  tree.AddFile(L"Product\\Resources\\keep.txt");
  tree.AddFile(L"Common\\Quorvane\\Resources\\Merged\\d.txt");
  tree.AddFile(L"Common\\Quorvane\\Resources\\Merged\\s2\\e.txt");
  tree.AddFile(L"Common\\Quorvane\\Resources\\keep.txt");
}

TEST(MsiDeleteResourceFiles, RemovesBothMergedFoldersAndSchedulesTheFoldersAbove) {
  ScratchTree tree(L"zqmsi-resources");
  AddResourceTrees(tree);
  EnvironmentOverride common(L"CommonProgramFiles", tree.Path(L"Common").c_str());
  PendingDeletions pending;
  InstallerSession session;
  session.SetProperty(L"CustomActionData", tree.Path(L"Product\\"));
  zqtest::LogCapture log;
  uintptr_t handlesBefore = zqtest::ProbeHandleValue();

  EXPECT_EQ(MSIDeleteResourceFiles(session.Handle()), 0u);

  EXPECT_EQ(zqtest::ProbeHandleValue(), handlesBefore);
  EXPECT_TRUE(log.Lines().empty());
  EXPECT_EQ(tree.List(L"Product\\Resources"), (Names{L"keep.txt"}));
  EXPECT_EQ(tree.List(L"Common\\Quorvane\\Resources"), (Names{L"keep.txt"}));
  // Each subfolder, gone by then, is scheduled once more by its file deletion,
  // the inner one first; then the folders above, innermost first.
  EXPECT_EQ(pending.Paths(),
            (Paths{Recorded(tree.Path(L"Product\\Resources\\Merged\\sub\\deeper")),
                   Recorded(tree.Path(L"Product\\Resources\\Merged\\sub")),
                   Recorded(tree.Path(L"Common\\Quorvane\\Resources\\Merged\\s2")),
                   Recorded(tree.Path(L"Product\\Resources\\")), Recorded(tree.Path(L"Product\\")),
                   Recorded(tree.Root()), Recorded(tree.Path(L"Common\\Quorvane\\Resources\\")),
                   Recorded(tree.Path(L"Common\\Quorvane\\"))}));
}

TEST(MsiDeleteResourceFiles, WithoutCommonFilesStopsAfterTheFirstFolder) {
  ScratchTree tree(L"zqmsi-nocommon");
  AddResourceTrees(tree);
  EnvironmentOverride common(L"CommonProgramFiles", nullptr);
  PendingDeletions pending;
  InstallerSession session;
  session.SetProperty(L"CustomActionData", tree.Path(L"Product\\"));

  EXPECT_EQ(MSIDeleteResourceFiles(session.Handle()), 1u);

  EXPECT_EQ(tree.List(L"Product\\Resources"), (Names{L"keep.txt"}));
  EXPECT_EQ(tree.List(L"Common\\Quorvane\\Resources\\Merged"), (Names{L"d.txt", L"s2"}));
  // Nothing above the first merged folder is scheduled.
  EXPECT_EQ(pending.Paths(), (Paths{Recorded(tree.Path(L"Product\\Resources\\Merged\\sub\\deeper")),
                                    Recorded(tree.Path(L"Product\\Resources\\Merged\\sub"))}));
}

TEST(MsiDeleteResourceFiles, MissingMergedFoldersAreNoError) {
  ScratchTree tree(L"zqmsi-missing");
  tree.AddFolder(L"Product");
  tree.AddFolder(L"Common");
  EnvironmentOverride common(L"CommonProgramFiles", tree.Path(L"Common").c_str());
  PendingDeletions pending;
  InstallerSession session;
  session.SetProperty(L"CustomActionData", tree.Path(L"Product\\"));

  EXPECT_EQ(MSIDeleteResourceFiles(session.Handle()), 0u);

  // The folders that could not be removed are scheduled, as named.
  EXPECT_EQ(pending.Paths(),
            (Paths{Recorded(tree.Path(L"Product\\Resources\\Merged\\")),
                   Recorded(tree.Path(L"Common\\Quorvane\\Resources\\Merged\\")),
                   Recorded(tree.Path(L"Product\\Resources\\")), Recorded(tree.Path(L"Product\\")),
                   Recorded(tree.Root()), Recorded(tree.Path(L"Common\\Quorvane\\Resources\\")),
                   Recorded(tree.Path(L"Common\\Quorvane\\"))}));
  EXPECT_EQ(tree.List(L""), (Names{L"Common", L"Product"}));
}

TEST(MsiCleanMergedFolders, EmptiesBothMergedFoldersAndKeepsThem) {
  ScratchTree tree(L"zqmsi-clean");
  AddResourceTrees(tree);
  EnvironmentOverride common(L"CommonProgramFiles", tree.Path(L"Common").c_str());
  PendingDeletions pending;
  InstallerSession session;
  session.SetProperty(L"CustomActionData", tree.Path(L"Product\\"));
  zqtest::LogCapture log;
  uintptr_t handlesBefore = zqtest::ProbeHandleValue();

  EXPECT_EQ(MSICleanMergedFolders(session.Handle()), 0u);

  EXPECT_EQ(zqtest::ProbeHandleValue(), handlesBefore);
  EXPECT_TRUE(log.Lines().empty());
  EXPECT_EQ(tree.List(L"Product\\Resources"), (Names{L"Merged", L"keep.txt"}));
  EXPECT_EQ(tree.List(L"Product\\Resources\\Merged"), Names{});
  EXPECT_EQ(tree.List(L"Common\\Quorvane\\Resources"), (Names{L"Merged", L"keep.txt"}));
  EXPECT_EQ(tree.List(L"Common\\Quorvane\\Resources\\Merged"), Names{});
  EXPECT_EQ(pending.Paths(), (Paths{Recorded(tree.Path(L"Product\\Resources\\Merged\\sub\\deeper")),
                                    Recorded(tree.Path(L"Product\\Resources\\Merged\\sub")),
                                    Recorded(tree.Path(L"Common\\Quorvane\\Resources\\Merged\\s2"))}));

  // Missing merged folders: nothing to do, nothing scheduled.
  pending.Clear();
  tree.AddFile(L"Other\\keep.txt");
  session.SetProperty(L"CustomActionData", tree.Path(L"Other\\"));
  EnvironmentOverride otherCommon(L"CommonProgramFiles", tree.Path(L"Other").c_str());
  EXPECT_EQ(MSICleanMergedFolders(session.Handle()), 0u);
  EXPECT_EQ(pending.Paths(), Paths{});
  EXPECT_EQ(tree.List(L"Other"), (Names{L"keep.txt"}));
}

// Unset, or too long to hold in MAX_PATH characters.
TEST(MsiCleanMergedFolders, WithoutCommonFilesStopsAfterTheFirstFolder) {
  std::wstring tooLong = L"C:\\" + std::wstring(MAX_PATH, L'c');
  for (const wchar_t* value : {static_cast<const wchar_t*>(nullptr), tooLong.c_str()}) {
    ScratchTree tree(L"zqmsi-cleannocommon");
    AddResourceTrees(tree);
    EnvironmentOverride common(L"CommonProgramFiles", value);
    PendingDeletions pending;
    InstallerSession session;
    session.SetProperty(L"CustomActionData", tree.Path(L"Product\\"));

    EXPECT_EQ(MSICleanMergedFolders(session.Handle()), 1u);

    EXPECT_EQ(tree.List(L"Product\\Resources\\Merged"), Names{});
    EXPECT_EQ(tree.List(L"Common\\Quorvane\\Resources\\Merged"), (Names{L"d.txt", L"s2"}));
  }
}

TEST(MsiCleanMergedFolders, HeldAndReadOnlyFilesAreScheduledAndTheirFolderStays) {
  ScratchTree tree(L"zqmsi-held");
  tree.AddFile(L"Product\\Resources\\Merged\\held\\locked.txt");
  tree.AddFile(L"Product\\Resources\\Merged\\readonly.txt");
  ASSERT_TRUE(SetFileAttributesW(tree.Path(L"Product\\Resources\\Merged\\readonly.txt").c_str(),
                                 FILE_ATTRIBUTE_READONLY));
  tree.AddFolder(L"Common");
  EnvironmentOverride common(L"CommonProgramFiles", tree.Path(L"Common").c_str());
  PendingDeletions pending;
  InstallerSession session;
  session.SetProperty(L"CustomActionData", tree.Path(L"Product\\"));
  {
    HeldFile held(tree.Path(L"Product\\Resources\\Merged\\held\\locked.txt"));
    EXPECT_EQ(MSICleanMergedFolders(session.Handle()), 0u);
  }

  EXPECT_EQ(tree.List(L"Product\\Resources\\Merged"), (Names{L"held", L"readonly.txt"}));
  EXPECT_EQ(tree.List(L"Product\\Resources\\Merged\\held"), (Names{L"locked.txt"}));
  // The held file, then its folder twice: by its removal (with the backslash)
  // and by its deletion as an entry. Siblings come in the search's order.
  Paths recorded = pending.Paths();
  Paths held{Recorded(tree.Path(L"Product\\Resources\\Merged\\held\\locked.txt")),
             Recorded(tree.Path(L"Product\\Resources\\Merged\\held\\")),
             Recorded(tree.Path(L"Product\\Resources\\Merged\\held"))};
  std::wstring readOnly = Recorded(tree.Path(L"Product\\Resources\\Merged\\readonly.txt"));
  Paths expected = held;
  if (!recorded.empty() && recorded.front() == readOnly) {
    expected.insert(expected.begin(), readOnly);
  } else {
    expected.push_back(readOnly);
  }
  EXPECT_EQ(recorded, expected);
}

TEST(MsiDeleteFile, DeletesOrSchedulesTheFile) {
  ScratchTree tree(L"zqmsi-file");
  tree.AddFile(L"gone.txt");
  tree.AddFile(L"held.txt");
  tree.AddFile(L"other.txt");
  PendingDeletions pending;
  InstallerSession session;
  zqtest::LogCapture log;
  uintptr_t handlesBefore = zqtest::ProbeHandleValue();

  session.SetProperty(L"CustomActionData", tree.Path(L"gone.txt"));
  EXPECT_EQ(MSIDeleteFile(session.Handle()), 0u);
  EXPECT_EQ(tree.List(L""), (Names{L"held.txt", L"other.txt"}));
  EXPECT_EQ(pending.Paths(), Paths{});

  // Held open without delete sharing: it stays and is scheduled.
  session.SetProperty(L"CustomActionData", tree.Path(L"held.txt"));
  {
    HeldFile held(tree.Path(L"held.txt"));
    EXPECT_EQ(MSIDeleteFile(session.Handle()), 0u);
  }
  EXPECT_EQ(tree.List(L""), (Names{L"held.txt", L"other.txt"}));
  EXPECT_EQ(pending.Paths(), (Paths{Recorded(tree.Path(L"held.txt"))}));

  // A file that is not there is scheduled all the same.
  pending.Clear();
  session.SetProperty(L"CustomActionData", tree.Path(L"gone.txt"));
  EXPECT_EQ(MSIDeleteFile(session.Handle()), 0u);
  EXPECT_EQ(pending.Paths(), (Paths{Recorded(tree.Path(L"gone.txt"))}));

  EXPECT_EQ(zqtest::ProbeHandleValue(), handlesBefore);
  EXPECT_TRUE(log.Lines().empty());
}

// 259 characters are read; 260 are not, and nothing is touched.
TEST(InstallerActions, ActionDataOfMaxPathOrMoreGivesTwoAndTouchesNothing) {
  ScratchTree tree(L"zqmsi-long");
  AddResourceTrees(tree);
  EnvironmentOverride common(L"CommonProgramFiles", tree.Path(L"Common").c_str());
  PendingDeletions pending;
  InstallerSession session;

  std::wstring file = tree.Path(L"f");
  file.append(259 - file.size(), L'x');
  ASSERT_EQ(file.size(), 259u);
  session.SetProperty(L"CustomActionData", file);
  EXPECT_EQ(MSIDeleteFile(session.Handle()), 0u);
  EXPECT_EQ(pending.Paths(), (Paths{Recorded(file)}));

  pending.Clear();
  session.SetProperty(L"CustomActionData", file + L"y");
  EXPECT_EQ(MSIDeleteFile(session.Handle()), 2u);

  // Folder paths that lead to the real tree once cut to 259 characters.
  std::wstring folder = tree.Path(L"Product\\");
  std::wstring padded = folder;
  while (padded.size() < 260) padded += L".\\";
  session.SetProperty(L"CustomActionData", padded.substr(0, 260));
  EXPECT_EQ(MSIDeleteResourceFiles(session.Handle()), 2u);
  EXPECT_EQ(MSICleanMergedFolders(session.Handle()), 2u);
  session.SetProperty(L"CustomActionData", padded + L"\\\\");
  EXPECT_EQ(MSIDeleteResourceFiles(session.Handle()), 2u);

  EXPECT_EQ(pending.Paths(), Paths{});
  EXPECT_EQ(tree.List(L"Product\\Resources\\Merged"), (Names{L"a.txt", L"sub"}));
  EXPECT_EQ(tree.List(L"Common\\Quorvane\\Resources\\Merged"), (Names{L"d.txt", L"s2"}));
}

// No usable "CustomActionData": not set, empty, or no session.
TEST(InstallerActions, MissingActionDataGivesTwo) {
  PendingDeletions pending;
  InstallerSession session;
  zqtest::LogCapture log;
  uintptr_t handlesBefore = zqtest::ProbeHandleValue();
  for (MSIHANDLE handle : {session.Handle(), MSIHANDLE{0}, MSIHANDLE{0x7ffff}}) {
    EXPECT_EQ(MSIDeleteResourceFiles(handle), 2u) << handle;
    EXPECT_EQ(MSIDeleteFile(handle), 2u) << handle;
    EXPECT_EQ(MSICleanMergedFolders(handle), 2u) << handle;
  }
  session.SetProperty(L"CustomActionData", L"");
  EXPECT_EQ(MSIDeleteFile(session.Handle()), 2u);
  EXPECT_EQ(pending.Paths(), Paths{});
  EXPECT_EQ(zqtest::ProbeHandleValue(), handlesBefore);
  EXPECT_TRUE(log.Lines().empty());
}

// Joined paths that would not fit MAX_PATH are skipped whole, never cut.
TEST(InstallerActions, OverLongJoinedPathsAreSkipped) {
  ScratchTree tree(L"zqmsi-join");
  // A product folder whose merged folder path fits with 20 characters to spare.
  std::wstring product = tree.Path(L"P");
  product.append(259 - 20 - 18 - product.size(), L'p');
  product += L"\\";
  std::wstring merged = product + L"Resources\\Merged\\";
  ASSERT_EQ(merged.size(), 259u - 20u);
  std::wstring shortName = merged + L"short.txt";
  std::wstring longName = merged + std::wstring(21, L'n');  // 260 characters
  std::wstring cutName = longName.substr(0, 259);           // what a cut would name
  for (const std::wstring& path : {shortName, longName, cutName}) {
    std::wstring full = L"\\\\?\\" + path;
    CreateDirectoryW((L"\\\\?\\" + product).c_str(), nullptr);
    CreateDirectoryW((L"\\\\?\\" + product + L"Resources").c_str(), nullptr);
    CreateDirectoryW((L"\\\\?\\" + merged).c_str(), nullptr);
    HANDLE file = CreateFileW(full.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    CloseHandle(file);
  }
  tree.AddFolder(L"Common");
  EnvironmentOverride common(L"CommonProgramFiles", tree.Path(L"Common").c_str());
  PendingDeletions pending;
  InstallerSession session;
  session.SetProperty(L"CustomActionData", product);

  EXPECT_EQ(MSICleanMergedFolders(session.Handle()), 0u);

  // The short name and the 259-character one go; the 260-character one stays.
  auto exists = [](const std::wstring& path) {
    return GetFileAttributesW((L"\\\\?\\" + path).c_str()) != INVALID_FILE_ATTRIBUTES;
  };
  EXPECT_FALSE(exists(shortName));
  EXPECT_FALSE(exists(cutName));
  EXPECT_TRUE(exists(longName));
  EXPECT_EQ(pending.Paths(), Paths{});

  // Folder paths of the action itself that do not fit: nothing is removed,
  // and only what fits is scheduled.
  std::wstring deep = tree.Path(L"D");
  deep.append(259 - 12 - deep.size(), L'd');
  deep += L"\\";  // 248: "Resources\\" fits, "Resources\\Merged\\" does not
  CreateDirectoryW(deep.c_str(), nullptr);
  session.SetProperty(L"CustomActionData", deep);
  EXPECT_EQ(MSIDeleteResourceFiles(session.Handle()), 0u);
  EXPECT_EQ(pending.Paths(),
            (Paths{Recorded(tree.Path(L"Common\\Quorvane\\Resources\\Merged\\")),
                   Recorded(deep + L"Resources\\"), Recorded(deep), Recorded(tree.Root()),
                   Recorded(tree.Path(L"Common\\Quorvane\\Resources\\")), Recorded(tree.Path(L"Common\\Quorvane\\"))}));
}

}  // namespace
