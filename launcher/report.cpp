#include "report.h"

#include <stdio.h>
#include <windows.h>

#include "last_error.h"

void failure_caption(const char *command_line, char *caption, int size)
{
    _snprintf(caption, size, "Cannot run %s", command_line);
    caption[size - 1] = '\0';  // _snprintf leaves a cut result unterminated
}

void failure_text(DWORD error, char *text, int size)
{
    SetLastError(error);
    // Without a message, or with one too long even for this, the code alone: never an empty box.
    if (format_last_error(text, size)[0] == '\0')
        _snprintf(text, size, "(0x%lx)", error);
}

void report_failure(const char *command_line, int console)
{
    const DWORD error = GetLastError();

    char caption[failure_caption_size];
    failure_caption(command_line, caption, sizeof caption);
    char text[failure_text_size];
    failure_text(error, text, sizeof text);

    if (console) {
        puts(caption);
        puts(text);
    } else {
        MessageBoxA(/*owner=*/NULL, text, caption, MB_ICONERROR | MB_OK);
    }
}
