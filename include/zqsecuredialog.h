// zqplatutilu.dll: CSecureDialog, a dialog base class for dialogs that ask
// for secrets.
//
// Derive a dialog from it, bind each secret edit control to a CSecStr member
// with CSecureDialog::DDX_Text in DoDataExchange, and call OnInitDialogSecure
// from OnInitDialog in place of CDialog::OnInitDialog. Then:
// - a save exchange reads the control's text straight into the wiped CSecStr;
// - before a load exchange writes a value into a control, the control's old
//   text is overwritten with as many spaces (the first secure control after
//   OnInitDialogSecure gets 1024 spaces);
// - when the dialog ends (OnOK after a successful save, OnCancel), every
//   secure control is left holding only spaces. The CSecStr members keep what
//   the last save read; destroy or Empty() them when done.
// DestroyWindow alone blanks nothing. A validation that calls pDX->Fail()
// keeps the dialog open. Errors of the string operations pass through
// DDX_Text unchanged (MFC exceptions, see zqsecstr.h).
//
// Both flags start cleared at construction; OnInitDialogSecure sets them up.
// Each operation logs its name at level 8 on entry and level 16 on exit.
//
// The dialog classes come from the MFC stand-in (zqafxwin.h).
#pragma once

#include "zqafxwin.h"
#include "zqexport.h"
#include "zqsecstr.h"

class ZQPLATUTIL_API CSecureDialog : public CDialog {
  DECLARE_DYNAMIC(CSecureDialog)

 public:
  CSecureDialog(UINT nIDTemplate, CWnd* pParentWnd);
  CSecureDialog(const wchar_t* lpszTemplateName, CWnd* pParentWnd);
  ~CSecureDialog() override;

  BOOL DestroyWindow() override;

  // Call from the derived OnInitDialog: the first load exchange, with the
  // first secure control pre-filled with 1024 spaces.
  virtual void OnInitDialogSecure();
  // Blanks every secure control, then ends the dialog. Hides
  // CDialog::EndDialog for calls through this class and its derived ones.
  virtual void EndDialog(int nResult);

 protected:
  void DDX_Text(CDataExchange* pDX, int nIDC, CSecStr& value);
  void OnOK() override;
  void OnCancel() override;

  bool m_bFirstFill = false;  // the next load fills its control with 1024 spaces first
  bool m_bCleanUp = false;    // loads only blank the controls

  DECLARE_MESSAGE_MAP()

 private:
  void SecureCleanUp();
};
