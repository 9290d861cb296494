// The free operators on CSecStr and CSecStrList.
#include <memory>

#include "secinner.h"
#include "secstrelem.h"
#include "zqsecstr.h"

using namespace zq::secstr;

// ---- Operators ----------------------------------------------------------------

CSecStr operator+(const CSecStr& a, const CSecStr& b) {
  CSecStr result(a);  // an exception from += destroys (wipes) it on the way out
  result += b;
  return result;
}

CSecStr operator+(const CSecStr& a, const wchar_t* psz) {
  CSecStr result(a);
  result += psz;
  return result;
}

CSecStr operator+(const wchar_t* psz, const CSecStr& b) {
  CSecStr result(psz);
  result += b;
  return result;
}

bool operator==(const CSecStr& a, const CSecStr& b) { return a.Compare(b.GetString()) == 0; }
bool operator==(const CSecStr& a, const wchar_t* psz) { return a.Compare(psz) == 0; }
bool operator==(const wchar_t* psz, const CSecStr& b) { return b.Compare(psz) == 0; }
bool operator!=(const CSecStr& a, const CSecStr& b) { return a.Compare(b.GetString()) != 0; }
bool operator!=(const CSecStr& a, const wchar_t* psz) { return a.Compare(psz) != 0; }
bool operator!=(const wchar_t* psz, const CSecStr& b) { return b.Compare(psz) != 0; }
bool operator<(const CSecStr& a, const CSecStr& b) { return a.Compare(b.GetString()) < 0; }

// ---- CSecStrList --------------------------------------------------------------

namespace {

// The element behind a node; a node without one is unexpected.
CSecStrList::CElem& ElementAt(CObject* object) {
  if (!object) ThrowHResult(E_UNEXPECTED);
  return *static_cast<CSecStrList::CElem*>(object);
}

}  // namespace

CSecStrList::CSecStrList() : m_pList(new (std::nothrow) CObList(10)) {
  if (!m_pList) ThrowHResult(E_OUTOFMEMORY);
}

CSecStrList::~CSecStrList() {
  RemoveAll();
  delete m_pList;
}

CSecStrList& CSecStrList::operator=(const CSecStrList& src) {
  if (&src == this) return *this;
  RemoveAll();
  for (POSITION pos = src.GetHeadPosition(); pos;) AddTail(src.GetNext(pos));
  return *this;
}

POSITION CSecStrList::AddTail(const CSecStr& s) {
  std::unique_ptr<CElem> element(NewObject<CElem>());
  element->m_str = s;
  POSITION position = m_pList->AddTail(element.get());
  element.release();  // the list owns it now
  return position;
}

POSITION CSecStrList::AddTail(const wchar_t* psz) { return AddTail(CSecStr(psz)); }

CSecStr CSecStrList::RemoveHead() {
  if (m_pList->IsEmpty()) return CSecStr();
  CSecStr head(ElementAt(m_pList->GetHead()).m_str);
  std::unique_ptr<CElem> element(static_cast<CElem*>(m_pList->RemoveHead()));
  return head;
}

void CSecStrList::RemoveAll() {
  while (!m_pList->IsEmpty()) delete static_cast<CElem*>(m_pList->RemoveHead());
}

const CSecStr& CSecStrList::GetHead() const {
  if (m_pList->IsEmpty()) ThrowHResult(E_UNEXPECTED);
  return ElementAt(m_pList->GetHead()).m_str;
}

POSITION CSecStrList::GetHeadPosition() const { return m_pList->GetHeadPosition(); }

const CSecStr& CSecStrList::GetNext(POSITION& pos) const {
  if (!pos) AfxThrowInvalidArgException();
  CObject* object = static_cast<const CObList*>(m_pList)->GetNext(pos);
  return ElementAt(object).m_str;
}

CSecStr& CSecStrList::GetAt(POSITION pos) {
  if (!pos) AfxThrowInvalidArgException();
  return ElementAt(m_pList->GetAt(pos)).m_str;
}

POSITION CSecStrList::Find(const wchar_t* psz, POSITION startAfter) const {
  POSITION pos = startAfter;
  if (pos) GetNext(pos);  // start behind startAfter
  else pos = GetHeadPosition();
  while (pos) {
    POSITION candidate = pos;
    if (GetNext(pos).Compare(psz) == 0) return candidate;
  }
  return nullptr;
}

INT_PTR CSecStrList::GetCount() const { return m_pList->GetCount(); }

int CSecStrList::IsEmpty() const { return m_pList->IsEmpty(); }
