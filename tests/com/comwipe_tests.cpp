// Wiping release of BSTRs and safe arrays, on Wine's oleaut32.
#include <cstdint>

#include "calls.h"
#include "zqcom.h"

using namespace zqtest;
using Strings = std::vector<const void*>;  // compared as addresses: freed text is not read

// This program's import slot of SysFreeString, through which the library frees.
extern "C" void(WINAPI* __imp_SysFreeString)(BSTR);

Strings freed;  // what the library handed to SysFreeString, in order
void(WINAPI* const platformFree)(BSTR) = __imp_SysFreeString;
void WINAPI RecordFree(BSTR text) { freed.push_back(text), platformFree(text); }
[[maybe_unused]] const bool recording = (__imp_SysFreeString = RecordFree, true);

bool Zero(const void* data, size_t n) { return std::string(static_cast<const char*>(data), n) == std::string(n, 0); }

// The three lines of one string's release.
Lines FreeLines(BSTR text) {
  std::wstring shown = Format(L"zqSysFreeString bstr = %s", text);
  return {{0, shown}, {0, text ? L"zqSysFreeString bstr = " : shown}, {0, L"zqSysFreeString"}};
}

TEST(ComWipe, SysFreeStringWipesEveryByteAndFreesUnlessKept) {
  for (BOOL keep : {TRUE, 7, FALSE}) {                    // any non-zero flag keeps
    BSTR text = SysAllocStringByteLen("hunter\0\0x", 9);  // odd length, a byte after a zero character
    freed.clear();
    RunCases({{"a string", [&] { return zqSysFreeString(text, keep), 0L; }, 0, FreeLines(text)},
              {"null", [&] { return zqSysFreeString(nullptr, keep), 0L; }, 0, FreeLines(nullptr)}});
    EXPECT_EQ(freed, keep ? Strings{} : (Strings{text, nullptr}));  // null too: harmless
    EXPECT_TRUE(!keep || (Zero(text, 9) && SysStringByteLen(text) == 9));
    if (keep) platformFree(text);
  }
}

// The lines of one call: pointer, sizes, what comes between, result.
Lines Destroy(SAFEARRAY* array, const wchar_t* sizes, const Lines& inside, const wchar_t* hr) {
  return Lines{{0, Format(L"zqSafeArrayDestroy psa = %x", static_cast<unsigned>(reinterpret_cast<uintptr_t>(array)))},
               {0, Format(L"zqSafeArrayDestroy sizeElem = %s", sizes)}} +
         inside + Lines{{0, Format(L"zqSafeArrayDestroy hr = %s", hr)}};
}

TEST(ComWipe, SafeArrayDestroyWipesUnlocksAndReportsTheFailures) {
  SAFEARRAYBOUND bounds[2] = {{3, 0}, {4, 1}};
  SAFEARRAY *strings = SafeArrayCreate(VT_BSTR, 2, bounds), *locked = SafeArrayCreateVector(VT_UI1, 0, 16),
            *full = SafeArrayCreateVector(VT_UI1, 0, 4), *empty = nullptr;
  memset(locked->pvData, 0xAB, 16), memset(full->pvData, 0xAB, 4);
  Strings texts;
  Lines stringLines{{0, L"zqSafeArrayDestroy nbElem = 12"}};
  for (int i = 0; i < 12; ++i) {
    BSTR text = static_cast<BSTR*>(strings->pvData)[i] = SysAllocString(Format(L"s%02d", i).c_str());
    texts.push_back(text), stringLines = stringLines + FreeLines(text);
  }
  ASSERT_EQ(SafeArrayLock(locked) | SafeArrayAllocDescriptor(1, &empty), S_OK);
  full->cLocks = 0xFFFF;  // no further lock can be taken
  empty->cbElements = 4;  // and no data
  freed.clear();
  RunCases({
      // Kept: its strings are freed all the same.
      ZQ_CASE(zqSafeArrayDestroy(strings, TRUE), S_OK, Destroy(strings, L"8, nDim = 2", stringLines, L"0")),
      ZQ_CASE(zqSafeArrayDestroy(nullptr, FALSE), S_OK,
              Lines{{0, L"zqSafeArrayDestroy psa = 0"}, {0, L"zqSafeArrayDestroy hr = 0"}}),
      // Locked by its owner: wiped, SafeArrayDestroy's answer.
      ZQ_CASE(zqSafeArrayDestroy(locked, FALSE), DISP_E_ARRAYISLOCKED,
              Destroy(locked, L"1, nDim = 1", {{0, L"zqSafeArrayDestroy nbElem = 16"}}, L"8002000d")),
      ZQ_CASE(zqSafeArrayDestroy(full, FALSE), E_UNEXPECTED,
              Destroy(full, L"1, nDim = 1", {{1, L"zqSafeArrayDestroy SafeArrayAccessData failed hr = 8000ffff"}},
                      L"8000ffff")),
      ZQ_CASE(zqSafeArrayDestroy(empty, FALSE), S_OK,
              Destroy(empty, L"4, nDim = 1", {{1, L"zqSafeArrayDestroy SafeArrayAccessData failed hr = 0"}}, L"0")),
  });
  // Wiped, except the array that could not be locked; each left with the locks it came with.
  EXPECT_TRUE(Zero(strings->pvData, 12 * sizeof(BSTR)) && Zero(locked->pvData, 16) && !Zero(full->pvData, 1));
  EXPECT_EQ(std::vector<ULONG>({strings->cLocks, locked->cLocks, full->cLocks, empty->cLocks}),
            std::vector<ULONG>({0, 1, 0xFFFF, 0}));
  EXPECT_EQ(freed, texts);
  full->cLocks = 0;
  ASSERT_EQ(SafeArrayUnlock(locked), S_OK);
  EXPECT_EQ(
      SafeArrayDestroy(locked) | SafeArrayDestroy(full) | SafeArrayDestroy(strings) | SafeArrayDestroyDescriptor(empty),
      S_OK);
}
