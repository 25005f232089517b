#pragma once

#include <windows.h>

// From now on, DLLs that this process loads by name come from the system folder only, never
// from the program's own folder. Skipped on systems without SetDefaultDllDirectories (Windows
// Vista, Windows 7 without its update).
void restrict_dll_search();

// The named function of a DLL in the system folder, loading that DLL on first use; NULL when
// either cannot be had.
FARPROC system_function(const char *dll, const char *function);
