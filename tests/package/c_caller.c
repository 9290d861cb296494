/* A C program linked with zqplatutilu.lib, the import library of the C
   exports: it uses a registry, a time and a SID export and prints what they
   answer. */
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>

#include <zqregistry.h>
#include <zqsys.h>

int main(void) {
  DWORD type = 0;
  DWORD bytes = 0;
  int status = zqRegReadValueEx(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows NT\\CurrentVersion",
                                L"CurrentVersion", &type, NULL, &bytes, ZQ_REG_SECTION_DEFAULT);
  printf("zqRegReadValueEx: %d type %lu\n", status, (unsigned long)type);

  DWORD order = zqSysCompareISO8601(L"2020-06-01T12:00:00+02:00", L"2020-06-01T10:00:01Z");
  printf("zqSysCompareISO8601: %ld\n", (long)(int)order);

  void* sid = NULL;
  DWORD lookup = zqSysGetUserSIDA("no-such-account-here", "", &sid);
  free(sid);
  printf("zqSysGetUserSIDA: %lu\n", (unsigned long)lookup);
  return 0;
}
