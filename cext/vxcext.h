// vx.cext.dll: the product's text conversion library.
#pragma once

#include "zqsecalloc.h"

#ifdef VXCEXT_BUILDING
#define VXCEXT_API __declspec(dllexport)
#else
#define VXCEXT_API __declspec(dllimport)
#endif

namespace ZQ::Framework {

class VXCEXT_API CConverter {
 public:
  // Replaces `out` with the wide form of `length` characters of `text` in the
  // ANSI code page. A negative length converts up to the terminator; a null
  // text, a zero length or text that does not convert leaves `out` empty.
  // The conversion writes straight into `out`, so no copy of the text is left
  // outside secure storage.
  static void charToString(const char* text, int length, secwstring& out);
};

}  // namespace ZQ::Framework
