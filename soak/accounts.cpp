// Accounts, SIDs, tokens and drives from 4 threads: each answer (status, out
// parameters, last error) equals the same call's answer run alone.
#include "soak.h"

#include <sddl.h>

#include "zqnet.h"
#include "zqsys.h"

namespace soak {

const wchar_t* const kUsers[] = {L"", L"nobody-zqsoak", L"Administrator", L"SYSTEM", L"Guest", nullptr};
const wchar_t* const kSids[] = {L"S-1-5-18", L"S-1-1-0", L"S-1-5-32-544", L"S-1-5-21-1-2-3-500", L"S-1-0x123456789abc-7"};
const wchar_t* const kDrives[] = {L"", L"C:", L"C:\\", L"c:", L"Z:", L"Q:", L"C", L"::"};
const char* const kIds[] = {"user@example.test", "DOM\\user", "plain", "DOM\\", "", "a@b"};

// A buffer's text, never read past its end.
static string A(const wchar_t* w, size_t most = 128) { return string(w, w + wcsnlen(w, most)); }
static string A(const char* a, size_t most = 128) { return string(a, strnlen(a, most)); }

static string Op(int, bool underLoad, Rng& r, string& what, Tally& t) {
  int kind = static_cast<int>(r.Below(12)), pick = static_cast<int>(r.Below(6)), cap = r.Range(0, 90);
  bool nullBuffer = r.Chance(10), half = r.Chance(50);
  const wchar_t* drive = kDrives[r.Below(8)];
  DWORD size = static_cast<DWORD>(cap), other = r.Below(40), status = 0, error = 0;
  what = Str("op %d pick %d cap %d drive %s%s", kind, pick, cap, Show(drive).c_str(), nullBuffer ? " null buffer" : "");
  t.calls += underLoad;
  wchar_t w[128], domain[64];
  char a[128];
  wchar_t* wb = nullBuffer ? nullptr : w;
  char* ab = nullBuffer ? nullptr : a;
  wmemset(w, L'#', 128), memset(a, '#', 128);
  void *sid = nullptr, *token = nullptr;  // a SID, a token
  BYTE junk[16] = {9, 200, 1, 2, 3};  // not a SID
  SetLastError(0xdead);
  switch (kind) {
    case 0: case 1: {
      string user = kUsers[pick] ? A(kUsers[pick]) : "";
      status = kind ? zqSysGetUserSIDA(kUsers[pick] ? user.c_str() : nullptr, "", &sid)
                    : zqSysGetUserSIDW(kUsers[pick], L"", &sid);
      size = sizeof w;
      string text = sid && zqSysConvertSIDW(sid, w, &size) ? A(w) : "-";
      return free(sid), Str("%lu ", status) + text;
    }
    case 2: case 3: {
      if (pick < 5) ConvertStringSidToSidW(kSids[pick], &sid);
      PSID use = pick < 5 ? sid : half ? nullptr : junk;
      BOOL ok = kind == 2 ? zqSysConvertSIDW(use, wb, &size) : zqSysConvertSIDA(use, ab, &size);
      error = GetLastError(), LocalFree(sid);
      return Str("%d %lu size %lu ", ok, ok ? 0 : error, size) + (ok ? (kind == 2 ? A(w) : A(a)) : "");
    }
    case 4: case 5: {  // the process token, one without query access, an event, none
      if (pick < 4) OpenProcessToken(GetCurrentProcess(), pick == 3 ? TOKEN_ADJUST_DEFAULT : TOKEN_QUERY, &token);
      if (pick == 4) token = CreateEventW(nullptr, FALSE, FALSE, nullptr);
      BOOL ok = kind == 4 ? zqSysObtainSIDW(token, wb, &size) : zqSysObtainSIDA(token, ab, &size);
      error = GetLastError();
      if (token) CloseHandle(token);
      return Str("%d %lu size %lu ", ok, ok ? 0 : error, size) + (ok ? (kind == 4 ? A(w) : A(a)) : "");
    }
    case 6: return Str("%lu %d", zqGetIntegrityLevel(), zqIsAppContainer());
    case 7: case 8: {  // the drive walk and the system drive, buffer forms
      size = static_cast<DWORD>(cap % 6);
      wcscpy(w, drive), strcpy(a, A(drive).c_str());
      DWORD* pcch = pick == 5 ? nullptr : &size;
      int s1 = kind == 7 ? zqSysGetFixedDriveW(wb, pcch) : zqSysGetSystemDriveW(wb, pcch);
      int s2 = kind == 7 ? zqSysGetFixedDriveA(ab, pcch) : zqSysGetSystemDriveA(ab, pcch);
      return Str("%d %d size %lu ", s1, s2, size) + A(w, 8) + "|" + A(a, 8);
    }
    case 9: {
      wstring wide = drive, system;
      string narrow = A(drive);
      int s1 = zqSysGetFixedDrive(wide), s2 = zqSysGetFixedDrive(narrow), s3 = zqSysGetSystemDrive(system);
      return Str("%d %d %d ", s1, s2, s3) + A(wide.c_str()) + "|" + narrow + "|" + A(system.c_str());
    }
    case 10:  // the session's and the process's user and domain
      size %= 40;
      status = half ? zqNetGetCurrentUserAndDomainW(wb, &size, nullBuffer ? nullptr : domain, &other)
                    : zqNetGetCurrentProcessUserAndDomainW(wb, &size, nullBuffer ? nullptr : domain, &other);
      return Str("%lu %lu %lu ", status, size, other) + (status || nullBuffer ? "" : A(w) + "\\" + A(domain, 64));
    default:  // user ids to bare names
      status = zqNetGetUserNameFromUserIdA(pick == 5 && nullBuffer ? nullptr : kIds[pick], ab, &size);
      return Str("%lu size %lu ", status, size) + (status && !nullBuffer ? A(a) : "");
  }
}

void RunAccounts(const Options& o, Tally& t, bool warmup) {
  Differential("accounts", t, 4, warmup ? 100 : Count(o, 50000, 1000) / 4, o.seed ^ 0xacc, Op);
}

}  // namespace soak
