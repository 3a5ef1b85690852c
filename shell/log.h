#ifndef HALVEX_SHELL_LOG_H
#define HALVEX_SHELL_LOG_H

#include <stddef.h>
#include <time.h>

enum { LOG_LINE_SIZE = 1024 };

// Formats "Www Mmm DD hh:mm:ss YYYY - text\r\n" for a local time; a line is
// at most 1023 characters, what goes beyond (the line end too) is cut.
// Returns the number of bytes in the line.
size_t FormatLogLine(char *line, size_t capacity, time_t when, const char *text);
void WriteLog(const char *text);

#endif
