// Registry writes, listings and deletions against Wine's real registry,
// cross-checked with the platform's own readers.
#include <cstdio>
#include <cstring>
#include <cwchar>

#include "handles.h"
#include "regtest.h"
#include "scratchkey.h"
#include "zqregistry.h"

using namespace regtest;
using zqtest::ScratchKey;

namespace {

const HKEY kCU = HKEY_CURRENT_USER, kLM = HKEY_LOCAL_MACHINE;
const wchar_t *kDw = L"zqRegWriteDWORDValueEx", *kSz = L"zqRegWriteStringValueEx",
              *kMulti = L"zqRegWriteMultiStringValueEx", *kBin = L"zqRegWriteBinaryValueEx",
              *kValues = L"zqRegListValueNamesEx", *kKeys = L"zqRegListKeysEx", *kDelValue = L"zqRegDeleteValue",
              *kDelKey = L"zqRegDeleteKey";

std::vector<BYTE> Bytes(const void* data, size_t size) {
  return std::vector<BYTE>(static_cast<const BYTE*>(data), static_cast<const BYTE*>(data) + size);
}

bool HasSubkeys(HKEY root, const std::wstring& path) {
  HKEY key = nullptr;
  wchar_t name[256];
  if (RegOpenKeyExW(root, path.c_str(), 0, KEY_ENUMERATE_SUB_KEYS, &key) != ERROR_SUCCESS) return false;
  LSTATUS rc = RegEnumKeyW(key, 0, name, 256);
  RegCloseKey(key);
  return rc == ERROR_SUCCESS;
}

// ---- Writes ----------------------------------------------------------------

TEST(RegistryWrite, CreatesTheWholePathAndStoresExactlyTheCallersBytes) {
  ScratchKey scratch(L"WriteValues");
  const std::wstring deep = scratch.Sub(L"One\\Two\\Three");
  const wchar_t* path = deep.c_str();
  ASSERT_FALSE(KeyExists(kCU, scratch.Sub(L"One")));
  const wchar_t text[] = L"hello world", bare[] = L"abcX", multi[] = L"one\0two\0";
  const BYTE blob[] = {0xDE, 0xAD, 0x00, 0x01};
  const Lines ok = Call(kDw, 0, L"RegSetValueEx returns 0x0");
  RunCases({
      REG_CASE(zqRegWriteDWORDValueEx(kCU, path, L"Number", 0x11223344, 0), 0, ok),
      REG_CASE(zqRegWriteStringValue(kCU, path, L"Text", text, sizeof text), 0,
               Call(kSz, 0, L"RegSetValueEx returns 0x0")),
      // The size leaves the terminator out; what follows is no terminator, so
      // the platform cannot add one either.
      REG_CASE(zqRegWriteStringValueEx(kCU, path, L"Bare", bare, 6, 0), 0),
      REG_CASE(zqRegWriteMultiStringValue(kCU, path, L"List", multi, sizeof multi), 0,
               Call(kMulti, 0, L"RegSetValueEx returns 0x0")),
      REG_CASE(zqRegWriteBinaryValue(kCU, path, L"Blob", blob, sizeof blob), 0,
               Call(kBin, 0, L"RegSetValueEx returns 0x0")),
      REG_CASE(zqRegWriteDWORDValue(kCU, path, nullptr, 7), 0, ok),
  });
  const struct {
    const wchar_t* name;
    DWORD type;
    std::vector<BYTE> bytes;
  } stored[] = {{L"Number", REG_DWORD, {0x44, 0x33, 0x22, 0x11}}, {L"Text", REG_SZ, Bytes(text, sizeof text)},
                {L"Bare", REG_SZ, Bytes(L"abc", 6)},               {L"List", REG_MULTI_SZ, Bytes(multi, sizeof multi)},
                {L"Blob", REG_BINARY, Bytes(blob, sizeof blob)},   {nullptr, REG_DWORD, {7, 0, 0, 0}}};
  for (const auto& value : stored) {
    Stored got = QueryRaw(kCU, deep, value.name);
    EXPECT_EQ(got.rc, ERROR_SUCCESS);
    EXPECT_EQ(got.type, value.type);
    EXPECT_EQ(got.bytes, value.bytes);
  }
  DWORD number = 0, size = sizeof number;
  EXPECT_EQ(RegGetValueW(kCU, path, L"Number", RRF_RT_REG_DWORD, nullptr, &number, &size), 0);
  EXPECT_EQ(number, 0x11223344u);
  wchar_t read[32] = {};
  size = sizeof read;
  EXPECT_EQ(RegGetValueW(kCU, path, L"Text", RRF_RT_REG_SZ, nullptr, read, &size), 0);
  EXPECT_STREQ(read, L"hello world");

  // Writing again replaces the value.
  EXPECT_EQ(zqRegWriteDWORDValueEx(kCU, path, L"Number", 5, 0x100), 0);
  EXPECT_EQ(QueryRaw(kCU, deep, L"Number").bytes, (std::vector<BYTE>{5, 0, 0, 0}));
}

TEST(RegistryWrite, WinesRegQuerySeesWhatTheLibraryWrote) {
  ScratchKey scratch(L"WriteRegExe");
  const std::wstring leaf = scratch.Sub(L"New\\Leaf");  // created by the first write
  const wchar_t text[] = L"hello world", multi[] = L"one\0two\0";
  const BYTE blob[] = {0xDE, 0xAD, 0x01};
  ASSERT_EQ(zqRegWriteDWORDValue(kCU, leaf.c_str(), L"Number", 0x11223344), 0);
  ASSERT_EQ(zqRegWriteStringValue(kCU, leaf.c_str(), L"Text", text, sizeof text), 0);
  ASSERT_EQ(zqRegWriteMultiStringValue(kCU, leaf.c_str(), L"List", multi, sizeof multi), 0);
  ASSERT_EQ(zqRegWriteBinaryValue(kCU, leaf.c_str(), L"Blob", blob, sizeof blob), 0);

  FILE* pipe = _wpopen((L"reg.exe query \"HKCU\\" + leaf + L"\"").c_str(), L"rb");
  ASSERT_NE(pipe, nullptr);
  std::string output;
  char chunk[512];
  for (size_t got; (got = fread(chunk, 1, sizeof chunk, pipe)) > 0;) output.append(chunk, got);
  EXPECT_EQ(_pclose(pipe), 0) << output;
  for (const std::string& line : {"HKEY_CURRENT_USER\\" + Narrow(leaf),
                                  std::string("    Number    REG_DWORD    0x11223344"),
                                  std::string("    Text    REG_SZ    hello world"),
                                  std::string("    List    REG_MULTI_SZ    one\\0two"),
                                  std::string("    Blob    REG_BINARY    DEAD01")}) {
    EXPECT_NE(output.find(line + "\r\n"), std::string::npos) << line << "\n" << output;
  }
}

TEST(RegistryWrite, BadArgumentsAndRefusedWritesChangeNothing) {
  ScratchKey scratch(L"WriteRefused");
  const std::wstring target = scratch.Sub(L"NotCreated");
  const wchar_t* path = target.c_str();
  const std::wstring tooLong = scratch.Sub(std::wstring(300, L'k')), longName(17000, L'v');
  RunCases({
      // The section comes first: rejected before the null key is even looked at.
      REG_CASE(zqRegWriteDWORDValueEx(kCU, path, L"V", 1, 0x300), -3, Rejected(kDw)),
      REG_CASE(zqRegWriteStringValueEx(kBogusRoot, nullptr, L"V", L"x", 4, 0x401), -3, Rejected(kSz, L"0x401")),
      REG_CASE(zqRegWriteMultiStringValueEx(kCU, path, L"V", L"x\0", 6, 0x300), -3, Rejected(kMulti)),
      REG_CASE(zqRegWriteBinaryValueEx(kCU, path, L"V", nullptr, 0, 0x101), -3, Rejected(kBin, L"0x101")),
      REG_CASE(zqRegWriteStringValue(kBogusRoot, nullptr, L"V", L"x", 4), -3, Call(kSz, -3, L"pszKey is NULL")),
      REG_CASE(zqRegWriteBinaryValueEx(kBogusRoot, nullptr, L"V", nullptr, 0, 0x200), -3,
               Call(kBin, -3, L"pszKey is NULL")),
      // The system refuses the key (a name part over 255 characters) ...
      REG_CASE(zqRegWriteDWORDValue(kCU, tooLong.c_str(), L"V", 1), -1, Call(kDw, -1, L"RegCreateKeyEx failed 0x57")),
      // ... or the value (a name over 16383 characters; data it cannot read).
      REG_CASE(zqRegWriteDWORDValue(kCU, scratch.Path().c_str(), longName.c_str(), 1), -1,
               Call(kDw, -1, L"RegSetValueEx returns 0x57")),
      REG_CASE(zqRegWriteBinaryValue(kCU, scratch.Path().c_str(), L"NoData", nullptr, 4), -1,
               Call(kBin, -1, L"RegSetValueEx returns 0x3e6")),
  });
  EXPECT_FALSE(HasSubkeys(kCU, scratch.Path()));
  EXPECT_EQ(QueryRaw(kCU, scratch.Path(), L"NoData").rc, ERROR_FILE_NOT_FOUND);
}

// ---- Listings --------------------------------------------------------------

// One listing into `slots` elements that start "untouched" (or a null array
// when slots is 0), with `capacity` as the count. The names come back as
// "name/type" (values) or "name" (subkeys), "-" for an element left alone.
struct Listing {
  int status;
  int count;
  std::wstring names;
  bool operator==(const Listing&) const = default;
};
void PrintTo(const Listing& l, std::ostream* out) {
  *out << l.status << " " << l.count << " " << Narrow(l.names);
}

Listing ListValues(HKEY root, const std::wstring& path, int slots, int capacity, DWORD filter, DWORD section = 0) {
  std::vector<ZQ_REG_VALUE_ENTRY> entries(static_cast<size_t>(slots), ZQ_REG_VALUE_ENTRY{L"untouched", 0xABCD});
  Listing l{zqRegListValueNamesEx(root, path.c_str(), slots ? entries.data() : nullptr, &capacity, filter, section),
            capacity, L""};
  for (const auto& e : entries) {
    l.names += (l.names.empty() ? L"" : L" ") +
               (e.dwType == 0xABCD ? std::wstring(L"-") : e.szName + std::wstring(L"/") + std::to_wstring(e.dwType));
  }
  return l;
}

Listing ListKeys(HKEY root, const std::wstring& path, int slots, int capacity, DWORD section = 0) {
  std::vector<ZQ_REG_SUBKEY_SLOT> entries(static_cast<size_t>(slots), ZQ_REG_SUBKEY_SLOT{L"-"});
  Listing l{zqRegListKeysEx(root, path.c_str(), slots ? entries.data() : nullptr, &capacity, section), capacity, L""};
  for (const auto& e : entries) l.names += (l.names.empty() ? L"" : L" ") + std::wstring(e.szName);
  return l;
}

TEST(RegistryList, ValueAndSubkeyListings) {
  ScratchKey scratch(L"List");
  // Wine enumerates in name order; only direct children are listed.
  scratch.SetString(L"", L"A_Text", L"abc");
  scratch.SetDword(L"", L"B_Number", 2);
  scratch.SetDword(L"", L"C_Third", 3);
  scratch.CreateKey(L"Alpha\\Below");
  scratch.CreateKey(L"Beta\\Leaf");
  scratch.CreateKey(L"Gamma");  // neither values nor subkeys
  const Lines valuesFull = Alone(kValues, 0, 2, L"zqRegListValueNamesEx: Max number of value reached"),
              keysFull = Alone(kKeys, 0, 2, L"zqRegListKeysEx: max number of subkey reached");
  const wchar_t *enumFailed = L"RegEnumValue failed with error code 0x103",
                *openFailed = L"RegOpenKeyEx failed with error code 0x2";
  const struct {
    const wchar_t* fn;
    const wchar_t* sub;
    int slots, capacity;
    DWORD filterOrSection;  // the value listing's filter, the subkey listing's section
    Listing expected;
    Lines lines;
  } rows[] = {
      {kValues, L"", 0, -5, 0, {0, 3, L""}, Call(kValues, 0)},  // a null array counts every value
      {kValues, L"", 3, 0, ZQ_REG_ANY_TYPE, {0, 0, L"- - -"}, valuesFull},
      {kValues, L"", 4, 3, ZQ_REG_ANY_TYPE, {0, 3, L"A_Text/1 B_Number/4 C_Third/4 -"}, Call(kValues, 0)},
      {kValues, L"", 2, 2, ZQ_REG_ANY_TYPE, {0, 2, L"A_Text/1 B_Number/4"}, valuesFull},
      // The filter leaves refused elements as they were; the count covers all.
      {kValues, L"", 4, 4, REG_DWORD, {0, 3, L"- B_Number/4 C_Third/4 -"}, Call(kValues, 0)},
      {kValues, L"", 2, -1, ZQ_REG_ANY_TYPE, {0, 0, L"- -"}, valuesFull},
      // Failures leave the count unwritten; a missing key is level 1 with an
      // array, level 2 when only counting.
      {kValues, L"Gamma", 2, 2, ZQ_REG_ANY_TYPE, {-1, 2, L"- -"}, Alone(kValues, -1, 1, enumFailed)},
      {kValues, L"Gamma", 0, 7, 0, {-1, 7, L""}, Alone(kValues, -1, 1, enumFailed)},
      {kValues, L"None", 2, 7, 0, {-1, 7, L"- -"}, Alone(kValues, -1, 1, openFailed)},
      {kValues, L"None", 0, 7, 0, {-1, 7, L""}, Alone(kValues, -1, 2, openFailed)},
      {kKeys, L"", 0, 0, 0, {0, 3, L""}, Call(kKeys, 0)},
      {kKeys, L"", 4, 4, 0, {0, 3, L"Alpha Beta Gamma -"}, Call(kKeys, 0)},
      {kKeys, L"", 3, 3, 0x100, {0, 3, L"Alpha Beta Gamma"}, Call(kKeys, 0)},
      {kKeys, L"", 3, 2, 0, {0, 2, L"Alpha Beta -"}, keysFull},
      {kKeys, L"", 1, 0, 0, {0, 0, L"-"}, keysFull},
      {kKeys, L"Gamma", 1, 9, 0, {-1, 9, L"-"}, Alone(kKeys, -1, 1, L"RegEnumKeyEx failed with error code 0x103")},
      {kKeys, L"None", 1, 9, 0, {-1, 9, L"-"}, Alone(kKeys, -1, 1, openFailed)},
      {kKeys, L"None", 0, 9, 0, {-1, 9, L""}, Alone(kKeys, -1, 2, openFailed)},
  };
  for (const auto& row : rows) {
    const std::wstring path = *row.sub ? scratch.Sub(row.sub) : scratch.Path();
    Listing got;
    RunCases({{"listing", [&] {
                 got = row.fn == kValues ? ListValues(kCU, path, row.slots, row.capacity, row.filterOrSection)
                                         : ListKeys(kCU, path, row.slots, row.capacity, row.filterOrSection);
                 return got.status; }, row.expected.status, row.lines}});
    EXPECT_EQ(got, row.expected) << Narrow(row.fn) << " " << Narrow(path);
  }

  // Section, then the key, then the count.
  int count = 7;
  ZQ_REG_VALUE_ENTRY entry{L"untouched", 0};
  ZQ_REG_SUBKEY_SLOT slot{L"untouched"};
  RunCases({
      REG_CASE(zqRegListValueNamesEx(kBogusRoot, nullptr, nullptr, nullptr, 0, 0x300), -3, Rejected(kValues)),
      REG_CASE(zqRegListValueNamesEx(kBogusRoot, nullptr, &entry, &count, 0, 0), -3,
               Call(kValues, -3, L"pszKey is NULL")),
      REG_CASE(zqRegListValueNames(kBogusRoot, L"x", &entry, nullptr, 0), -3,
               Call(kValues, -3, L"pnValueCount is NULL")),
      REG_CASE(zqRegListKeysEx(kBogusRoot, L"x", &slot, &count, 0x300), -3, Rejected(kKeys)),
      REG_CASE(zqRegListKeysEx(kBogusRoot, nullptr, &slot, &count, 0), -3, Call(kKeys, -3, L"pszKey is NULL")),
      REG_CASE(zqRegListKeys(kBogusRoot, L"x", &slot, nullptr), -3, Call(kKeys, -3, L"pnSubKeyCount is NULL")),
  });
  EXPECT_EQ(count, 7);
  EXPECT_STREQ(entry.szName, L"untouched");
  EXPECT_STREQ(slot.szName, L"untouched");
}

TEST(RegistryList, NamesLongerThanTheBufferStillTakeTheirIndex) {
  ScratchKey scratch(L"ListLongNames");
  scratch.SetDword(L"", L"a", 1);
  scratch.SetDword(L"", std::wstring(300, L'n').c_str(), 2);
  scratch.SetDword(L"", L"z", 3);
  Listing got = ListValues(kCU, scratch.Path(), 4, 4, ZQ_REG_ANY_TYPE);
  EXPECT_EQ(got.count, 3);
  EXPECT_EQ(got.names.substr(0, 4), L"a/4 ");
  EXPECT_EQ(got.names.substr(got.names.size() - 6), L" z/4 -");
}

TEST(RegistryViews, SectionChoosesTheViewOfReadsWritesAndListings) {
  // HKLM\Software is what the 32-bit view redirects: one path, two keys.
  ScratchKey k32(L"Views", kLM, KEY_WOW64_32KEY);
  ScratchKey k64(L"Views", kLM, KEY_WOW64_64KEY);
  k32.SetDword(L"", L"Only32", 32);
  k32.CreateKey(L"Sub32");
  k64.SetDword(L"", L"Only64", 64);
  k64.CreateKey(L"Sub64a");
  k64.CreateKey(L"Sub64b");
  const std::wstring& path = k32.Path();
  const struct {
    const wchar_t* name;
    DWORD section;
    DWORD found;  // 0: not found
  } reads[] = {{L"Only32", 0x200, 32}, {L"Only32", 0x100, 0}, {L"Only32", 0, 0},
               {L"Only64", 0x100, 64}, {L"Only64", 0, 64},     {L"Only64", 0x200, 0}};
  for (const auto& read : reads) {
    DWORD value = 0;
    EXPECT_EQ(zqRegReadDWORDValueExW(kLM, path.c_str(), read.name, &value, read.section), read.found ? 0 : -1);
    EXPECT_EQ(value, read.found) << read.section;
  }
  DWORD value = 0;
  EXPECT_EQ(zqRegReadDWORDValueExA(kLM, Narrow(path).c_str(), "Only32", &value, 0x200), 0);
  EXPECT_EQ(value, 32u);

  EXPECT_EQ(ListKeys(kLM, path, 2, 2, 0x200), (Listing{0, 1, L"Sub32 -"}));
  EXPECT_EQ(ListKeys(kLM, path, 0, 0, 0), (Listing{0, 2, L""}));
  EXPECT_EQ(ListValues(kLM, path, 1, 1, REG_DWORD, 0x200), (Listing{0, 1, L"Only32/4"}));
  EXPECT_EQ(ListValues(kLM, path, 1, 1, REG_DWORD, 0x100), (Listing{0, 1, L"Only64/4"}));

  // A write in the 32-bit view creates its key there only.
  const std::wstring made = k32.Sub(L"Made");
  EXPECT_EQ(zqRegWriteDWORDValueEx(kLM, made.c_str(), L"V", 32, 0x200), 0);
  EXPECT_TRUE(KeyExists(kLM, made, KEY_WOW64_32KEY));
  EXPECT_FALSE(KeyExists(kLM, made, KEY_WOW64_64KEY));
  EXPECT_EQ(zqRegWriteDWORDValueEx(kLM, made.c_str(), L"V", 64, 0x100), 0);
  EXPECT_EQ(QueryRaw(kLM, made, L"V", KEY_WOW64_32KEY).bytes, (std::vector<BYTE>{32, 0, 0, 0}));
  EXPECT_EQ(QueryRaw(kLM, made, L"V", KEY_WOW64_64KEY).bytes, (std::vector<BYTE>{64, 0, 0, 0}));

  // Every typed read opens the view that the section names.
  k32.SetString(L"", L"Sz32", L"text");
  const wchar_t multi[] = L"a\0b\0";
  k32.SetRaw(L"", L"Multi32", REG_MULTI_SZ, multi, sizeof multi);
  const BYTE bytes[] = {1, 2, 3};
  k32.SetRaw(L"", L"Bin32", REG_BINARY, bytes, sizeof bytes);
  const std::string narrowPath = Narrow(path);
  for (DWORD section : {0x200u, 0x100u}) {
    const int expected = section == 0x200 ? 0 : -1;
    wchar_t text[16];
    char narrow[16];
    BYTE data[16];
    DWORD size = sizeof text;
    EXPECT_EQ(zqRegReadStringValueExW(kLM, path.c_str(), L"Sz32", text, &size, section), expected) << section;
    size = sizeof narrow;
    EXPECT_EQ(zqRegReadStringValueExA(kLM, narrowPath.c_str(), "Sz32", narrow, &size, section), expected);
    size = sizeof text;
    EXPECT_EQ(zqRegReadMultiStringValueExW(kLM, path.c_str(), L"Multi32", text, &size, section), expected);
    size = sizeof narrow;
    EXPECT_EQ(zqRegReadMultiStringValueExA(kLM, narrowPath.c_str(), "Multi32", narrow, &size, section), expected);
    size = sizeof data;
    EXPECT_EQ(zqRegReadBinaryValueEx(kLM, path.c_str(), L"Bin32", data, &size, section), expected);
    DWORD type = 0;
    size = 0;
    EXPECT_EQ(zqRegReadValueEx(kLM, path.c_str(), L"Bin32", &type, nullptr, &size, section), expected);
  }
  EXPECT_EQ(zqRegDeleteValue(kLM, path.c_str(), L"Sz32", 0x100), -1);  // not in the 64-bit view
  EXPECT_EQ(zqRegDeleteValue(kLM, path.c_str(), L"Sz32", 0x200), 0);
  EXPECT_EQ(QueryRaw(kLM, path, L"Sz32", KEY_WOW64_32KEY).rc, ERROR_FILE_NOT_FOUND);
}

// ---- Deletions ---------------------------------------------------------------

TEST(RegistryDelete, ValueDeletion) {
  ScratchKey scratch(L"DeleteValue");
  scratch.SetDword(L"", L"Gone", 1);
  scratch.SetDword(L"", L"Kept", 2);
  scratch.SetString(L"", nullptr, L"default");
  const wchar_t* path = scratch.Path().c_str();
  const std::wstring missing = scratch.Sub(L"None");
  const wchar_t* nulls = L"pszKey or pszValueName is NULL";
  RunCases({
      REG_CASE(zqRegDeleteValue(kCU, path, L"Gone", 0), 0, Call(kDelValue, 0, L"RegDeleteValue returns 0x0")),
      REG_CASE(zqRegDeleteValue(kCU, path, L"Gone", 0), -1, Call(kDelValue, -1, L"RegDeleteValue returns 0x2")),
      REG_CASE(zqRegDeleteValue(kCU, missing.c_str(), L"Kept", 0x100), -1,
               Call(kDelValue, -1, L"RegOpenKeyEx failed 0x2")),
      // A null name is rejected, not taken for the default value.
      REG_CASE(zqRegDeleteValue(kCU, path, nullptr, 0), -3, Call(kDelValue, -3, nulls)),
      REG_CASE(zqRegDeleteValue(kBogusRoot, nullptr, L"Kept", 0), -3, Call(kDelValue, -3, nulls)),
      REG_CASE(zqRegDeleteValue(kBogusRoot, nullptr, nullptr, 0x300), -3, Rejected(kDelValue)),
  });
  EXPECT_EQ(QueryRaw(kCU, path, L"Gone").rc, ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(QueryRaw(kCU, path, L"Kept").rc, ERROR_SUCCESS);
  EXPECT_EQ(QueryRaw(kCU, path, nullptr).rc, ERROR_SUCCESS);
  // The default value goes by its empty name.
  EXPECT_EQ(zqRegDeleteValue(kCU, path, L"", 0), 0);
  EXPECT_EQ(QueryRaw(kCU, path, nullptr).rc, ERROR_FILE_NOT_FOUND);
}

TEST(RegistryDelete, KeyDeletionWithoutSectionGoesToThe32BitView) {
  ScratchKey k32(L"DeleteKeyView", kLM, KEY_WOW64_32KEY);
  ScratchKey k64(L"DeleteKeyView", kLM, KEY_WOW64_64KEY);
  k32.CreateKey(L"Leaf");
  k64.CreateKey(L"Leaf");
  k64.CreateKey(L"Parent\\Child");
  const std::wstring leaf = k64.Sub(L"Leaf"), parent = k64.Sub(L"Parent");
  RunCases({
      REG_CASE(zqRegDeleteKey(kLM, leaf.c_str(), 0, 0), 0, Call(kDelKey, 0, L"RegDeleteKeyEx returns 0x0")),
      REG_CASE(zqRegDeleteKey(kLM, leaf.c_str(), 0, 0), -1, Call(kDelKey, -1, L"RegDeleteKeyEx returns 0x2")),
      REG_CASE(zqRegDeleteKey(kLM, leaf.c_str(), 0, 0x100), 0),
      // Not recursive (a flag byte other than 1 included): a key with subkeys stays.
      REG_CASE(zqRegDeleteKey(kLM, parent.c_str(), 2, 0x100), -1, Call(kDelKey, -1, L"RegDeleteKeyEx returns 0x5")),
      REG_CASE(zqRegDeleteKey(kLM, parent.c_str(), 1, 0x300), -3, Rejected(kDelKey)),
      REG_CASE(zqRegDeleteKey(kBogusRoot, nullptr, 1, 0), -3, Call(kDelKey, -3, L"pszKey is NULL")),
  });
  EXPECT_FALSE(KeyExists(kLM, leaf, KEY_WOW64_32KEY));
  EXPECT_FALSE(KeyExists(kLM, leaf, KEY_WOW64_64KEY));
  EXPECT_TRUE(KeyExists(kLM, parent + L"\\Child", KEY_WOW64_64KEY));
}

TEST(RegistryDelete, RecursiveKeyDeletionUsesTheDefaultView) {
  ScratchKey k32(L"DeleteTreeView", kLM, KEY_WOW64_32KEY);
  ScratchKey k64(L"DeleteTreeView", kLM, KEY_WOW64_64KEY);
  for (const ScratchKey* scratch : {&k32, &k64}) {
    scratch->CreateKey(L"Tree\\A\\Deep");
    scratch->CreateKey(L"Tree\\B");
    scratch->SetDword(L"Tree", L"V", 1);
  }
  const std::wstring tree = k64.Sub(L"Tree");
  // The 32-bit section plays no part: the tree of the default (64-bit) view goes.
  RunCases({REG_CASE(zqRegDeleteKey(kLM, tree.c_str(), 1, 0x200), 0, Call(kDelKey, 0, L"RegDeleteTree returns 0x0")),
            REG_CASE(zqRegDeleteKey(kLM, tree.c_str(), 1, 0x100), -1,
                     Call(kDelKey, -1, L"RegDeleteTree returns 0x2"))});
  EXPECT_FALSE(KeyExists(kLM, tree, KEY_WOW64_64KEY));
  EXPECT_TRUE(KeyExists(kLM, tree + L"\\A\\Deep", KEY_WOW64_32KEY));
}

TEST(RegistryDelete, SubtreeWalkKeepsOrDeletesTheKey) {
  ScratchKey scratch(L"DeleteSubKey");
  scratch.CreateKey(L"Top\\A\\C");
  scratch.CreateKey(L"Top\\D");
  scratch.SetDword(L"Top", L"Kept", 5);
  scratch.SetDword(L"Top\\A", L"Gone", 6);
  scratch.CreateKey(L"Other\\X");
  const std::wstring top = scratch.Sub(L"Top"), other = scratch.Sub(L"Other");
  const Lines deleted = {{2, L"zqRegDeleteSubKey : RegDeleteKey returns 0x0"}, {16, L"zqRegDeleteSubKey : ret=(0)"}};
  const Lines kept = {{16, L"zqRegDeleteSubKey : ret=(0)"}};
  RunCases({
      // Delete-self 0: every subkey goes, the key and its values stay. No entry line.
      REG_CASE(zqRegDeleteSubKey(kCU, top.c_str(), 0, 0), 0,
               deleted /* A\C */ + kept /* A */ + deleted /* D */ + kept /* Top */),
      // Delete-self 1 on a leaf: the first deletion does it, nothing is opened
      // (an open would fail on the deleted key and say so).
      {"leaf", [&] {
         EXPECT_EQ(QueryRaw(kCU, top, L"Kept").bytes, (std::vector<BYTE>{5, 0, 0, 0}));
         EXPECT_FALSE(HasSubkeys(kCU, top));
         return zqRegDeleteSubKey(kCU, top.c_str(), 0x200, 1); }, 0, deleted},
      REG_CASE(zqRegDeleteSubKey(kCU, top.c_str(), 0, 1), -1,
               Lines{{2, L"zqRegDeleteSubKey : RegOpenKeyEx failed 0x2"}, {16, L"zqRegDeleteSubKey : ret=(-1)"}}),
      REG_CASE(zqRegDeleteSubKey(kCU, other.c_str(), 0, 2), 0, deleted + kept),
      REG_CASE(zqRegDeleteSubKey(kCU, other.c_str(), 0x300, 1), -3,
               Lines{{1, L"zqRegDeleteSubKey : Desired registry section incorrect (0x300)"},
                     {16, L"zqRegDeleteSubKey : ret=(-3)"}}),
      REG_CASE(zqRegDeleteSubKey(kCU, nullptr, 0, 0), -3,
               Lines{{2, L"zqRegDeleteSubKey : pszKey is NULL"}, {16, L"zqRegDeleteSubKey : ret=(-3)"}}),
  });
  EXPECT_FALSE(KeyExists(kCU, top));
  EXPECT_TRUE(KeyExists(kCU, other));
  EXPECT_FALSE(HasSubkeys(kCU, other));
}

TEST(RegistryDelete, AChildThatCannotBeDeletedEndsTheWalk) {
  ScratchKey scratch(L"DeleteTooDeep");
  // "Top\Short" fits the walk's path buffer; the deeper paths pass 779 characters.
  std::wstring deep = L"Top\\Short";
  for (wchar_t part : {L'a', L'b', L'c', L'd'}) deep += L"\\" + std::wstring(200, part);
  scratch.CreateKey(deep);
  scratch.CreateKey(L"Top\\Zeta");
  const std::wstring top = scratch.Sub(L"Top");
  ASSERT_GT(scratch.Sub(deep).size(), 779u);
  // The walk stops at the child it cannot name; "Zeta", enumerated after it, stays.
  EXPECT_EQ(zqRegDeleteSubKey(kCU, top.c_str(), 0, 0), 0);
  EXPECT_TRUE(KeyExists(kCU, scratch.Sub(L"Top\\Short")));
  EXPECT_TRUE(KeyExists(kCU, scratch.Sub(L"Top\\Zeta")));
  // With delete-self the parent cannot go either.
  EXPECT_EQ(zqRegDeleteSubKey(kCU, top.c_str(), 0, 1), -1);
  EXPECT_TRUE(KeyExists(kCU, top));
}

TEST(Registry, ThousandsOfCallsLeakNoHandle) {
  ScratchKey scratch(L"Leaks");
  const wchar_t* path = scratch.Path().c_str();
  const std::wstring missing = scratch.Sub(L"None"), t = scratch.Sub(L"T"), u = scratch.Sub(L"T\\U");
  uintptr_t before = zqtest::ProbeHandleValue();
  ZQ_REG_VALUE_ENTRY entries[2];
  ZQ_REG_SUBKEY_SLOT slots[1];
  wchar_t buffer[8];
  for (int i = 0; i < 300; ++i) {
    DWORD value = 0, size = sizeof buffer, type = REG_SZ;
    int count = 2;
    zqRegWriteDWORDValue(kCU, path, L"D", 1);
    zqRegWriteStringValue(kCU, path, L"S", L"x", 4);
    zqRegWriteBinaryValue(kCU, path, L"B", nullptr, 4);  // refused by the system
    zqRegReadDWORDValueExW(kCU, path, L"D", &value, 0);
    zqRegReadDWORDValueExW(kCU, path, L"B", &value, 0);  // missing value
    zqRegReadDWORDValueExW(kCU, path, L"S", &value, 0);  // wrong type
    zqRegReadStringValueExW(kCU, path, L"S", buffer, &size, 0);
    size = 2;
    zqRegReadStringValueExW(kCU, path, L"S", buffer, &size, 0);  // too small
    zqRegReadValueEx(kCU, path, L"none", &type, nullptr, &size, 0);
    zqRegReadDWORDValueExW(kCU, missing.c_str(), L"D", &value, 0);
    zqRegListValueNames(kCU, path, entries, &count, ZQ_REG_ANY_TYPE);
    count = 1;
    zqRegListValueNames(kCU, path, entries, &count, ZQ_REG_ANY_TYPE);  // truncated
    zqRegListKeys(kCU, path, slots, &count);                            // no subkeys
    zqRegListKeys(kCU, missing.c_str(), nullptr, &count);
    zqRegDeleteValue(kCU, path, L"S", 0);
    zqRegDeleteValue(kCU, missing.c_str(), L"S", 0);
    zqRegWriteDWORDValue(kCU, u.c_str(), L"D", 1);
    zqRegDeleteKey(kCU, t.c_str(), 0, 0x100);  // has a subkey
    zqRegDeleteSubKey(kCU, t.c_str(), 0, 1);
    zqRegDeleteSubKey(kCU, missing.c_str(), 0, 1);
    zqRegDeleteKey(kCU, missing.c_str(), 1, 0);
  }
  EXPECT_EQ(zqtest::ProbeHandleValue(), before);
}

}  // namespace
