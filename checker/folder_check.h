#pragma once

#include <stddef.h>
#include <windows.h>

// Text that the check writes, line by line, each ended by "\n"; cut, still terminated, when full.
struct CheckReport {
    WCHAR *text;
    size_t size;    // in characters, the terminator included
    size_t length;  // written so far
};

// Says what the launcher would do if it lay in folder: runs the launcher's own checks on the
// folder and its uninstall.exe, with the launcher's code, and starts nothing. Writes one line
// for each thing that lets another account change either, then the verdict. Returns
// ERROR_SUCCESS when the launcher would start that uninstall.exe, otherwise the code its error
// box would show. Leaves folder as the current directory when it can be entered.
DWORD check_folder(const WCHAR *folder, CheckReport *report);
