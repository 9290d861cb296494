// The exported secure string classes, called across the DLL boundary.
#include <gtest/gtest.h>

#include "wipecheck.h"
#include "zqmfc.h"
#include "zqsecstr.h"

using zqtest::Text;
using zqtest::Thrown;

namespace {

TEST(SecStrDll, ClassesWorkFromTheDll) {
  HMODULE dll = GetModuleHandleW(L"zqplatutilu.dll");
  ASSERT_NE(dll, nullptr);
  // The members run in the DLL, not in a copy linked into this program.
  FARPROC getLength = GetProcAddress(dll, "_ZNK7CSecStr9GetLengthEv");
  ASSERT_NE(getLength, nullptr);
  HMODULE owner = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCWSTR>(getLength), &owner);
  EXPECT_EQ(owner, dll);
  CSecStr s(L"across");
  EXPECT_EQ(reinterpret_cast<int (*)(const CSecStr*)>(reinterpret_cast<void (*)()>(getLength))(&s), 6);

  s += L" the boundary";
  EXPECT_EQ(s.Replace(L" ", L"_"), 2);
  EXPECT_EQ(Text(s.Left(6) + L"!"), L"across!");
  CSecStrList list;
  list.AddTail(s);
  EXPECT_STREQ(CSecStrA(list.RemoveHead()).GetString(), "across_the_boundary");
}

TEST(SecStrDll, ExceptionsThrownInTheDllAreCaughtHere) {
  CSecStr s(L"abc");
  CSecStrList list;
  EXPECT_EQ(Thrown([&] { s.ReleaseBuffer(-2); }), "ole:0x80070057");
  EXPECT_EQ(Thrown([] { CSecStr counted(L"abc", -1); }), "memory");
  EXPECT_EQ(Thrown([&] { list.GetHead(); }), "ole:0x8000ffff");
  EXPECT_EQ(Thrown([&] { s.Append(nullptr, 1); }), "std:EINVAL");
}

}  // namespace
