// A DLL that records who loaded it: placed beside the launcher under the names of system DLLs,
// it shows whether the launcher's process ever took a DLL from its own folder.
#include <stdio.h>
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID)
{
    if (reason != DLL_PROCESS_ATTACH)
        return TRUE;
    char log[MAX_PATH + 1], dll[MAX_PATH + 1] = "", program[MAX_PATH + 1] = "";
    if (GetEnvironmentVariableA("ORVEX_PLANTED_LOG", log, sizeof log) == 0)
        return TRUE;
    GetModuleFileNameA(self, dll, MAX_PATH);
    GetModuleFileNameA(NULL, program, MAX_PATH);
    if (FILE *file = fopen(log, "a")) {
        fprintf(file, "%s loaded %s\n", program, dll);
        fclose(file);
    }
    return TRUE;
}
