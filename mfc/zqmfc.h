// The MFC/ATL stand-in: the least of MFC and ATL that this product's secure
// strings build on, with MFC's names and behaviour.
//
// - CString/CStringA (zqatlstr.h): ATL strings over a string manager.
// - CObject with its run-time class, CObList with stable POSITIONs whose nodes
//   come in blocks.
// - MFC's exceptions, thrown as pointers: catch CException* and call Delete().
//   The memory and invalid-argument exceptions are static objects (Delete()
//   leaves them alone, as in MFC), so throwing them needs no memory.
// - msl::utilities::SafeIntException, thrown by value on checked arithmetic.
//
// At load, only constant initialisation happens here: the module state and
// the base module below are plain static objects, MFC's module state first,
// ATL's base module second; both fill themselves in on first use.
#pragma once

#include <windows.h>

#include "zqatlstr.h"

class CArchive;
class CDumpContext;
class CObject;

// ---- Run-time class and CObject ----------------------------------------

struct CRuntimeClass {
  LPCSTR m_lpszClassName;
  int m_nObjectSize;
  UINT m_wSchema;  // 0xFFFF for classes that are not serialisable
  CObject* (*m_pfnCreateObject)();
  CRuntimeClass* (*m_pfnGetBaseClass)();

  BOOL IsDerivedFrom(const CRuntimeClass* pBaseClass) const noexcept;
};

class CObject {
 public:
  virtual CRuntimeClass* GetRuntimeClass() const;
  virtual ~CObject() = default;
  virtual void Serialize(CArchive& ar);
  virtual void AssertValid() const;
  virtual void Dump(CDumpContext& dc) const;

  BOOL IsKindOf(const CRuntimeClass* pClass) const noexcept;
  static CRuntimeClass* GetThisClass() noexcept;
  static CRuntimeClass classCObject;

 protected:
  constexpr CObject() = default;
  constexpr CObject(const CObject&) = default;
  CObject& operator=(const CObject&) = default;
};

// ---- Exceptions ------------------------------------------------------------

class CException : public CObject {
 public:
  explicit constexpr CException(BOOL bAutoDelete = TRUE) noexcept : m_bAutoDelete(bAutoDelete) {}
  ~CException() override = default;
  // Ends the life of a caught exception: deletes it unless it is static.
  void Delete() noexcept;
  virtual BOOL GetErrorMessage(LPWSTR pszError, UINT nMaxError, PUINT pnHelpContext = nullptr) const;

  BOOL m_bAutoDelete;
};

class CSimpleException : public CException {
 public:
  using CException::CException;
};

class CMemoryException : public CSimpleException {
 public:
  using CSimpleException::CSimpleException;
  BOOL GetErrorMessage(LPWSTR pszError, UINT nMaxError, PUINT pnHelpContext = nullptr) const override;
};

class CInvalidArgException : public CSimpleException {
 public:
  using CSimpleException::CSimpleException;
  BOOL GetErrorMessage(LPWSTR pszError, UINT nMaxError, PUINT pnHelpContext = nullptr) const override;
};

class COleException : public CException {
 public:
  explicit COleException(SCODE sc = S_OK) noexcept : m_sc(sc) {}
  BOOL GetErrorMessage(LPWSTR pszError, UINT nMaxError, PUINT pnHelpContext = nullptr) const override;
  SCODE m_sc;
};

[[noreturn]] void AfxThrowMemoryException();
[[noreturn]] void AfxThrowInvalidArgException();
[[noreturn]] void AfxThrowOleException(SCODE sc);

namespace msl::utilities {

enum SafeIntError { SafeIntNoError = 0, SafeIntArithmeticOverflow, SafeIntDivideByZero };

class SafeIntException {
 public:
  SafeIntException() noexcept : m_code(SafeIntNoError) {}
  explicit SafeIntException(SafeIntError code) noexcept : m_code(code) {}
  SafeIntError m_code;
};

}  // namespace msl::utilities

// ---- CObList ---------------------------------------------------------------

struct __POSITION {};
typedef __POSITION* POSITION;

// A doubly linked list of CObject pointers. POSITIONs are node addresses and
// stay valid until their node is removed. Nodes are carved from blocks of
// nBlockSize nodes; freed nodes are reused, and every block is released when
// the list becomes empty. The list never deletes the objects it points to.
class CObList : public CObject {
 public:
  explicit CObList(INT_PTR nBlockSize = 10);
  ~CObList() override;
  CObList(const CObList&) = delete;
  CObList& operator=(const CObList&) = delete;

  INT_PTR GetCount() const noexcept { return m_nCount; }
  INT_PTR GetSize() const noexcept { return m_nCount; }
  BOOL IsEmpty() const noexcept { return m_nCount == 0; }

  // Head and tail of an empty list, and null positions, throw
  // CInvalidArgException.
  CObject*& GetHead();
  CObject* GetHead() const;
  CObject*& GetTail();
  CObject* GetTail() const;
  CObject* RemoveHead();
  CObject* RemoveTail();
  POSITION AddHead(CObject* newElement);
  POSITION AddTail(CObject* newElement);
  void RemoveAll() noexcept;

  POSITION GetHeadPosition() const noexcept { return reinterpret_cast<POSITION>(m_pNodeHead); }
  POSITION GetTailPosition() const noexcept { return reinterpret_cast<POSITION>(m_pNodeTail); }
  CObject*& GetNext(POSITION& rPosition);
  CObject* GetNext(POSITION& rPosition) const;
  CObject*& GetPrev(POSITION& rPosition);
  CObject*& GetAt(POSITION position);
  CObject* GetAt(POSITION position) const;
  void RemoveAt(POSITION position);
  // The first node after `startAfter` (from the head when null) holding searchValue.
  POSITION Find(CObject* searchValue, POSITION startAfter = nullptr) const;

  // Nodes per block, as given to the constructor.
  INT_PTR BlockSize() const noexcept { return m_nBlockSize; }
  // Blocks allocated now; for tests of the block reuse.
  INT_PTR BlockCount() const noexcept;

 protected:
  struct CNode {
    CNode* pNext;
    CNode* pPrev;
    CObject* data;
  };
  struct CPlex {
    CPlex* pNext;
    // nBlockSize nodes follow.
  };

  // A node holding data, linked in between pPrev and pNext (null: the list's ends).
  CNode* NewNode(CNode* pPrev, CNode* pNext, CObject* data);
  void FreeNode(CNode* pNode) noexcept;
  static CNode* NodeAt(POSITION position);
  // The data at rPosition; rPosition moves along link.
  static CObject*& Step(POSITION& rPosition, CNode* CNode::*link);

  CNode* m_pNodeHead = nullptr;
  CNode* m_pNodeTail = nullptr;
  INT_PTR m_nCount = 0;
  CNode* m_pNodeFree = nullptr;
  CPlex* m_pBlocks = nullptr;
  INT_PTR m_nBlockSize;
};

// ---- Module state and resources -------------------------------------------

// MFC's state of this module: the instance and the module searched for resources.
struct AFX_MODULE_STATE {
  HINSTANCE m_hCurrentInstanceHandle;
  HINSTANCE m_hCurrentResourceHandle;
};

AFX_MODULE_STATE* AfxGetModuleState() noexcept;
// The module that holds this code (the DLL when linked into one).
HINSTANCE AfxGetInstanceHandle() noexcept;
HINSTANCE AfxGetResourceHandle() noexcept;
void AfxSetResourceHandle(HINSTANCE hInstance) noexcept;

namespace ATL {

// ATL's base module: the module's instance and resource instance.
class CAtlBaseModule {
 public:
  HINSTANCE GetModuleInstance() noexcept;
  HINSTANCE GetResourceInstance() noexcept;

 private:
  HINSTANCE m_hInst = nullptr;
  HINSTANCE m_hInstResource = nullptr;
};

extern CAtlBaseModule _AtlBaseModule;

}  // namespace ATL
