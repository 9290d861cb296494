// The C++17 layer against the exports beneath it, through zqplatutilu.dll:
// each helper must give the answer and the status that its export gives.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "scratchkey.h"
#include "zqplatutil.hpp"

static_assert(__cplusplus == 201703L, "the layer's tests build as C++17");

namespace {

using zq::cpp::Result;

// The bytes of a value as the platform reads them, for the state after a write.
std::vector<BYTE> RawValue(HKEY root, const std::wstring& key, const wchar_t* name, DWORD* type) {
  DWORD size = 0;
  if (RegGetValueW(root, key.c_str(), name, RRF_RT_ANY | RRF_NOEXPAND, type, nullptr, &size) != ERROR_SUCCESS) {
    return {};
  }
  std::vector<BYTE> data(size);
  RegGetValueW(root, key.c_str(), name, RRF_RT_ANY | RRF_NOEXPAND, type, data.data(), &size);
  data.resize(size);
  return data;
}

TEST(CppRegistry, ReadsGiveTheExportsValueOrStatus) {
  zqtest::ScratchKey scratch(L"CppLayerReads");
  const HKEY root = scratch.Root();
  const std::wstring key = scratch.Path();
  scratch.SetDword(L"", L"Level", 7);
  const ULONGLONG big = 0x1122334455667788ull;
  scratch.SetRaw(L"", L"Big", REG_QWORD, &big, sizeof big);
  scratch.SetString(L"", L"Name", L"value text");
  scratch.SetString(L"", L"Expand", L"%TEMP%", REG_EXPAND_SZ);
  const wchar_t unterminated[] = {L'a', L'b', L'c'};
  scratch.SetRaw(L"", L"Bare", REG_SZ, unterminated, sizeof unterminated);
  const wchar_t multi[] = L"one\0two\0\0";
  scratch.SetRaw(L"", L"Multi", REG_MULTI_SZ, multi, sizeof multi);
  const BYTE bytes[] = {0, 1, 2, 0xFE, 0xFF};
  scratch.SetRaw(L"", L"Bytes", REG_BINARY, bytes, sizeof bytes);
  scratch.SetRaw(L"", L"Empty", REG_BINARY, nullptr, 0);

  DWORD dword = 0;
  ASSERT_EQ(zqRegReadDWORDValueExW(root, key.c_str(), L"Level", &dword, 0), ZQ_REG_OK);
  Result<DWORD> level = zq::cpp::RegReadDword(root, key.c_str(), L"Level");
  ASSERT_TRUE(level.ok());
  EXPECT_EQ(level.value(), dword);
  EXPECT_EQ(level.status(), ZQ_REG_OK);
  // Failures carry the export's status and no value.
  for (const wchar_t* name : {L"Missing", L"Name"}) {
    Result<DWORD> failed = zq::cpp::RegReadDword(root, key.c_str(), name);
    EXPECT_FALSE(failed);
    EXPECT_EQ(failed.status(), zqRegReadDWORDValueExW(root, key.c_str(), name, &dword, 0)) << name;
    EXPECT_THROW(failed.value(), std::bad_optional_access);
    EXPECT_EQ(failed.value_or(99), 99u);
  }
  EXPECT_EQ(zq::cpp::RegReadDword(root, key.c_str(), L"Level", 0x300).status(), ZQ_REG_BAD_ARGUMENT);
  EXPECT_EQ(zq::cpp::RegReadDword(root, nullptr, L"Level").status(), ZQ_REG_BAD_ARGUMENT);

  ULONGLONG qword = 0;
  DWORD type = REG_QWORD;
  DWORD size = sizeof qword;
  ASSERT_EQ(zqRegReadValueEx(root, key.c_str(), L"Big", &type, &qword, &size, 0), ZQ_REG_OK);
  EXPECT_EQ(zq::cpp::RegReadQword(root, key.c_str(), L"Big").value(), qword);
  EXPECT_EQ(zq::cpp::RegReadQword(root, key.c_str(), L"Level").status(), ZQ_REG_WRONG_TYPE);

  wchar_t text[64] = {};
  size = sizeof text;
  ASSERT_EQ(zqRegReadStringValueExW(root, key.c_str(), L"Name", text, &size, 0), ZQ_REG_OK);
  EXPECT_EQ(zq::cpp::RegReadString(root, key.c_str(), L"Name").value(), std::wstring(text));
  // Stored without a terminator: the whole data.
  EXPECT_EQ(zq::cpp::RegReadString(root, key.c_str(), L"Bare").value(), L"abc");
  size = sizeof text;
  EXPECT_EQ(zq::cpp::RegReadString(root, key.c_str(), L"Expand").status(),
            zqRegReadStringValueExW(root, key.c_str(), L"Expand", text, &size, 0));
  EXPECT_EQ(zq::cpp::RegReadString(root, key.c_str(), L"Expand").status(), ZQ_REG_WRONG_TYPE);
  EXPECT_EQ(zq::cpp::RegReadString(root, (key + L"\\Nowhere").c_str(), L"Name").status(), ZQ_REG_ERROR);

  Result<std::vector<std::wstring>> strings = zq::cpp::RegReadMultiString(root, key.c_str(), L"Multi");
  ASSERT_TRUE(strings.ok());
  EXPECT_EQ(strings.value(), (std::vector<std::wstring>{L"one", L"two"}));
  EXPECT_EQ(zq::cpp::RegReadMultiString(root, key.c_str(), L"Name").status(), ZQ_REG_WRONG_TYPE);

  BYTE read[16] = {};
  size = sizeof read;
  ASSERT_EQ(zqRegReadBinaryValueEx(root, key.c_str(), L"Bytes", read, &size, 0), ZQ_REG_OK);
  EXPECT_EQ(zq::cpp::RegReadBinary(root, key.c_str(), L"Bytes").value(), std::vector<BYTE>(read, read + size));
  EXPECT_TRUE(zq::cpp::RegReadBinary(root, key.c_str(), L"Empty").value().empty());
  EXPECT_EQ(zq::cpp::RegReadBinary(root, key.c_str(), L"Level").status(), ZQ_REG_WRONG_TYPE);
}

TEST(CppRegistry, WritesStoreWhatTheExportsStore) {
  zqtest::ScratchKey scratch(L"CppLayerWrites");
  const HKEY root = scratch.Root();
  const std::wstring key = scratch.Path() + L"\\Made\\Below";  // created with its parent

  const std::wstring text = L"stored text";
  ASSERT_EQ(zq::cpp::RegWriteString(root, key.c_str(), L"ByHelper", text), ZQ_REG_OK);
  ASSERT_EQ(zqRegWriteStringValueEx(root, key.c_str(), L"ByExport", text.c_str(),
                                    static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)), 0),
            ZQ_REG_OK);
  DWORD helperType = 0;
  DWORD exportType = 0;
  EXPECT_EQ(RawValue(root, key, L"ByHelper", &helperType), RawValue(root, key, L"ByExport", &exportType));
  EXPECT_EQ(helperType, DWORD{REG_SZ});
  EXPECT_EQ(exportType, DWORD{REG_SZ});

  const wchar_t multi[] = L"one\0two\0\0";
  ASSERT_EQ(zq::cpp::RegWriteMultiString(root, key.c_str(), L"MultiHelper", {L"one", L"two"}), ZQ_REG_OK);
  // The literal's own terminator is not part of the value.
  ASSERT_EQ(zqRegWriteMultiStringValueEx(root, key.c_str(), L"MultiExport", multi, sizeof multi - sizeof(wchar_t), 0),
            ZQ_REG_OK);
  EXPECT_EQ(RawValue(root, key, L"MultiHelper", &helperType), RawValue(root, key, L"MultiExport", &exportType));
  EXPECT_EQ(helperType, DWORD{REG_MULTI_SZ});

  ASSERT_EQ(zq::cpp::RegWriteDword(root, key.c_str(), L"Level", 42), ZQ_REG_OK);
  EXPECT_EQ(zq::cpp::RegReadDword(root, key.c_str(), L"Level").value(), 42u);
  const std::vector<BYTE> bytes = {9, 8, 7};
  ASSERT_EQ(zq::cpp::RegWriteBinary(root, key.c_str(), L"Bytes", bytes), ZQ_REG_OK);
  EXPECT_EQ(RawValue(root, key, L"Bytes", &helperType), bytes);
  EXPECT_EQ(helperType, DWORD{REG_BINARY});

  EXPECT_EQ(zq::cpp::RegWriteDword(root, nullptr, L"Level", 1), zqRegWriteDWORDValueEx(root, nullptr, L"Level", 1, 0));
  EXPECT_EQ(zq::cpp::RegWriteString(root, key.c_str(), L"x", L"y", 0x300), ZQ_REG_BAD_ARGUMENT);
}

TEST(CppRegistry, ListingsAndDeletionsMatchTheExports) {
  zqtest::ScratchKey scratch(L"CppLayerLists");
  const HKEY root = scratch.Root();
  const std::wstring key = scratch.Path();
  scratch.SetDword(L"", L"First", 1);
  scratch.SetString(L"", L"Second", L"two");
  scratch.SetDword(L"", L"Third", 3);
  scratch.SetString(L"", nullptr, L"default");
  scratch.CreateKey(L"Alpha\\Deep");
  scratch.CreateKey(L"Beta");

  ZQ_REG_VALUE_ENTRY entries[8] = {};
  int count = 8;
  ASSERT_EQ(zqRegListValueNamesEx(root, key.c_str(), entries, &count, ZQ_REG_ANY_TYPE, 0), ZQ_REG_OK);
  std::vector<zq::cpp::RegValueName> expected;
  for (int i = 0; i < count; ++i) expected.push_back({entries[i].szName, entries[i].dwType});
  auto all = zq::cpp::RegListValueNames(root, key.c_str());
  ASSERT_TRUE(all.ok());
  EXPECT_EQ(all.value(), expected);
  EXPECT_EQ(all.value().size(), 4u);

  // A filter: the export leaves the other slots alone; the helper drops them.
  auto dwords = zq::cpp::RegListValueNames(root, key.c_str(), REG_DWORD);
  ASSERT_TRUE(dwords.ok());
  std::vector<zq::cpp::RegValueName> expectedDwords;
  for (const auto& entry : expected) {
    if (entry.type == REG_DWORD) expectedDwords.push_back(entry);
  }
  EXPECT_EQ(dwords.value(), expectedDwords);
  EXPECT_EQ(dwords.value().size(), 2u);

  ZQ_REG_SUBKEY_SLOT slots[4] = {};
  count = 4;
  ASSERT_EQ(zqRegListKeysEx(root, key.c_str(), slots, &count, 0), ZQ_REG_OK);
  auto keys = zq::cpp::RegListKeys(root, key.c_str());
  ASSERT_TRUE(keys.ok());
  ASSERT_EQ(keys.value().size(), static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) EXPECT_EQ(keys.value()[static_cast<size_t>(i)], slots[i].szName);

  // A key without subkeys or values: the export's error, passed on.
  const std::wstring beta = scratch.Sub(L"Beta");
  count = 0;
  EXPECT_EQ(zq::cpp::RegListKeys(root, beta.c_str()).status(), zqRegListKeysEx(root, beta.c_str(), nullptr, &count, 0));
  EXPECT_EQ(zq::cpp::RegListKeys(root, beta.c_str()).status(), ZQ_REG_ERROR);
  EXPECT_EQ(zq::cpp::RegListValueNames(root, beta.c_str()).status(), ZQ_REG_ERROR);

  EXPECT_EQ(zq::cpp::RegDeleteValue(root, key.c_str(), L"First"), ZQ_REG_OK);
  EXPECT_EQ(zq::cpp::RegReadDword(root, key.c_str(), L"First").status(), ZQ_REG_ERROR);
  EXPECT_EQ(zq::cpp::RegDeleteValue(root, key.c_str(), L"First"), zqRegDeleteValue(root, key.c_str(), L"First", 0));
  // Not recursive: a key with subkeys stays.
  const std::wstring alpha = scratch.Sub(L"Alpha");
  EXPECT_EQ(zq::cpp::RegDeleteKey(root, alpha.c_str(), false, ZQ_REG_SECTION_64), ZQ_REG_ERROR);
  EXPECT_EQ(zq::cpp::RegDeleteKey(root, alpha.c_str(), true, ZQ_REG_SECTION_64), ZQ_REG_OK);
  HKEY probe = nullptr;
  EXPECT_EQ(RegOpenKeyExW(root, alpha.c_str(), 0, KEY_READ, &probe), ERROR_FILE_NOT_FOUND);
  // Subkeys go, the key and its values stay.
  EXPECT_EQ(zq::cpp::RegDeleteSubKeys(root, key.c_str(), false), ZQ_REG_OK);
  EXPECT_EQ(zq::cpp::RegListKeys(root, key.c_str()).status(), ZQ_REG_ERROR);
  EXPECT_EQ(zq::cpp::RegReadString(root, key.c_str(), L"Second").value(), L"two");
  EXPECT_EQ(zq::cpp::RegDeleteSubKeys(root, nullptr, true), ZQ_REG_BAD_ARGUMENT);
}

// Counts the releases of the owner under test.
int g_released = 0;
void CountRelease(void*) { ++g_released; }

TEST(CppOwners, SidOwnersReleaseOnceAndMove) {
  using Counted = zq::cpp::UniqueSid<CountRelease>;
  int a = 0;
  int b = 0;
  g_released = 0;
  {
    Counted first(&a);
    Counted second(std::move(first));
    EXPECT_FALSE(first);
    EXPECT_EQ(second.get(), &a);
    Counted third;
    third = std::move(second);
    EXPECT_EQ(g_released, 0);
    *third.put() = &b;  // put() releases what it held
    EXPECT_EQ(g_released, 1);
    void* given = third.release();
    EXPECT_EQ(given, &b);
    third.reset(&a);
  }
  EXPECT_EQ(g_released, 2);
}

// The account the tests run as, from the session manager's export.
zq::cpp::UserAndDomain SessionAccount() {
  wchar_t user[256] = {};
  wchar_t domain[256] = {};
  DWORD userChars = 256;
  DWORD domainChars = 256;
  EXPECT_EQ(zqNetGetCurrentUserAndDomainW(user, &userChars, domain, &domainChars), 0u);
  return {user, domain};
}

TEST(CppAccounts, NamesMatchTheBufferExports) {
  const zq::cpp::UserAndDomain session = SessionAccount();
  ASSERT_FALSE(session.user.empty());
  auto current = zq::cpp::GetCurrentUserAndDomain();
  ASSERT_TRUE(current.ok());
  EXPECT_EQ(current.value().user, session.user);
  EXPECT_EQ(current.value().domain, session.domain);

  wchar_t user[256] = {};
  wchar_t domain[256] = {};
  DWORD userChars = 256;
  DWORD domainChars = 256;
  ASSERT_EQ(zqNetGetCurrentProcessUserAndDomainW(user, &userChars, domain, &domainChars), 0u);
  auto process = zq::cpp::GetCurrentProcessUserAndDomain();
  ASSERT_TRUE(process.ok());
  EXPECT_EQ(process.value().user, user);
  EXPECT_EQ(process.value().domain, domain);

  userChars = domainChars = 256;
  ASSERT_EQ(zqNetConvertUserIdToNETBIOSW(L"CORP\\jdoe", L"OTHER", user, &userChars, domain, &domainChars), 0u);
  auto sam = zq::cpp::ConvertUserIdToNETBIOS(L"CORP\\jdoe", L"OTHER");
  ASSERT_TRUE(sam.ok());
  EXPECT_EQ(sam.value().user, user);
  EXPECT_EQ(sam.value().domain, domain);
  auto plain = zq::cpp::ConvertUserIdToNETBIOS(L"jdoe", L"LAB more");
  ASSERT_TRUE(plain.ok());
  EXPECT_EQ(plain.value().domain, L"LAB");
  userChars = domainChars = 256;
  EXPECT_EQ(zq::cpp::ConvertUserIdToNETBIOS(L"", L"LAB").status(),
            zqNetConvertUserIdToNETBIOSW(L"", L"LAB", user, &userChars, domain, &domainChars));
  EXPECT_EQ(zq::cpp::ConvertUserIdToNETBIOS(nullptr, L"LAB").status(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));

  DWORD chars = 256;
  ASSERT_TRUE(zqNetGetUserNameFromUserIdW(L"jdoe@corp.example", user, &chars));
  EXPECT_EQ(zq::cpp::GetUserNameFromUserId(L"jdoe@corp.example").value(), user);
  EXPECT_EQ(zq::cpp::GetUserNameFromUserId(L"CORP\\jdoe").value(), L"jdoe");
  // FALSE without a reason: status 0 and no value.
  auto nothingAfterSlash = zq::cpp::GetUserNameFromUserId(L"CORP\\");
  EXPECT_FALSE(nothingAfterSlash);
  EXPECT_EQ(nothingAfterSlash.status(), 0u);
}

TEST(CppAccounts, DomainLookupsFailWithTheExportsReason) {
  wchar_t buffer[256] = {};
  DWORD chars = 255;
  SetLastError(0);
  BOOL found = zqNetGetNETBIOSDomainNameFromUPNW(L"nowhere.invalid", buffer, &chars);
  DWORD exportError = GetLastError();
  auto domain = zq::cpp::GetNETBIOSDomainNameFromUPN(L"nowhere.invalid");
  ASSERT_FALSE(found);
  EXPECT_FALSE(domain);
  EXPECT_NE(exportError, 0u);
  EXPECT_EQ(domain.status(), exportError);
  EXPECT_EQ(zq::cpp::GetNETBIOSDomainNameFromUPN(nullptr).status(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));

  chars = 256;
  SetLastError(0);
  found = zqNetGetUserNameDomainFromUPNW(L"jdoe@nowhere.invalid", buffer, &chars);
  exportError = GetLastError();
  auto translated = zq::cpp::GetUserNameDomainFromUPN(L"jdoe@nowhere.invalid");
  EXPECT_EQ(translated.ok(), found != FALSE);
  if (found) {
    EXPECT_EQ(translated.value(), buffer);
  } else {
    EXPECT_EQ(translated.status(), exportError);
  }
  EXPECT_EQ(zq::cpp::GetUserNameDomainFromUPN(nullptr).status(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST(CppAccounts, LookupOwnsTheSameSidAsTheExport) {
  const zq::cpp::UserAndDomain session = SessionAccount();
  PSID raw = nullptr;
  ASSERT_TRUE(zqNetLookupUserNameW(session.user.c_str(), session.domain.c_str(), &raw));
  auto owned = zq::cpp::LookupUserName(session.user.c_str(), session.domain.c_str());
  ASSERT_TRUE(owned.ok());
  ASSERT_TRUE(owned.value());
  EXPECT_TRUE(EqualSid(owned.value().get(), raw));
  // The owner's block is the process heap's, as the export's is.
  EXPECT_TRUE(HeapValidate(GetProcessHeap(), 0, owned.value().get()));
  HeapFree(GetProcessHeap(), 0, raw);

  SetLastError(0);
  EXPECT_FALSE(zqNetLookupUserNameW(session.user.c_str(), nullptr, &raw));
  DWORD exportError = GetLastError();
  EXPECT_EQ(zq::cpp::LookupUserName(session.user.c_str(), nullptr).status(), exportError);
  auto empty = zq::cpp::LookupUserName(L"", session.domain.c_str());
  EXPECT_FALSE(empty);
  EXPECT_EQ(empty.status(), 0u);

  wchar_t initial[256] = {};
  DWORD chars = 256;
  SetLastError(0);
  BOOL found = zqNetGetInitialUserNameBeforeRenameW(session.user.c_str(), session.domain.c_str(), initial, &chars);
  exportError = GetLastError();
  auto name = zq::cpp::GetInitialUserNameBeforeRename(session.user.c_str(), session.domain.c_str());
  EXPECT_EQ(name.ok(), found != FALSE);
  if (found) {
    EXPECT_EQ(name.value(), initial);
  } else {
    EXPECT_EQ(name.status(), exportError);
  }
  EXPECT_EQ(zq::cpp::GetInitialUserNameBeforeRename(nullptr, L"").status(),
            static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST(CppSids, SidLookupAndTextMatchTheExports) {
  const zq::cpp::UserAndDomain session = SessionAccount();
  void* raw = nullptr;
  ASSERT_EQ(zqSysGetUserSIDW(session.user.c_str(), session.domain.c_str(), &raw), 0u);
  ASSERT_NE(raw, nullptr);
  auto owned = zq::cpp::GetUserSID(session.user.c_str(), session.domain.c_str());
  ASSERT_TRUE(owned.ok());
  ASSERT_TRUE(owned.value());
  EXPECT_TRUE(EqualSid(owned.value().get(), raw));

  wchar_t text[256] = {};
  DWORD bytes = sizeof text;
  ASSERT_TRUE(zqSysConvertSIDW(raw, text, &bytes));
  auto converted = zq::cpp::ConvertSID(owned.value().get());
  ASSERT_TRUE(converted.ok());
  EXPECT_EQ(converted.value(), text);
  EXPECT_EQ(converted.value().rfind(L"S-1-", 0), 0u);
  std::free(raw);

  raw = nullptr;
  DWORD unknown = zqSysGetUserSIDW(L"nobody-here", L"NOWHERE", &raw);
  std::free(raw);
  EXPECT_NE(unknown, 0u);
  EXPECT_EQ(zq::cpp::GetUserSID(L"nobody-here", L"NOWHERE").status(), unknown);
  EXPECT_EQ(zq::cpp::ConvertSID(nullptr).status(), static_cast<DWORD>(ERROR_INVALID_SID));

  HANDLE token = nullptr;
  ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token));
  bytes = sizeof text;
  ASSERT_TRUE(zqSysObtainSIDW(token, text, &bytes));
  auto tokenUser = zq::cpp::ObtainSID(token);
  ASSERT_TRUE(tokenUser.ok());
  EXPECT_EQ(tokenUser.value(), text);
  CloseHandle(token);
  SetLastError(0);
  zqSysObtainSIDW(nullptr, text, &bytes);
  EXPECT_EQ(zq::cpp::ObtainSID(nullptr).status(), GetLastError());
}

TEST(CppDrives, WalkAndSystemDriveMatchTheExports) {
  wchar_t drive[8] = {};
  DWORD chars = 8;
  int status = zqSysGetFixedDriveW(drive, &chars);
  auto first = zq::cpp::GetFixedDrive();
  ASSERT_EQ(first.status(), status);
  if (status == 0) {
    EXPECT_EQ(first.value(), drive);
    // Walk both ways to the end: the same drives and the same closing status.
    std::wstring helperDrive = first.value();
    for (int step = 0; step < 26; ++step) {
      chars = 8;
      status = zqSysGetFixedDriveW(drive, &chars);
      auto next = zq::cpp::GetFixedDrive(helperDrive);
      ASSERT_EQ(next.status(), status);
      if (status != 0) break;
      EXPECT_EQ(next.value(), drive);
      helperDrive = next.value();
    }
    EXPECT_EQ(status, ERROR_INVALID_DRIVE);
    // A root path as input ("C:\") counts as its drive.
    EXPECT_EQ(zq::cpp::GetFixedDrive(first.value() + L"\\").status(),
              zq::cpp::GetFixedDrive(first.value()).status());
  }

  wchar_t system[8] = {};
  chars = 8;
  status = zqSysGetSystemDriveW(system, &chars);
  auto systemDrive = zq::cpp::GetSystemDrive();
  ASSERT_EQ(systemDrive.status(), status);
  if (status == 0) {
    EXPECT_EQ(systemDrive.value(), system);
  }
}

TEST(CppTime, FormattingAndParsingMatchTheExports) {
  SYSTEMTIME given = {2024, 2, 4, 29, 23, 59, 58, 123};
  SYSTEMTIME copy = given;
  wchar_t text[zq::cpp::kISO8601Chars] = {};
  DWORD chars = zq::cpp::kISO8601Chars;
  ASSERT_EQ(zqSysSystemTimeToISO8601(&copy, text, &chars), 0u);
  auto formatted = zq::cpp::SystemTimeToISO8601(given);
  ASSERT_TRUE(formatted.ok());
  EXPECT_EQ(formatted.value(), text);
  EXPECT_EQ(formatted.value(), L"2024-02-29T23:59:58Z");
  EXPECT_EQ(given.wMilliseconds, 123);  // the helper's copy was changed, not the caller's

  const LONGLONG fileTime = 132354792000000000LL;
  LARGE_INTEGER value;
  value.QuadPart = fileTime;
  chars = zq::cpp::kISO8601Chars;
  ASSERT_EQ(zqSysLargeIntegerToISO8601(&value, text, &chars), 0u);
  EXPECT_EQ(zq::cpp::LargeIntegerToISO8601(fileTime).value(), text);
  EXPECT_EQ(zq::cpp::LargeIntegerToISO8601(-1).status(), zqSysLargeIntegerToISO8601(&value, nullptr, &chars));

  // The clock may turn between two calls: the helper's text is one of the
  // export's two around it.
  for (bool local : {false, true}) {
    wchar_t before[zq::cpp::kISO8601Chars] = {};
    wchar_t after[zq::cpp::kISO8601Chars] = {};
    chars = zq::cpp::kISO8601Chars;
    ASSERT_EQ(local ? zqSysCurrentLocalTimeToISO8601(before, &chars) : zqSysCurrentTimeToISO8601(before, &chars), 0u);
    auto now = local ? zq::cpp::CurrentLocalTimeToISO8601() : zq::cpp::CurrentTimeToISO8601();
    chars = zq::cpp::kISO8601Chars;
    ASSERT_EQ(local ? zqSysCurrentLocalTimeToISO8601(after, &chars) : zqSysCurrentTimeToISO8601(after, &chars), 0u);
    ASSERT_TRUE(now.ok());
    EXPECT_TRUE(now.value() == before || now.value() == after) << local;
  }

  SYSTEMTIME parsed = {};
  ASSERT_EQ(zqSysISO8601ToSystemTime(L"2020-06-01T12:00:00+02:00", &parsed), 0u);
  auto utc = zq::cpp::ISO8601ToSystemTime(L"2020-06-01T12:00:00+02:00");
  ASSERT_TRUE(utc.ok());
  EXPECT_EQ(utc.value().wHour, parsed.wHour);
  EXPECT_EQ(utc.value().wHour, 10);
  EXPECT_EQ(zq::cpp::ISO8601ToLargeInteger(L"2020-06-01T10:00:00Z").value(), fileTime);
  EXPECT_EQ(zq::cpp::ISO8601ToSystemTime(L"2020-6-1").status(), zqSysISO8601ToSystemTime(L"2020-6-1", &parsed));
  EXPECT_EQ(zq::cpp::ISO8601ToLargeInteger(nullptr).status(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));

  EXPECT_EQ(zq::cpp::CompareISO8601(L"2020-01-01T00Z", L"2021-01-01T00Z").value(), -1);
  EXPECT_EQ(zq::cpp::CompareISO8601(L"2020-06-01T12:00+02:00", L"2020-06-01T10:00Z").value(), 0);
  EXPECT_EQ(zq::cpp::CompareISO8601(L"2021-01-01T00Z", L"2020-01-01T00Z").value(), 1);
  EXPECT_EQ(zq::cpp::CompareISO8601(L"bad", L"2020").status(), zqSysCompareISO8601(L"bad", L"2020"));
  EXPECT_FALSE(zq::cpp::CompareISO8601(L"bad", L"2020"));
}

TEST(CppToasts, OwnerGivesEveryCreateBackOnce) {
  // The demo bridge sits next to this program; nothing loads it before.
  const wchar_t kBridge[] = L"vx.platutil.winrt.dll";
  ASSERT_EQ(GetModuleHandleW(kBridge), nullptr);

  ZQ::Framework::IVXToastManager* raw = ZQ::Framework::zqCreateToastManager(L"Title", L"Text", false);
  ASSERT_NE(raw, nullptr);
  ZQ::Framework::zqDeleteToastManager(raw);
  EXPECT_EQ(GetModuleHandleW(kBridge), nullptr);

  {
    auto owner = zq::cpp::UniqueToastManager::Create(L"Title", L"Text", false);
    ASSERT_TRUE(owner);
    EXPECT_TRUE(owner.owes_delete());
    EXPECT_NE(GetModuleHandleW(kBridge), nullptr);
    EXPECT_FALSE(owner->HideToast());  // no toast is up

    zq::cpp::UniqueToastManager moved = std::move(owner);
    EXPECT_FALSE(owner.owes_delete());
    EXPECT_FALSE(owner);
    EXPECT_TRUE(moved.owes_delete());
    owner.reset();  // owes nothing: the bridge stays
    EXPECT_NE(GetModuleHandleW(kBridge), nullptr);
  }
  // The moved-to owner gave its manager and the bridge reference back.
  EXPECT_EQ(GetModuleHandleW(kBridge), nullptr);

  zq::cpp::UniqueToastManager none;
  EXPECT_FALSE(none.owes_delete());
}

}  // namespace
