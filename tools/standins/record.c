#include <windows.h>
#include "record.h"

/* Room for the longest command line Windows allows plus the other fields. */
#define LINE_CAPACITY 40000

static char recordLine[LINE_CAPACITY];

static int AppendBounded(char *buffer, DWORD capacity, DWORD *length, const char *text)
{
    while (*text) {
        if (*length + 1 >= capacity) {
            buffer[*length] = 0;
            return 0;
        }
        buffer[(*length)++] = *text++;
    }
    buffer[*length] = 0;
    return 1;
}

static int BuildRecordPath(char *path, DWORD capacity)
{
    DWORD length = GetEnvironmentVariableA("HALVEX_RECORD_DIR", path, capacity);
    const char *leaf = "starts.log";

    if (length == 0 || length >= capacity) {
        length = GetTempPathA(capacity, path);
        if (length == 0 || length >= capacity)
            return 0;
        leaf = "halvex-starts.log";
    }
    if (path[length - 1] != '\\' && path[length - 1] != '/' && !AppendBounded(path, capacity, &length, "\\"))
        return 0;
    return AppendBounded(path, capacity, &length, leaf);
}

static const char *SkipProgramName(const char *commandLine)
{
    const char *p = commandLine;

    if (*p == '"') {
        p++;
        while (*p && *p != '"')
            p++;
        if (*p == '"')
            p++;
    } else {
        while (*p && *p != ' ' && *p != '\t')
            p++;
    }
    while (*p == ' ' || *p == '\t')
        p++;
    return p;
}

int RecordStart(const char *name, const char *arguments)
{
    char path[MAX_PATH + 32];
    char currentDir[MAX_PATH + 1];
    DWORD length = 0;
    DWORD written = 0;
    HANDLE file = INVALID_HANDLE_VALUE;
    int ok = 0;
    int attempt;

    if (!BuildRecordPath(path, sizeof path))
        goto cleanup;
    if (GetCurrentDirectoryA(sizeof currentDir, currentDir) >= sizeof currentDir)
        currentDir[0] = 0;

    /* Cut-off lines are still written: a test sees the damage rather than nothing. */
    AppendBounded(recordLine, LINE_CAPACITY - 2, &length, name);
    AppendBounded(recordLine, LINE_CAPACITY - 2, &length, "|");
    AppendBounded(recordLine, LINE_CAPACITY - 2, &length, arguments ? arguments : "");
    AppendBounded(recordLine, LINE_CAPACITY - 2, &length, "|");
    AppendBounded(recordLine, LINE_CAPACITY - 2, &length, currentDir);
    AppendBounded(recordLine, LINE_CAPACITY, &length, "\r\n");

    /* Another stand-in may be appending at the same moment; wait for it. */
    for (attempt = 0; attempt < 50 && file == INVALID_HANDLE_VALUE; attempt++) {
        file = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           NULL, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
        if (file == INVALID_HANDLE_VALUE && GetLastError() != ERROR_SHARING_VIOLATION)
            break;
        if (file == INVALID_HANDLE_VALUE)
            Sleep(20);
    }
    if (file == INVALID_HANDLE_VALUE)
        goto cleanup;
    ok = WriteFile(file, recordLine, length, &written, NULL) && written == length;

cleanup:
    if (file != INVALID_HANDLE_VALUE)
        CloseHandle(file);
    return ok;
}

int RecordOwnStart(const char *name)
{
    return RecordStart(name, SkipProgramName(GetCommandLineA()));
}
