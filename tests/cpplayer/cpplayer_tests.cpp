// The C++17 layer against the exports beneath it, through zqplatutilu.dll:
// each helper must give the answer and the status that its export gives.
// A result is checked as one text, "ok <value>" or "status <code>", in tables
// of what the helpers gave against what was expected.
#include <gtest/gtest.h>

#include "scratchkey.h"
#include "zqplatutil.hpp"

static_assert(__cplusplus == 201703L, "the layer's tests build as C++17");

using namespace zq::cpp;
using Texts = std::vector<std::wstring>;

std::wstring Text(const std::wstring& text) { return text; }
template <typename N, typename = std::enable_if_t<std::is_arithmetic_v<N>>>
std::wstring Text(N n) { return std::to_wstring(n); }
std::wstring Text(const UserAndDomain& name) { return name.domain + L"\\" + name.user; }
std::wstring Text(const RegValueName& value) { return value.name + L":" + Text(value.type); }
std::wstring Text(const SYSTEMTIME& time) { return SystemTimeToISO8601(time).value_or(L"no time"); }
template <void (*F)(void*)>  // a SID as its text
std::wstring Text(const UniqueSid<F>& sid) { return ConvertSID(sid.get()).value_or(L"no SID"); }
template <typename T>
std::wstring Text(const std::vector<T>& v) { std::wstring all; for (const T& x : v) all += Text(x) + L";"; return all; }
template <typename T, typename S>
std::wstring Show(const Result<T, S>& r) { return r ? L"ok " + Text(r.value()) : L"status " + Text(r.status()); }
std::wstring Failed(long status) { return L"status " + Text(status); }
const std::wstring invalid = Failed(ERROR_INVALID_PARAMETER);

TEST(CppRegistry, ReadsWritesListingsAndDeletionsGiveTheExportsAnswers) {
  zqtest::ScratchKey scratch(L"CppLayer");
  const HKEY root = scratch.Root();
  const std::wstring path = scratch.Path(), alpha = scratch.Sub(L"Alpha"), deep = scratch.Sub(L"Alpha\\Deep");
  const wchar_t* const key = path.c_str();
  scratch.SetRaw(L"", L"Bare", REG_SZ, L"abcd", 6);  // "abc" with no terminator (the next character is no NUL)
  scratch.SetString(L"", L"Expand", L"%TEMP%", REG_EXPAND_SZ);
  scratch.SetRaw(L"", L"Big", REG_QWORD, "\x88\x77\x66\x55\x44\x33\x22\x11", 8);
  scratch.CreateKey(L"Alpha\\Deep");
  EXPECT_EQ(RegWriteString(root, (path + L"\\Made\\Below").c_str(), L"", L""), ZQ_REG_OK);  // makes both keys
  EXPECT_EQ(RegWriteDword(root, key, L"Level", 7) + RegWriteString(root, key, L"Name", L"value text") +
                RegWriteMultiString(root, key, L"Multi", {L"one", L"two"}) + RegWriteBinary(root, key, L"Bytes", {9}) +
                RegWriteBinary(root, key, L"Empty", {}), ZQ_REG_OK);
  auto read = [&](auto reader, const wchar_t* name, DWORD s = 0) { return Show(reader(root, key, name, s)); };
  // The bytes stored: each string's terminator and the list's closing one.
  auto stored = [&](const wchar_t* name, DWORD size = 0, HKEY opened = nullptr) {
    RegOpenKeyExW(root, key, 0, KEY_READ, &opened);
    return RegQueryValueExW(opened, name, nullptr, nullptr, nullptr, &size), RegCloseKey(opened), Text(size);
  };
  const std::wstring wrong = Failed(ZQ_REG_WRONG_TYPE), error = Failed(ZQ_REG_ERROR), bad = Failed(ZQ_REG_BAD_ARGUMENT);
  EXPECT_EQ((Texts{stored(L"Name"), stored(L"Multi"), read(RegReadDword, L"Level"), read(RegReadQword, L"Big"),
                   read(RegReadString, L"Name"), read(RegReadString, L"Bare"), read(RegReadMultiString, L"Multi"),
                   read(RegReadBinary, L"Bytes"), read(RegReadBinary, L"Empty"), read(RegReadDword, L"Missing"),
                   read(RegReadDword, L"Name"), read(RegReadDword, L"Level", 0x300), read(RegReadQword, L"Level"),
                   read(RegReadString, L"Expand"), read(RegReadMultiString, L"Name"), read(RegReadBinary, L"Level")}),
            (Texts{L"22", L"18", L"ok 7", L"ok 1234605616436508552", L"ok value text", L"ok abc", L"ok one;two;",
                   L"ok 9;", L"ok ", error, error, bad, wrong, wrong, wrong, wrong}));
  // Listings; a filter drops the slots that it leaves alone. A second delete
  // fails; a key with subkeys stays unless recursive; subkeys go, values stay.
  EXPECT_EQ((Texts{Show(RegListValueNames(root, key)), Show(RegListValueNames(root, key, REG_BINARY)),
                   Show(RegListKeys(root, key)), Show(RegListKeys(root, deep.c_str())),
                   Show(RegListValueNames(root, deep.c_str())), Text(RegDeleteValue(root, key, L"Level")),
                   Text(RegDeleteValue(root, key, L"Level")), Text(RegDeleteKey(root, alpha.c_str(), false, 0x100)),
                   Text(RegDeleteKey(root, alpha.c_str(), true, 0x100)), Show(RegListKeys(root, key)),
                   Text(RegDeleteSubKeys(root, key, false)), Show(RegListKeys(root, key)), read(RegReadString, L"Name"),
                   Text(RegWriteString(root, key, L"x", L"y", 0x300)), Text(RegWriteDword(root, nullptr, L"x", 1))}),
            (Texts{L"ok Bare:1;Big:11;Bytes:3;Empty:3;Expand:2;Level:4;Multi:7;Name:1;", L"ok Bytes:3;Empty:3;",
                   L"ok Alpha;Made;", error, error, L"0", L"-1", L"-1", L"0", L"ok Made;", L"0", error,
                   L"ok value text", L"-3", L"-3"}));
}

int g_released = 0;
void CountRelease(void*) { ++g_released; }

TEST(CppOwners, FailedResultsHoldNoValueAndSidOwnersReleaseOnce) {
  EXPECT_THROW(RegReadDword(HKEY_CURRENT_USER, nullptr, L"x").value(), std::bad_optional_access);
  int a = 0, b = 0;
  {
    UniqueSid<CountRelease> first(&a), second(std::move(first));
    *second.put() = &b;  // put() releases what it held
    EXPECT_TRUE(!first && second.release() == &b && g_released == 1);  // moved, not released
    second.reset(&a), first = std::move(second);
    first = UniqueSid<CountRelease>(&b);  // a move-assignment releases what it held
  }
  EXPECT_EQ(g_released, 3);
}

TEST(CppAccounts, NamesAndSidsMatchTheExports) {
  wchar_t user[256] = {}, domain[256] = {}, sid[256] = {};
  DWORD userChars = 256, domainChars = 256, bytes = sizeof sid;
  HANDLE token = nullptr;
  ASSERT_EQ(zqNetGetCurrentUserAndDomainW(user, &userChars, domain, &domainChars), 0u);
  ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token) && zqSysObtainSIDW(token, sid, &bytes));
  const std::wstring account = L"ok " + std::wstring(domain) + L"\\" + user, accountSid = L"ok " + std::wstring(sid);
  EXPECT_EQ(
      (Texts{Show(GetCurrentUserAndDomain()), Show(GetCurrentProcessUserAndDomain()),
             Show(ConvertUserIdToNETBIOS(L"CORP\\jdoe", L"OTHER")), Show(ConvertUserIdToNETBIOS(L"jdoe", L"LAB more")),
             Show(GetUserNameFromUserId(L"jdoe@corp.example")), Show(GetUserNameFromUserId(L"CORP\\jdoe")),
             Show(GetUserNameFromUserId(L"CORP\\")), Show(ObtainSID(token)), Show(LookupUserName(user, domain)),
             Show(GetUserSID(user, domain)), Show(LookupUserName(L"", domain)), Show(ConvertSID(nullptr)),
             Show(ConvertUserIdToNETBIOS(nullptr, L"LAB")), Show(GetNETBIOSDomainNameFromUPN(nullptr)),
             Show(GetUserNameDomainFromUPN(nullptr)), Show(GetInitialUserNameBeforeRename(nullptr, L""))}),
      (Texts{account, account, L"ok CORP\\jdoe", L"ok LAB\\jdoe", L"ok jdoe", L"ok jdoe", Failed(0), accountSid,
             accountSid, accountSid, Failed(0), Failed(ERROR_INVALID_SID), invalid, invalid, invalid, invalid}));
  CloseHandle(token);
  // The owner of the account lookup's SID frees it on the export's heap.
  EXPECT_TRUE(HeapValidate(GetProcessHeap(), 0, LookupUserName(user, domain).value().get()));
}

TEST(CppSys, DrivesAndTimesMatchTheExports) {
  wchar_t drive[8] = {}, text[kISO8601Chars] = {};
  DWORD chars = 8;
  int status = 0, steps = 0;
  // The walk to the end (the export's buffer holds the drive before): the
  // same drives and the same closing status.
  for (std::wstring after; status == 0 && ++steps <= 27; after = drive) {
    status = zqSysGetFixedDriveW(drive, &(chars = 8));
    EXPECT_EQ(Show(GetFixedDrive(after)), status ? Failed(status) : L"ok " + std::wstring(drive));
  }
  EXPECT_EQ(status, ERROR_INVALID_DRIVE);
  auto compare = [](const wchar_t* a, const wchar_t* b) { return Show(CompareISO8601(a, b)); };
  EXPECT_EQ((Texts{Show(GetFixedDrive(L"C:\\")), Show(GetSystemDrive()),
                   Show(SystemTimeToISO8601({2024, 2, 4, 29, 23, 59, 58, 1})), Show(LargeIntegerToISO8601(-1)),
                   Show(LargeIntegerToISO8601(132354792000000000LL)), Show(ISO8601ToLargeInteger(L"2020-06-01T10:00Z")),
                   Show(ISO8601ToSystemTime(L"2020-06-01T12:00:00+02:00")), Show(ISO8601ToSystemTime(L"2020-6-1")),
                   Show(ISO8601ToLargeInteger(nullptr)), compare(L"2020-01-01T00Z", L"2021-01-01T00Z"),
                   compare(L"2021-01-01T00Z", L"2020-01-01T00Z"), compare(L"bad", L"2020"),
                   compare(L"2020-06-01T12:00+02:00", L"2020-06-01T10:00Z")}),
            (Texts{Show(GetFixedDrive(L"C:")), L"ok " + std::wstring(_wgetenv(L"SystemDrive")),
                   L"ok 2024-02-29T23:59:58Z", invalid, L"ok 2020-06-01T10:00:00Z", L"ok 132354792000000000",
                   L"ok 2020-06-01T10:00:00Z", invalid, invalid, L"ok -1", L"ok 1", invalid, L"ok 0"}));
  // The clock may turn between two calls: the helper's text is one of the
  // export's two around it.
  for (auto [exported, helper] : {std::pair(zqSysCurrentTimeToISO8601, CurrentTimeToISO8601),
                                  std::pair(zqSysCurrentLocalTimeToISO8601, CurrentLocalTimeToISO8601)}) {
    auto exportedText = [&] { return exported(text, &(chars = 21)) ? Failed(1) : L"ok " + std::wstring(text); };
    const std::wstring before = exportedText(), now = Show(helper());
    EXPECT_TRUE(now == before || now == exportedText()) << now;
  }
}

TEST(CppToasts, OwnerGivesEveryCreateBackOnce) {
  const wchar_t kBridge[] = L"vx.platutil.winrt.dll";  // next to this program; each create holds a reference
  {
    UniqueToastManager owner = UniqueToastManager::Create(L"Title", L"Text", false), moved = std::move(owner);
    owner.reset();  // owes nothing: the bridge stays
    EXPECT_TRUE(moved && moved.owes_delete() && !owner.owes_delete() && GetModuleHandleW(kBridge));
    EXPECT_FALSE(moved->HideToast());  // no toast is up
  }
  EXPECT_EQ(GetModuleHandleW(kBridge), nullptr);  // the moved-to owner gave it back
}
