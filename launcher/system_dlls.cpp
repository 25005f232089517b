#include "system_dlls.h"

#include <stdio.h>

#ifndef LOAD_LIBRARY_SEARCH_SYSTEM32
#define LOAD_LIBRARY_SEARCH_SYSTEM32 0x800
#endif

void restrict_dll_search()
{
    typedef BOOL(WINAPI * SetDefaultDllDirectoriesFunction)(DWORD);
    const SetDefaultDllDirectoriesFunction set_default = reinterpret_cast<
        SetDefaultDllDirectoriesFunction>(reinterpret_cast<void *>(
        GetProcAddress(GetModuleHandleA("kernel32.dll"), "SetDefaultDllDirectories")));
    if (set_default != NULL)
        set_default(LOAD_LIBRARY_SEARCH_SYSTEM32);
}

FARPROC system_function(const char *dll, const char *function)
{
    HMODULE module = GetModuleHandleA(dll);
    if (module == NULL) {
        // A full path: on systems without the search restriction a bare name would be looked
        // for in the program's folder first.
        char path[MAX_PATH + 1];
        const UINT length = GetSystemDirectoryA(path, MAX_PATH);
        if (length == 0 || length >= MAX_PATH)
            return NULL;
        _snprintf(path + length, MAX_PATH - length, "\\%s", dll);
        path[MAX_PATH] = '\0';
        module = LoadLibraryA(path);
        if (module == NULL)
            return NULL;
    }
    return GetProcAddress(module, function);
}
