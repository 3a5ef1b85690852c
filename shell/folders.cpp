#include "shell/folders.h"

#include <windows.h>

#include <shellapi.h>

#include "res/text.h"

enum {
    SEARCH_PATTERN_SIZE = 256,
    ENTRY_PATH_SIZE = MAX_PATH,
    FILE_PAUSE_MS = 50,
};

static const char BATCH_NAME[] = "_uninstallhx.bat";
static const char BATCH_FORMAT[] = ":Repeat\r\ndel \"%s\"\r\nif exist \"%s\" goto Repeat\r\ndel \"%s\"";

static int IsDotEntry(const char *name);
static void DeleteEntry(const char *folder, const WIN32_FIND_DATAA *entry);

void DeleteFolderTree(const char *folder)
{
    char pattern[SEARCH_PATTERN_SIZE];
    WIN32_FIND_DATAA entry;
    HANDLE search = INVALID_HANDLE_VALUE;

    // A pattern that does not fit would search some other folder.
    if (!CopyText(pattern, sizeof pattern, folder) || !AppendText(pattern, sizeof pattern, "*.*"))
        goto removeFolder;
    search = FindFirstFileA(pattern, &entry);
    if (search == INVALID_HANDLE_VALUE)
        goto removeFolder;
    do
        DeleteEntry(folder, &entry);
    while (FindNextFileA(search, &entry));

removeFolder:
    if (search != INVALID_HANDLE_VALUE)
        FindClose(search);
    // Fails while anything is left inside, which keeps the parents too.
    RemoveDirectoryA(folder);
}

static int IsDotEntry(const char *name)
{
    return lstrcmpiA(name, ".") == 0 || lstrcmpiA(name, "..") == 0;
}

static void DeleteEntry(const char *folder, const WIN32_FIND_DATAA *entry)
{
    char path[ENTRY_PATH_SIZE];
    DWORD attributes = entry->dwFileAttributes;

    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) && IsDotEntry(entry->cFileName))
        return;
    // Entries whose path does not fit are left alone: a cut path names
    // something else.
    if (!CopyText(path, sizeof path, folder) || !AppendText(path, sizeof path, entry->cFileName))
        return;
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
        // A junction or folder link is removed as a link: its target lies
        // outside the tree and is not ours to empty.
        if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
            RemoveDirectoryA(path);
            return;
        }
        if (AppendText(path, sizeof path, "\\"))
            DeleteFolderTree(path);
        return;
    }
    DeleteFileA(path);
    Sleep(FILE_PAUSE_MS);
}

void ScheduleSelfDelete(void)
{
    char batchPath[MAX_PATH];
    char ownPath[MAX_PATH];
    char content[sizeof BATCH_FORMAT + 3 * MAX_PATH + 20];
    HANDLE file = INVALID_HANDLE_VALUE;
    DWORD length;
    DWORD written = 0;

    length = GetTempPathA(sizeof batchPath, batchPath);
    if (length == 0 || length >= sizeof batchPath || !AppendText(batchPath, sizeof batchPath, BATCH_NAME))
        goto cleanup;
    // A full buffer means the path was cut: deleting that name would hit
    // some other file.
    length = GetModuleFileNameA(NULL, ownPath, sizeof ownPath);
    if (length == 0 || length >= sizeof ownPath)
        goto cleanup;
    if (!FormatText(content, sizeof content, BATCH_FORMAT, ownPath, ownPath, batchPath))
        goto cleanup;
    file = CreateFileA(batchPath, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        goto cleanup;
    WriteFile(file, content, (DWORD)lstrlenA(content), &written, NULL);
    CloseHandle(file);
    file = INVALID_HANDLE_VALUE;
    ShellExecuteA(NULL, "open", batchPath, NULL, NULL, SW_HIDE);

cleanup:
    if (file != INVALID_HANDLE_VALUE)
        CloseHandle(file);
}

int IsVistaOrLater(void)
{
    OSVERSIONINFOA version;

    ZeroMemory(&version, sizeof version);
    version.dwOSVersionInfoSize = sizeof version;
    if (!GetVersionExA(&version)) {
        version.dwOSVersionInfoSize = sizeof version;
        if (!GetVersionExA(&version))
            return 0;
    }
    return version.dwMajorVersion > 5;
}
