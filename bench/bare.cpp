// The start-up benchmark's yardstick: the least that any launcher must do. It enters the folder
// that holds it and starts ".\uninstall.exe" from there, inheriting its handles, and checks
// nothing. Built with the launcher's options and resources, so that the two differ in code only.
#include <windows.h>

int main()
{
    wchar_t path[MAX_PATH + 1];
    DWORD length = GetModuleFileNameW(/*module=*/NULL, path, MAX_PATH);
    while (length > 0 && path[length - 1] != L'\\')
        --length;
    path[length] = L'\0';
    SetCurrentDirectoryW(path);

    char command[] = "\".\\uninstall.exe\"";
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process;
    if (CreateProcessA(/*application_name=*/NULL, command, /*process_attributes=*/NULL,
                       /*thread_attributes=*/NULL, /*inherit_handles=*/TRUE, /*creation_flags=*/0,
                       /*environment=*/NULL, /*current_directory=*/NULL, &startup, &process)) {
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    return 0;
}
