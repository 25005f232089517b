#pragma once

#include <windows.h>

// Opens ".\uninstall.exe" in the current directory and holds it so that, until the handle is
// closed, it can be read and run but not changed, deleted or renamed. Returns the handle only if
// no account but LocalSystem, Administrators, TrustedInstaller and the user this process runs as
// can change the file or the current directory, and the file is not this program's own file,
// own_name in the current directory. Otherwise INVALID_HANDLE_VALUE, with the thread's last
// error saying why: the error of the open (ERROR_FILE_NOT_FOUND, ...) or of reading the
// security, ERROR_ACCESS_DENIED when another account can change either, and
// ERROR_CIRCULAR_DEPENDENCY when it is this program itself.
HANDLE hold_trusted_uninstaller(const WCHAR *own_name);
