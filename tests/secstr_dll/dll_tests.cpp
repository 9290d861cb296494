// The secure strings as callers see them: the members run in zqplatutilu.dll
// and the exceptions they throw there are caught here.
#include <gtest/gtest.h>

#include "recording.h"

TEST(SecStrDll, MembersRunInTheDllAndTheirExceptionsReachTheCaller) {
  FARPROC exported = GetProcAddress(GetModuleHandleW(L"zqplatutilu.dll"), "_ZNK7CSecStr9GetLengthEv");
  ASSERT_NE(exported, nullptr);
  CSecStr s = CSecStr(L"8 across") + L" the boundary";  // 8 characters: a block of exactly that capacity
  EXPECT_EQ(reinterpret_cast<int (*)(const CSecStr*)>(reinterpret_cast<void (*)()>(exported))(&s), 21);
  CSecStrList list;
  list.AddTail(s);
  EXPECT_STREQ(CSecStrA(list.RemoveHead()).GetString(), "8 across the boundary");
  EXPECT_EQ(zqtest::Thrown([&] { s.ReleaseBuffer(-2); }) + zqtest::Thrown([] { CSecStr(L"abc", -1); }) +
                zqtest::Thrown([&] { list.GetHead(); }) + zqtest::Thrown([&] { s.Append(nullptr, 1); }),
            "ole:0x80070057memoryole:0x8000ffffstd:EINVAL");
}
