#include "state/registry.h"

#include <string.h>

#include "res/text.h"

int OpenRegKey(HKEY &key, HKEY root, const char *subKey, int writable)
{
    REGSAM access = writable ? KEY_ALL_ACCESS : KEY_READ;
    key = NULL;
    if (RegOpenKeyExA(root, subKey, 0, access, &key) != ERROR_SUCCESS) {
        key = NULL;
        return 0;
    }
    return 1;
}

int CreateRegKey(HKEY &key, HKEY root, const char *subKey)
{
    key = NULL;
    if (RegCreateKeyExA(root, subKey, 0, NULL, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, NULL,
                        &key, NULL) != ERROR_SUCCESS) {
        key = NULL;
        return 0;
    }
    return 1;
}

int OpenOrCreateRegKey(HKEY &key, HKEY root, const char *subKey)
{
    return OpenRegKey(key, root, subKey, 1) || CreateRegKey(key, root, subKey);
}

int WriteRegString(HKEY &key, const char *valueName, const char *text)
{
    // Stored without the terminating zero; readers never rely on one.
    DWORD length = (DWORD)strlen(text);
    if (RegSetValueExA(key, valueName, 0, REG_SZ, (const BYTE *)text, length) != ERROR_SUCCESS)
        return 0;
    RegFlushKey(key);
    return 1;
}

int ReadRegString(HKEY &key, const char *valueName, char *out, size_t outCapacity)
{
    char data[REG_READ_SIZE];
    DWORD size = sizeof data;
    int result = 0;

    memset(data, 0, sizeof data);
    if (outCapacity > 0)
        out[0] = '\0';
    if (RegQueryValueExA(key, valueName, NULL, NULL, (BYTE *)data, &size) != ERROR_SUCCESS)
        goto done;
    // A value that fills the whole buffer has no terminator in it: it is
    // treated like a longer one rather than cut.
    if (memchr(data, '\0', sizeof data) == NULL)
        goto done;
    if (!CopyText(out, outCapacity, data)) {
        if (outCapacity > 0)
            out[0] = '\0';
        goto done;
    }
    result = 1;
done:
    return result;
}

int DeleteRegKey(const char *subKey)
{
    return RegDeleteKeyA(HKEY_LOCAL_MACHINE, subKey) == ERROR_SUCCESS;
}

LONG CloseRegKey(HKEY &key)
{
    LONG status = RegCloseKey(key);
    key = NULL;
    return status;
}
