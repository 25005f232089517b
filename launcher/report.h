#pragma once

// The one place where a failure to start a program becomes something the user sees: the caption
// "Cannot run <command line>" and the text of the thread's last error with its code ("File not
// found. (0x2)", or "(0x2e4)" alone when the system has no message for it), in an error box, or
// as two lines on standard output when console is non-zero. The last error must still be that of
// the failed step.
void report_failure(const char *command_line, int console);
