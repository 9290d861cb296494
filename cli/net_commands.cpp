// "whoami" and "user" commands: everything goes through the library's account exports.
#include <windows.h>
#include <sddl.h>

#include <zqnet.h>

#include <vector>

#include "cli.h"

namespace cli {
namespace {

// "'NAME'" or "'NAME' in DOMAIN", as the user gave them.
std::wstring AccountText(const Args& args) {
  std::wstring text = L"'" + args[0] + L"'";
  return args.size() == 2 && !args[1].empty() ? text + L" in " + args[1] : text;
}

// Calls a user-and-domain export twice: for the sizes, then for the names.
template <typename Call>
DWORD TwoNames(Call call, std::wstring* user, std::wstring* domain) {
  DWORD userCount = 0;
  DWORD domainCount = 0;
  DWORD status = call(nullptr, &userCount, nullptr, &domainCount);
  if (status != ERROR_SUCCESS && status != ERROR_INSUFFICIENT_BUFFER) return status;
  std::vector<wchar_t> userBuffer(userCount + 1);
  std::vector<wchar_t> domainBuffer(domainCount + 1);
  status = call(userBuffer.data(), &userCount, domainBuffer.data(), &domainCount);
  if (status != ERROR_SUCCESS) return status;
  *user = userBuffer.data();
  *domain = domainBuffer.data();
  return ERROR_SUCCESS;
}

int RunWhoami(Args args) {
  if (int usage = NoArguments(args, L"whoami")) return usage;
  std::wstring user;
  std::wstring domain;
  DWORD status = TwoNames(zqNetGetCurrentUserAndDomainW, &user, &domain);
  if (status != ERROR_SUCCESS) return Fail(L"cannot tell the session's user: " + Win32Text(status));
  Out(L"session: " + domain + L"\\" + user);
  status = TwoNames(zqNetGetCurrentProcessUserAndDomainW, &user, &domain);
  if (status != ERROR_SUCCESS) return Fail(L"cannot tell the process token's user: " + Win32Text(status));
  Out(L"process: " + domain + L"\\" + user);
  return kExitOk;
}

int UserConvert(const Args& args) {
  if (int usage = UnknownOption(args)) return usage;
  if (args.empty() || args.size() > 2) return Usage(L"user convert ID [DOMAIN]");
  const wchar_t* domainName = args.size() == 2 ? args[1].c_str() : L"";
  std::wstring user;
  std::wstring domain;
  DWORD status = TwoNames(
      [&](wchar_t* u, DWORD* uc, wchar_t* d, DWORD* dc) {
        return zqNetConvertUserIdToNETBIOSW(args[0].c_str(), domainName, u, uc, d, dc);
      },
      &user, &domain);
  if (status != ERROR_SUCCESS) {
    size_t at = args[0].find(L'@');
    std::wstring why = at == std::wstring::npos ? L"" : L" (no NETBIOS domain found for '" + args[0].substr(at + 1) + L"')";
    return Fail(L"cannot convert user id '" + args[0] + L"'" + why + L": " + Win32Text(status));
  }
  Out(L"user: " + user);
  // A plain name without DOMAIN has none.
  Out(L"domain: " + (domain.empty() ? L"(none: give DOMAIN, or the id as user@dns.domain or DOMAIN\\user)" : domain));
  return kExitOk;
}

int UserSid(const Args& args) {
  if (int usage = UnknownOption(args)) return usage;
  if (args.empty() || args.size() > 2) return Usage(L"user sid NAME [DOMAIN]");
  PSID sid = nullptr;
  if (!zqNetLookupUserNameW(args[0].c_str(), args.size() == 2 ? args[1].c_str() : L"", &sid)) {
    DWORD error = GetLastError();
    return Fail(L"no account " + AccountText(args) + L" (nor in the user cache): " + Win32Text(error));
  }
  wchar_t* text = nullptr;
  BOOL converted = ConvertSidToStringSidW(sid, &text);
  HeapFree(GetProcessHeap(), 0, sid);
  if (!converted) return Fail(L"cannot render the SID of " + AccountText(args) + L": " + Win32Text(GetLastError()));
  Out(text);
  LocalFree(text);
  return kExitOk;
}

int UserInitialName(const Args& args) {
  if (int usage = UnknownOption(args)) return usage;
  if (args.empty() || args.size() > 2) return Usage(L"user initial-name NAME [DOMAIN]");
  const wchar_t* domain = args.size() == 2 ? args[1].c_str() : L"";
  DWORD count = 0;
  if (!zqNetGetInitialUserNameBeforeRenameW(args[0].c_str(), domain, nullptr, &count) &&
      GetLastError() != ERROR_MORE_DATA) {
    DWORD error = GetLastError();
    return Fail(L"no profile name for account " + AccountText(args) + L": " + Win32Text(error));
  }
  std::vector<wchar_t> name(count + 1);
  if (!zqNetGetInitialUserNameBeforeRenameW(args[0].c_str(), domain, name.data(), &count)) {
    DWORD error = GetLastError();
    return Fail(L"no profile name for account " + AccountText(args) + L": " + Win32Text(error));
  }
  Out(name.data());
  return kExitOk;
}

int RunUser(Args args) {
  if (args.empty()) return Usage(L"user convert|sid|initial-name ...");
  std::wstring sub = args[0];
  args.erase(args.begin());
  if (sub == L"convert") return UserConvert(args);
  if (sub == L"sid") return UserSid(args);
  if (sub == L"initial-name") return UserInitialName(args);
  return Usage(L"unknown user command '" + sub + L"'");
}

const wchar_t kWhoamiHelp[] =
    L"Accounts and the current user:\n"
    L"  whoami\n"
    L"      Print the session's user and domain, then the process token's.";

const wchar_t kUserHelp[] =
    L"  user convert ID [DOMAIN]\n"
    L"      Print the user name and NETBIOS domain of a UPN (user@dns.domain),\n"
    L"      a SAM-compatible name (DOMAIN\\user) or a plain name in DOMAIN.\n"
    L"  user sid NAME [DOMAIN]\n"
    L"      Print the account's SID (the user cache answers when the local\n"
    L"      security authority cannot).\n"
    L"  user initial-name NAME [DOMAIN]\n"
    L"      Print the user name the account's profile was made under.";

const Registration kWhoami{{L"whoami", kWhoamiHelp, RunWhoami}};
const Registration kUser{{L"user", kUserHelp, RunUser}};

}  // namespace
}  // namespace cli
