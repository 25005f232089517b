#pragma once

// Fills buffer with the calling thread's last error as one line of text, "<system message>
// (0x<code>)", and returns it. The text is empty when the system has no message for the code or
// when the message and the code do not fit in size bytes.
char *format_last_error(char *buffer, int size);
