// The start-up benchmark's yardstick: the least that any launcher must do. It enters the folder
// that holds it and starts ".\uninstall.exe" from there, inheriting its handles, and checks
// nothing. Built with the launcher's options and resources, so that the two differ in code only.
#include <windows.h>

int main()
{
    wchar_t path[MAX_PATH + 1];
    DWORD length = GetModuleFileNameW(NULL, path, MAX_PATH);
    while (length > 0 && path[length - 1] != L'\\')
        --length;
    path[length] = L'\0';
    SetCurrentDirectoryW(path);

    char command[] = "\".\\uninstall.exe\"";
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process;
    if (CreateProcessA(NULL, command, NULL, NULL, TRUE, 0, NULL, NULL, &startup, &process)) {
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    return 0;
}
