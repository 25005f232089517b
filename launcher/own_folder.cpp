#include "own_folder.h"

void enter_own_folder(char *path, DWORD size)
{
    DWORD length = GetModuleFileNameA(/*module=*/NULL, path, size);
    if (length == 0)
        return;
    // A cut path fills the whole buffer, unterminated on some versions of Windows.
    if (length >= size)
        length = size - 1;
    path[length] = '\0';

    for (DWORD i = length; i-- > 0;) {
        if (path[i] == '\\' || path[i] == '/') {
            // A root keeps its separator: "C:" alone names the current folder of drive C, not
            // its root, and "" names nothing.
            const bool root = i == 0 || path[i - 1] == ':';
            path[root ? i + 1 : i] = '\0';
            break;
        }
    }

    // Without a separator this names a file and fails; the inherited folder then stays.
    SetCurrentDirectoryA(path);
}
