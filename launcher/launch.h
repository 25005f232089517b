#pragma once

// The uninstaller, named relative to the folder the launcher enters, quoted as a command line.
#define UNINSTALLER_COMMAND "\".\\uninstall.exe\""

// The launcher's whole job: enters the folder that holds the executable and starts
// ".\uninstall.exe" there without waiting for it, reporting in an error box when either cannot
// be done.
void launch_uninstaller();
