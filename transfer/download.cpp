#include "transfer/download.h"

#include <string.h>
#include <urlmon.h>
#include <wininet.h>

#include "res/text.h"

enum { TEMP_FOLDER_SIZE = 2048 };

// Where the callers differ; everything else they do alike.
struct DownloadRule {
    DWORD tempCapacity;     // the buffer GetTempPathA is given
    const char *nameAfter;  // the file name follows the last of these
    const char *separator;  // between the temporary folder and the name
    int deleteFirst;        // an old file must never stand in for the download
    int clearCacheAfter;    // no copy stays in the cache after an attempt
};

// The components path gets a second backslash after the folder's own; the
// system takes "\\" as one separator, and the path has always been made so.
static const DownloadRule DOWNLOAD_RULES[] = {
    /* DownloadWizard */ { 1024, "/\\", "", 0, 1 },
    /* DownloadComponents */ { 256, "/\\", "\\", 0, 1 },
    /* DownloadInstaller64 */ { 2048, "/", "", 1, 0 },
};

static_assert(sizeof DOWNLOAD_RULES / sizeof DOWNLOAD_RULES[0] == DownloadInstaller64 + 1, "one rule per caller");

static const char *FindFileName(const char *url, const char *separators);

int MakeDownloadPath(DownloadCaller caller, const char *url, char *path, size_t capacity)
{
    const DownloadRule &rule = DOWNLOAD_RULES[caller];
    char temp[TEMP_FOLDER_SIZE];

    if (capacity > 0)
        path[0] = '\0';
    const char *name = FindFileName(url, rule.nameAfter);
    if (!name || !*name)
        return 0;
    DWORD length = GetTempPathA(rule.tempCapacity, temp);
    if (length == 0 || length >= rule.tempCapacity)
        return 0;
    const char *parts[] = { temp, rule.separator, name };
    if (!AppendTexts(path, capacity, parts, sizeof parts / sizeof parts[0])) {
        if (capacity > 0)
            path[0] = '\0';
        return 0;
    }
    return 1;
}

void PrepareDownload(DownloadCaller caller, const char *url, const char *path)
{
    if (DOWNLOAD_RULES[caller].deleteFirst)
        DeleteFileA(path);
    // A URL that is not cached is no error.
    DeleteUrlCacheEntryA(url);
}

HRESULT RunDownload(DownloadCaller caller, const char *url, const char *path, DownloadProgress *progress)
{
    IBindStatusCallback *callback = progress ? AsBindStatusCallback(progress) : NULL;
    HRESULT result = URLDownloadToFileA(NULL, url, path, 0, callback);
    if (DOWNLOAD_RULES[caller].clearCacheAfter)
        DeleteUrlCacheEntryA(url);
    return result;
}

// The text after the last of the separators; null when none occurs.
static const char *FindFileName(const char *url, const char *separators)
{
    const char *name = NULL;
    for (const char *c = url; *c; c++) {
        if (strchr(separators, *c))
            name = c + 1;
    }
    return name;
}
