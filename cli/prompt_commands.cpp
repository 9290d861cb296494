// "prompt": a password dialog built on CSecureDialog; prints the length of
// what was typed, never the text.
#include <zqsecuredialog.h>

#include "cli.h"

namespace cli {
namespace {

constexpr UINT kPromptDialog = 100;  // prompt.rc
constexpr int kSecretEdit = 101;

class PromptDialog : public CSecureDialog {
 public:
  explicit PromptDialog(const std::wstring& title) : CSecureDialog(kPromptDialog, nullptr), title_(title) {}

  CSecStr secret;

 protected:
  BOOL OnInitDialog() override {
    if (!title_.empty()) ::SetWindowTextW(m_hWnd, title_.c_str());
    OnInitDialogSecure();
    return TRUE;
  }
  void DoDataExchange(CDataExchange* pDX) override { DDX_Text(pDX, kSecretEdit, secret); }

 private:
  std::wstring title_;
};

int RunPrompt(Args args) {
  std::wstring title;
  bool missing = false;
  TakeOption(args, L"--title", &title, &missing);
  if (missing) return Usage(L"prompt [--title T]");
  if (int usage = UnknownOption(args)) return usage;
  if (!args.empty()) return Usage(L"prompt [--title T]");

  PromptDialog dialog(title);
  INT_PTR result = dialog.DoModal();
  if (result == IDOK) {
    Out(L"length: " + std::to_wstring(dialog.secret.GetLength()));
    return kExitOk;
  }
  if (result == IDCANCEL) return Fail(L"cancelled");
  return Fail(L"the password dialog could not be shown: " + DisplayHint());
}

const wchar_t kPromptHelp[] =
    L"  prompt [--title T]\n"
    L"      Ask for a secret in a password dialog; print its length, never the\n"
    L"      text. Cancel exits with 1.";

const Registration kPrompt{{L"prompt", kPromptHelp, RunPrompt}};

}  // namespace
}  // namespace cli
