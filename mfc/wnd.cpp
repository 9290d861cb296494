// CCmdTarget, CWnd, CDialog and CDataExchange on real Win32 windows.
#include "zqafxwin.h"

// ---- Run-time classes ------------------------------------------------------

IMPLEMENT_DYNAMIC(CCmdTarget, CObject)
IMPLEMENT_DYNAMIC(CWnd, CCmdTarget)
IMPLEMENT_DYNAMIC(CDialog, CWnd)

// ---- Exceptions ------------------------------------------------------------

void AfxThrowUserException() { throw new CUserException; }
void AfxThrowNotSupportedException() { throw new CNotSupportedException; }

// ---- CCmdTarget ------------------------------------------------------------

const AFX_MSGMAP* PASCAL CCmdTarget::GetThisMessageMap() {
  static const AFX_MSGMAP_ENTRY entries[] = {{0, 0, 0, 0, AfxSig_end, nullptr, nullptr}};
  static const AFX_MSGMAP map = {nullptr, &entries[0]};
  return &map;
}

const AFX_MSGMAP* CCmdTarget::GetMessageMap() const { return GetThisMessageMap(); }

const AFX_MSGMAP_ENTRY* CCmdTarget::FindMessageEntry(UINT nMessage, UINT nID, UINT nCode) const {
  for (const AFX_MSGMAP* map = GetMessageMap(); map; map = map->pfnGetBaseMap ? map->pfnGetBaseMap() : nullptr) {
    for (const AFX_MSGMAP_ENTRY* entry = map->lpEntries; entry && entry->nSig != AfxSig_end; ++entry) {
      if (entry->nMessage != nMessage) continue;
      if (nMessage == WM_COMMAND && (entry->nCode != nCode || nID < entry->nID || nID > entry->nLastID)) continue;
      return entry;
    }
  }
  return nullptr;
}

BOOL CCmdTarget::OnCmdMsg(UINT nID, int nCode) {
  const AFX_MSGMAP_ENTRY* entry = FindMessageEntry(WM_COMMAND, nID, static_cast<UINT>(nCode));
  if (!entry || entry->nSig != AfxSig_vv) return FALSE;
  (this->*entry->pfn)();
  return TRUE;
}

// ---- CWnd ------------------------------------------------------------------

BEGIN_MESSAGE_MAP(CWnd, CCmdTarget)
END_MESSAGE_MAP()

CWnd::~CWnd() = default;

BOOL CWnd::DestroyWindow() {
  if (!m_hWnd) return FALSE;
  return ::DestroyWindow(m_hWnd);
}

void CWnd::DoDataExchange(CDataExchange*) {}

BOOL CWnd::UpdateData(BOOL bSaveAndValidate) {
  CDataExchange exchange(this, bSaveAndValidate);
  try {
    DoDataExchange(&exchange);
    return TRUE;
  } catch (CException* e) {
    // A refused validation (CUserException) has told the user already; other
    // failures end the exchange the same way.
    e->Delete();
    return FALSE;
  }
}

void CWnd::SetWindowTextW(LPCWSTR lpszString) { ::SetWindowTextW(m_hWnd, lpszString); }

int CWnd::GetWindowTextLengthW() const { return ::GetWindowTextLengthW(m_hWnd); }

HWND CWnd::GetDlgItemHandle(int nID) const { return ::GetDlgItem(m_hWnd, nID); }

BOOL CWnd::OnCommand(WPARAM wParam, LPARAM) {
  return OnCmdMsg(LOWORD(wParam), static_cast<int>(HIWORD(wParam)));
}

BOOL CWnd::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) {
  if (message == WM_COMMAND) return OnCommand(wParam, lParam);
  const AFX_MSGMAP_ENTRY* entry = FindMessageEntry(message, 0, 0);
  if (!entry || entry->nSig != AfxSig_lwl) return FALSE;
  *pResult = (this->*entry->pfnMessage)(wParam, lParam);
  return TRUE;
}

// ---- CDialog ---------------------------------------------------------------

BEGIN_MESSAGE_MAP(CDialog, CWnd)
ON_COMMAND(IDOK, OnOK)
ON_COMMAND(IDCANCEL, OnCancel)
END_MESSAGE_MAP()

CDialog::CDialog(UINT nIDTemplate, CWnd* pParentWnd) noexcept : CDialog(MAKEINTRESOURCEW(nIDTemplate), pParentWnd) {}

CDialog::CDialog(LPCWSTR lpszTemplateName, CWnd* pParentWnd) noexcept
    : m_lpszTemplateName(lpszTemplateName), m_pParentWnd(pParentWnd) {}

BOOL CDialog::InitModalIndirect(LPCDLGTEMPLATE lpDialogTemplate, CWnd* pParentWnd) noexcept {
  m_lpDialogTemplate = lpDialogTemplate;
  m_pParentWnd = pParentWnd;
  return lpDialogTemplate != nullptr;
}

INT_PTR CDialog::DoModal() {
  HWND parent = m_pParentWnd ? m_pParentWnd->m_hWnd : nullptr;
  HINSTANCE resources = AfxGetResourceHandle();
  auto self = reinterpret_cast<LPARAM>(this);
  INT_PTR result = -1;
  if (m_lpDialogTemplate) {
    result = DialogBoxIndirectParamW(resources, m_lpDialogTemplate, parent, &CDialog::DialogProc, self);
  } else if (m_lpszTemplateName) {
    result = DialogBoxParamW(resources, m_lpszTemplateName, parent, &CDialog::DialogProc, self);
  }
  m_hWnd = nullptr;
  return result;
}

BOOL CDialog::OnInitDialog() {
  if (!UpdateData(FALSE)) {
    EndDialog(-1);
    return FALSE;
  }
  return TRUE;
}

void CDialog::EndDialog(int nResult) { ::EndDialog(m_hWnd, nResult); }

void CDialog::OnOK() {
  if (!UpdateData(TRUE)) return;
  EndDialog(IDOK);
}

void CDialog::OnCancel() { EndDialog(IDCANCEL); }

INT_PTR CALLBACK CDialog::DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  CDialog* dialog = nullptr;
  if (message == WM_INITDIALOG) {
    dialog = reinterpret_cast<CDialog*>(lParam);
    SetWindowLongPtrW(hwnd, DWLP_USER, lParam);
    dialog->m_hWnd = hwnd;
  } else {
    dialog = reinterpret_cast<CDialog*>(GetWindowLongPtrW(hwnd, DWLP_USER));
  }
  if (!dialog) return FALSE;

  // No exception may cross the system's window code.
  try {
    if (message == WM_INITDIALOG) return dialog->OnInitDialog();
    if (message == WM_NCDESTROY) {
      dialog->m_hWnd = nullptr;
      return FALSE;
    }
    LRESULT result = 0;
    if (!dialog->OnWndMsg(message, wParam, lParam, &result)) return FALSE;
    if (message != WM_COMMAND) SetWindowLongPtrW(hwnd, DWLP_MSGRESULT, result);
    return TRUE;
  } catch (CException* e) {
    e->Delete();
  } catch (...) {
  }
  return FALSE;
}

// ---- CDataExchange ---------------------------------------------------------

HWND CDataExchange::PrepareCtrl(int nIDC) {
  HWND control = m_pDlgWnd ? m_pDlgWnd->GetDlgItemHandle(nIDC) : nullptr;
  if (!control) AfxThrowNotSupportedException();
  m_hWndLastControl = control;
  m_bEditLastControl = FALSE;
  return control;
}

HWND CDataExchange::PrepareEditCtrl(int nIDC) {
  HWND control = PrepareCtrl(nIDC);
  m_bEditLastControl = TRUE;
  return control;
}

void CDataExchange::Fail() {
  // Back to the control that refused the input, as MFC does.
  if (m_bSaveAndValidate && m_hWndLastControl && m_pDlgWnd && m_pDlgWnd->m_hWnd) {
    SetFocus(m_hWndLastControl);
    if (m_bEditLastControl) SendMessageW(m_hWndLastControl, EM_SETSEL, 0, -1);
  }
  AfxThrowUserException();
}
