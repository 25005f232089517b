#include <stdio.h>
#include <windows.h>

#include "own_folder.h"
#include "run_program.h"
#include "system_dlls.h"

int main(int, char **)
{
    // First of all: this program runs elevated, and a DLL planted in its folder would too.
    restrict_dll_search();

    // One buffer: first the executable's folder, then the command line, which must be
    // writable for CreateProcessA.
    char path[MAX_PATH + 1];
    enter_own_folder(path, sizeof path);

    _snprintf(path, MAX_PATH, "\".\\uninstall.exe\"");
    run_program(path, /*wait=*/0, /*console=*/0, /*report=*/1);
    return 0;
}

// The runtime's start-up calls main; this is only the platform's usual door to the same place.
int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    return main(0, NULL);
}
