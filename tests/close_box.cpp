// Test helper for scripts: waits for a window with the given title, from any process, prints its
// text in UTF-8, presses OK and ends with 0; ends with 1 when none comes up in time.
// Usage: close-box TITLE TIMEOUT_MS
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <windows.h>

static HWND find(const wchar_t *title)
{
    return FindWindowW(/*class_name=*/NULL, title);
}

int wmain(int argc, wchar_t **argv)
{
    if (argc != 3) {
        fputs("usage: close-box TITLE TIMEOUT_MS\n", stderr);
        return 2;
    }
    const DWORD timeout = wcstoul(argv[2], NULL, 10);
    const DWORD start = GetTickCount();
    HWND box = NULL;
    wchar_t text[1024] = L"";
    // The window comes up before its text is in place.
    while ((box = find(argv[1])) == NULL || GetDlgItemTextW(box, 0xFFFF, text, 1024) == 0) {
        if (GetTickCount() - start > timeout)
            return 1;
        Sleep(50);
    }
    char utf8[4096] = "";
    WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8, sizeof utf8, NULL, NULL);
    printf("%s\n", utf8);
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    // Gone before this ends, so that the next look does not find it again.
    while (IsWindow(box) && GetTickCount() - start < timeout + 10000)
        Sleep(50);
    return 0;
}
