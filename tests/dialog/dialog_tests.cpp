// CSecureDialog on real dialogs with real edit controls: what each secure
// control receives, what the bound strings hold, the log lines, and the wipe
// of every string block.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "logcapture.h"
#include "recording.h"
#include "wipecheck.h"
#include "zqsecuredialog.h"

using zqtest::LogCapture;
using zqtest::LogLine;

namespace {

constexpr int kFirstId = 101;
constexpr int kSecondId = 102;

// A dialog template in memory: two edit controls with initial texts, OK and Cancel.
class Template {
 public:
  Template(const std::wstring& firstText, const std::wstring& secondText) {
    Dword(WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME);
    Dword(0);
    Word(4);  // items
    Short(10), Short(10), Short(200), Short(90);
    Word(0), Word(0), Text(L"Secure dialog test");
    Item(kFirstId, 0x0081, firstText, WS_CHILD | WS_VISIBLE | WS_BORDER | ES_AUTOHSCROLL, 10);
    Item(kSecondId, 0x0081, secondText, WS_CHILD | WS_VISIBLE | WS_BORDER | ES_AUTOHSCROLL, 30);
    Item(IDOK, 0x0080, L"OK", WS_CHILD | WS_VISIBLE | BS_DEFPUSHBUTTON, 60);
    Item(IDCANCEL, 0x0080, L"Cancel", WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, 75);
  }
  LPCDLGTEMPLATE Get() const { return reinterpret_cast<LPCDLGTEMPLATE>(words_.data()); }

 private:
  void Word(WORD w) { words_.push_back(w); }
  void Short(short s) { words_.push_back(static_cast<WORD>(s)); }
  void Dword(DWORD d) { Word(LOWORD(d)), Word(HIWORD(d)); }
  void Text(const std::wstring& text) {
    for (wchar_t c : text) Word(c);
    Word(0);
  }
  void Item(WORD id, WORD windowClass, const std::wstring& text, DWORD style, short y) {
    if (words_.size() % 2) Word(0);  // items start on a DWORD boundary
    Dword(style), Dword(0);
    Short(10), Short(y), Short(120), Short(12);
    Word(id), Word(0xFFFF), Word(windowClass), Text(text), Word(0);
  }
  std::vector<WORD> words_;
};

// Every text a subclassed control receives through WM_SETTEXT.
std::map<HWND, std::vector<std::wstring>> g_received;
std::map<HWND, WNDPROC> g_originalProcs;

LRESULT CALLBACK RecordingEditProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_SETTEXT) g_received[hwnd].push_back(reinterpret_cast<const wchar_t*>(lParam));
  return CallWindowProcW(g_originalProcs[hwnd], hwnd, message, wParam, lParam);
}

std::wstring Spaces(size_t n) { return std::wstring(n, L' '); }

std::wstring TextOf(HWND control) {
  wchar_t buffer[2048] = {};
  GetWindowTextW(control, buffer, 2048);
  return buffer;
}

// Types text into an edit control as keystrokes, replacing what it holds.
void Type(HWND edit, const std::wstring& text) {
  SendMessageW(edit, EM_SETSEL, 0, -1);
  for (wchar_t c : text) SendMessageW(edit, WM_CHAR, c, 0);
}

class TestDialog : public CSecureDialog {
 public:
  explicit TestDialog(const Template& dialogTemplate) : CSecureDialog(UINT{0}, nullptr) {
    InitModalIndirect(dialogTemplate.Get());
  }

  CSecStr first;
  CSecStr second;
  bool refuseNextSave = false;
  std::function<void(TestDialog&)> script;  // runs once the dialog is up
  std::vector<std::wstring> finalTexts;     // the controls' texts when the dialog ended
  HWND Control(int id) const { return GetDlgItemHandle(id); }

  void EndDialog(int nResult) override {
    CSecureDialog::EndDialog(nResult);
    finalTexts = {TextOf(Control(kFirstId)), TextOf(Control(kSecondId))};
  }
  void PressOK() { SendMessageW(m_hWnd, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0); }
  void PressCancel() { SendMessageW(m_hWnd, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0); }

 protected:
  BOOL OnInitDialog() override {
    for (int id : {kFirstId, kSecondId}) {
      HWND control = Control(id);
      g_originalProcs[control] = reinterpret_cast<WNDPROC>(
          SetWindowLongPtrW(control, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&RecordingEditProc)));
    }
    OnInitDialogSecure();
    PostMessageW(m_hWnd, WM_APP, 0, 0);
    return TRUE;
  }

  void DoDataExchange(CDataExchange* pDX) override {
    DDX_Text(pDX, kFirstId, first);
    DDX_Text(pDX, kSecondId, second);
    if (pDX->m_bSaveAndValidate && refuseNextSave) {
      refuseNextSave = false;
      pDX->PrepareEditCtrl(kFirstId);
      pDX->Fail();
    }
  }

  LRESULT OnRunScript(WPARAM, LPARAM) {
    if (script) script(*this);
    return 0;
  }

  DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(TestDialog, CSecureDialog)
ON_MESSAGE(WM_APP, OnRunScript)
END_MESSAGE_MAP()

struct Outcome {
  INT_PTR result;
  std::wstring first, second;
  std::vector<std::wstring> receivedFirst, receivedSecond;
  std::vector<std::wstring> finalTexts;
};

Outcome RunDialog(const std::wstring& firstValue, const std::wstring& secondValue, std::function<void(TestDialog&)> script,
            bool refuseFirstSave = false) {
  g_received.clear();
  g_originalProcs.clear();
  Template dialogTemplate(L"", L"init");
  TestDialog dialog(dialogTemplate);
  dialog.first = firstValue.c_str();
  dialog.second = secondValue.c_str();
  dialog.refuseNextSave = refuseFirstSave;
  HWND firstControl = nullptr, secondControl = nullptr;
  dialog.script = [&](TestDialog& d) {
    firstControl = d.Control(kFirstId);
    secondControl = d.Control(kSecondId);
    script(d);
  };
  Outcome outcome;
  outcome.result = dialog.DoModal();
  outcome.first = dialog.first.GetString();
  outcome.second = dialog.second.GetString();
  outcome.receivedFirst = g_received[firstControl];
  outcome.receivedSecond = g_received[secondControl];
  outcome.finalTexts = dialog.finalTexts;
  return outcome;
}

TEST(SecureDialog, OkReadsTheTypedTextAndLeavesOnlySpaces) {
  Outcome outcome;
  zqtest::WipeReport wipes = zqtest::RecordWipes([&] {
    outcome = RunDialog(L"old secret", L"pin", [](TestDialog& d) {
      // Right after OnInitDialogSecure: spaces first, then the values.
      Type(d.Control(kFirstId), L"typed s3cret");
      d.PressOK();
    });
  });
  EXPECT_EQ(outcome.result, IDOK);
  EXPECT_EQ(outcome.receivedFirst,
            (std::vector<std::wstring>{Spaces(1024), L"old secret", Spaces(12)}));
  EXPECT_EQ(outcome.receivedSecond, (std::vector<std::wstring>{Spaces(4), L"pin", Spaces(3)}));
  EXPECT_EQ(outcome.first, L"typed s3cret");
  EXPECT_EQ(outcome.second, L"pin");
  EXPECT_EQ(outcome.finalTexts, (std::vector<std::wstring>{Spaces(12), Spaces(3)}));
  // Every block the strings gave up, temporaries included, was all zeros.
  EXPECT_TRUE(wipes.dirty.empty()) << wipes.dirty.front();
  EXPECT_EQ(wipes.live, 0);
  EXPECT_GT(wipes.frees, 4);
}

TEST(SecureDialog, CancelKeepsTheValuesAndBlanksTheControls) {
  Outcome outcome = RunDialog(L"kept", L"", [](TestDialog& d) {
    Type(d.Control(kFirstId), L"never read");
    d.PressCancel();
  });
  EXPECT_EQ(outcome.result, IDCANCEL);
  EXPECT_EQ(outcome.first, L"kept");
  // An empty value: the control is blanked with its old length, then given "".
  EXPECT_EQ(outcome.receivedSecond, (std::vector<std::wstring>{Spaces(4), L"", L""}));
  EXPECT_EQ(outcome.receivedFirst, (std::vector<std::wstring>{Spaces(1024), L"kept", Spaces(10)}));
  EXPECT_EQ(outcome.finalTexts, (std::vector<std::wstring>{Spaces(10), L""}));
}

TEST(SecureDialog, LogLinesOfEachOperationInOrder) {
  LogCapture log;
  RunDialog(L"a", L"b", [](TestDialog& d) { d.PressOK(); });
  std::vector<LogLine> ddx = {{8, L"CSecureDialog::DDX_Text"}, {16, L"CSecureDialog::DDX_Text"}};
  std::vector<LogLine> expected = {{8, L"CSecureDialog::OnInitDialogSecure"}};
  auto twoFields = [&] {
    expected.insert(expected.end(), ddx.begin(), ddx.end());
    expected.insert(expected.end(), ddx.begin(), ddx.end());
  };
  twoFields();
  expected.push_back({16, L"CSecureDialog::OnInitDialogSecure"});
  expected.push_back({8, L"CSecureDialog::OnOK"});
  twoFields();
  expected.push_back({8, L"CSecureDialog::EndDialog"});
  expected.push_back({8, L"CSecureDialog::SecureCleanUp"});
  twoFields();
  expected.push_back({16, L"CSecureDialog::SecureCleanUp"});
  expected.push_back({16, L"CSecureDialog::EndDialog"});
  expected.push_back({16, L"CSecureDialog::OnOK"});
  EXPECT_EQ(log.Lines(), expected);
}

TEST(SecureDialog, RefusedValidationKeepsTheDialogOpenWithoutAnExitLine) {
  LogCapture log;
  bool openAfterRefusal = false;
  Outcome outcome = RunDialog(
      L"x", L"y",
      [&](TestDialog& d) {
        Type(d.Control(kFirstId), L"refused");
        d.PressOK();  // the save is refused
        openAfterRefusal = IsWindow(d.m_hWnd) && d.finalTexts.empty();
        d.PressCancel();
      },
      true);
  EXPECT_TRUE(openAfterRefusal);
  EXPECT_EQ(outcome.result, IDCANCEL);
  std::vector<std::wstring> texts = log.Texts();
  auto okEntry = std::find(texts.begin(), texts.end(), L"CSecureDialog::OnOK");
  ASSERT_NE(okEntry, texts.end());
  EXPECT_EQ(std::count(texts.begin(), texts.end(), L"CSecureDialog::OnOK"), 1);  // entry only
  EXPECT_EQ(*(okEntry + 5), L"CSecureDialog::OnCancel");  // after the two exchanges of the refused save
  // The refused save read the controls; Cancel then blanked them.
  EXPECT_EQ(outcome.first, L"refused");
  EXPECT_EQ(outcome.finalTexts, (std::vector<std::wstring>{Spaces(7), Spaces(1)}));
}

TEST(SecureDialog, DestroyWindowAloneBlanksNothing) {
  LogCapture log;
  std::vector<std::wstring> textsBeforeDestroy;
  Outcome outcome = RunDialog(L"visible", L"too", [&](TestDialog& d) {
    textsBeforeDestroy = {TextOf(d.Control(kFirstId)), TextOf(d.Control(kSecondId))};
    log.Clear();
    EXPECT_TRUE(d.DestroyWindow());
  });
  EXPECT_EQ(textsBeforeDestroy, (std::vector<std::wstring>{L"visible", L"too"}));
  EXPECT_EQ(outcome.receivedFirst, (std::vector<std::wstring>{Spaces(1024), L"visible"}));
  EXPECT_EQ(outcome.receivedSecond, (std::vector<std::wstring>{Spaces(4), L"too"}));
  EXPECT_TRUE(outcome.finalTexts.empty());
  EXPECT_EQ(log.Lines(), (std::vector<LogLine>{{8, L"CSecureDialog::DestroyWindow"},
                                               {16, L"CSecureDialog::DestroyWindow"}}));
  EXPECT_EQ(outcome.first, L"visible");
}

TEST(SecureDialog, RuntimeClassAndMessageMap) {
  CRuntimeClass* runtime = RUNTIME_CLASS(CSecureDialog);
  EXPECT_STREQ(runtime->m_lpszClassName, "CSecureDialog");
  EXPECT_EQ(runtime->m_wSchema, 0xFFFFu);
  EXPECT_EQ(runtime->m_pfnCreateObject, nullptr);
  EXPECT_EQ(runtime->m_pfnGetBaseClass(), RUNTIME_CLASS(CDialog));
  Template dialogTemplate(L"", L"");
  TestDialog dialog(dialogTemplate);
  CSecureDialog& base = dialog;
  EXPECT_TRUE(base.IsKindOf(RUNTIME_CLASS(CSecureDialog)));
  EXPECT_TRUE(base.IsKindOf(RUNTIME_CLASS(CDialog)));
  EXPECT_FALSE(base.IsKindOf(RUNTIME_CLASS(CSecureDialog)) && !base.IsKindOf(RUNTIME_CLASS(CWnd)));
  // No window yet: DestroyWindow answers FALSE and logs its two lines.
  LogCapture log;
  EXPECT_FALSE(base.DestroyWindow());
  EXPECT_EQ(log.Lines().size(), 2u);
}

}  // namespace
