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

    char text[255];
    SetLastError(error);
    format_last_error(text, sizeof text);

    if (console) {
        puts(caption);
        puts(text);
    } else {
        MessageBoxA(/*owner=*/NULL, text, caption, MB_ICONERROR | MB_OK);
    }
}
