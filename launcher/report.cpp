#include "report.h"

#include <stdio.h>
#include <windows.h>

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
