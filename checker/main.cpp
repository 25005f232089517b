// uninstall-check FOLDER: what the launcher would do in FOLDER, and why. Starts nothing.
// Exit status: 0 when the launcher would start FOLDER\uninstall.exe, otherwise the code that
// its error box would show; ERROR_INVALID_PARAMETER (87) for a wrong command line.
#include <windows.h>

#include "folder_check.h"

// To a console as its characters; redirected, as UTF-8, so that a file or a pipe keeps any
// script whatever the code pages.
static void print(HANDLE out, const WCHAR *text, int length)
{
    DWORD mode, written;
    if (GetConsoleMode(out, &mode)) {
        WriteConsoleW(out, text, length, &written, /*reserved=*/NULL);
        return;
    }
    static char utf8[4 * 0x40000];
    const int bytes = WideCharToMultiByte(CP_UTF8, /*flags=*/0, text, length, utf8, sizeof utf8,
                                          /*default_char=*/NULL, /*used_default=*/NULL);
    WriteFile(out, utf8, bytes, &written, /*overlapped=*/NULL);
}

int wmain(int argc, WCHAR **argv)
{
    if (argc != 2) {
        static const WCHAR usage[] =
            L"usage: uninstall-check FOLDER\n"
            L"Says whether the Orvex Uninstaller launcher would start FOLDER\\uninstall.exe, "
            L"and why not.\n";
        print(GetStdHandle(STD_ERROR_HANDLE), usage, lstrlenW(usage));
        return ERROR_INVALID_PARAMETER;
    }
    static WCHAR text[0x40000];
    CheckReport report = {text, sizeof text / sizeof text[0], 0};
    const DWORD verdict = check_folder(argv[1], &report);
    print(GetStdHandle(STD_OUTPUT_HANDLE), report.text, (int)report.length);
    return (int)verdict;
}
