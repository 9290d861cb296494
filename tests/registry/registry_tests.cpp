// Registry reads, writes, listings and deletions against Wine's real registry,
// cross-checked with the platform's own calls. Every table also checks that
// its calls leave no key open.
#include <cstring>

#include "calls.h"
#include "handles.h"
#include "regread.h"
#include "scratchkey.h"
#include "zqregistry.h"

using namespace zqtest;

namespace {

// kBogus: a root that no open can use, so a call given it opened nothing.
const HKEY kCU = HKEY_CURRENT_USER, kLM = HKEY_LOCAL_MACHINE, kBogus = reinterpret_cast<HKEY>(uintptr_t{0x7654});
const std::wstring kDw = L"zqRegReadDWORDValueExW", kSz = L"zqRegReadStringValueExW", kQw = L"zqRegReadQWORDValueExW",
                   kMa = L"zqRegReadMultiStringValueExA", kGen = L"zqRegReadValueEx", kWDw = L"zqRegWriteDWORDValueEx",
                   kValues = L"zqRegListValueNamesEx", kKeys = L"zqRegListKeysEx", kDelKey = L"zqRegDeleteKey";

// A call's lines: entry, one "name : text" line per detail (the texts alone
// when `named` is off), exit.
Lines Call(const std::wstring& name, int ret, const Lines& details = {}, bool named = true) {
  Lines inside;
  for (const LogLine& d : details) inside.push_back({d.level, named ? name + L" : " + d.text : d.text});
  return Around(name, inside, name + L" : ret=(" + std::to_wstring(ret) + L")");
}
Lines Call(const std::wstring& name, int ret, const wchar_t* detail) { return Call(name, ret, {{2, detail}}); }
Lines Rejected(const std::wstring& name, const std::wstring& section = L"0x300") {
  return Call(name, -3, {{1, L"Desired registry section incorrect (" + section + L")"}});
}
// zqRegDeleteSubKey, also the step of its own walk, logs no entry line.
Lines Sub(int ret, const Lines& details = {}) {
  Lines lines = Call(L"zqRegDeleteSubKey", ret, details);
  return Lines(lines.begin() + 1, lines.end());
}

// The table walker with a handle probe around it: a key left open on any path
// of the table's calls shows as a higher handle value afterwards.
void RunLeakFree(const std::vector<Case>& cases) {
  RunCases({ZQ_CASE(zqRegDeleteSubKey(kBogus, nullptr, 0, 0), -3)});  // the log's handle, made on first use
  const uintptr_t before = ProbeHandleValue();
  RunCases(cases);
  EXPECT_EQ(ProbeHandleValue(), before) << "a key was left open";
}

std::vector<BYTE> Bytes(DWORD type, const void* data, size_t size) {  // the type's low byte, then the bytes
  std::vector<BYTE> bytes(size + 1, static_cast<BYTE>(type));
  if (size) std::memcpy(bytes.data() + 1, data, size);
  return bytes;
}
// A value's type and bytes as the platform reads them; empty when missing.
std::vector<BYTE> Stored(HKEY root, const std::wstring& path, const wchar_t* name, REGSAM view = 0) {
  HKEY key = nullptr;
  BYTE data[64];
  DWORD size = sizeof data, type = 0;
  if (RegOpenKeyExW(root, path.c_str(), 0, KEY_QUERY_VALUE | view, &key) != ERROR_SUCCESS) return {};
  LSTATUS rc = RegQueryValueExW(key, name, nullptr, &type, data, &size);
  RegCloseKey(key);
  return rc == ERROR_SUCCESS ? Bytes(type, data, size) : std::vector<BYTE>{};
}

// A listing into `slots` elements that start untouched (a null array for 0),
// with `capacity` as the count: {status, count, names}, the names as
// "name/type" (values) or "name" (subkeys), "-" for an element left alone.
using Listing = std::tuple<int, int, std::wstring>;
Listing List(bool values, HKEY root, const std::wstring& path, int slots, int capacity, DWORD filter, DWORD section) {
  std::vector<ZQ_REG_VALUE_ENTRY> entries(slots, ZQ_REG_VALUE_ENTRY{L"-", 0xABCD});
  std::vector<ZQ_REG_SUBKEY_SLOT> keys(slots, ZQ_REG_SUBKEY_SLOT{L"-"});
  int status = values ? zqRegListValueNamesEx(root, path.c_str(), slots ? entries.data() : nullptr, &capacity, filter,
                                              section)
                      : zqRegListKeysEx(root, path.c_str(), slots ? keys.data() : nullptr, &capacity, section);
  std::wstring names;
  for (int i = 0; i < slots; ++i) {
    std::wstring type = entries[i].dwType == 0xABCD ? L"" : L"/" + std::to_wstring(entries[i].dwType);
    names += (i ? L" " : L"") + std::wstring(values ? entries[i].szName : keys[i].szName) + type;
  }
  return {status, capacity, names};
}

// ---- Reads -----------------------------------------------------------------

// A read of `sizeIn` bytes (0: a size query with a null buffer) that must give
// `sizeOut` and, when given, `data`; narrow reads get the names narrowed.
template <typename C, typename T>
std::function<long()> Read(int (*read)(HKEY, const C*, const C*, T*, DWORD*, DWORD), const std::wstring& key,
                           const wchar_t* value, DWORD sizeIn, DWORD sizeOut, const void* data = nullptr) {
  return [=] {
    const std::basic_string<C> k(key.begin(), key.end()), v(value, value + wcslen(value));
    BYTE buffer[64] = {};
    DWORD size = sizeIn;
    int status = read(kCU, k.c_str(), v.c_str(), sizeIn ? reinterpret_cast<T*>(buffer) : nullptr, &size, 0);
    EXPECT_EQ(size, sizeOut);
    EXPECT_EQ(Bytes(0, buffer, data ? sizeOut : 0), Bytes(0, data, data ? sizeOut : 0));
    return status;
  };
}

TEST(Registry, Reads) {
  ScratchKey scratch(L"Read");
  scratch.SetDword(L"", L"Answer", 42);
  scratch.SetString(L"", L"Name", L"hello");
  scratch.SetString(L"", L"Expand", L"%TEMP%\\x", REG_EXPAND_SZ);
  scratch.SetRaw(L"", L"List", REG_MULTI_SZ, L"one\0two\0", 18);
  scratch.SetRaw(L"", L"Blob", REG_BINARY, "\xDE\xAD\x01", 3);
  const ULONGLONG big = 0x1122334455667788ull;
  scratch.SetRaw(L"", L"Big", REG_QWORD, &big, sizeof big);
  const std::wstring &path = scratch.Path(), none = scratch.Sub(L"None");
  const wchar_t* p = path.c_str();
  const Lines answer = Call(kDw, 0, L"RegQueryValueEx returns DWORD 42");
  DWORD dw[3] = {}, anyType = 0, anySize = 0, szType = REG_SZ, szSize = 16, eType = REG_EXPAND_SZ, qType = REG_QWORD, fixed = 7;
  ULONGLONG q = 0;
  wchar_t text[8] = {};
  const wchar_t* nulls = L"pszKey or pdwValue is NULL";
  RunLeakFree({
      // The section comes first, then the pointers; nothing is opened.
      ZQ_CASE(zqRegReadDWORDValueExW(kBogus, nullptr, nullptr, nullptr, 0x300), -3, Rejected(kDw)),
      ZQ_CASE(zqRegReadValueEx(kBogus, nullptr, nullptr, nullptr, nullptr, nullptr, 0x101), -3, Rejected(kGen, L"0x101")),
      ZQ_CASE(zqRegReadMultiStringValueExA(kBogus, nullptr, nullptr, nullptr, &szSize, 0), -3, Call(kMa, -3, nulls)),
      ZQ_CASE(zqRegReadQWORDValueExW(kBogus, L"x", nullptr, nullptr, 0x100), -3, Call(kQw, -3, L"pszKey or pullValue is NULL")),
      ZQ_CASE(zqRegReadValueEx(kBogus, L"x", nullptr, nullptr, &q, &szSize, 0), -3, Call(kGen, -3, nulls)),
      ZQ_CASE(zqRegReadDWORDValueExW(kCU, p, L"Answer", &dw[0], 0), 0, answer),
      // Wrong type: the bytes that the query wrote stay. A longer value fails the query.
      ZQ_CASE(zqRegReadDWORDValueExW(kCU, p, L"Blob", &dw[1], 0), -4, Call(kDw, -4, L"RegQueryValueEx returns type 3 instead of DWORD")),
      ZQ_CASE(zqRegReadDWORDValueExW(kCU, p, L"Name", &dw[2], 0), -1, Call(kDw, -1, L"RegQueryValueEx fails 0xea")),
      {"", Read(zqRegReadStringValueExW, path, L"Name", 0, 12), 0, Call(kSz, 0, L"RegQueryValueEx returns length 12")},
      {"", Read(zqRegReadStringValueExW, path, L"Name", 11, 11), -2, Call(kSz, -2, L"RegQueryValueEx fails 0xea")},
      {"", Read(zqRegReadStringValueExW, path, L"Name", 12, 12, L"hello"), 0, Call(kSz, 0, L"RegQueryValueEx returns hello")},
      // REG_EXPAND_SZ is another type, yet size and buffer are filled.
      {"", Read(zqRegReadStringValueExW, path, L"Expand", 64, 18, L"%TEMP%\\x"), -4,
       Call(kSz, -4, L"RegQueryValueEx returns type 2 instead of REG_SZ")},
      {"", Read(zqRegReadMultiStringValueExA, none, L"List", 64, 64), -1, Call(kMa, -1, L"RegOpenKeyExA failed 0x2")},
      {"", Read(zqRegReadMultiStringValueExA, path, L"List", 9, 9, "one\0two\0"), 0, Call(kMa, 0, L"RegQueryValueEx returns one")},
      {"", Read(zqRegReadBinaryValueEx, path, L"Blob", 3, 3, "\xDE\xAD\x01"), 0,
       Call(L"zqRegReadBinaryValueEx", 0, L"RegQueryValueEx returns [3 bytes] DE AD 01")},
      // With a buffer, the generic read logs around the typed read that the caller's type picks.
      ZQ_CASE(zqRegReadValueEx(kCU, p, L"Expand", &anyType, nullptr, &anySize, 0), 0,  // no buffer: any type
              Call(kGen, 0, {{2, L"RegQueryValueEx returns type 2"}, {2, L"RegQueryValueEx returns length 18"}})),
      ZQ_CASE(zqRegReadValue(kCU, p, L"Expand", &eType, text, &fixed), -4, Call(kGen, -4)),
      ZQ_CASE(zqRegReadValueEx(kCU, p, L"Name", &szType, text, &szSize, 0), 0,
              Call(kGen, 0, Call(kSz, 0, L"RegQueryValueEx returns hello"), false)),
      ZQ_CASE(zqRegReadValue(kCU, p, L"Big", &qType, &q, &fixed), 0,  // a fixed-size type: *pcbData is left alone
              Call(kGen, 0, Call(kQw, 0, L"RegQueryValueEx returns QWORD 1432778632"), false)),
      ZQ_CASE(zqRegReadValueEx(kCU, p, L"None", &szType, nullptr, &szSize, 0), -1, Call(kGen, -1, L"RegQueryValueEx fails 0x2")),
  });
  EXPECT_EQ(std::vector<ULONGLONG>({dw[0], dw[1], anyType, anySize, q, fixed}),
            std::vector<ULONGLONG>({42, 0x01ADDE, REG_EXPAND_SZ, 18, big, 7}));
  EXPECT_STREQ(text, L"hello");
}

TEST(Registry, ListingsFillCountAndStopAtTheCapacity) {
  ScratchKey scratch(L"List");
  // Wine enumerates in name order; only direct children are listed.
  scratch.SetString(L"", L"A_Text", L"abc");
  for (const wchar_t* name : {L"B_Number", L"C_Third"}) scratch.SetDword(L"", name, 4);
  for (const wchar_t* sub : {L"Alpha\\Below", L"Gamma"}) scratch.CreateKey(sub);  // Gamma: neither values nor subkeys
  const std::wstring longName(300, L'n');  // longer than an element's name: still takes its index
  for (const wchar_t* name : {L"a", longName.c_str(), L"z"}) scratch.SetDword(L"Beta", name, 1);
  // Section 0x100 throughout: accepted, and HKCU has one view only.
  auto list = [&](const wchar_t* sub, int slots, int capacity, DWORD filter, Listing expected, bool values = true) {
    return [=, &scratch] {
      const Listing got = List(values, kCU, *sub ? scratch.Sub(sub) : scratch.Path(), slots, capacity, filter, 0x100);
      EXPECT_EQ(got, expected);
      return std::get<0>(got);
    };
  };
  const Lines values = Call(kValues, 0),
              valuesFull = Call(kValues, 0, {{2, kValues + L": Max number of value reached"}}, false);
  const wchar_t *noValue = L"RegEnumValue failed with error code 0x103", *noKey = L"RegOpenKeyEx failed with error code 0x2";
  RunLeakFree({
      ZQ_CASE(zqRegListValueNamesEx(kBogus, nullptr, nullptr, nullptr, 0, 0x300), -3, Rejected(kValues)),
      ZQ_CASE(zqRegListValueNames(kBogus, L"x", nullptr, nullptr, 0), -3, Call(kValues, -3, L"pnValueCount is NULL")),
      ZQ_CASE(zqRegListKeys(kBogus, L"x", nullptr, nullptr), -3, Call(kKeys, -3, L"pnSubKeyCount is NULL")),
      {"", list(L"", 0, -5, 0, {0, 3, L""}), 0, values},  // a null array counts every value
      {"", list(L"", 3, 0, ZQ_REG_ANY_TYPE, {0, 0, L"- - -"}), 0, valuesFull},
      {"", list(L"", 4, 3, ZQ_REG_ANY_TYPE, {0, 3, L"A_Text/1 B_Number/4 C_Third/4 -"}), 0, values},
      // The filter leaves refused elements as they were; the count covers all.
      {"", list(L"", 4, 4, REG_DWORD, {0, 3, L"- B_Number/4 C_Third/4 -"}), 0, values},
      // Failures leave the count unwritten; a missing key is level 1 with an
      // array, level 2 when only counting.
      {"", list(L"Gamma", 2, 2, ZQ_REG_ANY_TYPE, {-1, 2, L"- -"}), -1, Call(kValues, -1, {{1, noValue}}, false)},
      {"", list(L"None", 2, 7, 0, {-1, 7, L"- -"}), -1, Call(kValues, -1, {{1, noKey}}, false)},
      {"", list(L"None", 0, 7, 0, {-1, 7, L""}), -1, Call(kValues, -1, {{2, noKey}}, false)},
      {"", list(L"Beta", 0, 0, 0, {0, 3, L""}), 0, values},
      {"", list(L"", 4, 4, 0, {0, 3, L"Alpha Beta Gamma -"}, false), 0, Call(kKeys, 0)},
      {"", list(L"", 3, 2, 0, {0, 2, L"Alpha Beta -"}, false), 0,
       Call(kKeys, 0, {{2, kKeys + L": max number of subkey reached"}}, false)},
      {"", list(L"Gamma", 1, 9, 0, {-1, 9, L"-"}, false), -1,
       Call(kKeys, -1, {{1, L"RegEnumKeyEx failed with error code 0x103"}}, false)},
  });
}

// ---- Views and deletions ------------------------------------------------------

TEST(Registry, SectionChoosesTheView) {
  // HKLM\Software is what the 32-bit view redirects: one path, two keys.
  // Key deletion: the section's view, the 32-bit one for 0; recursive: the
  // platform's tree deletion in the default (64-bit) view, whatever the section.
  ScratchKey k32(L"Views", kLM, KEY_WOW64_32KEY), k64(L"Views", kLM, KEY_WOW64_64KEY);
  for (const ScratchKey* scratch : {&k32, &k64}) {
    scratch->SetDword(L"", L"V", scratch == &k32 ? 32 : 64);
    scratch->CreateKey(L"Leaf");
    scratch->CreateKey(L"Tree\\A");
  }
  k64.CreateKey(L"Parent\\Child");
  const std::wstring &path = k32.Path(), leaf = k64.Sub(L"Leaf"), parent = k64.Sub(L"Parent"), tree = k64.Sub(L"Tree");
  const wchar_t* p = path.c_str();
  DWORD v[3] = {}, size = 0, type = 0;
  RunLeakFree({
      ZQ_CASE(zqRegReadDWORDValueExW(kLM, p, L"V", &v[0], 0x200), 0),
      ZQ_CASE(zqRegReadDWORDValueExW(kLM, p, L"V", &v[1], 0x100), 0),
      ZQ_CASE(zqRegReadDWORDValueExW(kLM, p, L"V", &v[2], 0), 0),
      ZQ_CASE(zqRegWriteDWORDValueEx(kLM, p, L"W", 0x200, 0x200), 0),
      ZQ_CASE(zqRegWriteDWORDValueEx(kLM, p, L"W", 0x100, 0x100), 0),
      ZQ_CASE(zqRegDeleteValue(kLM, p, L"W", 0x200), 0),
      ZQ_CASE(zqRegReadValueEx(kLM, p, L"W", &type, nullptr, &size, 0x200), -1),
      ZQ_CASE(zqRegDeleteKey(kLM, leaf.c_str(), 0, 0), 0, Call(kDelKey, 0, L"RegDeleteKeyEx returns 0x0")),
      ZQ_CASE(zqRegDeleteKey(kLM, leaf.c_str(), 0, 0x100), 0),
      // Not recursive (a flag byte other than 1 included): a key with subkeys stays.
      ZQ_CASE(zqRegDeleteKey(kLM, parent.c_str(), 2, 0x100), -1, Call(kDelKey, -1, L"RegDeleteKeyEx returns 0x5")),
      ZQ_CASE(zqRegDeleteKey(kLM, tree.c_str(), 1, 0x200), 0, Call(kDelKey, 0, L"RegDeleteTree returns 0x0")),
  });
  EXPECT_EQ(std::vector<DWORD>(v, v + 3), std::vector<DWORD>({32, 64, 64}));
  EXPECT_EQ(List(false, kLM, path, 2, 2, 0, 0x200), Listing(0, 1, L"Tree -"));
  EXPECT_EQ(List(false, kLM, path, 1, 1, 0, 0), Listing(0, 1, L"Parent"));
  EXPECT_EQ(List(true, kLM, path, 2, 2, ZQ_REG_ANY_TYPE, 0x100), Listing(0, 2, L"V/4 W/4"));
}

TEST(Registry, WritesAndDeletions) {
  ScratchKey scratch(L"WriteDelete");
  scratch.SetDword(L"", L"Gone", 1);
  for (const wchar_t* sub : {L"Tree\\A\\Deep", L"Top\\A\\C", L"Top\\D", L"Deep\\Zeta"}) scratch.CreateKey(sub);
  scratch.SetDword(L"Top", L"Kept", 5);
  // "Deep\Short" fits the walk's path buffer; the deeper paths pass 779 characters.
  scratch.CreateKey(L"Deep\\Short\\" + std::wstring(200, L'a') + L"\\" + std::wstring(200, L'b') + L"\\" +
                    std::wstring(200, L'c') + L"\\" + std::wstring(200, L'd'));
  const std::wstring &path = scratch.Path(), tree = scratch.Sub(L"Tree"), top = scratch.Sub(L"Top"),
                     deep = scratch.Sub(L"Deep"), made = scratch.Sub(L"One\\Two"), tooLong = scratch.Sub(std::wstring(300, L'k'));
  const wchar_t *to = made.c_str(), bare[] = L"abcX", multi[] = L"one\0two\0";
  const BYTE blob[] = {0xDE, 0xAD, 0x00, 0x01};
  // GetProcAddress on a platform without RegDeleteTreeW.
  const Lines ok = Call(kWDw, 0, L"RegSetValueEx returns 0x0"), gone = Sub(0, {{2, L"RegDeleteKey returns 0x0"}}),
              kept = Sub(0);
  const wchar_t* nullKey = L"pszKey is NULL";
  RunLeakFree({
      ZQ_CASE(zqRegWriteDWORDValueEx(kBogus, L"x", L"V", 1, 0x400), -3, Rejected(kWDw, L"0x400")),
      ZQ_CASE(zqRegWriteStringValue(kBogus, nullptr, L"V", L"x", 4), -3, Call(L"zqRegWriteStringValueEx", -3, nullKey)),
      ZQ_CASE(zqRegDeleteValue(kBogus, nullptr, nullptr, 0x300), -3, Rejected(L"zqRegDeleteValue")),
      // A null value name is rejected, not taken for the default value.
      ZQ_CASE(zqRegDeleteValue(kBogus, L"x", nullptr, 0), -3, Call(L"zqRegDeleteValue", -3, L"pszKey or pszValueName is NULL")),
      ZQ_CASE(zqRegDeleteKey(kBogus, L"x", 1, 0x300), -3, Rejected(kDelKey)),
      ZQ_CASE(zqRegDeleteKey(kBogus, nullptr, 1, 0), -3, Call(kDelKey, -3, nullKey)),
      ZQ_CASE(zqRegDeleteSubKey(kBogus, L"x", 0x300, 1), -3, Sub(-3, {{1, L"Desired registry section incorrect (0x300)"}})),
      ZQ_CASE(zqRegDeleteSubKey(kBogus, nullptr, 0, 0), -3, Sub(-3, {{2, nullKey}})),
      // Writes create the key with its parents and store the caller's bytes exactly.
      ZQ_CASE(zqRegWriteDWORDValueEx(kCU, to, L"Number", 0x11223344, 0), 0, ok),
      // The size leaves the terminator out; what follows is no terminator, so
      // the platform cannot add one either.
      ZQ_CASE(zqRegWriteStringValueEx(kCU, to, L"Bare", bare, 6, 0), 0),
      ZQ_CASE(zqRegWriteMultiStringValue(kCU, to, L"List", multi, sizeof multi), 0),
      ZQ_CASE(zqRegWriteBinaryValue(kCU, to, L"Blob", blob, sizeof blob), 0),
      ZQ_CASE(zqRegWriteDWORDValue(kCU, to, nullptr, 7), 0, ok),
      ZQ_CASE(zqRegWriteDWORDValueEx(kCU, to, nullptr, 6, 0x100), 0, ok),  // replaces
      // The system refuses the key (a name part over 255 characters) or data it cannot read.
      ZQ_CASE(zqRegWriteDWORDValue(kCU, tooLong.c_str(), L"V", 1), -1, Call(kWDw, -1, L"RegCreateKeyEx failed 0x57")),
      ZQ_CASE(zqRegWriteBinaryValue(kCU, to, L"NoData", nullptr, 4), -1,
              Call(L"zqRegWriteBinaryValueEx", -1, L"RegSetValueEx returns 0x3e6")),
      ZQ_CASE(zqRegDeleteValue(kCU, path.c_str(), L"Gone", 0), 0, Call(L"zqRegDeleteValue", 0, L"RegDeleteValue returns 0x0")),
      ZQ_CASE(zqRegDeleteValue(kCU, path.c_str(), L"Gone", 0x100), -1),
      // A recursive deletion goes to the platform's tree deletion.
      ZQ_CASE(zqRegDeleteKey(kCU, tree.c_str(), 1, 0), 0, Call(kDelKey, 0, L"RegDeleteTree returns 0x0")),
      // zqRegDeleteSubKey without delete-self (any byte but 1): the subkeys go, the key and its values stay.
      ZQ_CASE(zqRegDeleteSubKey(kCU, top.c_str(), 0, 2), 0, gone /* A\C */ + kept /* A */ + gone /* D */ + kept),
      ZQ_CASE(Stored(kCU, top, L"Kept") == Bytes(REG_DWORD, "\5\0\0", 4), true),
      // Delete-self on a leaf: the first deletion does it, nothing is opened.
      ZQ_CASE(zqRegDeleteSubKey(kCU, top.c_str(), 0x200, 1), 0, gone),
      ZQ_CASE(zqRegDeleteSubKey(kCU, top.c_str(), 0, 1), -1, Sub(-1, {{2, L"RegOpenKeyEx failed 0x2"}})),
      // A child it cannot name ends the walk: "Zeta", enumerated after it,
      // stays, and with delete-self the key cannot go either.
      ZQ_CASE(zqRegDeleteSubKey(kCU, deep.c_str(), 0, 0), 0),
      ZQ_CASE(zqRegDeleteSubKey(kCU, deep.c_str(), 0, 1), -1),
  });
  EXPECT_EQ(Stored(kCU, made, L"Number"), Bytes(REG_DWORD, "\x44\x33\x22\x11", 4));
  EXPECT_EQ(Stored(kCU, made, L"Bare"), Bytes(REG_SZ, L"abc", 6));
  EXPECT_EQ(Stored(kCU, made, L"List"), Bytes(REG_MULTI_SZ, multi, sizeof multi));
  EXPECT_EQ(Stored(kCU, made, L"Blob"), Bytes(REG_BINARY, blob, sizeof blob));
  EXPECT_EQ(Stored(kCU, made, nullptr), Bytes(REG_DWORD, "\6\0\0", 4));
  EXPECT_TRUE(Stored(kCU, made, L"NoData").empty() && Stored(kCU, path, L"Gone").empty());
  EXPECT_EQ(List(false, kCU, path, 3, 3, 0, 0), Listing(0, 2, L"Deep One -"));  // Tree and Top are gone
  EXPECT_EQ(List(false, kCU, deep, 2, 2, 0, 0), Listing(0, 2, L"Short Zeta"));
}

}  // namespace
