#include "last_error.h"

#include <stdio.h>
#include <windows.h>

// Room for " (0x", up to eight hexadecimal digits and ")".
static const int code_room = 13;

char *format_last_error(char *buffer, int size)
{
    const DWORD code = GetLastError();

    // Inserts are left as they stand: some system messages carry "%1", and there are no
    // arguments to put in their place.
    const DWORD flags = FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                        FORMAT_MESSAGE_ARGUMENT_ARRAY | FORMAT_MESSAGE_IGNORE_INSERTS;
    char *message = NULL;
    const int length = (int)FormatMessageA(flags, /*source=*/NULL, code, /*language=*/0,
                                           (LPSTR)&message, /*size=*/0, /*arguments=*/NULL);

    if (length != 0 && message != NULL && length + code_room < size) {
        int end = lstrlenA(message);
        while (end > 0 && (message[end - 1] == '\r' || message[end - 1] == '\n'))
            --end;
        message[end] = '\0';
        _snprintf(buffer, size, "%s (0x%lx)", message, code);
        buffer[size - 1] = '\0';
    } else if (size > 0) {
        buffer[0] = '\0';
    }

    if (message != NULL)
        LocalFree(message);
    return buffer;
}
