#include "workflows/workers.h"

#include "app/layout.h"
#include "app/process_state.h"
#include "app/window.h"
#include "res/text.h"
#include "transfer/download.h"

enum { INSTALLER64_TEXT_SIZE = 2048 };

// No ForceEnglishLocale here: the download texts follow the thread's own
// locale in this mode.
DWORD WINAPI Installer64Worker(LPVOID)
{
    const char *url = installLayout.installer64Url;
    DownloadProgress progress;
    char path[INSTALLER64_TEXT_SIZE] = "";
    char message[INSTALLER64_TEXT_SIZE] = "";
    DWORD result = 0;
    STARTUPINFOA startup;
    PROCESS_INFORMATION started;

    if (!MakeDownloadPath(DownloadInstaller64, url, path, sizeof path)) {
        result = 1;
        CopyText(message, sizeof message, "The 64 bit installer name is incorrect.");
        goto report;
    }
    PrepareDownload(DownloadInstaller64, url, path);
    InitDownloadProgress(&progress);
    // Not tested: starting the file is the only test of the download.
    RunDownload(DownloadInstaller64, url, path, &progress);

    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    if (!CreateProcessA(path, NULL, NULL, NULL, FALSE, 0, NULL, NULL, &startup, &started)) {
        result = GetLastError();
        CopyText(message, sizeof message, "The 64 bit installer could not be run.");
    }

report:
    if (result != 0)
        MessageBoxA(processState.mainWindow, message, NULL, MB_OK);
    PostMessageA(processState.mainWindow, WM_INSTALLER_CLOSE, 0, 0);
    return result;
}
