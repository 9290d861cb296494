// Installer custom actions and the Terminal Services test.
//
// The actions are meant for a package's CustomAction table (a DLL from the
// Binary table, entry point by name). They read their target from the
// session's "CustomActionData" property, so they run as deferred actions
// whose data a property-setting action has set. Windows Installer is not
// linked: each call loads "msi.dll" and releases it before it returns. They
// write nothing to the log.
//
// Every path is built in a buffer of MAX_PATH (260) wide characters with its
// terminator. A joined path that does not fit is skipped: nothing is deleted
// or scheduled under a cut-off name, so nothing outside the named folder is
// touched. A "CustomActionData" of 260 characters or more is not used at all
// (result ZQ_MSI_NO_ACTION_DATA), nor is an empty one by the folder actions,
// as it would make every path relative to the installer's current folder.
//
// A folder entry that is a link (junction or symbolic link) is removed as a
// link; the folder it points to is not searched.
//
// What cannot be deleted at once (a file held open, a read-only file, a
// folder that still has entries) is scheduled for deletion at the next
// restart with MoveFileExW(path, NULL, MOVEFILE_DELAY_UNTIL_REBOOT);
// a scheduling that fails is dropped. The system deletes no folder at restart
// that still holds files.
#pragma once

#include <windows.h>
#include <msi.h>

#include "zqexport.h"

// Results of the installer actions, besides the last error of a failed
// LoadLibraryW or GetProcAddress of "msi.dll" (which may take the same values
// 1 and 2: ERROR_INVALID_FUNCTION, ERROR_FILE_NOT_FOUND).
#define ZQ_MSI_OK 0                // ran to its end, whatever became of single files
#define ZQ_MSI_NO_COMMON_FILES 1   // "CommonProgramFiles" is not set (or 260 characters or more);
                                   // the first folder was handled
#define ZQ_MSI_NO_ACTION_DATA 2    // "CustomActionData" could not be read, is 260 characters or
                                   // more, or is empty for a folder action; nothing was touched

// Results of the Terminal Services test.
#define ZQ_TSE_DISABLED 0u           // connections denied, or the system has no Terminal suite
#define ZQ_TSE_ENABLED 1u            // "fDenyTSConnections" holds 0
#define ZQ_TSE_UNKNOWN 0xFFFFFFFFu   // the setting is missing, not a REG_DWORD, or longer than 4 bytes

// "CustomActionData" holds a folder path ending in a backslash, "D\". Removes
// "D\Resources\Merged\" and "%CommonProgramFiles%\Quorvane\Resources\Merged\"
// with everything in them, then schedules for deletion at restart, in this
// order: "D\Resources\", "D\", "D\" followed by "\..\" (the folder that holds
// D), "%CommonProgramFiles%\Quorvane\Resources\", "%CommonProgramFiles%\Quorvane\".
// Scheduled folders that still hold files stay. Returns ZQ_MSI_NO_COMMON_FILES, having
// removed the first folder and scheduled nothing, when the variable is unset.
ZQPLATUTIL_C_API UINT WINAPI MSIDeleteResourceFiles(MSIHANDLE hInstall);

// "CustomActionData" holds a file path: deletes it, or schedules it for
// deletion at restart when that fails. Returns ZQ_MSI_OK, also for an empty
// value, whose deletion and scheduling both fail.
ZQPLATUTIL_C_API UINT WINAPI MSIDeleteFile(MSIHANDLE hInstall);

// "CustomActionData" holds a folder path ending in a backslash, "D\". Empties
// "D\Resources\Merged\" and "%CommonProgramFiles%\Quorvane\Resources\Merged\",
// keeping the two folders themselves; subfolders are removed bottom-up.
// Returns ZQ_MSI_NO_COMMON_FILES after the first folder when the variable is unset.
ZQPLATUTIL_C_API UINT WINAPI MSICleanMergedFolders(MSIHANDLE hInstall);

// Whether remote desktop connections are enabled: ZQ_TSE_ENABLED,
// ZQ_TSE_DISABLED (also when the system reports no Terminal suite, and then
// the registry is not read) or ZQ_TSE_UNKNOWN, from "fDenyTSConnections"
// under HKLM\SYSTEM\CurrentControlSet\Control\Terminal Server.
ZQPLATUTIL_C_API DWORD WINAPI IsTerminalServicesEnabled(void);

// Installer action: sets the session's property "TSE_ENABLED" to the signed
// decimal text of IsTerminalServicesEnabled() ("1", "0" or "-1") and returns
// that result itself to the installer.
ZQPLATUTIL_C_API UINT WINAPI DetectTSE(MSIHANDLE hInstall);
