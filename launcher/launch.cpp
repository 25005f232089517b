#include "launch.h"

#include "own_folder.h"
#include "report.h"
#include "run_program.h"
#include "trusted_uninstaller.h"

void launch_uninstaller()
{
    // Writable: the system may write to the command line while parsing it.
    char command_line[MAX_PATH + 1] = UNINSTALLER_COMMAND;
    WCHAR own_path[own_path_size];

    // The name is relative. Looked up in any folder but our own, it could start a stranger's
    // program with our rights: without our folder, nothing is started. Nor is a program that
    // another account could have changed, nor this one again.
    const WCHAR *own_name = enter_own_folder(own_path);
    const HANDLE held =
        own_name != NULL ? hold_trusted_uninstaller(own_name) : INVALID_HANDLE_VALUE;
    if (held == INVALID_HANDLE_VALUE) {
        report_failure(command_line, /*console=*/0);
        return;
    }
    // Held until the start has returned: what was checked is what starts.
    run_program(command_line, /*wait=*/0, /*console=*/0, /*report=*/1);
    CloseHandle(held);
}
