// Registry reads against Wine's real registry.
#include <cstring>

#include "regread.h"
#include "regtest.h"
#include "scratchkey.h"
#include "zqregistry.h"

using namespace regtest;
using zqtest::ScratchKey;

namespace {

const HKEY kCU = HKEY_CURRENT_USER;

// The buffer reads behind one signature; the narrow ones get their names
// converted (the tests use ASCII names only).
using BufferRead = int (*)(const wchar_t* key, const wchar_t* value, void* data, DWORD* size);
template <typename T, int (*Read)(HKEY, const wchar_t*, const wchar_t*, T*, DWORD*, DWORD)>
int Wide(const wchar_t* key, const wchar_t* value, void* data, DWORD* size) {
  return Read(kCU, key, value, static_cast<T*>(data), size, 0);
}
template <int (*Read)(HKEY, const char*, const char*, char*, DWORD*, DWORD)>
int Ansi(const wchar_t* key, const wchar_t* value, void* data, DWORD* size) {
  return Read(kCU, Narrow(key).c_str(), value ? Narrow(value).c_str() : nullptr, static_cast<char*>(data), size, 0);
}
int Dword(const wchar_t* key, const wchar_t* value, void* data, DWORD*) {
  return zqRegReadDWORDValueExW(kCU, key, value, static_cast<DWORD*>(data), 0);
}
const BufferRead kDword = Dword, kStr = Wide<wchar_t, zqRegReadStringValueExW>, kStrA = Ansi<zqRegReadStringValueExA>,
                 kMulti = Wide<wchar_t, zqRegReadMultiStringValueExW>, kMultiA = Ansi<zqRegReadMultiStringValueExA>,
                 kBin = Wide<BYTE, zqRegReadBinaryValueEx>;

struct Fixture {
  ScratchKey key{L"Read"};
  std::wstring missing = key.Sub(L"Missing");
  Fixture() {
    key.SetDword(L"", L"Answer", 42);
    key.SetString(L"", L"Short", L"a");  // 4 bytes with its terminator: fits a DWORD
    key.SetString(L"", L"Name", L"hello");
    key.SetString(L"", L"Expand", L"%TEMP%\\x", REG_EXPAND_SZ);
    key.SetString(L"", nullptr, L"default");
    key.SetRaw(L"", L"List", REG_MULTI_SZ, L"one\0two\0", 18);
    key.SetRaw(L"", L"Blob", REG_BINARY, "\xDE\xAD\x01", 3);
    const ULONGLONG big = 0x1122334455667788ull;
    key.SetRaw(L"", L"Big", REG_QWORD, &big, sizeof big);
  }
};

TEST(RegistryRead, DwordForwardersAndNarrowRead) {
  Fixture f;
  // The forwarders log as the wide Ex read; the narrow read reads the same.
  DWORD a = 0, b = 0, c = 0;
  const Lines answer = Call(L"zqRegReadDWORDValueExW", 0, L"RegQueryValueEx returns DWORD 42");
  const wchar_t* path = f.key.Path().c_str();
  RunCases({REG_CASE(zqRegReadDWORDValue(kCU, path, L"Answer", &a), 0, answer),
            REG_CASE(zqRegReadDWORDValueEx(kCU, path, L"Answer", &b, 0x100), 0, answer),
            REG_CASE(zqRegReadDWORDValueExA(kCU, Narrow(f.key.Path()).c_str(), "Answer", &c, 0), 0)});
  EXPECT_EQ(a + b + c, 3 * 42u);
}

TEST(RegistryRead, BufferReadsStatusesSizesDataAndLines) {
  Fixture f;
  const wchar_t *dw = L"zqRegReadDWORDValueExW", *sz = L"zqRegReadStringValueExW",
                *mw = L"zqRegReadMultiStringValueExW",
                *ma = L"zqRegReadMultiStringValueExA", *bin = L"zqRegReadBinaryValueEx";
  const struct {
    const wchar_t* fn;
    BufferRead read;
    const wchar_t* key;  // null: the scratch key
    const wchar_t* value;
    DWORD sizeIn;  // 0: a size query with a null buffer
    int status;
    DWORD sizeOut;
    const void* data;  // sizeOut bytes expected in the buffer
    const wchar_t* detail;
  } rows[] = {
      {dw, kDword, nullptr, L"Answer", 4, 0, 4, "\x2a\0\0", L"RegQueryValueEx returns DWORD 42"},
      {dw, kDword, f.missing.c_str(), L"Answer", 4, -1, 4, "\0\0\0", L"RegOpenKeyEx failed 0x2"},
      {dw, kDword, nullptr, L"None", 4, -1, 4, "\0\0\0", L"RegQueryValueEx fails 0x2"},
      // Wrong type: the bytes that the query wrote stay.
      {dw, kDword, nullptr, L"Short", 4, -4, 4, L"a", L"RegQueryValueEx returns type 1 instead of DWORD"},
      // A longer value does not fit: the query fails with ERROR_MORE_DATA.
      {dw, kDword, nullptr, L"Name", 4, -1, 4, nullptr, L"RegQueryValueEx fails 0xea"},
      {sz, kStr, nullptr, L"Name", 0, 0, 12, nullptr, L"RegQueryValueEx returns length 12"},
      {sz, kStr, nullptr, L"Name", 4, -2, 4, nullptr, L"RegQueryValueEx fails 0xea"},  // size untouched
      {sz, kStr, nullptr, L"Name", 64, 0, 12, L"hello", L"RegQueryValueEx returns hello"},
      // REG_EXPAND_SZ is another type, yet size and buffer are filled.
      {sz, kStr, nullptr, L"Expand", 64, -4, 18, L"%TEMP%\\x", L"RegQueryValueEx returns type 2 instead of REG_SZ"},
      {sz, kStr, nullptr, nullptr, 64, 0, 16, L"default", L"RegQueryValueEx returns default"},
      {L"zqRegReadStringValueExA", kStrA, nullptr, L"Name", 64, 0, 6, "hello", L"RegQueryValueEx returns hello"},
      {mw, kMulti, nullptr, L"List", 64, 0, 18, L"one\0two\0", L"RegQueryValueEx returns one"},
      {mw, kMulti, nullptr, L"Blob", 64, -4, 3, nullptr, L"RegQueryValueEx returns type 3 instead of REG_MULTI_SZ"},
      {ma, kMultiA, f.missing.c_str(), L"List", 64, -1, 64, nullptr, L"RegOpenKeyExA failed 0x2"},
      {ma, kMultiA, nullptr, L"None", 64, -1, 64, nullptr, L"RegQueryValueExA fails 0x2"},
      {ma, kMultiA, nullptr, L"List", 2, -2, 2, nullptr, L"RegQueryValueExA fails 0xea"},
      {ma, kMultiA, nullptr, L"List", 64, 0, 9, "one\0two\0", L"RegQueryValueEx returns one"},
      {bin, kBin, nullptr, L"Blob", 64, 0, 3, "\xDE\xAD\x01", L"RegQueryValueEx returns [3 bytes] DE AD 01"},
      {bin, kBin, nullptr, L"Blob", 1, -2, 1, nullptr, L"RegQueryValueEx fails 0xea"},
      {bin, kBin, nullptr, L"Blob", 0, 0, 3, nullptr, L"RegQueryValueEx returns length 3"},
      {bin, kBin, nullptr, L"Name", 64, -4, 12, L"hello", L"RegQueryValueEx returns type 1 instead of REG_BINARY"},
  };
  for (const auto& row : rows) {
    BYTE buffer[64] = {};
    DWORD size = row.sizeIn;
    const wchar_t* key = row.key ? row.key : f.key.Path().c_str();
    RunCases({REG_CASE(row.read(key, row.value, row.sizeIn ? buffer : nullptr, &size), row.status,
                       Call(row.fn, row.status, row.detail))});
    EXPECT_EQ(size, row.sizeOut) << row.detail;
    if (row.data) {
      EXPECT_EQ(std::memcmp(buffer, row.data, row.sizeOut), 0) << row.detail;
    }
  }
}

TEST(RegistryRead, GenericReadWithAndWithoutBuffer) {
  Fixture f;
  const wchar_t* path = f.key.Path().c_str();
  const wchar_t* gen = L"zqRegReadValueEx";
  DWORD type = 0, size = 0, value = 0;
  ULONGLONG q = 0;
  wchar_t buffer[16] = {};
  RunCases({
      {"without a buffer any type is reported", [&] {
         int status = zqRegReadValue(kCU, path, L"Expand", &type, nullptr, &size);
         EXPECT_EQ(type, static_cast<DWORD>(REG_EXPAND_SZ));
         EXPECT_EQ(size, 18u);
         return status; }, 0,
       Call(gen, 0, {{2, L"RegQueryValueEx returns type 2"}, {2, L"RegQueryValueEx returns length 18"}})},
      {"with a buffer, type 2 is refused without a look",
       [&] { return zqRegReadValueEx(kCU, path, L"Expand", &type, buffer, &size, 0); }, -4, Call(gen, -4)},
      {"the caller's type picks the typed read", [&] {
         type = REG_SZ;
         size = sizeof buffer;
         return zqRegReadValueEx(kCU, path, L"Name", &type, buffer, &size, 0); }, 0,
       Lines{{8, gen}} + Call(L"zqRegReadStringValueExW", 0, L"RegQueryValueEx returns hello") +
           Lines{{16, L"zqRegReadValueEx : ret=(0)"}}},
      {"QWORD: the buffer is the value, the size is left alone", [&] {
         type = REG_QWORD;
         size = 12345;
         int status = zqRegReadValueEx(kCU, path, L"Big", &type, &q, &size, 0);
         EXPECT_EQ(q, 0x1122334455667788ull);
         return status; }, 0,
       Lines{{8, gen}} + Call(L"zqRegReadQWORDValueExW", 0, L"RegQueryValueEx returns QWORD 1432778632") +
           Lines{{16, L"zqRegReadValueEx : ret=(0)"}}},
      {"DWORD", [&] {
         type = REG_DWORD;
         int status = zqRegReadValueEx(kCU, path, L"Answer", &type, &value, &size, 0);
         EXPECT_EQ(value, 42u);
         EXPECT_EQ(size, 12345u);
         return status; }, 0},
      {"the typed read checks the stored type", [&] {
         type = REG_QWORD;
         return zqRegReadValueEx(kCU, path, L"Answer", &type, &q, &size, 0); }, -4,
       Lines{{8, gen}} + Call(L"zqRegReadQWORDValueExW", -4, L"RegQueryValueEx returns type 4 instead of QWORD") +
           Lines{{16, L"zqRegReadValueEx : ret=(-4)"}}},
      REG_CASE(zqRegReadValueEx(kCU, f.missing.c_str(), L"Name", &type, nullptr, &size, 0), -1,
               Call(gen, -1, L"RegOpenKeyEx failed 0x2")),
      REG_CASE(zqRegReadValueEx(kCU, path, L"None", &type, nullptr, &size, 0), -1,
               Call(gen, -1, L"RegQueryValueEx fails 0x2")),
  });
  EXPECT_STREQ(buffer, L"hello");
}

TEST(RegistryRead, SectionIsCheckedFirstThenPointers) {
  DWORD value = 7, size = 10;
  wchar_t buffer[8] = {};
  for (DWORD section : {0x300u, 0x400u, 0x101u, 0x1000u}) {
    wchar_t hex[16];
    _snwprintf(hex, 16, L"0x%x", section);
    RunCases({REG_CASE(zqRegReadDWORDValueExW(kBogusRoot, nullptr, nullptr, nullptr, section), -3,
                       Rejected(L"zqRegReadDWORDValueExW", hex)),
              REG_CASE(zqRegReadStringValueExW(kBogusRoot, L"x", nullptr, buffer, &size, section), -3,
                       Rejected(L"zqRegReadStringValueExW", hex)),
              REG_CASE(zqRegReadValueEx(kBogusRoot, L"x", nullptr, &value, buffer, &size, section), -3,
                       Rejected(L"zqRegReadValueEx", hex))});
  }
  EXPECT_EQ(value, 7u);
  EXPECT_EQ(size, 10u);

  const wchar_t* nulls = L"pszKey or pdwValue is NULL";
  RunCases({
      REG_CASE(zqRegReadDWORDValueExW(kBogusRoot, L"x", nullptr, nullptr, 0), -3,
               Call(L"zqRegReadDWORDValueExW", -3, nulls)),
      REG_CASE(zqRegReadStringValueExA(kBogusRoot, nullptr, nullptr, nullptr, &size, 0), -3,
               Call(L"zqRegReadStringValueExA", -3, nulls)),
      REG_CASE(zqRegReadBinaryValueEx(kBogusRoot, L"x", nullptr, nullptr, nullptr, 0x200), -3,
               Call(L"zqRegReadBinaryValueEx", -3, nulls)),
      REG_CASE(zqRegReadQWORDValueExW(kBogusRoot, L"x", nullptr, nullptr, 0x100), -3,
               Call(L"zqRegReadQWORDValueExW", -3, L"pszKey or pullValue is NULL")),
      REG_CASE(zqRegReadValueEx(kBogusRoot, L"x", nullptr, nullptr, buffer, &size, 0), -3,
               Call(L"zqRegReadValueEx", -3, nulls)),
      REG_CASE(zqRegReadValueEx(kBogusRoot, L"x", nullptr, &value, buffer, nullptr, 0), -3,
               Call(L"zqRegReadValueEx", -3, nulls)),
  });
}

TEST(RegistryRead, UnterminatedStringComesBackAsTheSystemGivesIt) {
  // The library adds nothing to what the system answers (Wine itself
  // terminates and counts an unterminated string when there is room).
  ScratchKey k(L"ReadBare");
  k.SetRaw(L"", L"Bare", REG_SZ, L"abc", 6);
  wchar_t raw[32], buffer[32];
  DWORD rawSize = sizeof raw, size = sizeof buffer;
  ASSERT_EQ(RegGetValueW(kCU, k.Path().c_str(), L"Bare", RRF_RT_REG_SZ, nullptr, raw, &rawSize), 0);
  EXPECT_EQ(zqRegReadStringValue(kCU, k.Path().c_str(), L"Bare", buffer, &size), 0);
  EXPECT_EQ(size, rawSize);
  EXPECT_EQ(std::memcmp(buffer, raw, rawSize), 0);
}

}  // namespace
