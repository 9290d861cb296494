// The window part of the MFC stand-in: the least of CCmdTarget, CWnd, CDialog
// and CDataExchange that a modal dialog with data exchange needs, on real
// Win32 windows, with MFC's names, macros and order of calls.
//
// - Run-time classes: DECLARE_DYNAMIC / IMPLEMENT_DYNAMIC / RUNTIME_CLASS.
// - Message maps: DECLARE_MESSAGE_MAP / BEGIN_MESSAGE_MAP / END_MESSAGE_MAP
//   with ON_COMMAND (WM_COMMAND from a control or menu id) and ON_MESSAGE
//   (any message, handler LRESULT (WPARAM, LPARAM)). A map chains to its
//   base class's map; the first matching entry handles the message.
// - CDialog runs modally from a template resource (by id or name, looked up
//   in AfxGetResourceHandle()) or from an in-memory template
//   (InitModalIndirect). IDOK and IDCANCEL reach the virtual OnOK/OnCancel
//   through CDialog's message map.
// - UpdateData catches every CException* that the exchange throws (a failed
//   validation throws CUserException), deletes it and answers FALSE; it
//   shows no message box. An exception that reaches the dialog procedure is
//   deleted there, so none crosses the system's window code.
#pragma once

#include <windows.h>

#include "zqmfc.h"

class CCmdTarget;
class CWnd;
class CDataExchange;

// ---- Run-time classes ------------------------------------------------------

#define RUNTIME_CLASS(class_name) (class_name::GetThisClass())

#define DECLARE_DYNAMIC(class_name)                        \
 protected:                                                \
  static CRuntimeClass* PASCAL _GetBaseClass();            \
                                                           \
 public:                                                   \
  static CRuntimeClass class##class_name;                  \
  static CRuntimeClass* PASCAL GetThisClass();             \
  virtual CRuntimeClass* GetRuntimeClass() const override;

#define IMPLEMENT_DYNAMIC(class_name, base_class_name)                                                    \
  CRuntimeClass* PASCAL class_name::_GetBaseClass() { return RUNTIME_CLASS(base_class_name); }            \
  CRuntimeClass class_name::class##class_name = {#class_name, static_cast<int>(sizeof(class class_name)), \
                                                 0xFFFF, nullptr, &class_name::_GetBaseClass};            \
  CRuntimeClass* PASCAL class_name::GetThisClass() { return &class_name::class##class_name; }             \
  CRuntimeClass* class_name::GetRuntimeClass() const { return &class_name::class##class_name; }

// ---- Message maps ----------------------------------------------------------

typedef void (CCmdTarget::*AFX_PMSG)();

enum AfxSig : UINT_PTR {
  AfxSig_end = 0,
  AfxSig_vv,   // void (void): ON_COMMAND
  AfxSig_lwl,  // LRESULT (WPARAM, LPARAM): ON_MESSAGE
};

struct AFX_MSGMAP_ENTRY {
  UINT nMessage;  // 0 ends the map
  UINT nCode;     // for WM_COMMAND: the notification code
  UINT nID;       // for WM_COMMAND: the first and last control or menu id
  UINT nLastID;
  UINT_PTR nSig;
  AFX_PMSG pfn;                                 // AfxSig_vv
  LRESULT (CWnd::*pfnMessage)(WPARAM, LPARAM);  // AfxSig_lwl
};

struct AFX_MSGMAP {
  const AFX_MSGMAP* (*pfnGetBaseMap)();
  const AFX_MSGMAP_ENTRY* lpEntries;
};

#define DECLARE_MESSAGE_MAP()                          \
 protected:                                            \
  static const AFX_MSGMAP* PASCAL GetThisMessageMap(); \
  virtual const AFX_MSGMAP* GetMessageMap() const override;

#define BEGIN_MESSAGE_MAP(theClass, baseClass)                                         \
  const AFX_MSGMAP* theClass::GetMessageMap() const { return GetThisMessageMap(); } \
  const AFX_MSGMAP* PASCAL theClass::GetThisMessageMap() {                             \
    typedef theClass ThisClass;                                                        \
    typedef baseClass TheBaseClass;                                                    \
    static const AFX_MSGMAP_ENTRY _messageEntries[] = {
#define END_MESSAGE_MAP()                                                                     \
  {0, 0, 0, 0, AfxSig_end, nullptr, nullptr}                                                  \
  }                                                                                           \
  ;                                                                                           \
  static_assert(sizeof(ThisClass) > 0);                                                       \
  static const AFX_MSGMAP messageMap = {&TheBaseClass::GetThisMessageMap, &_messageEntries[0]}; \
  return &messageMap;                                                                         \
  }

#define ON_COMMAND(id, memberFxn)                                                         \
  {WM_COMMAND, 0, static_cast<WORD>(id), static_cast<WORD>(id), AfxSig_vv,              \
   static_cast<AFX_PMSG>(&ThisClass::memberFxn), nullptr},

#define ON_MESSAGE(message, memberFxn) \
  {message, 0, 0, 0, AfxSig_lwl, nullptr, static_cast<LRESULT (CWnd::*)(WPARAM, LPARAM)>(&ThisClass::memberFxn)},

// ---- CCmdTarget ------------------------------------------------------------

class CCmdTarget : public CObject {
  DECLARE_DYNAMIC(CCmdTarget)

 public:
  CCmdTarget() noexcept = default;
  ~CCmdTarget() override = default;

  // Runs the first message-map entry for the command; FALSE when none.
  virtual BOOL OnCmdMsg(UINT nID, int nCode);

 protected:
  static const AFX_MSGMAP* PASCAL GetThisMessageMap();
  virtual const AFX_MSGMAP* GetMessageMap() const;
  // The first entry, walking this class's map and then its bases', for
  // the message (and for WM_COMMAND, the id and code).
  const AFX_MSGMAP_ENTRY* FindMessageEntry(UINT nMessage, UINT nID, UINT nCode) const;
};

// ---- User exception (a validation that refused the input) -------------------

class CUserException : public CSimpleException {};

class CNotSupportedException : public CSimpleException {};

[[noreturn]] void AfxThrowUserException();
[[noreturn]] void AfxThrowNotSupportedException();

// ---- CWnd ------------------------------------------------------------------

class CWnd : public CCmdTarget {
  DECLARE_DYNAMIC(CWnd)

 public:
  CWnd() noexcept = default;
  ~CWnd() override;

  HWND m_hWnd = nullptr;

  HWND GetSafeHwnd() const { return m_hWnd; }
  operator HWND() const { return GetSafeHwnd(); }

  virtual BOOL DestroyWindow();
  // Runs DoDataExchange: TRUE reads the controls into the members (and
  // validates), FALSE writes the members into the controls.
  BOOL UpdateData(BOOL bSaveAndValidate = TRUE);

  void SetWindowTextW(LPCWSTR lpszString);
  int GetWindowTextLengthW() const;
  HWND GetDlgItemHandle(int nID) const;

 protected:
  virtual void DoDataExchange(CDataExchange* pDX);
  virtual BOOL OnCommand(WPARAM wParam, LPARAM lParam);
  // Messages other than commands: the message map's ON_MESSAGE entries.
  virtual BOOL OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult);

  DECLARE_MESSAGE_MAP()
};

// ---- CDialog ---------------------------------------------------------------

class CDialog : public CWnd {
  DECLARE_DYNAMIC(CDialog)

 public:
  CDialog() noexcept = default;
  explicit CDialog(UINT nIDTemplate, CWnd* pParentWnd = nullptr) noexcept;
  explicit CDialog(LPCWSTR lpszTemplateName, CWnd* pParentWnd = nullptr) noexcept;
  ~CDialog() override = default;

  // A template in memory, used by DoModal in place of a resource.
  BOOL InitModalIndirect(LPCDLGTEMPLATE lpDialogTemplate, CWnd* pParentWnd = nullptr) noexcept;

  // Runs the dialog modally; answers the EndDialog result, or -1 when the
  // dialog could not be created.
  virtual INT_PTR DoModal();
  // Writes the members into the controls (UpdateData(FALSE)); TRUE lets the
  // system set the focus.
  virtual BOOL OnInitDialog();
  void EndDialog(int nResult);

 protected:
  virtual void OnOK();
  virtual void OnCancel();

  LPCWSTR m_lpszTemplateName = nullptr;
  LPCDLGTEMPLATE m_lpDialogTemplate = nullptr;
  CWnd* m_pParentWnd = nullptr;

  DECLARE_MESSAGE_MAP()

 private:
  static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
};

// ---- CDataExchange ---------------------------------------------------------

class CDataExchange {
 public:
  CDataExchange(CWnd* pDlgWnd, BOOL bSaveAndValidate) noexcept
      : m_bSaveAndValidate(bSaveAndValidate), m_pDlgWnd(pDlgWnd) {}

  BOOL m_bSaveAndValidate;  // TRUE: controls to members
  CWnd* m_pDlgWnd;
  HWND m_hWndLastControl = nullptr;
  BOOL m_bEditLastControl = FALSE;

  // The control's window; a missing control throws CNotSupportedException.
  HWND PrepareCtrl(int nIDC);
  HWND PrepareEditCtrl(int nIDC);
  // Ends a save exchange that refused the input: throws CUserException.
  [[noreturn]] void Fail();
};
