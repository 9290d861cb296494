// Deleting files and folders now, or at the next restart when that fails.
#pragma once

namespace zq::msi {

// MoveFileExW with no new name and MOVEFILE_DELAY_UNTIL_REBOOT; a failure is dropped.
void ScheduleDeletion(const wchar_t* path);

// DeleteFileW, or the restart schedule when it fails.
void DeleteOrSchedule(const wchar_t* path);

// Deletes every entry of `folder` (a path ending in a backslash), in the order
// the search finds them, subfolders through RemoveFolder(). What cannot go now
// is scheduled. Entries whose joined path does not fit MAX_PATH are skipped;
// links to folders (reparse points) are removed without searching them.
void EmptyFolder(const wchar_t* folder);

// EmptyFolder(), then RemoveDirectoryW, or the restart schedule for the folder.
void RemoveFolder(const wchar_t* folder);

}  // namespace zq::msi
