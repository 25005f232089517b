#pragma once

// Starts command_line as a child that inherits this process's inheritable handles, waiting for
// it to end when wait is non-zero. When the system answers that the program needs elevation,
// starts it through the shell with the "runas" verb instead (never waited for). When it cannot
// be started and report is non-zero, tells the user why: in an error message box, or as two
// lines on standard output when console is non-zero.
//
// command_line is not changed, but the system may write to it while it is being parsed, so it
// must be writable.
void run_program(char *command_line, int wait, int console, int report);

// run_program with console output off and reporting on.
void run_program_simple(char *command_line, int wait);
