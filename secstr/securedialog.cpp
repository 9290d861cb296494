// CSecureDialog: secret edit controls bound to wiping strings, blanked with
// spaces before every new text and when the dialog ends.
#include "zqsecuredialog.h"

#include "zqlog.h"

using zq::log::Operation;

constexpr int kFirstFillLength = 1024;

IMPLEMENT_DYNAMIC(CSecureDialog, CDialog)

BEGIN_MESSAGE_MAP(CSecureDialog, CDialog)
END_MESSAGE_MAP()

CSecureDialog::CSecureDialog(UINT nIDTemplate, CWnd* pParentWnd) : CDialog(nIDTemplate, pParentWnd) {}

CSecureDialog::CSecureDialog(const wchar_t* lpszTemplateName, CWnd* pParentWnd)
    : CDialog(lpszTemplateName, pParentWnd) {}

CSecureDialog::~CSecureDialog() = default;

void CSecureDialog::OnInitDialogSecure() {
  Operation operation(L"CSecureDialog::OnInitDialogSecure");
  m_bFirstFill = true;
  m_bCleanUp = false;
  CDialog::OnInitDialog();
  operation.Exit();
}

void CSecureDialog::DDX_Text(CDataExchange* pDX, int nIDC, CSecStr& value) {
  Operation operation(L"CSecureDialog::DDX_Text");
  HWND control = pDX->PrepareEditCtrl(nIDC);

  if (pDX->m_bSaveAndValidate) {
    value.Empty();
    int length = ::GetWindowTextLengthW(control);
    wchar_t* buffer = value.GetBuffer(length + 1);
    ::GetWindowTextW(control, buffer, length + 1);
    value.ReleaseBuffer(length);
    operation.Exit();
    return;
  }

  {
    CSecStr blank;  // the destructor wipes it
    int length = m_bFirstFill ? kFirstFillLength : ::GetWindowTextLengthW(control);
    wchar_t* buffer = blank.GetBuffer(length + 1);
    if (m_bFirstFill) {
      wmemset(buffer, L' ', kFirstFillLength);
    } else {
      // Overwrite the control's own text with as many spaces.
      ::GetWindowTextW(control, buffer, length + 1);
      _wcsnset_s(buffer, static_cast<size_t>(length) + 1, L' ', static_cast<size_t>(length));
    }
    blank.ReleaseBuffer(length);
    ::SetWindowTextW(control, blank.GetString());
    m_bFirstFill = false;
  }
  if (!m_bCleanUp) ::SetWindowTextW(control, value.GetString());
  operation.Exit();
}

void CSecureDialog::OnOK() {
  Operation operation(L"CSecureDialog::OnOK");
  if (!UpdateData(TRUE)) return;  // the dialog stays open; no exit line
  EndDialog(IDOK);
  operation.Exit();
}

void CSecureDialog::OnCancel() {
  Operation operation(L"CSecureDialog::OnCancel");
  EndDialog(IDCANCEL);
  operation.Exit();
}

void CSecureDialog::EndDialog(int nResult) {
  Operation operation(L"CSecureDialog::EndDialog");
  SecureCleanUp();
  CDialog::EndDialog(nResult);
  operation.Exit();
}

void CSecureDialog::SecureCleanUp() {
  Operation operation(L"CSecureDialog::SecureCleanUp");
  m_bCleanUp = true;
  UpdateData(FALSE);
  operation.Exit();
}

BOOL CSecureDialog::DestroyWindow() {
  Operation operation(L"CSecureDialog::DestroyWindow");
  BOOL destroyed = CWnd::DestroyWindow();
  operation.Exit();
  return destroyed;
}
