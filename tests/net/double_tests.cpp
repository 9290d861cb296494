// UPN translation with the directory's answers that Wine cannot give: a
// successful translation, its size protocol and a dead network, from the test
// doubles of Secur32.dll and sensapi.dll that this program loads.

#include "nettest.h"

using namespace nettest;

namespace {

// Steers the doubles through the process environment: clears every setting
// but the one given, how the directory answers (ZQTEST_TRANSLATE_ANSWER,
// _ERROR) or that the network is dead (ZQTEST_NETWORK). Gives the translation
// the doubles recorded before, "upn|from|to|size" ("" when none was asked).
std::wstring Steer(const wchar_t* variable = nullptr, const std::wstring& value = L"") {
  wchar_t call[512] = {};
  GetEnvironmentVariableW(L"ZQTEST_TRANSLATE_CALL", call, 512);
  for (const wchar_t* name : {L"ZQTEST_TRANSLATE_ANSWER", L"ZQTEST_TRANSLATE_ERROR", L"ZQTEST_TRANSLATE_CALL", L"ZQTEST_NETWORK"}) {
    SetEnvironmentVariableW(name, name == std::wstring(variable ? variable : L"") ? value.c_str() : nullptr);
  }
  return call;
}
const wchar_t *kAnswer = L"ZQTEST_TRANSLATE_ANSWER", *kError = L"ZQTEST_TRANSLATE_ERROR", *kNetwork = L"ZQTEST_NETWORK";

TEST(DirectoryTranslation, AnswersAreRecordedAndRefusalsTakeTheOfflineRoad) {
  FixedKey noSystemCache(kSystemCache, false), cache(kLibraryCache);
  const std::wstring corp = L"jdoe@corp.example.com|8|2|";
  // A translation writes the value named after the DNS domain (the whole UPN
  // without "@"); an answer without "\" is stored whole. Without a buffer the
  // directory's 122 is a successful size query that sets last error 0.
  // Rows: how the directory answers, width, UPN, buffer, count, result, the
  // translation asked for, and the cache's value afterwards.
  const struct { const wchar_t* variable; std::wstring value; bool wide; const char* upn; bool buffer; DWORD count; Result expected; std::wstring call, valueName, cached; } cases[] = {
      {kAnswer, L"CORP\\jdoe", true, "jdoe@corp.example.com", true, 32, {TRUE, kKept, 10, L"CORP\\jdoe|"}, corp + L"32", L"corp.example.com", L"CORP"},
      {kAnswer, L"jdoe", true, "jdoe@corp.example.com", true, 32, {TRUE, kKept, 5, L"jdoe|"}, corp + L"32", L"corp.example.com", L"jdoe"},
      {kAnswer, L"LAB\\x", true, "plainname", true, 32, {TRUE, kKept, 6, L"LAB\\x|"}, L"plainname|8|2|32", L"plainname", L"LAB"},
      {kAnswer, L"LAB\\ann", false, "ann@lab.example.org", true, 32, {TRUE, kKept, 8, L"LAB\\ann|"}, L"A:ann@lab.example.org|8|2|32", L"lab.example.org", L"LAB"},
      {kAnswer, L"NEW\\jdoe", true, "jdoe@corp.example.com", false, 0, {TRUE, 0, 9, L""}, corp + L"0", L"corp.example.com", L"jdoe"},
      {kAnswer, L"NEW\\jdoe", false, "jdoe@corp.example.com", false, 0, {TRUE, 0, 9, L""}, L"A:" + corp + L"0", L"corp.example.com", L"jdoe"},
      // A buffer too small: 122 and the count needed; nothing recorded.
      {kAnswer, L"NEW\\jdoe", true, "jdoe@corp.example.com", true, 8, {FALSE, 122, 9, L""}, corp + L"8", L"corp.example.com", L"jdoe"},
      // Another refusal: the caches answer, with the caller's capacity. No live network: the directory is not asked.
      {kError, L"1355", true, "ann@lab.example.org", true, 32, {TRUE, kKept, 8, L"LAB\\ann|"}, L"ann@lab.example.org|8|2|32", L"lab.example.org", L"LAB"},
      {kNetwork, L"dead", true, "bob@lab.example.org", true, 32, {TRUE, kKept, 8, L"LAB\\bob|"}, L"", L"lab.example.org", L"LAB"},
      {kNetwork, L"dead", false, "bob@unknown.example.org", false, 32, {FALSE, 2, 32, L""}, L"", L"unknown.example.org", L"-"},
  };
  for (const auto& c : cases) {
    Steer(c.variable, c.value);
    EXPECT_EQ(Upn(c.wide, c.upn, c.buffer, c.count), c.expected) << c.upn;
    EXPECT_EQ(Steer() + L"|" + cache.Get(c.valueName), c.call + L"|" + c.cached) << c.upn;
  }
  EXPECT_EQ(GetModuleHandleW(L"secur32.dll"), nullptr) << "Secur32.dll stays loaded";

  // Without the cache key an answer costs a line, the same in both widths.
  FixedKey noCache(kLibraryCache, false);
  Steer(kAnswer, L"CORP\\jdoe");
  LogCapture log;
  EXPECT_EQ(Upn(true, "jdoe@corp.example.com", true, 32).ok + Upn(false, "jdoe@corp.example.com", true, 32).ok, 2);
  const LogLine line{1, L"zqNetGetNETBIOSDomainNameFromUPNVistaW Can't open DomainCache key"};
  EXPECT_EQ(log.Lines(), (Lines{line, line}));
  Steer();
}

}  // namespace
