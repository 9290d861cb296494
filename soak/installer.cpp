// Installer actions: the three file actions on generated trees in a temporary
// folder, with read-only files and files held open, through a session of the
// test package. Each run's restart schedule and the tree it leaves equal
// those of a model of the actions; a file beside the tree stays as it was,
// and the machine's own schedule is put back after every run.
#include "soak.h"

#include <msiquery.h>

#include <filesystem>
#include <set>

#include "zqmsi.h"

namespace soak {

const wchar_t kManager[] = L"SYSTEM\\CurrentControlSet\\Control\\Session Manager", kPending[] = L"PendingFileRenameOperations";
const wstring PM = L"P\\Resources\\Merged\\", CM = L"C\\Quorvane\\Resources\\Merged\\";

// A tree by relative paths (folders end in a backslash), and the kind of each
// file: 'f' plain, 'r' read-only, 'h' held open without delete sharing.
struct Model {
  std::set<wstring> tree;
  std::map<wstring, char> kind;
  std::multiset<wstring> scheduled;

  void Empty(const wstring& folder) {
    std::vector<wstring> children;
    for (auto at = tree.upper_bound(folder); at != tree.end() && !at->compare(0, folder.size(), folder); ++at)
      if (at->find(L'\\', folder.size()) >= at->size() - 1) children.push_back(*at);
    for (const wstring& child : children)
      if (!kind[child]) Remove(child), scheduled.insert(child.substr(0, child.size() - 1));  // then deleted as a file
      else if (kind[child] == 'f') tree.erase(child);
      else scheduled.insert(child);
  }
  void Remove(const wstring& folder) {
    Empty(folder);
    auto next = tree.upper_bound(folder);
    if (tree.count(folder) && (next == tree.end() || next->compare(0, folder.size(), folder))) tree.erase(folder);
    else scheduled.insert(folder);
  }
};

template <typename Paths> static std::string Text(const Paths& paths) {
  wstring all;
  for (const wstring& p : paths) all += (p.empty() ? L"." : p) + L" ";
  return Show(all);
}

// The restart schedule: the paths a run added after the machine's own.
static std::multiset<wstring> Added(const wstring& root, const std::vector<wchar_t>& own) {
  std::vector<wchar_t> now(65536);
  DWORD size = static_cast<DWORD>(now.size() * 2);
  if (RegGetValueW(HKEY_LOCAL_MACHINE, kManager, kPending, RRF_RT_REG_MULTI_SZ, nullptr, now.data(), &size)) size = 0;
  std::multiset<wstring> paths;
  // Pairs of strings: "\??\" and the path, then the empty target of a deletion.
  for (size_t at = own.size() > 1 ? own.size() - 1 : 0; at < size / 2 && now[at]; at += wcslen(&now[at]) + 2) {
    wstring path = &now[at] + 4;
    paths.insert(path.compare(0, root.size(), root) ? L"outside: " + path : path.substr(root.size()));
  }
  return paths;
}

static void Run(MSIHANDLE session, Rng& r, const wstring& root, const wstring& common, const std::vector<wchar_t>& own, Tally& t) {
  Model m;
  static const wstring kBases[] = {PM, CM, PM + L"s\\", CM + L"s\\t\\", L"P\\Resources\\", L"C\\Quorvane\\Resources\\", L"P\\"};
  for (int n = r.Range(0, 8), i = 0; i < n; ++i) {
    wstring path = kBases[r.Below(7)] + (r.Chance(50) ? L"a\\" : L"");
    for (size_t at = 0; (at = path.find(L'\\', at) + 1) != 0;) m.tree.insert(path.substr(0, at));
    if (!r.Chance(10)) m.kind[*m.tree.insert(path + L"f" + std::to_wstring(i)).first] = "ffffffrh"[r.Below(8)];
  }
  int action = static_cast<int>(r.Below(3)), status = action < 2 && r.Chance(10);
  wstring what = L"P\\f" + std::to_wstring(r.Below(9));  // that file, or none
  std::vector<HANDLE> held;
  for (const wstring& path : m.tree) {
    wstring full = root + path;
    char kind = m.kind[path];
    if (!kind) CreateDirectoryW(full.c_str(), nullptr);
    else CloseHandle(CreateFileW(full.c_str(), GENERIC_WRITE, 0, 0, CREATE_NEW, kind == 'r' ? FILE_ATTRIBUTE_READONLY : 0, 0));
    if (kind == 'h') held.push_back(CreateFileW(full.c_str(), GENERIC_READ, FILE_SHARE_READ, 0, OPEN_EXISTING, 0, 0));
    if (kind && r.Chance(30)) what = path;
  }
  wstring data = action == 2 ? what : L"P\\";
  std::string input = Str("action %d on %s, common files %s, tree ", action, Show(data).c_str(), status ? "unset" : "set") +
                      Text(m.tree);
  if (action == 2) {
    if (m.kind[what] == 'f') m.tree.erase(what);
    else m.scheduled.insert(what);
  } else {
    action ? m.Empty(PM) : m.Remove(PM);
    if (!status) action ? m.Empty(CM) : m.Remove(CM);
    if (!status && !action) m.scheduled.insert({L"P\\Resources\\", L"P\\", L"", L"C\\Quorvane\\Resources\\", L"C\\Quorvane\\"});
  }
  SetEnvironmentVariableW(L"CommonProgramFiles", status ? nullptr : common.c_str());
  MsiSetPropertyW(session, L"CustomActionData", (root + data).c_str());
  UINT (WINAPI* const kActions[])(MSIHANDLE) = {MSIDeleteResourceFiles, MSICleanMergedFolders, MSIDeleteFile};
  int got = static_cast<int>(kActions[action](session));
  ++t.calls;
  for (HANDLE h : held) CloseHandle(h);
  std::multiset<wstring> left;
  for (auto& e : std::filesystem::recursive_directory_iterator(root))
    left.insert(e.path().wstring().substr(root.size()) + (e.is_directory() ? L"\\" : L""));
  std::string gotText = Str("%d scheduled ", got) + Text(Added(root, own)) + " left " + Text(left);
  std::string wantText = Str("%d scheduled ", status) + Text(m.scheduled) + " left " + Text(m.tree);
  if (gotText != wantText) Mismatch(t, "installer action", input, gotText, wantText);
}

static void Clear(const wstring& root, const std::vector<wchar_t>& own) {
  std::error_code ignored;
  for (auto& e : std::filesystem::recursive_directory_iterator(root, ignored)) SetFileAttributesW(e.path().c_str(), 0);
  std::filesystem::remove_all(root, ignored);
  CreateDirectoryW(root.c_str(), nullptr);
  if (own.empty()) RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, kManager, kPending);
  else RegSetKeyValueW(HKEY_LOCAL_MACHINE, kManager, kPending, REG_MULTI_SZ, own.data(), static_cast<DWORD>(own.size() * 2));
}

void RunInstaller(const Options& o, Tally& t, bool warmup) {
  wchar_t temp[MAX_PATH], saved[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  const wstring sandbox = wstring(temp) + L"ZqSoak\\", root = sandbox + L"tree\\", beside = sandbox + L"beside.txt";
  std::vector<wchar_t> own(65536);  // the machine's schedule, put back after every run
  DWORD size = static_cast<DWORD>(own.size() * 2), savedLength = GetEnvironmentVariableW(L"CommonProgramFiles", saved, MAX_PATH);
  own.resize(RegGetValueW(HKEY_LOCAL_MACHINE, kManager, kPending, RRF_RT_REG_MULTI_SZ, nullptr, own.data(), &size) ? 0 : size / 2);
  CreateDirectoryW(sandbox.c_str(), nullptr);
  CloseHandle(CreateFileW(beside.c_str(), GENERIC_WRITE, 0, 0, CREATE_ALWAYS, 0, 0));
  MSIHANDLE session = 0;
  if (UINT rc = MsiOpenPackageExW(L"" ZQSOAK_PACKAGE, MSIOPENPACKAGEFLAGS_IGNOREMACHINESTATE, &session))
    return Mismatch(t, "MsiOpenPackageExW", ZQSOAK_PACKAGE, Str("%u", rc), "the test package");
  uint64_t total = warmup ? 20 : Count(o, 500, 60);
  Rng r(o.seed ^ 0x351 ^ warmup);
  for (uint64_t i = 0; i < total; ++i, Progress("installer", i, total)) Clear(root, own), Run(session, r, root, root + L"C", own, t);
  Clear(root, own), RemoveDirectoryW(root.c_str()), MsiCloseHandle(session);
  SetEnvironmentVariableW(L"CommonProgramFiles", savedLength && savedLength < MAX_PATH ? saved : nullptr);
  if (GetFileAttributesW(beside.c_str()) == INVALID_FILE_ATTRIBUTES) Mismatch(t, "the file beside the tree", "", "gone", "there");
  DeleteFileW(beside.c_str()), RemoveDirectoryW(sandbox.c_str());
}

}  // namespace soak
