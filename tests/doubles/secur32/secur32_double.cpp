// Test Secur32.dll: the directory's name translation, steered by the test
// through its process environment.
//   ZQTEST_TRANSLATE_ERROR   a code: the translation fails with it
//   ZQTEST_TRANSLATE_ANSWER  the translated name (with the size protocol of
//                            the real call: 122 and the size needed when the
//                            buffer is missing or small)
//   neither                  fails with last error 0, as Wine's does
// Every call is recorded in ZQTEST_TRANSLATE_CALL as "name|from|to|size".
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

std::wstring ReadVariable(const wchar_t* name, bool* present) {
  wchar_t value[1024];
  DWORD length = GetEnvironmentVariableW(name, value, 1024);
  *present = length > 0 && length < 1024;
  return *present ? std::wstring(value, length) : std::wstring();
}

std::wstring Widen(const char* text) {
  int chars = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
  std::wstring wide(chars > 0 ? chars - 1 : 0, L'\0');
  if (chars > 1) MultiByteToWideChar(CP_ACP, 0, text, -1, wide.data(), chars);
  return wide;
}

std::string Narrow(const std::wstring& text) {
  int bytes = WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string narrow(bytes > 0 ? bytes - 1 : 0, '\0');
  if (bytes > 1) WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, narrow.data(), bytes, nullptr, nullptr);
  return narrow;
}

void Record(const std::wstring& name, int from, int to, const ULONG* size) {
  std::wstring call = name + L"|" + std::to_wstring(from) + L"|" + std::to_wstring(to) + L"|" +
                      (size ? std::to_wstring(*size) : std::wstring(L"null"));
  SetEnvironmentVariableW(L"ZQTEST_TRANSLATE_CALL", call.c_str());
}

// The answer for this call, or false with the last error set.
bool Answer(std::wstring* answer) {
  bool present = false;
  std::wstring error = ReadVariable(L"ZQTEST_TRANSLATE_ERROR", &present);
  if (present) {
    SetLastError(static_cast<DWORD>(wcstoul(error.c_str(), nullptr, 10)));
    return false;
  }
  *answer = ReadVariable(L"ZQTEST_TRANSLATE_ANSWER", &present);
  if (!present) {
    SetLastError(0);
    return false;
  }
  return true;
}

template <typename Char>
BOOLEAN Deliver(const std::basic_string<Char>& answer, Char* buffer, ULONG* size) {
  ULONG needed = static_cast<ULONG>(answer.size() + 1);
  if (!buffer || *size < needed) {
    *size = needed;
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  std::memcpy(buffer, answer.c_str(), needed * sizeof(Char));
  *size = needed;
  return TRUE;
}

}  // namespace

extern "C" __declspec(dllexport) BOOLEAN WINAPI TranslateNameW(const wchar_t* name, int from, int to, wchar_t* buffer,
                                                               ULONG* size) {
  Record(name ? name : L"(null)", from, to, size);
  std::wstring answer;
  if (!size || !Answer(&answer)) return FALSE;
  return Deliver(answer, buffer, size);
}

extern "C" __declspec(dllexport) BOOLEAN WINAPI TranslateNameA(const char* name, int from, int to, char* buffer,
                                                               ULONG* size) {
  Record(name ? L"A:" + Widen(name) : L"A:(null)", from, to, size);
  std::wstring answer;
  if (!size || !Answer(&answer)) return FALSE;
  return Deliver(Narrow(answer), buffer, size);
}
