// The installer actions in real installer sessions, on folder trees of their own.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "handles.h"
#include "logcapture.h"
#include "msitestkit.h"
#include "zqmsi.h"

using namespace zqmsitest;
using Paths = std::vector<std::wstring>;
using Names = std::vector<std::wstring>;

namespace {

const std::wstring kMerged = L"Product\\Resources\\Merged\\";
const std::wstring kCommonMerged = L"Common\\Quorvane\\Resources\\Merged\\";

// A scratch tree, "CommonProgramFiles" pointing at its "Common" folder (or
// `common` when given), an emptied restart record, and a session whose
// "CustomActionData" names the tree's "Product\" folder.
struct ActionSetup {
  ScratchTree tree;
  EnvironmentOverride common;
  PendingDeletions pending;
  InstallerSession session;
  ActionSetup(const wchar_t* name, bool withResources, const wchar_t* commonValue = L"")
      : tree(name),
        common(L"CommonProgramFiles", commonValue && !*commonValue ? tree.Path(L"Common").c_str() : commonValue) {
    tree.AddFolder(L"Product");
    tree.AddFolder(L"Common");
    if (withResources) {
      // Nested folders and a file beside each merged folder.
      for (const wchar_t* file : {L"a.txt", L"sub\\b.txt", L"sub\\deeper\\c.txt"}) tree.AddFile(kMerged + file);
      for (const wchar_t* file : {L"d.txt", L"s2\\e.txt"}) tree.AddFile(kCommonMerged + file);
      tree.AddFile(L"Product\\Resources\\keep.txt");
      tree.AddFile(L"Common\\Quorvane\\Resources\\keep.txt");
    }
    session.SetProperty(L"CustomActionData", tree.Path(L"Product\\"));
  }
  std::wstring R(const std::wstring& relative) const { return Recorded(tree.Path(relative)); }
  // The folders above the merged ones, scheduled by MSIDeleteResourceFiles, innermost first.
  Paths FoldersAbove() const {
    return {R(L"Product\\Resources\\"), R(L"Product\\"), Recorded(tree.Root()), R(L"Common\\Quorvane\\Resources\\"),
            R(L"Common\\Quorvane\\")};
  }
};

Paths operator+(Paths a, const Paths& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

TEST(InstallerActions, MergedFoldersRemovedOrEmptied) {
  for (bool remove : {true, false}) {
    ActionSetup setup(L"zqmsi-merged", true);
    zqtest::LogCapture log;
    uintptr_t handlesBefore = zqtest::ProbeHandleValue();
    EXPECT_EQ((remove ? MSIDeleteResourceFiles : MSICleanMergedFolders)(setup.session.Handle()), 0u);
    EXPECT_EQ(zqtest::ProbeHandleValue(), handlesBefore);
    EXPECT_TRUE(log.Lines().empty());
    const Names left = remove ? Names{L"keep.txt"} : Names{L"Merged", L"keep.txt"};
    EXPECT_EQ(setup.tree.List(L"Product\\Resources"), left);
    EXPECT_EQ(setup.tree.List(L"Common\\Quorvane\\Resources"), left);
    if (!remove) {
      EXPECT_EQ(setup.tree.List(kMerged) + setup.tree.List(kCommonMerged), Names{});
    }
    // Each subfolder, gone by then, is scheduled once more by its deletion as
    // an entry, the inner one first; then the folders above.
    Paths scheduled{setup.R(kMerged + L"sub\\deeper"), setup.R(kMerged + L"sub"), setup.R(kCommonMerged + L"s2")};
    EXPECT_EQ(setup.pending.Paths(), remove ? scheduled + setup.FoldersAbove() : scheduled);
  }
}

// Unset, or too long to hold in MAX_PATH characters: 1 after the first folder.
TEST(InstallerActions, WithoutCommonFilesStopAfterTheFirstFolder) {
  std::wstring tooLong = L"C:\\" + std::wstring(MAX_PATH, L'c');
  for (const wchar_t* value : {static_cast<const wchar_t*>(nullptr), tooLong.c_str()}) {
    for (bool remove : {true, false}) {
      ActionSetup setup(L"zqmsi-nocommon", true, value);
      EXPECT_EQ((remove ? MSIDeleteResourceFiles : MSICleanMergedFolders)(setup.session.Handle()), 1u);
      EXPECT_EQ(setup.tree.List(L"Product\\Resources"), (remove ? Names{L"keep.txt"} : Names{L"Merged", L"keep.txt"}));
      EXPECT_EQ(setup.tree.List(kCommonMerged), (Names{L"d.txt", L"s2"}));
      // Nothing above the first merged folder is scheduled.
      EXPECT_EQ(setup.pending.Paths(), (Paths{setup.R(kMerged + L"sub\\deeper"), setup.R(kMerged + L"sub")}));
    }
  }
}

TEST(InstallerActions, MissingMergedFoldersAreNoError) {
  for (bool remove : {true, false}) {
    ActionSetup setup(L"zqmsi-missing", false);
    EXPECT_EQ((remove ? MSIDeleteResourceFiles : MSICleanMergedFolders)(setup.session.Handle()), 0u);
    // Removal schedules the folders that could not be removed, as named.
    EXPECT_EQ(setup.pending.Paths(),
              (remove ? Paths{setup.R(kMerged), setup.R(kCommonMerged)} + setup.FoldersAbove() : Paths{}));
    EXPECT_EQ(setup.tree.List(L""), (Names{L"Common", L"Product"}));
  }
}

TEST(InstallerActions, HeldAndReadOnlyFilesAreScheduledAndTheirFolderStays) {
  ActionSetup setup(L"zqmsi-held", false);
  setup.tree.AddFile(kMerged + L"held\\locked.txt");
  setup.tree.AddFile(kMerged + L"readonly.txt");
  ASSERT_TRUE(SetFileAttributesW(setup.tree.Path(kMerged + L"readonly.txt").c_str(), FILE_ATTRIBUTE_READONLY));
  {
    HeldFile held(setup.tree.Path(kMerged + L"held\\locked.txt"));
    EXPECT_EQ(MSICleanMergedFolders(setup.session.Handle()), 0u);
  }
  EXPECT_EQ(setup.tree.List(kMerged), (Names{L"held", L"readonly.txt"}));
  EXPECT_EQ(setup.tree.List(kMerged + L"held"), (Names{L"locked.txt"}));
  // The held file, then its folder twice: by its removal (with the backslash)
  // and by its deletion as an entry. Siblings come in the search's order.
  Paths recorded = setup.pending.Paths();
  Paths expected{setup.R(kMerged + L"held\\locked.txt"), setup.R(kMerged + L"held\\"), setup.R(kMerged + L"held")};
  std::wstring readOnly = setup.R(kMerged + L"readonly.txt");
  expected.insert(!recorded.empty() && recorded.front() == readOnly ? expected.begin() : expected.end(), readOnly);
  EXPECT_EQ(recorded, expected);
}

TEST(InstallerActions, DeleteFileDeletesOrSchedules) {
  ActionSetup setup(L"zqmsi-file", false);
  for (const wchar_t* file : {L"gone.txt", L"held.txt", L"other.txt"}) setup.tree.AddFile(file);
  zqtest::LogCapture log;
  uintptr_t handlesBefore = zqtest::ProbeHandleValue();
  auto deleteFile = [&](const wchar_t* name) {
    setup.session.SetProperty(L"CustomActionData", setup.tree.Path(name));
    return MSIDeleteFile(setup.session.Handle());
  };
  EXPECT_EQ(deleteFile(L"gone.txt"), 0u);
  EXPECT_EQ(setup.pending.Paths(), Paths{});
  {
    HeldFile held(setup.tree.Path(L"held.txt"));  // no delete sharing: it stays and is scheduled
    EXPECT_EQ(deleteFile(L"held.txt"), 0u);
  }
  EXPECT_EQ(deleteFile(L"gone.txt"), 0u);  // not there: scheduled all the same
  EXPECT_EQ(setup.tree.List(L""), (Names{L"Common", L"Product", L"held.txt", L"other.txt"}));
  EXPECT_EQ(setup.pending.Paths(), (Paths{setup.R(L"held.txt"), setup.R(L"gone.txt")}));
  EXPECT_EQ(zqtest::ProbeHandleValue(), handlesBefore);
  EXPECT_TRUE(log.Lines().empty());
}

// 259 characters are read; 260 or more, empty, unset or no session give 2 and
// touch nothing.
TEST(InstallerActions, UnusableActionDataGivesTwoAndTouchesNothing) {
  ActionSetup setup(L"zqmsi-long", true);
  InstallerSession unset;
  zqtest::LogCapture log;
  uintptr_t handlesBefore = zqtest::ProbeHandleValue();
  std::wstring file = setup.tree.Path(L"f");
  file.append(259 - file.size(), L'x');
  setup.session.SetProperty(L"CustomActionData", file);
  EXPECT_EQ(MSIDeleteFile(setup.session.Handle()), 0u);
  EXPECT_EQ(setup.pending.Paths(), (Paths{Recorded(file)}));
  setup.pending.Clear();

  // Folder paths that would lead to the real tree once cut to 259 characters.
  std::wstring padded = setup.tree.Path(L"Product\\");
  while (padded.size() < 260) padded += L".\\";
  const struct {
    MSIHANDLE session;
    std::wstring data;  // "-" leaves the property as it is
  } cases[] = {{setup.session.Handle(), file + L"y"},
               {setup.session.Handle(), padded.substr(0, 260)},
               {setup.session.Handle(), padded + L"\\\\"},
               {setup.session.Handle(), L""},
               {unset.Handle(), L"-"},
               {0, L"-"},
               {0x7ffff, L"-"}};
  for (const auto& c : cases) {
    if (c.data != L"-") setup.session.SetProperty(L"CustomActionData", c.data);
    EXPECT_EQ(MSIDeleteFile(c.session), 2u) << c.data.size();
    EXPECT_EQ(MSIDeleteResourceFiles(c.session), 2u) << c.data.size();
    EXPECT_EQ(MSICleanMergedFolders(c.session), 2u) << c.data.size();
  }
  EXPECT_EQ(setup.pending.Paths(), Paths{});
  EXPECT_EQ(setup.tree.List(kMerged), (Names{L"a.txt", L"sub"}));
  EXPECT_EQ(setup.tree.List(kCommonMerged), (Names{L"d.txt", L"s2"}));
  EXPECT_EQ(zqtest::ProbeHandleValue(), handlesBefore);
  EXPECT_TRUE(log.Lines().empty());
}

// Joined paths that would not fit MAX_PATH are skipped whole, never cut.
TEST(InstallerActions, OverLongJoinedPathsAreSkipped) {
  ActionSetup setup(L"zqmsi-join", false);
  // A product folder whose merged folder path fits with 20 characters to spare.
  std::wstring product = setup.tree.Path(L"P");
  product.append(259 - 20 - 18 - product.size(), L'p');
  product += L"\\";
  const std::wstring merged = product + L"Resources\\Merged\\";
  ASSERT_EQ(merged.size(), 259u - 20u);
  const std::wstring shortName = merged + L"short.txt", longName = merged + std::wstring(21, L'n');  // 260
  const std::wstring cutName = longName.substr(0, 259);  // what a cut would name
  auto exists = [](const std::wstring& path) {
    return GetFileAttributesW((L"\\\\?\\" + path).c_str()) != INVALID_FILE_ATTRIBUTES;
  };
  for (const std::wstring& folder : {product, product + L"Resources", merged}) {
    CreateDirectoryW((L"\\\\?\\" + folder).c_str(), nullptr);
  }
  for (const std::wstring& path : {shortName, longName, cutName}) {
    HANDLE file = CreateFileW((L"\\\\?\\" + path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    CloseHandle(file);
  }
  setup.session.SetProperty(L"CustomActionData", product);
  EXPECT_EQ(MSICleanMergedFolders(setup.session.Handle()), 0u);
  // The short name and the 259-character one go; the 260-character one stays.
  EXPECT_FALSE(exists(shortName));
  EXPECT_FALSE(exists(cutName));
  EXPECT_TRUE(exists(longName));
  EXPECT_EQ(setup.pending.Paths(), Paths{});

  // Folder paths of the action itself that do not fit: nothing is removed,
  // and only what fits is scheduled.
  std::wstring deep = setup.tree.Path(L"D");
  deep.append(259 - 12 - deep.size(), L'd');
  deep += L"\\";  // 248: "Resources\\" fits, "Resources\\Merged\\" does not
  CreateDirectoryW(deep.c_str(), nullptr);
  setup.session.SetProperty(L"CustomActionData", deep);
  EXPECT_EQ(MSIDeleteResourceFiles(setup.session.Handle()), 0u);
  EXPECT_EQ(setup.pending.Paths(),
            (Paths{setup.R(kCommonMerged), Recorded(deep + L"Resources\\"), Recorded(deep), Recorded(setup.tree.Root()),
                   setup.R(L"Common\\Quorvane\\Resources\\"), setup.R(L"Common\\Quorvane\\")}));
}

}  // namespace
