#include "launch.h"

#include <windows.h>

#include "own_folder.h"
#include "report.h"
#include "run_program.h"

void launch_uninstaller()
{
    // Writable: the system may write to the command line while parsing it.
    char command_line[MAX_PATH + 1] = "\".\\uninstall.exe\"";

    // The name is relative. Looked up in any folder but our own, it could start a stranger's
    // program with our rights: without our folder, nothing is started.
    if (!enter_own_folder()) {
        report_failure(command_line, /*console=*/0);
        return;
    }
    run_program(command_line, /*wait=*/0, /*console=*/0, /*report=*/1);
}
