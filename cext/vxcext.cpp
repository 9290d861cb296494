#include "vxcext.h"

#include <windows.h>

#include <cstring>

namespace ZQ::Framework {

void CConverter::charToString(const char* text, int length, secwstring& out) {
  out.clear();
  if (!text || length == 0) return;
  if (length < 0) {
    size_t terminated = std::strlen(text);
    if (terminated > INT_MAX) return;
    length = static_cast<int>(terminated);
    if (length == 0) return;
  }
  int needed = MultiByteToWideChar(CP_ACP, 0, text, length, nullptr, 0);
  if (needed <= 0) return;
  out.resize(static_cast<size_t>(needed));
  int written = MultiByteToWideChar(CP_ACP, 0, text, length, out.data(), needed);
  out.resize(written > 0 ? static_cast<size_t>(written) : 0);
}

}  // namespace ZQ::Framework
