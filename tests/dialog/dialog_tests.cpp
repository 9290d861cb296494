// CSecureDialog on a real dialog with real edit controls: what each secure
// control receives, what the bound strings hold, the log lines, and the wipe
// of every string block.
#include <gtest/gtest.h>

#include <functional>
#include <map>

#include "calls.h"
#include "wipecheck.h"
#include "zqsecuredialog.h"

using zqtest::Lines;
using Texts = std::vector<std::wstring>;

// Every text each secure control (by id) receives through WM_SETTEXT.
static std::map<int, Texts> g_received;
static LRESULT CALLBACK RecordSetText(int code, WPARAM wParam, LPARAM lParam) {
  auto* sent = reinterpret_cast<const CWPSTRUCT*>(lParam);
  if (sent->message == WM_SETTEXT) g_received[GetDlgCtrlID(sent->hwnd)].push_back(LPCWSTR(sent->lParam));
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

static std::wstring S(size_t n) { return std::wstring(n, L' '); }
// An operation's entry and exit lines around what it logs inside.
// (Around takes both names by reference: each sees the full name.)
static Lines Op(std::wstring n, const Lines& in = {}) { return zqtest::Around(n = L"CSecureDialog::" + n, in, n); }

class TestDialog : public CSecureDialog {
 public:
  TestDialog() : CSecureDialog(UINT{200}, nullptr) {}  // dialog.rc: edits 101 and 102 (holding "init")
  CSecStr first, second;
  bool refuseSave = false;  // the next save fails validation
  std::function<void(TestDialog&)> script;  // runs once the dialog is filled
  void Type(LPCWSTR text) { SetDlgItemTextW(m_hWnd, 101, text), g_received[101].pop_back(); }  // not the library's
  void Press(int id) { SendMessageW(m_hWnd, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0); }

 protected:
  BOOL OnInitDialog() override {
    OnInitDialogSecure();
    script(*this);
    return TRUE;
  }
  void DoDataExchange(CDataExchange* pDX) override {
    DDX_Text(pDX, 101, first), DDX_Text(pDX, 102, second);
    if (pDX->m_bSaveAndValidate && std::exchange(refuseSave, false)) pDX->PrepareEditCtrl(101), pDX->Fail();
  }
};

TEST(SecureDialog, BlanksBeforeEveryTextReadsOnlyOnOkAndWipesEveryString) {
  const Lines ddx = Op(L"DDX_Text") + Op(L"DDX_Text"), init = Op(L"OnInitDialogSecure", ddx);
  const Lines end = Op(L"EndDialog", Op(L"SecureCleanUp", ddx)), cancel = Op(L"OnCancel", end);
  struct Row {
    const wchar_t *first, *second;
    std::function<void(TestDialog&)> script;
    INT_PTR result;
    Texts values;
    std::vector<Texts> received;  // by each control, in order
    Lines lines;
  } const rows[] = {
      // OK reads the controls; 1024 spaces come first, later as many as the control holds.
      {L"old secret", L"pin", [](TestDialog& d) { d.Type(L"typed"), d.Press(IDOK); }, IDOK, {L"typed", L"pin"},
       {{S(1024), L"old secret", S(5)}, {S(4), L"pin", S(3)}}, init + Op(L"OnOK", ddx + end)},
      // Cancel reads nothing; an empty value is written too.
      {L"kept", L"", [](TestDialog& d) { d.Type(L"never read"), d.Press(IDCANCEL); }, IDCANCEL, {L"kept", L""},
       {{S(1024), L"kept", S(10)}, {S(4), L"", L""}}, init + cancel},
      // A refused save keeps the dialog open, and its OnOK has no exit line.
      {L"x", L"y", [](TestDialog& d) { d.Type(L"no"), d.refuseSave = 1, d.Press(IDOK), d.Press(IDCANCEL); }, IDCANCEL,
       {L"no", L"y"}, {{S(1024), L"x", S(2)}, {S(4), L"y", S(1)}}, init + Lines{Op(L"OnOK").front()} + ddx + cancel},
      // DestroyWindow alone blanks nothing.
      {L"visible", L"too", [](TestDialog& d) { EXPECT_TRUE(d.DestroyWindow()); }, -1, {L"visible", L"too"},
       {{S(1024), L"visible"}, {S(4), L"too"}}, init + Op(L"DestroyWindow")},
  };
  HHOOK hook = SetWindowsHookExW(WH_CALLWNDPROC, &RecordSetText, nullptr, GetCurrentThreadId());
  for (const Row& row : rows) {
    SCOPED_TRACE(testing::PrintToString(row.first));
    g_received.clear();
    zqtest::LogCapture log;
    zqtest::WipeReport wipes = zqtest::RecordWipes([&] {
      TestDialog dialog;
      dialog.first = row.first, dialog.second = row.second, dialog.script = row.script;
      EXPECT_EQ(dialog.DoModal(), row.result);
      EXPECT_EQ((Texts{dialog.first.GetString(), dialog.second.GetString()}), row.values);
    });
    EXPECT_EQ((std::vector<Texts>{g_received[101], g_received[102]}), row.received);
    EXPECT_EQ(log.Lines(), row.lines);
    // Every block the strings gave up, temporaries included, was all zeros.
    EXPECT_TRUE(wipes.dirty.empty() && wipes.live == 0) << wipes.live;
  }
  UnhookWindowsHookEx(hook);
  EXPECT_STREQ(RUNTIME_CLASS(CSecureDialog)->m_lpszClassName, "CSecureDialog");
  EXPECT_EQ(RUNTIME_CLASS(CSecureDialog)->m_pfnGetBaseClass(), RUNTIME_CLASS(CDialog));
}
