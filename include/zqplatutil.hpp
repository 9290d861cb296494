// zqplatutilu.dll for C++17 callers: a header-only layer over the C exports.
//
// Each helper calls the export named in its comment and hands back what that
// export answers, as a value instead of out-parameters:
// - Result<T, Status> holds the value or the export's status (never both);
// - string helpers make the size query, size the buffer and make the second
//   call; when the data grow between the two calls they ask again;
// - owners release what the library hands out, the way the export says
//   (SIDs of the account and SID lookups, toast managers).
// No helper logs, caches or checks anything of its own: arguments go to the
// export unchanged and every status is the export's. Helpers take and give
// wide strings (the W exports); narrow callers use the A exports directly.
//
// Statuses: the registry helpers give the ZQ_REG_* codes (int); the account,
// SID, drive and time helpers the export's Win32 code. For an export that
// answers with a BOOL, the status is the thread's last error after the call
// (cleared to 0 before it, so 0 means the export gave no reason).
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "zqnet.h"
#include "zqregistry.h"
#include "zqsys.h"
#include "zqtoast.h"

namespace zq::cpp {

// ---- Result ----------------------------------------------------------------

// The value of a call that succeeded, or the status of one that did not.
// value() on a failed result throws std::bad_optional_access.
template <typename T, typename Status = int>
class Result {
 public:
  static Result Success(T value) { return Result(ValueTag{}, std::move(value)); }
  static Result Failure(Status status) { return Result(StatusTag{}, status); }

  bool ok() const noexcept { return value_.has_value(); }
  explicit operator bool() const noexcept { return ok(); }
  // The export's status: its success code (0) when ok().
  Status status() const noexcept { return status_; }

  const T& value() const& { return value_.value(); }
  T& value() & { return value_.value(); }
  T&& value() && { return std::move(value_.value()); }
  T value_or(T fallback) const& { return value_.value_or(std::move(fallback)); }

 private:
  struct ValueTag {};
  struct StatusTag {};
  Result(ValueTag, T value) : value_(std::move(value)), status_{} {}
  Result(StatusTag, Status status) : status_(status) {}

  std::optional<T> value_;
  Status status_;
};

namespace detail {

// How often a helper asks again when the data grew between its two calls.
inline constexpr int kAttempts = 4;

// The last error of a BOOL export, cleared first so that no older code is
// taken for the export's reason.
template <typename Call>
DWORD BoolCall(Call&& call, BOOL* succeeded) {
  SetLastError(ERROR_SUCCESS);
  *succeeded = call();
  return *succeeded ? ERROR_SUCCESS : GetLastError();
}

// A count of bytes as whole characters, up to the first NUL.
inline std::wstring TextOf(const wchar_t* data, std::size_t chars) {
  std::size_t length = 0;
  while (length < chars && data[length] != L'\0') ++length;
  return std::wstring(data, length);
}

}  // namespace detail

// ---- Owners ----------------------------------------------------------------

// A SID block with the release that its export names. Move-only; get() lends
// the SID, release() gives it up.
template <void (*Free)(void*)>
class UniqueSid {
 public:
  UniqueSid() = default;
  explicit UniqueSid(void* sid) noexcept : sid_(sid) {}
  ~UniqueSid() { reset(); }
  UniqueSid(UniqueSid&& other) noexcept : sid_(other.release()) {}
  UniqueSid& operator=(UniqueSid&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  UniqueSid(const UniqueSid&) = delete;
  UniqueSid& operator=(const UniqueSid&) = delete;

  PSID get() const noexcept { return sid_; }
  explicit operator bool() const noexcept { return sid_ != nullptr; }
  void* release() noexcept { return std::exchange(sid_, nullptr); }
  void reset(void* sid = nullptr) noexcept {
    if (sid_) Free(sid_);
    sid_ = sid;
  }
  // For the export that fills it.
  void** put() noexcept {
    reset();
    return &sid_;
  }

 private:
  void* sid_ = nullptr;
};

namespace detail {
inline void FreeProcessHeapBlock(void* block) { HeapFree(GetProcessHeap(), 0, block); }
inline void FreeRuntimeBlock(void* block) { std::free(block); }
}  // namespace detail

// The SID of zqNetLookupUserNameW: a block on the process heap (HeapFree).
using UniqueProcessHeapSid = UniqueSid<detail::FreeProcessHeapBlock>;
// The SID of zqSysGetUserSIDW/A: a block of the runtime heap (free).
using UniqueCallocSid = UniqueSid<detail::FreeRuntimeBlock>;

// ---- Registry (zqregistry.h) -----------------------------------------------

// zqRegReadDWORDValueExW.
inline Result<DWORD> RegReadDword(HKEY root, const wchar_t* key, const wchar_t* valueName,
                                  DWORD section = ZQ_REG_SECTION_DEFAULT) {
  DWORD value = 0;
  int status = zqRegReadDWORDValueExW(root, key, valueName, &value, section);
  return status == ZQ_REG_OK ? Result<DWORD>::Success(value) : Result<DWORD>::Failure(status);
}

// zqRegReadValueExW with the type REG_QWORD.
inline Result<ULONGLONG> RegReadQword(HKEY root, const wchar_t* key, const wchar_t* valueName,
                                      DWORD section = ZQ_REG_SECTION_DEFAULT) {
  ULONGLONG value = 0;
  DWORD type = REG_QWORD;
  DWORD size = sizeof value;
  int status = zqRegReadValueEx(root, key, valueName, &type, &value, &size, section);
  return status == ZQ_REG_OK ? Result<ULONGLONG>::Success(value) : Result<ULONGLONG>::Failure(status);
}

namespace detail {

// A sized read: size query with a null buffer, then the read, again while
// the value grows in between. The bytes exactly as stored.
template <typename Read>
Result<std::vector<BYTE>> ReadBytes(Read&& read) {
  for (int attempt = 1;; ++attempt) {
    DWORD size = 0;
    int status = read(nullptr, &size);
    if (status != ZQ_REG_OK) return Result<std::vector<BYTE>>::Failure(status);
    std::vector<BYTE> data(size);
    status = read(data.empty() ? nullptr : data.data(), &size);
    if (status == ZQ_REG_MORE_DATA && attempt < kAttempts) continue;
    if (status != ZQ_REG_OK) return Result<std::vector<BYTE>>::Failure(status);
    data.resize(size);
    return Result<std::vector<BYTE>>::Success(std::move(data));
  }
}

// A byte count of wide characters, rounded down to whole characters.
inline std::vector<wchar_t> WideOf(const std::vector<BYTE>& bytes) {
  std::vector<wchar_t> chars(bytes.size() / sizeof(wchar_t));
  if (!chars.empty()) std::memcpy(chars.data(), bytes.data(), chars.size() * sizeof(wchar_t));
  return chars;
}

}  // namespace detail

// zqRegReadBinaryValueEx: the stored bytes.
inline Result<std::vector<BYTE>> RegReadBinary(HKEY root, const wchar_t* key, const wchar_t* valueName,
                                               DWORD section = ZQ_REG_SECTION_DEFAULT) {
  return detail::ReadBytes([&](BYTE* data, DWORD* size) {
    return zqRegReadBinaryValueEx(root, key, valueName, data, size, section);
  });
}

// zqRegReadStringValueExW: the text up to its first NUL (the stored data need
// not hold one; then all of it).
inline Result<std::wstring> RegReadString(HKEY root, const wchar_t* key, const wchar_t* valueName,
                                          DWORD section = ZQ_REG_SECTION_DEFAULT) {
  auto bytes = detail::ReadBytes([&](BYTE* data, DWORD* size) {
    return zqRegReadStringValueExW(root, key, valueName, reinterpret_cast<wchar_t*>(data), size, section);
  });
  if (!bytes) return Result<std::wstring>::Failure(bytes.status());
  std::vector<wchar_t> chars = detail::WideOf(bytes.value());
  return Result<std::wstring>::Success(detail::TextOf(chars.data(), chars.size()));
}

// zqRegReadMultiStringValueExW: the strings up to the first empty one.
inline Result<std::vector<std::wstring>> RegReadMultiString(HKEY root, const wchar_t* key, const wchar_t* valueName,
                                                            DWORD section = ZQ_REG_SECTION_DEFAULT) {
  using Strings = std::vector<std::wstring>;
  auto bytes = detail::ReadBytes([&](BYTE* data, DWORD* size) {
    return zqRegReadMultiStringValueExW(root, key, valueName, reinterpret_cast<wchar_t*>(data), size, section);
  });
  if (!bytes) return Result<Strings>::Failure(bytes.status());
  std::vector<wchar_t> chars = detail::WideOf(bytes.value());
  Strings strings;
  for (std::size_t at = 0; at < chars.size();) {
    std::wstring one = detail::TextOf(chars.data() + at, chars.size() - at);
    if (one.empty()) break;
    at += one.size() + 1;
    strings.push_back(std::move(one));
  }
  return Result<Strings>::Success(std::move(strings));
}

// zqRegWriteDWORDValueExW.
inline int RegWriteDword(HKEY root, const wchar_t* key, const wchar_t* valueName, DWORD value,
                         DWORD section = ZQ_REG_SECTION_DEFAULT) {
  return zqRegWriteDWORDValueEx(root, key, valueName, value, section);
}

// zqRegWriteStringValueEx with the text and its terminator.
inline int RegWriteString(HKEY root, const wchar_t* key, const wchar_t* valueName, const std::wstring& text,
                          DWORD section = ZQ_REG_SECTION_DEFAULT) {
  const DWORD bytes = static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t));
  return zqRegWriteStringValueEx(root, key, valueName, text.c_str(), bytes, section);
}

// zqRegWriteMultiStringValueEx with each string's terminator and the closing
// empty string. An empty string among them would end the list early when
// read back; it is stored as given.
inline int RegWriteMultiString(HKEY root, const wchar_t* key, const wchar_t* valueName,
                               const std::vector<std::wstring>& strings, DWORD section = ZQ_REG_SECTION_DEFAULT) {
  std::wstring joined;
  for (const std::wstring& one : strings) joined.append(one).push_back(L'\0');
  joined.push_back(L'\0');
  const DWORD bytes = static_cast<DWORD>(joined.size() * sizeof(wchar_t));
  return zqRegWriteMultiStringValueEx(root, key, valueName, joined.data(), bytes, section);
}

// zqRegWriteBinaryValueEx.
inline int RegWriteBinary(HKEY root, const wchar_t* key, const wchar_t* valueName, const std::vector<BYTE>& data,
                          DWORD section = ZQ_REG_SECTION_DEFAULT) {
  return zqRegWriteBinaryValueEx(root, key, valueName, data.data(), static_cast<DWORD>(data.size()), section);
}

// One value of a listing.
struct RegValueName {
  std::wstring name;
  DWORD type = REG_NONE;
  bool operator==(const RegValueName& other) const { return name == other.name && type == other.type; }
};

// zqRegListValueNamesEx: counts, then lists. With a filter other than
// ZQ_REG_ANY_TYPE only the values of that type are returned.
inline Result<std::vector<RegValueName>> RegListValueNames(HKEY root, const wchar_t* key,
                                                           DWORD typeFilter = ZQ_REG_ANY_TYPE,
                                                           DWORD section = ZQ_REG_SECTION_DEFAULT) {
  using Names = std::vector<RegValueName>;
  for (int attempt = 1;; ++attempt) {
    int count = 0;
    int status = zqRegListValueNamesEx(root, key, nullptr, &count, typeFilter, section);
    if (status != ZQ_REG_OK) return Result<Names>::Failure(status);
    // One slot more than counted tells a list that grew from one that did not.
    const int capacity = count + 1;
    // A type that no stored element of this listing can have marks the slots
    // that the filter leaves alone.
    const DWORD unwritten = typeFilter == ZQ_REG_ANY_TYPE ? ZQ_REG_ANY_TYPE : ~typeFilter;
    std::vector<ZQ_REG_VALUE_ENTRY> entries(static_cast<std::size_t>(capacity));
    for (ZQ_REG_VALUE_ENTRY& entry : entries) entry.dwType = unwritten;
    int walked = capacity;
    status = zqRegListValueNamesEx(root, key, entries.data(), &walked, typeFilter, section);
    if (status != ZQ_REG_OK) return Result<Names>::Failure(status);
    if (walked == capacity && attempt < detail::kAttempts) continue;
    Names names;
    for (int i = 0; i < walked; ++i) {
      if (entries[static_cast<std::size_t>(i)].dwType == unwritten) continue;
      names.push_back({entries[static_cast<std::size_t>(i)].szName, entries[static_cast<std::size_t>(i)].dwType});
    }
    return Result<Names>::Success(std::move(names));
  }
}

// zqRegListKeysEx: counts, then lists the subkey names.
inline Result<std::vector<std::wstring>> RegListKeys(HKEY root, const wchar_t* key,
                                                     DWORD section = ZQ_REG_SECTION_DEFAULT) {
  using Names = std::vector<std::wstring>;
  for (int attempt = 1;; ++attempt) {
    int count = 0;
    int status = zqRegListKeysEx(root, key, nullptr, &count, section);
    if (status != ZQ_REG_OK) return Result<Names>::Failure(status);
    const int capacity = count + 1;
    std::vector<ZQ_REG_SUBKEY_SLOT> slots(static_cast<std::size_t>(capacity));
    int walked = capacity;
    status = zqRegListKeysEx(root, key, slots.data(), &walked, section);
    if (status != ZQ_REG_OK) return Result<Names>::Failure(status);
    if (walked == capacity && attempt < detail::kAttempts) continue;
    Names names;
    for (int i = 0; i < walked; ++i) names.emplace_back(slots[static_cast<std::size_t>(i)].szName);
    return Result<Names>::Success(std::move(names));
  }
}

// zqRegDeleteValue.
inline int RegDeleteValue(HKEY root, const wchar_t* key, const wchar_t* valueName,
                          DWORD section = ZQ_REG_SECTION_DEFAULT) {
  return zqRegDeleteValue(root, key, valueName, section);
}

// zqRegDeleteKey (a section of 0 means the 32-bit view there).
inline int RegDeleteKey(HKEY root, const wchar_t* key, bool recursive, DWORD section = ZQ_REG_SECTION_DEFAULT) {
  return zqRegDeleteKey(root, key, recursive ? 1 : 0, section);
}

// zqRegDeleteSubKey.
inline int RegDeleteSubKeys(HKEY root, const wchar_t* key, bool deleteSelf, DWORD section = ZQ_REG_SECTION_DEFAULT) {
  return zqRegDeleteSubKey(root, key, section, deleteSelf ? 1 : 0);
}

// ---- Accounts (zqnet.h) ----------------------------------------------------

struct UserAndDomain {
  std::wstring user;
  std::wstring domain;
};

namespace detail {

// Two-buffer exports whose counts include the terminator: the call with
// null buffers, then with buffers of the counts it gave, again while a name
// grows in between. `sizeQueryStatus` is what the first call answers when
// it sets the counts (0, or 122 for an export that needs both buffers).
template <typename Call>
Result<UserAndDomain, DWORD> TwoNames(DWORD sizeQueryStatus, Call&& call) {
  for (int attempt = 1;; ++attempt) {
    DWORD userChars = 0;
    DWORD domainChars = 0;
    DWORD status = call(nullptr, &userChars, nullptr, &domainChars);
    if (status != sizeQueryStatus) return Result<UserAndDomain, DWORD>::Failure(status);
    std::vector<wchar_t> user(userChars + 1);
    std::vector<wchar_t> domain(domainChars + 1);
    userChars = static_cast<DWORD>(user.size());
    domainChars = static_cast<DWORD>(domain.size());
    status = call(user.data(), &userChars, domain.data(), &domainChars);
    if (status == ERROR_INSUFFICIENT_BUFFER && attempt < kAttempts) continue;
    if (status != ERROR_SUCCESS) return Result<UserAndDomain, DWORD>::Failure(status);
    return Result<UserAndDomain, DWORD>::Success(
        {TextOf(user.data(), user.size()), TextOf(domain.data(), domain.size())});
  }
}

// One-buffer BOOL exports: the size query with a null buffer (`querySucceeds`:
// whether it answers TRUE or FALSE with `queryError`), then the call with a
// buffer of `extra` characters more than the count it gave.
template <typename Call>
Result<std::wstring, DWORD> OneName(bool querySucceeds, DWORD queryError, DWORD extra, Call&& call) {
  for (int attempt = 1;; ++attempt) {
    DWORD count = 0;
    BOOL succeeded = FALSE;
    DWORD status = BoolCall([&] { return call(nullptr, &count); }, &succeeded);
    if (querySucceeds ? !succeeded : status != queryError) {
      return Result<std::wstring, DWORD>::Failure(status);
    }
    std::vector<wchar_t> buffer(count + extra + 1);
    count += extra;
    status = BoolCall([&] { return call(buffer.data(), &count); }, &succeeded);
    if (!succeeded && (status == ERROR_INSUFFICIENT_BUFFER || status == ERROR_MORE_DATA) && attempt < kAttempts) {
      continue;
    }
    if (!succeeded) return Result<std::wstring, DWORD>::Failure(status);
    return Result<std::wstring, DWORD>::Success(TextOf(buffer.data(), buffer.size()));
  }
}

}  // namespace detail

// zqNetGetCurrentUserAndDomainW: the session's user and domain.
inline Result<UserAndDomain, DWORD> GetCurrentUserAndDomain() {
  return detail::TwoNames(ERROR_SUCCESS, [](wchar_t* user, DWORD* userChars, wchar_t* domain, DWORD* domainChars) {
    return zqNetGetCurrentUserAndDomainW(user, userChars, domain, domainChars);
  });
}

// zqNetGetCurrentProcessUserAndDomainW: the process token's user and domain.
inline Result<UserAndDomain, DWORD> GetCurrentProcessUserAndDomain() {
  return detail::TwoNames(ERROR_INSUFFICIENT_BUFFER,
                          [](wchar_t* user, DWORD* userChars, wchar_t* domain, DWORD* domainChars) {
                            return zqNetGetCurrentProcessUserAndDomainW(user, userChars, domain, domainChars);
                          });
}

// zqNetConvertUserIdToNETBIOSW: user name and NETBIOS domain of any user id.
inline Result<UserAndDomain, DWORD> ConvertUserIdToNETBIOS(const wchar_t* userId, const wchar_t* domainName) {
  return detail::TwoNames(ERROR_SUCCESS,
                          [&](wchar_t* user, DWORD* userChars, wchar_t* domain, DWORD* domainChars) {
                            return zqNetConvertUserIdToNETBIOSW(userId, domainName, user, userChars, domain,
                                                                domainChars);
                          });
}

// zqNetGetNETBIOSDomainNameFromUPNW (its count leaves out the terminator).
inline Result<std::wstring, DWORD> GetNETBIOSDomainNameFromUPN(const wchar_t* dnsDomain) {
  return detail::OneName(true, 0, 0, [&](wchar_t* buffer, DWORD* count) {
    return zqNetGetNETBIOSDomainNameFromUPNW(dnsDomain, buffer, count);
  });
}

// zqNetGetUserNameDomainFromUPNW: "NETBIOS\user" of a UPN. The directory's
// size query answers without a count; the second call then gets the room a
// SAM-compatible name can take (256 characters) and asks again when it needs
// more.
inline Result<std::wstring, DWORD> GetUserNameDomainFromUPN(const wchar_t* upn) {
  return detail::OneName(true, 0, 0, [&](wchar_t* buffer, DWORD* count) {
    if (buffer && *count == 0) *count = 256;
    return zqNetGetUserNameDomainFromUPNW(upn, buffer, count);
  });
}

// zqNetGetUserNameFromUserIdW: the bare user name of an id.
inline Result<std::wstring, DWORD> GetUserNameFromUserId(const wchar_t* userId) {
  return detail::OneName(true, 0, 0, [&](wchar_t* buffer, DWORD* count) {
    return zqNetGetUserNameFromUserIdW(userId, buffer, count);
  });
}

// zqNetGetInitialUserNameBeforeRenameW: the user name of the account's profile.
inline Result<std::wstring, DWORD> GetInitialUserNameBeforeRename(const wchar_t* userName,
                                                                  const wchar_t* domainName) {
  return detail::OneName(false, ERROR_MORE_DATA, 0, [&](wchar_t* buffer, DWORD* count) {
    return zqNetGetInitialUserNameBeforeRenameW(userName, domainName, buffer, count);
  });
}

// zqNetLookupUserNameW: the account's SID, owned (process heap).
inline Result<UniqueProcessHeapSid, DWORD> LookupUserName(const wchar_t* userName, const wchar_t* domainName) {
  UniqueProcessHeapSid sid;
  BOOL succeeded = FALSE;
  DWORD status = detail::BoolCall(
      [&] { return zqNetLookupUserNameW(userName, domainName, reinterpret_cast<PSID*>(sid.put())); }, &succeeded);
  if (!succeeded) return Result<UniqueProcessHeapSid, DWORD>::Failure(status);
  return Result<UniqueProcessHeapSid, DWORD>::Success(std::move(sid));
}

// ---- SIDs, tokens, drives, time (zqsys.h) ----------------------------------

// zqSysGetUserSIDW: the account's SID, owned (runtime heap). A block that
// the export leaves behind a failure is freed here. Success may come without
// a SID (see zqsys.h); the owner is then empty.
inline Result<UniqueCallocSid, DWORD> GetUserSID(const wchar_t* user, const wchar_t* domain) {
  UniqueCallocSid sid;
  DWORD status = zqSysGetUserSIDW(user, domain, sid.put());
  if (status != ERROR_SUCCESS) return Result<UniqueCallocSid, DWORD>::Failure(status);
  return Result<UniqueCallocSid, DWORD>::Success(std::move(sid));
}

namespace detail {

// The SID-to-text exports: a size query (null buffer, size 0, answering 122
// with the size in bytes), then the conversion.
template <typename Call>
Result<std::wstring, DWORD> SidText(Call&& call) {
  DWORD bytes = 0;
  BOOL succeeded = FALSE;
  DWORD status = BoolCall([&] { return call(nullptr, &bytes); }, &succeeded);
  if (succeeded) return Result<std::wstring, DWORD>::Success(std::wstring());
  if (status != ERROR_INSUFFICIENT_BUFFER) return Result<std::wstring, DWORD>::Failure(status);
  std::vector<wchar_t> text(bytes / sizeof(wchar_t) + 1);
  status = BoolCall([&] { return call(text.data(), &bytes); }, &succeeded);
  if (!succeeded) return Result<std::wstring, DWORD>::Failure(status);
  return Result<std::wstring, DWORD>::Success(TextOf(text.data(), text.size()));
}

}  // namespace detail

// zqSysConvertSIDW: "S-1-...".
inline Result<std::wstring, DWORD> ConvertSID(PSID sid) {
  return detail::SidText([&](wchar_t* text, DWORD* bytes) { return zqSysConvertSIDW(sid, text, bytes); });
}

// zqSysObtainSIDW: the token user's SID as text. A token whose query answers
// without data gives an empty text, as the export's TRUE does.
inline Result<std::wstring, DWORD> ObtainSID(HANDLE token) {
  return detail::SidText([&](wchar_t* text, DWORD* bytes) { return zqSysObtainSIDW(token, text, bytes); });
}

namespace detail {

// The drive exports: the size query, then the call with the input text in a
// buffer of that size (or larger, for a longer input).
template <typename Call>
Result<std::wstring, int> DriveText(const std::wstring& input, Call&& call) {
  DWORD chars = 0;
  int status = call(nullptr, &chars);
  if (status != 0) return Result<std::wstring, int>::Failure(status);
  std::vector<wchar_t> buffer(chars > input.size() ? chars : input.size() + 1, L'\0');
  input.copy(buffer.data(), input.size());
  chars = static_cast<DWORD>(buffer.size());
  status = call(buffer.data(), &chars);
  if (status != 0) return Result<std::wstring, int>::Failure(status);
  return Result<std::wstring, int>::Success(TextOf(buffer.data(), buffer.size()));
}

}  // namespace detail

// zqSysGetFixedDriveW: the first fixed drive ("C:"), or the next one after
// `after`; 15 when none is left.
inline Result<std::wstring, int> GetFixedDrive(const std::wstring& after = std::wstring()) {
  return detail::DriveText(after, [](wchar_t* buffer, DWORD* chars) { return zqSysGetFixedDriveW(buffer, chars); });
}

// zqSysGetSystemDriveW: "SystemDrive" in the capacity the export asks for
// (3 characters: a longer value comes back cut, as from the export).
inline Result<std::wstring, int> GetSystemDrive() {
  return detail::DriveText(std::wstring(),
                           [](wchar_t* buffer, DWORD* chars) { return zqSysGetSystemDriveW(buffer, chars); });
}

// The text of the time formatting exports always takes 21 characters with its
// terminator, and they have no size query.
inline constexpr DWORD kISO8601Chars = 21;

namespace detail {

template <typename Call>
Result<std::wstring, DWORD> TimeText(Call&& call) {
  wchar_t text[kISO8601Chars] = {};
  DWORD chars = kISO8601Chars;
  DWORD status = call(text, &chars);
  if (status != ERROR_SUCCESS) return Result<std::wstring, DWORD>::Failure(status);
  return Result<std::wstring, DWORD>::Success(TextOf(text, kISO8601Chars));
}

}  // namespace detail

// zqSysSystemTimeToISO8601 on a copy of `time` (the export clears the day of
// week and milliseconds of the SYSTEMTIME it is given).
inline Result<std::wstring, DWORD> SystemTimeToISO8601(SYSTEMTIME time) {
  return detail::TimeText([&](wchar_t* text, DWORD* chars) { return zqSysSystemTimeToISO8601(&time, text, chars); });
}

// zqSysCurrentTimeToISO8601.
inline Result<std::wstring, DWORD> CurrentTimeToISO8601() {
  return detail::TimeText([](wchar_t* text, DWORD* chars) { return zqSysCurrentTimeToISO8601(text, chars); });
}

// zqSysCurrentLocalTimeToISO8601.
inline Result<std::wstring, DWORD> CurrentLocalTimeToISO8601() {
  return detail::TimeText([](wchar_t* text, DWORD* chars) { return zqSysCurrentLocalTimeToISO8601(text, chars); });
}

// zqSysLargeIntegerToISO8601 of a file time.
inline Result<std::wstring, DWORD> LargeIntegerToISO8601(LONGLONG fileTime) {
  LARGE_INTEGER value;
  value.QuadPart = fileTime;
  return detail::TimeText(
      [&](wchar_t* text, DWORD* chars) { return zqSysLargeIntegerToISO8601(&value, text, chars); });
}

// zqSysISO8601ToSystemTime: the UTC time of the text.
inline Result<SYSTEMTIME, DWORD> ISO8601ToSystemTime(const wchar_t* text) {
  SYSTEMTIME time = {};
  DWORD status = zqSysISO8601ToSystemTime(text, &time);
  if (status != ERROR_SUCCESS) return Result<SYSTEMTIME, DWORD>::Failure(status);
  return Result<SYSTEMTIME, DWORD>::Success(time);
}

// zqSysISO8601ToLargeInteger: the file time (UTC) of the text.
inline Result<LONGLONG, DWORD> ISO8601ToLargeInteger(const wchar_t* text) {
  LARGE_INTEGER value = {};
  DWORD status = zqSysISO8601ToLargeInteger(text, &value);
  if (status != ERROR_SUCCESS) return Result<LONGLONG, DWORD>::Failure(status);
  return Result<LONGLONG, DWORD>::Success(value.QuadPart);
}

// zqSysCompareISO8601: -1, 0 or 1, or the status of the step that failed.
inline Result<int, DWORD> CompareISO8601(const wchar_t* first, const wchar_t* second) {
  DWORD answer = zqSysCompareISO8601(first, second);
  if (answer == ZQ_SYS_ISO8601_EARLIER) return Result<int, DWORD>::Success(-1);
  if (answer == 0 || answer == 1) return Result<int, DWORD>::Success(static_cast<int>(answer));
  return Result<int, DWORD>::Failure(answer);
}

// ---- Toasts (zqtoast.h) ----------------------------------------------------

// A toast manager of zqCreateToastManager, given back with exactly one
// zqDeleteToastManager when the owner goes, also when the create answered
// null (that pairing keeps the bridge's reference count right). Move-only;
// a default-made owner holds no create and makes no call.
class UniqueToastManager {
 public:
  UniqueToastManager() = default;
  ~UniqueToastManager() { reset(); }
  UniqueToastManager(UniqueToastManager&& other) noexcept
      : manager_(std::exchange(other.manager_, nullptr)), created_(std::exchange(other.created_, false)) {}
  UniqueToastManager& operator=(UniqueToastManager&& other) noexcept {
    if (this != &other) {
      reset();
      manager_ = std::exchange(other.manager_, nullptr);
      created_ = std::exchange(other.created_, false);
    }
    return *this;
  }
  UniqueToastManager(const UniqueToastManager&) = delete;
  UniqueToastManager& operator=(const UniqueToastManager&) = delete;

  // zqCreateToastManager; the arguments go to the bridge unchanged.
  static UniqueToastManager Create(ZQ::Framework::secwstring first, ZQ::Framework::secwstring second, bool flag) {
    UniqueToastManager owner;
    owner.manager_ = ZQ::Framework::zqCreateToastManager(std::move(first), std::move(second), flag);
    owner.created_ = true;
    return owner;
  }

  ZQ::Framework::IVXToastManager* get() const noexcept { return manager_; }
  ZQ::Framework::IVXToastManager* operator->() const noexcept { return manager_; }
  // Whether the create gave a manager.
  explicit operator bool() const noexcept { return manager_ != nullptr; }
  // Whether a zqDeleteToastManager is still owed (also for a null manager).
  bool owes_delete() const noexcept { return created_; }
  // zqDeleteToastManager now, if one is owed.
  void reset() noexcept {
    if (created_) ZQ::Framework::zqDeleteToastManager(manager_);
    manager_ = nullptr;
    created_ = false;
  }

 private:
  ZQ::Framework::IVXToastManager* manager_ = nullptr;
  bool created_ = false;
};

}  // namespace zq::cpp
