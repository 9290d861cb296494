// CObList: nodes carved from blocks, positions that stay valid.
#include <new>

#include "zqmfc.h"

CObList::CObList(INT_PTR nBlockSize) : m_nBlockSize(nBlockSize > 0 ? nBlockSize : 10) {}

CObList::~CObList() { RemoveAll(); }

CObList::CNode* CObList::NodeAt(POSITION position) {
  if (!position) AfxThrowInvalidArgException();
  return reinterpret_cast<CNode*>(position);
}

CObList::CNode* CObList::NewNode(CNode* pPrev, CNode* pNext, CObject* data) {
  if (!m_pNodeFree) {
    // A new block: its nodes go onto the free chain.
    size_t bytes = sizeof(CPlex) + sizeof(CNode) * static_cast<size_t>(m_nBlockSize);
    auto* block = static_cast<CPlex*>(malloc(bytes));
    if (!block) AfxThrowMemoryException();
    block->pNext = m_pBlocks;
    m_pBlocks = block;
    auto* nodes = reinterpret_cast<CNode*>(block + 1);
    for (INT_PTR i = m_nBlockSize - 1; i >= 0; --i) {
      nodes[i].pNext = m_pNodeFree;
      m_pNodeFree = &nodes[i];
    }
  }
  CNode* node = m_pNodeFree;
  m_pNodeFree = node->pNext;
  node->pPrev = pPrev;
  node->pNext = pNext;
  node->data = data;
  (pPrev ? pPrev->pNext : m_pNodeHead) = node;
  (pNext ? pNext->pPrev : m_pNodeTail) = node;
  ++m_nCount;
  return node;
}

void CObList::FreeNode(CNode* pNode) noexcept {
  pNode->pNext = m_pNodeFree;
  m_pNodeFree = pNode;
  if (--m_nCount == 0) RemoveAll();  // the last node gone: give every block back
}

void CObList::RemoveAll() noexcept {
  while (m_pBlocks) {
    CPlex* next = m_pBlocks->pNext;
    free(m_pBlocks);
    m_pBlocks = next;
  }
  m_pNodeHead = m_pNodeTail = m_pNodeFree = nullptr;
  m_nCount = 0;
}

INT_PTR CObList::BlockCount() const noexcept {
  INT_PTR count = 0;
  for (CPlex* block = m_pBlocks; block; block = block->pNext) ++count;
  return count;
}

CObject*& CObList::GetHead() {
  if (!m_pNodeHead) AfxThrowInvalidArgException();
  return m_pNodeHead->data;
}

CObject* CObList::GetHead() const { return const_cast<CObList*>(this)->GetHead(); }

CObject*& CObList::GetTail() {
  if (!m_pNodeTail) AfxThrowInvalidArgException();
  return m_pNodeTail->data;
}

CObject* CObList::GetTail() const { return const_cast<CObList*>(this)->GetTail(); }

POSITION CObList::AddHead(CObject* newElement) {
  return reinterpret_cast<POSITION>(NewNode(nullptr, m_pNodeHead, newElement));
}

POSITION CObList::AddTail(CObject* newElement) {
  return reinterpret_cast<POSITION>(NewNode(m_pNodeTail, nullptr, newElement));
}

CObject* CObList::RemoveHead() {
  CObject* data = GetHead();  // an empty list throws here
  RemoveAt(GetHeadPosition());
  return data;
}

CObject* CObList::RemoveTail() {
  CObject* data = GetTail();
  RemoveAt(GetTailPosition());
  return data;
}

CObject*& CObList::Step(POSITION& rPosition, CNode* CNode::*link) {
  CNode* node = NodeAt(rPosition);
  rPosition = reinterpret_cast<POSITION>(node->*link);
  return node->data;
}

CObject*& CObList::GetNext(POSITION& rPosition) { return Step(rPosition, &CNode::pNext); }

CObject* CObList::GetNext(POSITION& rPosition) const { return const_cast<CObList*>(this)->GetNext(rPosition); }

CObject*& CObList::GetPrev(POSITION& rPosition) { return Step(rPosition, &CNode::pPrev); }

CObject*& CObList::GetAt(POSITION position) { return NodeAt(position)->data; }

CObject* CObList::GetAt(POSITION position) const { return const_cast<CObList*>(this)->GetAt(position); }

void CObList::RemoveAt(POSITION position) {
  CNode* node = NodeAt(position);
  if (node == m_pNodeHead) m_pNodeHead = node->pNext;
  else node->pPrev->pNext = node->pNext;
  if (node == m_pNodeTail) m_pNodeTail = node->pPrev;
  else node->pNext->pPrev = node->pPrev;
  FreeNode(node);
}

POSITION CObList::Find(CObject* searchValue, POSITION startAfter) const {
  CNode* node = startAfter ? NodeAt(startAfter)->pNext : m_pNodeHead;
  for (; node; node = node->pNext) {
    if (node->data == searchValue) return reinterpret_cast<POSITION>(node);
  }
  return nullptr;
}
