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

}  // namespace
