// The exported secure string classes, called across the DLL boundary.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "zqmfc.h"
#include "zqsecstr.h"

namespace {

std::wstring Text(const CSecStr& s) { return std::wstring(s.GetString(), static_cast<size_t>(s.GetLength())); }

HMODULE ModuleOf(const void* address) {
  HMODULE module = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     static_cast<LPCWSTR>(address), &module);
  return module;
}

TEST(SecStrDll, ClassesWorkFromTheDll) {
  HMODULE dll = GetModuleHandleW(L"zqplatutilu.dll");
  ASSERT_NE(dll, nullptr);
  // The members run in the DLL, not in a copy linked into this program.
  FARPROC getLength = GetProcAddress(dll, "_ZNK7CSecStr9GetLengthEv");
  ASSERT_NE(getLength, nullptr);
  EXPECT_EQ(ModuleOf(reinterpret_cast<const void*>(getLength)), dll);
  using GetLengthFn = int (*)(const CSecStr*);
  CSecStr s(L"across");
  EXPECT_EQ(reinterpret_cast<GetLengthFn>(reinterpret_cast<void (*)()>(getLength))(&s), 6);

  s += L" the boundary";
  EXPECT_EQ(s.Replace(L" ", L"_"), 2);
  EXPECT_EQ(Text(s), L"across_the_boundary");
  CSecStr formatted;
  formatted.Format(L"%d-%s", 7, L"x");
  EXPECT_TRUE(formatted == L"7-x");
  EXPECT_EQ(Text(s.Left(6) + L"!"), L"across!");

  CSecStrList list;
  list.AddTail(L"a");
  list.AddTail(s);
  EXPECT_EQ(list.GetCount(), 2);
  EXPECT_EQ(Text(list.RemoveHead()), L"a");

  CSecStrA narrow(s);
  EXPECT_STREQ(narrow.GetString(), "across_the_boundary");
}

TEST(SecStrDll, ExceptionsThrownInTheDllAreCaughtHere) {
  CSecStr s(L"abc");
  try {
    s.ReleaseBuffer(-2);
    ADD_FAILURE() << "nothing thrown";
  } catch (COleException* e) {
    EXPECT_EQ(e->m_sc, E_INVALIDARG);
    e->Delete();
  }
  try {
    CSecStr counted(L"abc", -1);
    ADD_FAILURE() << "nothing thrown";
  } catch (CMemoryException* e) {
    e->Delete();
  }
  CSecStrList list;
  try {
    list.GetHead();
    ADD_FAILURE() << "nothing thrown";
  } catch (CException* e) {
    ASSERT_NE(dynamic_cast<COleException*>(e), nullptr);
    EXPECT_EQ(static_cast<COleException*>(e)->m_sc, E_UNEXPECTED);
    e->Delete();
  }
  try {
    s.Append(nullptr, 1);
    ADD_FAILURE() << "nothing thrown";
  } catch (const std::exception& e) {
    EXPECT_STREQ(e.what(), "EINVAL");
  }
}

}  // namespace
