// Test helper for scripts: runs a command line from an entry in the system's list of installed
// programs as a management tool does: read from the registry's 32-bit view as it is stored, given
// whole to CreateProcessW from the current folder, waited for. Prints the command line (UTF-8)
// and ends with its exit code; with 2 when the value cannot be read or the command not started.
// Usage: run-entry KEY VALUE
#include <stdio.h>
#include <windows.h>

static const wchar_t uninstall_key[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
static const DWORD command_chars = 32768;

static void print_utf8(const char *label, const wchar_t *text)
{
    static char utf8[4 * command_chars];
    WideCharToMultiByte(CP_UTF8, /*flags=*/0, text, -1, utf8, sizeof utf8, /*default_char=*/NULL,
        /*used_default=*/NULL);
    printf("%s%s\n", label, utf8);
    fflush(stdout);
}

int wmain(int argc, wchar_t **argv)
{
    if (argc != 3) {
        fputs("usage: run-entry KEY VALUE\n", stderr);
        return 2;
    }
    static wchar_t key[MAX_PATH + 1], command[command_chars];
    _snwprintf(key, MAX_PATH, L"%ls%ls", uninstall_key, argv[1]);
    HKEY entry = NULL;
    LSTATUS status = RegOpenKeyExW(HKEY_LOCAL_MACHINE, key, /*options=*/0,
        KEY_QUERY_VALUE | KEY_WOW64_32KEY, &entry);
    DWORD size = sizeof command - sizeof command[0];
    if (status == ERROR_SUCCESS) {
        status = RegGetValueW(entry, /*subkey=*/NULL, argv[2], RRF_RT_REG_SZ, /*type=*/NULL,
            command, &size);
        RegCloseKey(entry);
    }
    if (status != ERROR_SUCCESS) {
        fprintf(stderr, "run-entry: cannot read the value (error %ld)\n", (long)status);
        return 2;
    }
    print_utf8("run-entry: running ", command);

    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(/*application=*/NULL, command, /*process_attributes=*/NULL,
            /*thread_attributes=*/NULL, /*inherit_handles=*/FALSE, /*flags=*/0,
            /*environment=*/NULL, /*current_directory=*/NULL, &startup, &process)) {
        fprintf(stderr, "run-entry: cannot start it (error %lu)\n", GetLastError());
        return 2;
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    printf("run-entry: it exited with %lu\n", code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return (int)code;
}
