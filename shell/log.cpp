#include "shell/log.h"

#include <string.h>
#include <windows.h>

#include "app/layout.h"
#include "res/text.h"

enum { LOG_PATH_SIZE = 256 };

static const char *const DAY_NAMES[] = { "Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat" };
static const char *const MONTH_NAMES[] = { "Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                           "Jul", "Aug", "Sep", "Oct", "Nov", "Dec" };

size_t FormatLogLine(char *line, size_t capacity, time_t when, const char *text)
{
    char stamp[32] = "";
    struct tm *local = localtime(&when);

    // English names whatever the C runtime's locale says.
    if (local)
        FormatText(stamp, sizeof stamp, "%s %s %02d %02d:%02d:%02d %04d", DAY_NAMES[local->tm_wday % 7],
                   MONTH_NAMES[local->tm_mon % 12], local->tm_mday, local->tm_hour, local->tm_min,
                   local->tm_sec, local->tm_year + 1900);
    FormatText(line, capacity < (size_t)LOG_LINE_SIZE ? capacity : (size_t)LOG_LINE_SIZE, "%24.24s - %s\r\n", stamp, text);
    return strlen(line);
}

void WriteLog(const char *text)
{
    char path[LOG_PATH_SIZE] = "";
    char line[LOG_LINE_SIZE];
    HANDLE file = INVALID_HANDLE_VALUE;
    DWORD written = 0;
    size_t length;

    if (!CopyText(path, sizeof path, installLayout.installDir) || !AppendText(path, sizeof path, "Halvex.log"))
        goto done;
    file = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, NULL, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        goto done;
    SetFilePointer(file, 0, NULL, FILE_END);
    length = FormatLogLine(line, sizeof line, time(NULL), text);
    WriteFile(file, line, (DWORD)length, &written, NULL);
    FlushFileBuffers(file);
done:
    if (file != INVALID_HANDLE_VALUE)
        CloseHandle(file);
}
