#include "own_folder.h"

// In wide characters: an ANSI path turns characters outside the code page into '?' or into
// look-alikes ("Ā" into "A", "．" into "."), which name another folder or none.

static bool is_separator(WCHAR c)
{
    return c == L'\\' || c == L'/';
}

// "X:\", "\\server\share\" or "\\?\...": anything else ("UNC\srv\share\...", "unix\...",
// "\x.exe", "C:x.exe") is taken relative to a folder that we did not choose.
static bool is_fully_qualified(const WCHAR *path)
{
    const WCHAR letter = path[0] | 0x20;
    if (letter >= L'a' && letter <= L'z' && path[1] == L':' && is_separator(path[2]))
        return true;
    if (!is_separator(path[0]) || !is_separator(path[1]))
        return false;
    if (path[2] == L'?' && is_separator(path[3]))
        return true;
    if (path[2] == L'.' && is_separator(path[3]))
        return false;  // a device, "\\.\"
    // A server name, then a share name, each ended by a separator.
    const WCHAR *at = path + 2;
    for (int part = 0; part < 2; ++part) {
        const WCHAR *start = at;
        while (*at != L'\0' && !is_separator(*at))
            ++at;
        if (at == start || *at == L'\0')
            return false;
        ++at;
    }
    return true;
}

const WCHAR *enter_own_folder(WCHAR *path)
{
    const DWORD length = GetModuleFileNameW(/*module=*/NULL, path, own_path_size);
    if (length == 0)
        return NULL;
    // A cut path names an ancestor folder, not ours. (Vista and later say so with
    // ERROR_INSUFFICIENT_BUFFER, XP only by filling the buffer.)
    if (length >= own_path_size) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return NULL;
    }
    path[length] = L'\0';
    if (!is_fully_qualified(path)) {
        SetLastError(ERROR_BAD_PATHNAME);
        return NULL;
    }

    DWORD name = length;
    while (!is_separator(path[name - 1]))
        --name;
    // The folder goes with its final separator: without it the system trims spaces and dots from
    // the end of the last name, and "...\App " would enter "...\App". A root needs it too: "C:"
    // alone names the current folder of drive C.
    const WCHAR first = path[name];
    path[name] = L'\0';
    const BOOL entered = SetCurrentDirectoryW(path);
    path[name] = first;
    return entered ? path + name : NULL;
}
