#include "app/entry.h"

#include <string.h>

#include "app/process_state.h"
#include "res/text.h"
#include "state/registry.h"

static const char INSTANCE_PREFIX[] = "CorvinaInstall-";
static const char OUTLOOK_KEY[] = "Software\\Microsoft\\Office\\14.0\\Outlook";

int ForceEnglishLocale(void)
{
    SetThreadLocale(MAKELCID(MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), SORT_DEFAULT));
    return 1;
}

char *BuildInstanceName(char *buffer)
{
    HDESK desktop;
    size_t length;
    DWORD needed = 0;

    if (!buffer) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return NULL;
    }
    CopyText(buffer, INSTANCE_NAME_SIZE, INSTANCE_PREFIX);
    length = strlen(buffer);
    // The name is written straight after the prefix; a name that does not
    // fit the room left fails the call and the fallback takes its place.
    desktop = GetThreadDesktop(GetCurrentThreadId());
    if (!desktop || !GetUserObjectInformationA(desktop, UOI_NAME, buffer + length,
                                               (DWORD)(INSTANCE_NAME_SIZE - 1 - length), &needed)) {
        buffer[length] = '\0';
        AppendText(buffer, INSTANCE_NAME_SIZE, "Win9x");
    }
    buffer[INSTANCE_NAME_SIZE - 1] = '\0';
    return buffer;
}

int IsAnotherInstanceRunning(void)
{
    char name[INSTANCE_NAME_SIZE];
    DWORD error;

    if (processState.instanceMutex)
        return 0;
    BuildInstanceName(name);
    // A new mutex need not clear the last error.
    SetLastError(ERROR_SUCCESS);
    processState.instanceMutex = CreateMutexA(NULL, FALSE, name);
    error = GetLastError();
    // Access denied: the mutex exists but belongs to another user's instance.
    return error == ERROR_ALREADY_EXISTS || error == ERROR_ACCESS_DENIED;
}

int IsOutlook64Bit(void)
{
    HKEY key = NULL;
    char bitness[REG_READ_SIZE];

    memset(bitness, 0, sizeof bitness);
    if (OpenRegKey(key, HKEY_LOCAL_MACHINE, OUTLOOK_KEY, 0)) {
        ReadRegString(key, "Bitness", bitness, sizeof bitness);
        CloseRegKey(key);
    }
    return lstrcmpiA(bitness, "x64") == 0;
}
