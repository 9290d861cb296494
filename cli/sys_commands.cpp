// "sid", "token", "drives" and "time" commands, over the library's system
// exports.
#include <zqsys.h>

#include <cstdlib>
#include <cwchar>
#include <cwctype>

#include "cli.h"

namespace cli {
namespace {

const wchar_t kAcceptedForms[] = L"DATE[(T| )TIME[(Z|+|-)OFFSET]], such as 2020-06-01T12:00:00+02:00";

std::wstring NotAccepted(const std::wstring& text) {
  return L"'" + text + L"' is not ISO 8601 text the library accepts";
}

// Years past 9999 do not fit the library's 20 characters: it cuts the text.
std::wstring YearNote(const LARGE_INTEGER& value) {
  FILETIME fileTime{static_cast<DWORD>(value.QuadPart), static_cast<DWORD>(value.QuadPart >> 32)};
  SYSTEMTIME st;
  if (!FileTimeToSystemTime(&fileTime, &st) || st.wYear <= 9999) return L"";
  return L"  (year " + std::to_wstring(st.wYear) + L": the library cuts years past 9999 to 20 characters)";
}

// The SID's text through the library's conversion: size first, then text.
bool SidText(PSID sid, std::wstring* text) {
  DWORD bytes = 0;
  zqSysConvertSIDW(sid, nullptr, &bytes);
  std::wstring buffer(bytes / sizeof(wchar_t), L'\0');
  if (!zqSysConvertSIDW(sid, buffer.data(), &bytes)) return false;
  *text = buffer.c_str();
  return true;
}

std::wstring CurrentUser() {
  wchar_t name[256];
  DWORD size = 256;
  return GetUserNameW(name, &size) ? name : L"";
}

// The account's domain when none is given: the user's logon domain, which is
// the machine's name for a local account.
std::wstring DefaultDomain() {
  wchar_t domain[256];
  if (GetEnvironmentVariableW(L"USERDOMAIN", domain, 256) - 1 < 255) return domain;
  DWORD size = 256;
  return GetComputerNameW(domain, &size) ? domain : L"";
}

int RunSid(Args args) {
  if (int usage = UnknownOption(args)) return usage;
  if (args.size() > 2) return Usage(L"sid [NAME [DOMAIN]]");
  std::wstring user = args.empty() ? CurrentUser() : args[0];
  std::wstring domain = args.size() == 2 ? args[1] : DefaultDomain();

  void* sid = nullptr;
  DWORD status = zqSysGetUserSIDW(user.c_str(), domain.c_str(), &sid);
  std::wstring text;
  bool converted = status == 0 && sid && SidText(sid, &text);
  free(sid);  // the library's block, whatever the status
  std::wstring account = L"'" + domain + L"\\" + user + L"'";
  if (status != 0) return Fail(L"no SID for account " + account + L": " + Win32Text(status));
  if (!converted) return Fail(L"cannot render the SID of " + account + L" as text: " + Win32Text(GetLastError()));
  Out(domain + L"\\" + user + L": " + text);

  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
    return Fail(L"cannot open the process token: " + Win32Text(GetLastError()));
  }
  wchar_t tokenText[512];
  DWORD bytes = sizeof tokenText;
  BOOL obtained = zqSysObtainSIDW(token, tokenText, &bytes);
  DWORD error = GetLastError();
  CloseHandle(token);
  if (!obtained) return Fail(L"cannot render the process token's user SID: " + Win32Text(error));
  Out(std::wstring(L"process token user: ") + tokenText);
  return kExitOk;
}

const wchar_t* LevelName(DWORD level) {
  if (level >= SECURITY_MANDATORY_PROTECTED_PROCESS_RID) return L"protected process";
  if (level >= SECURITY_MANDATORY_SYSTEM_RID) return L"system";
  if (level >= SECURITY_MANDATORY_HIGH_RID) return L"high";
  if (level > SECURITY_MANDATORY_MEDIUM_RID) return L"medium plus";
  if (level >= SECURITY_MANDATORY_MEDIUM_RID) return L"medium";
  if (level >= SECURITY_MANDATORY_LOW_RID) return L"low";
  return L"untrusted";
}

int RunToken(Args args) {
  if (int usage = NoArguments(args, L"token")) return usage;
  DWORD level = zqGetIntegrityLevel();
  wchar_t text[64];
  _snwprintf(text, 64, L"integrity level: 0x%04lx (%s)", level, LevelName(level));
  Out(text);
  Out(std::wstring(L"app container: ") + (zqIsAppContainer() ? L"yes" : L"no"));
  return kExitOk;
}

int RunDrives(Args args) {
  if (int usage = NoArguments(args, L"drives")) return usage;
  wchar_t buffer[MAX_PATH] = L"";
  DWORD size = MAX_PATH;
  int status = zqSysGetSystemDriveW(buffer, &size);
  if (status != 0) return Fail(L"cannot read the system drive (SystemDrive): " + Win32Text(static_cast<DWORD>(status)));
  Out(std::wstring(L"system drive: ") + buffer);

  // The walk: from nothing, each answer is where the next call continues.
  wchar_t drive[4] = L"";
  for (int visited = 0; visited < 26; ++visited) {
    size = 4;
    status = zqSysGetFixedDriveW(drive, &size);
    if (status == ERROR_INVALID_DRIVE) return kExitOk;
    if (status != 0) {
      return Fail(L"cannot find the fixed drive after '" + std::wstring(drive) + L"': " +
                  Win32Text(static_cast<DWORD>(status)));
    }
    Out(std::wstring(L"fixed drive: ") + drive);
  }
  return kExitOk;
}

int TimeNow(Args& args) {
  bool local = TakeFlag(args, L"--local");
  if (int usage = UnknownOption(args)) return usage;
  if (!args.empty()) return Usage(L"time now [--local]");
  wchar_t text[21];
  DWORD size = 21;
  DWORD status = local ? zqSysCurrentLocalTimeToISO8601(text, &size) : zqSysCurrentTimeToISO8601(text, &size);
  if (status != 0) return Fail(L"cannot format the current time: " + Win32Text(status));
  // The library ends the local wall-clock time with a Z all the same.
  Out(local ? std::wstring(text) + L"  (local wall-clock time; the Z is the library's)" : std::wstring(text));
  return kExitOk;
}

int TimeParse(const Args& args) {
  if (int usage = UnknownOption(args)) return usage;
  if (args.size() != 1) return Usage(L"time parse TEXT");
  const std::wstring& text = args[0];
  // Both conversions first: a text that only one of them takes prints nothing.
  SYSTEMTIME st;
  DWORD status = zqSysISO8601ToSystemTime(text.c_str(), &st);
  if (status != 0) return Fail(NotAccepted(text) + L" (" + kAcceptedForms + L"): " + Win32Text(status));
  LARGE_INTEGER value;
  status = zqSysISO8601ToLargeInteger(text.c_str(), &value);
  if (status != 0) {
    // A "Z" text comes back as it stands: the fields show what was not a date.
    wchar_t fields[64];
    _snwprintf(fields, 64, L"%04u-%02u-%02u %02u:%02u:%02u", st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute,
               st.wSecond);
    const wchar_t* hint = st.wDay == 0 ? L" (a day left out counts as 0: give it)" : L"";
    return Fail(NotAccepted(text) + L": it reads as " + fields + L", which is no date and time" + hint + L": " +
                Win32Text(status));
  }
  wchar_t line[96];
  _snwprintf(line, 96, L"UTC: %04u-%02u-%02u %02u:%02u:%02u (day of week %u", st.wYear, st.wMonth, st.wDay, st.wHour,
             st.wMinute, st.wSecond, st.wDayOfWeek);
  std::wstring out = line;
  // The library leaves the day of week 0 where no system conversion ran (a "Z" text).
  FILETIME fileTime{static_cast<DWORD>(value.QuadPart), static_cast<DWORD>(value.QuadPart >> 32)};
  SYSTEMTIME real;
  if (st.wDayOfWeek == 0 && FileTimeToSystemTime(&fileTime, &real) && real.wDayOfWeek != 0) {
    static const wchar_t* const kDays[] = {L"Sunday", L"Monday", L"Tuesday", L"Wednesday", L"Thursday", L"Friday", L"Saturday"};
    out += L": the library leaves it 0 for a \"Z\" text; the day is a " + std::wstring(kDays[real.wDayOfWeek]);
  }
  Out(out + L")");
  Out(L"file time: " + std::to_wstring(value.QuadPart));
  return kExitOk;
}

int TimeFormat(const Args& args) {
  if (int usage = UnknownOption(args)) return usage;
  if (args.size() != 1) return Usage(L"time format FILETIME");
  wchar_t* end = nullptr;
  errno = 0;
  unsigned long long number = wcstoull(args[0].c_str(), &end, 0);
  if (args[0].empty() || *end != L'\0' || errno != 0 || !iswdigit(args[0][0])) {
    return Usage(L"FILETIME is a number of 100-ns intervals since 1601");
  }
  LARGE_INTEGER value;
  value.QuadPart = static_cast<LONGLONG>(number);
  wchar_t text[21];
  DWORD size = 21;
  DWORD status = zqSysLargeIntegerToISO8601(&value, text, &size);
  if (status != 0) return Fail(L"cannot format file time " + args[0] + L": " + Win32Text(status));
  Out(text + YearNote(value));
  return kExitOk;
}

int TimeCompare(const Args& args) {
  if (int usage = UnknownOption(args)) return usage;
  if (args.size() != 2) return Usage(L"time compare A B");
  DWORD result = zqSysCompareISO8601(args[0].c_str(), args[1].c_str());
  switch (result) {
    case ZQ_SYS_ISO8601_EARLIER: Out(L"-1 (A is earlier)"); return kExitOk;
    case 0: Out(L"0 (the same instant)"); return kExitOk;
    case 1: Out(L"1 (A is later)"); return kExitOk;
    default: break;
  }
  // Name the text that does not parse.
  for (const std::wstring& text : args) {
    LARGE_INTEGER value;
    DWORD status = zqSysISO8601ToLargeInteger(text.c_str(), &value);
    if (status != 0) return Fail(L"cannot compare: " + NotAccepted(text) + L": " + Win32Text(status));
  }
  return Fail(L"cannot compare '" + args[0] + L"' and '" + args[1] + L"': " + Win32Text(result));
}

int RunTime(Args args) {
  if (args.empty()) return Usage(L"time now|parse|format|compare ...");
  std::wstring verb = args[0];
  args.erase(args.begin());
  if (verb == L"now") return TimeNow(args);
  if (verb == L"parse") return TimeParse(args);
  if (verb == L"format") return TimeFormat(args);
  if (verb == L"compare") return TimeCompare(args);
  return Usage(L"unknown time command '" + verb + L"'");
}

const wchar_t kSidHelp[] =
    L"SIDs and tokens:\n"
    L"  sid [NAME [DOMAIN]]\n"
    L"      Print the SID of DOMAIN\\NAME (default: the current user in the\n"
    L"      logon domain) and the user SID of the process token.";
const wchar_t kTokenHelp[] =
    L"  token\n"
    L"      Print the process's integrity level and whether it runs in an\n"
    L"      app container.";
const wchar_t kDrivesHelp[] =
    L"Drives and ISO 8601 time:\n"
    L"  drives\n"
    L"      Print the system drive and every fixed drive, in the system's order.";
const wchar_t kTimeHelp[] =
    L"  time now [--local]     the current UTC time (--local: the local wall-clock\n"
    L"                         time, which the library also ends with Z)\n"
    L"  time parse TEXT        TEXT as UTC fields and as a file time; TEXT is\n"
    L"                         DATE[(T| )TIME[(Z|+|-)OFFSET]], without a zone local time\n"
    L"  time format FILETIME   a file time (100-ns intervals since 1601) as text\n"
    L"                         (years past 9999 come back cut to 20 characters)\n"
    L"  time compare A B       -1, 0 or 1 as A is earlier, the same or later";

const Registration kSid{{L"sid", kSidHelp, RunSid}};
const Registration kToken{{L"token", kTokenHelp, RunToken}};
const Registration kDrives{{L"drives", kDrivesHelp, RunDrives}};
const Registration kTime{{L"time", kTimeHelp, RunTime}};

}  // namespace
}  // namespace cli
