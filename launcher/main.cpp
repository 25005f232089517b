#include <windows.h>

#include "launch.h"
#include "system_dlls.h"

int main(int, char **)
{
    // First of all: this program runs elevated, and a DLL planted in its folder would too.
    restrict_dll_search();
    launch_uninstaller();
    return 0;
}

// The runtime's start-up calls main; this is only the platform's usual door to the same place.
int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    return main(0, NULL);
}
