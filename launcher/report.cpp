#include "report.h"

#include <stdio.h>
#include <windows.h>

#include "last_error.h"

void report_failure(const char *command_line, int console)
{
    const DWORD error = GetLastError();

    char caption[128];
    _snprintf(caption, sizeof caption, "Cannot run %s", command_line);
    caption[sizeof caption - 1] = '\0';  // _snprintf leaves a cut result unterminated

    // The ANSI calls are UTF-8 here: two bytes a letter in Russian or Greek, three in Chinese
    // or Japanese, for system messages of several hundred letters.
    char text[4096];
    SetLastError(error);
    // Without a message, or with one too long even for this, the code alone: never an empty box.
    if (format_last_error(text, sizeof text)[0] == '\0')
        _snprintf(text, sizeof text, "(0x%lx)", error);

    if (console) {
        puts(caption);
        puts(text);
    } else {
        MessageBoxA(/*owner=*/NULL, text, caption, MB_ICONERROR | MB_OK);
    }
}
