#include "state/report.h"

#include <objbase.h>
#include <urlmon.h>

#include "app/layout.h"
#include "res/text.h"
#include "state/registry.h"

enum { TEMP_PATH_SIZE = 1024 };

static const char GUID_KEY[] = "SOFTWARE\\Ombrix\\Quellby";

static int MakeGuidText(char *text, size_t capacity);

int AppendInstallGuid(void)
{
    HKEY key = NULL;
    char guid[REG_READ_SIZE];
    const char *const parts[] = { guid };
    int appended = 0;

    if (!OpenOrCreateRegKey(key, HKEY_LOCAL_MACHINE, GUID_KEY))
        goto done;
    // Any non-empty value is the machine's GUID, whatever its form: other
    // editions' installers read the same one.
    ReadRegString(key, "GUID", guid, sizeof guid);
    if (guid[0] == '\0') {
        // Without a fresh GUID nothing is stored, so the next report tries
        // again instead of every machine sharing one made of zeros.
        if (!MakeGuidText(guid, sizeof guid))
            goto done;
        WriteRegString(key, "GUID", guid);
    }
    // A GUID that does not fit is left out whole: a cut one would name
    // another machine.
    appended = AppendTexts(installLayout.installReportUrl, sizeof installLayout.installReportUrl, parts, 1);
done:
    CloseRegKey(key);
    return appended;
}

void SendInstallReport(void)
{
    char answerPath[TEMP_PATH_SIZE];
    DWORD length;

    AppendInstallGuid();
    length = GetTempPathA(sizeof answerPath, answerPath);
    // A temporary folder that does not fit leaves no place for the answer.
    if (length == 0 || length >= sizeof answerPath)
        return;
    if (!AppendText(answerPath, sizeof answerPath, "\\tempresult.dat"))
        return;
    URLDownloadToFileA(NULL, installLayout.installReportUrl, answerPath, 0, NULL);
    DeleteFileA(answerPath);
}

// 8-4-4-4-12 upper-case hexadecimal digits, without braces.
static int MakeGuidText(char *text, size_t capacity)
{
    GUID guid;
    if (FAILED(CoCreateGuid(&guid)))
        return 0;
    if (!FormatText(text, capacity, "%08lx-%04x-%04x-%02x%02x-%02x%02x%02x%02x%02x%02x",
                    (unsigned long)guid.Data1, guid.Data2, guid.Data3, guid.Data4[0], guid.Data4[1],
                    guid.Data4[2], guid.Data4[3], guid.Data4[4], guid.Data4[5], guid.Data4[6], guid.Data4[7]))
        return 0;
    CharUpperA(text);
    return 1;
}
