#include "shell/shortcut.h"

#include <objidl.h>
#include <shlobj.h>
#include <shobjidl.h>

#include "app/layout.h"

HRESULT CreateShortcut(const char *targetPath, const char *linkPath, const char *arguments)
{
    IShellLinkA *link = NULL;
    IPersistFile *file = NULL;
    WCHAR widePath[MAX_PATH];
    DWORD error;
    HRESULT initialised;
    HRESULT result;

    // S_FALSE on a thread that already has COM still counts one more
    // initialisation; a thread in the other apartment model refuses and must
    // not lose its own to our CoUninitialize.
    initialised = CoInitialize(NULL);
    result = CoCreateInstance(CLSID_ShellLink, NULL, CLSCTX_INPROC_SERVER, IID_IShellLinkA, (void **)&link);
    if (FAILED(result))
        goto cleanup;
    link->SetPath(targetPath);
    link->SetWorkingDirectory(installLayout.installDir);
    link->SetDescription("");
    link->SetArguments(arguments);
    result = link->QueryInterface(IID_IPersistFile, (void **)&file);
    if (FAILED(result))
        goto cleanup;
    // A path that does not fit is refused rather than saved under a cut name.
    if (!MultiByteToWideChar(CP_ACP, 0, linkPath, -1, widePath, MAX_PATH)) {
        error = GetLastError();
        result = error ? HRESULT_FROM_WIN32(error) : E_FAIL;
        goto cleanup;
    }
    result = file->Save(widePath, TRUE);

cleanup:
    if (file)
        file->Release();
    if (link)
        link->Release();
    if (SUCCEEDED(initialised))
        CoUninitialize();
    return result;
}
