/* Prints what a shell link holds: lnkinfo.exe <file.lnk>... (demo tool). */
#define COBJMACROS
#include <windows.h>
#include <shlobj.h>
#include <stdio.h>

static int Show(const char *path)
{
    IShellLinkA *link = NULL;
    IPersistFile *file = NULL;
    WCHAR widePath[MAX_PATH];
    char text[MAX_PATH * 2];
    int ok = 0;

    if (FAILED(CoCreateInstance(&CLSID_ShellLink, NULL, CLSCTX_INPROC_SERVER, &IID_IShellLinkA, (void **)&link)))
        goto done;
    if (FAILED(IShellLinkA_QueryInterface(link, &IID_IPersistFile, (void **)&file)))
        goto done;
    MultiByteToWideChar(CP_ACP, 0, path, -1, widePath, MAX_PATH);
    if (FAILED(IPersistFile_Load(file, widePath, STGM_READ)))
        goto done;
    printf("%s\n", path);
    text[0] = 0;
    IShellLinkA_GetPath(link, text, sizeof text, NULL, 0);
    printf("    target:      %s\n", text);
    text[0] = 0;
    IShellLinkA_GetArguments(link, text, sizeof text);
    printf("    arguments:   %s\n", text);
    text[0] = 0;
    IShellLinkA_GetWorkingDirectory(link, text, sizeof text);
    printf("    working dir: %s\n", text);
    text[0] = 0;
    IShellLinkA_GetDescription(link, text, sizeof text);
    printf("    description: %s\n", text);
    ok = 1;
done:
    if (!ok)
        printf("%s\n    (no link)\n", path);
    if (file)
        IPersistFile_Release(file);
    if (link)
        IShellLinkA_Release(link);
    return ok;
}

int main(int argc, char **argv)
{
    int i, failures = 0;
    CoInitialize(NULL);
    for (i = 1; i < argc; i++)
        failures += !Show(argv[i]);
    CoUninitialize();
    return failures ? 1 : 0;
}
