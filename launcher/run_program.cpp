#include "run_program.h"

#include <windows.h>
#include <objbase.h>
#include <shellapi.h>

#include "report.h"

#ifndef ERROR_ELEVATION_REQUIRED
#define ERROR_ELEVATION_REQUIRED 740L
#endif

static_assert(sizeof(STARTUPINFOA) == 68, "STARTUPINFOA of a 32-bit build");
static_assert(sizeof(SHELLEXECUTEINFOA) == 60, "SHELLEXECUTEINFOA of a 32-bit build");

static bool is_blank(char c)
{
    return c == ' ' || c == '\t';
}

// The shell takes lpFile as a file name only, so a command line with arguments is split into
// its first token, copied into file, and the rest. Returns the arguments, or NULL when there are
// none (or the first token does not fit), in which case the whole line is the file.
static const char *split_arguments(const char *command_line, char *file, int size)
{
    const char *end = command_line;
    if (*end == '"') {
        ++end;
        while (*end != '\0' && *end != '"')
            ++end;
        if (*end == '"')
            ++end;
    } else {
        while (*end != '\0' && !is_blank(*end))
            ++end;
    }

    const char *arguments = end;
    while (is_blank(*arguments))
        ++arguments;
    if (*arguments == '\0' || end - command_line >= size)
        return NULL;

    lstrcpynA(file, command_line, (int)(end - command_line) + 1);
    return arguments;
}

static BOOL start_elevated(const char *command_line)
{
    char file[MAX_PATH + 1];
    const char *arguments = split_arguments(command_line, file, sizeof file);

    SHELLEXECUTEINFOA info;
    ZeroMemory(&info, sizeof info);
    info.cbSize = sizeof info;
    // NOASYNC: the start is carried out before the call returns. FLAG_NO_UI: the failure report
    // below is the only one the user sees.
    info.fMask = SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
    info.lpVerb = "runas";
    info.lpFile = arguments != NULL ? file : command_line;
    info.lpParameters = arguments;
    info.nShow = SW_SHOWNORMAL;

    CoInitialize(/*reserved=*/NULL);
    return ShellExecuteExA(&info);
}

void run_program(char *command_line, int wait, int console, int report)
{
    STARTUPINFOA startup;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process;
    ZeroMemory(&process, sizeof process);

    if (CreateProcessA(/*application_name=*/NULL, command_line,
                       /*process_attributes=*/NULL, /*thread_attributes=*/NULL,
                       /*inherit_handles=*/TRUE, /*creation_flags=*/0,
                       /*environment=*/NULL, /*current_directory=*/NULL, &startup, &process)) {
        if (wait)
            WaitForSingleObject(process.hProcess, INFINITE);
        CloseHandle(process.hProcess);
        CloseHandle(process.hThread);
        return;
    }

    if (GetLastError() == ERROR_ELEVATION_REQUIRED && start_elevated(command_line))
        return;

    if (report)
        report_failure(command_line, console);
}

void run_program_simple(char *command_line, int wait)
{
    run_program(command_line, wait, /*console=*/0, /*report=*/1);
}
