#pragma once

#include <windows.h>

// The longest path the system hands out, and its terminator.
const DWORD own_path_size = 32767 + 1;

// Makes the folder that holds this process's executable the current directory. path, of
// own_path_size characters, receives the executable's full path. Returns the executable's file
// name within path, or NULL, with the thread's last error saying why, when that folder cannot be
// found whole or cannot be entered; the current directory is then left as it was.
const WCHAR *enter_own_folder(WCHAR *path);
