/* Prints a key's values as stored (demo tool): regshow.exe HKCU|HKLM <key>
   [/s]. Text values print as their raw ANSI bytes; reg.exe would map them
   to the console's code page. */
#include <windows.h>
#include <stdio.h>
#include <string.h>

static void ShowKey(HKEY root, const char *rootName, const char *path, int recurse)
{
    HKEY key = NULL;
    DWORD i;
    if (RegOpenKeyExA(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS) {
        printf("%s\\%s (absent)\n", rootName, path);
        return;
    }
    printf("%s\\%s\n", rootName, path);
    for (i = 0;; i++) {
        char name[256], data[2048];
        DWORD nameSize = sizeof name, dataSize = sizeof data - 1, type = 0;
        if (RegEnumValueA(key, i, name, &nameSize, NULL, &type, (BYTE *)data, &dataSize) != ERROR_SUCCESS)
            break;
        data[dataSize < sizeof data ? dataSize : sizeof data - 1] = 0;
        printf("    %-22s %s\n", name, type == REG_SZ ? (strlen(data) ? data : "(empty)") : "(not text)");
    }
    for (i = 0; recurse; i++) {
        char sub[256], child[1024];
        DWORD subSize = sizeof sub;
        if (RegEnumKeyExA(key, i, sub, &subSize, NULL, NULL, NULL, NULL) != ERROR_SUCCESS)
            break;
        if ((size_t)snprintf(child, sizeof child, "%s\\%s", path, sub) < sizeof child)
            ShowKey(root, rootName, child, recurse);
    }
    RegCloseKey(key);
}

int main(int argc, char **argv)
{
    if (argc < 3) {
        fprintf(stderr, "usage: regshow HKCU|HKLM key [/s]\n");
        return 2;
    }
    ShowKey(_stricmp(argv[1], "HKLM") ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE, argv[1], argv[2],
            argc > 3 && !_stricmp(argv[3], "/s"));
    return 0;
}
