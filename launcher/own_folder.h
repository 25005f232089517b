#pragma once

#include <windows.h>

// Makes the folder that holds this process's executable the current directory. path is the
// caller's buffer of size bytes; it is left holding that folder. A failure leaves the current
// directory as it was.
void enter_own_folder(char *path, DWORD size);
