#include "own_folder.h"

#include <windows.h>

// The longest path the system hands out, and its terminator. In wide characters: an ANSI path
// turns characters outside the code page into '?' or into look-alikes ("Ā" into "A", "．" into
// "."), which name another folder or none.
static const DWORD path_size = 32767 + 1;

static bool is_separator(WCHAR c)
{
    return c == L'\\' || c == L'/';
}

bool enter_own_folder()
{
    WCHAR path[path_size];
    const DWORD length = GetModuleFileNameW(/*module=*/NULL, path, path_size);
    if (length == 0)
        return false;
    // A cut path names an ancestor folder, not ours. (Vista and later say so with
    // ERROR_INSUFFICIENT_BUFFER, XP only by filling the buffer.)
    if (length >= path_size) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return false;
    }
    path[length] = L'\0';

    DWORD end = length;
    while (end > 0 && !is_separator(path[end - 1]))
        --end;
    if (end == 0) {
        SetLastError(ERROR_BAD_PATHNAME);
        return false;
    }
    const DWORD separator = end - 1;
    // A root keeps its separator: "C:" alone names the current folder of drive C, not its root,
    // and "" names nothing.
    const bool root = separator == 0 || path[separator - 1] == L':';
    path[root ? separator + 1 : separator] = L'\0';

    return SetCurrentDirectoryW(path) != FALSE;
}
