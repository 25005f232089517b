#pragma once

#include <stdio.h>
#include <windows.h>

#include "last_error.h"

const int failure_caption_size = 128;
// The ANSI calls are UTF-8 here: two bytes a letter in Russian or Greek, three in Chinese or
// Japanese, for system messages of several hundred letters.
const int failure_text_size = 4096;

// The one place where a failure to start a program becomes something the user sees: the caption
// "Cannot run <command line>" and the text of the thread's last error with its code ("File not
// found. (0x2)", or "(0x2e4)" alone when the system has no message for it), in an error box, or
// as two lines on standard output when console is non-zero. The last error must still be that of
// the failed step.
void report_failure(const char *command_line, int console);

// What report_failure shows, for those who only tell what it would show: the caption for
// command_line, and the text for error. Inline, so that the launcher's report stays one function.
inline void failure_caption(const char *command_line, char *caption, int size)
{
    _snprintf(caption, size, "Cannot run %s", command_line);
    caption[size - 1] = '\0';  // _snprintf leaves a cut result unterminated
}

inline void failure_text(DWORD error, char *text, int size)
{
    SetLastError(error);
    // Without a message, or with one too long even for this, the code alone: never an empty box.
    if (format_last_error(text, size)[0] == '\0')
        _snprintf(text, size, "(0x%lx)", error);
}
