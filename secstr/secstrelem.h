// The element of CSecStrList: a CObject holding one CSecStr by value;
// destroying it wipes the string.
#pragma once

#include "zqmfc.h"
#include "zqsecstr.h"

class CSecStrList::CElem : public CObject {
 public:
  CElem() = default;
  ~CElem() override = default;
  CElem(const CElem&) = delete;
  CElem& operator=(const CElem&) = delete;

  CSecStr m_str;
};
