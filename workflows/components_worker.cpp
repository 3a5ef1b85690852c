#include "workflows/workers.h"

#include "app/entry.h"
#include "app/layout.h"
#include "app/process_state.h"
#include "app/window.h"
#include "res/resource.h"
#include "res/strings.h"
#include "shell/log.h"
#include "shell/registration.h"
#include "state/product.h"
#include "transfer/download.h"
#include "transfer/extract.h"

enum { COMPONENTS_PATH_SIZE = 256 };

static int UnpackAndRegister(const char *archivePath);
static int AskToRetry(void);

DWORD WINAPI ComponentsWorker(LPVOID)
{
    const char *url = installLayout.componentsZipUrl;
    DownloadProgress progress;
    char archivePath[COMPONENTS_PATH_SIZE] = "";
    int retry;

    ForceEnglishLocale();
    OutputDebugStringA("Downloading Brevolt.ocx\r\n");
    InitDownloadProgress(&progress);
    MakeDownloadPath(DownloadComponents, url, archivePath, sizeof archivePath);
    PrepareDownload(DownloadComponents, url, archivePath);

    do {
        retry = 0;
        HRESULT result = archivePath[0] ? RunDownload(DownloadComponents, url, archivePath, &progress) : E_FAIL;
        if (FAILED(result) || !UnpackAndRegister(archivePath)) {
            ShowWindow(processState.mainWindow, SW_HIDE);
            OutputDebugStringA("Failed Downloading Brevolt.ocx\r\n");
            WriteLog("Couldn't download Brevolt.ocx - Error during the File Download");
            retry = AskToRetry();
        }
        if (archivePath[0])
            DeleteFileA(archivePath);
    } while (retry);

    PostMessageA(processState.mainWindow, WM_INSTALLER_CLOSE, 0, 0);
    return 0;
}

// Unpacks and registers; 0 when the archive could not be unpacked, which is
// handled like a failed download.
static int UnpackAndRegister(const char *archivePath)
{
    SetWindowTextA(processState.mainWindow, LoadText(IDS_INSTALLING_COMPONENTS));
    SetStatusLine(IDS_INSTALL_STATUS, IDC_STATUS_LABEL);
    SetStatusLine(IDS_INSTALLING, IDC_STATUS_TEXT);
    SetProgress(0);
    if (!ExtractPayload(archivePath))
        return 0;

    SetWindowTextA(processState.mainWindow, LoadText(IDS_REGISTERING_COMPONENTS));
    SetStatusLine(IDS_REGISTER_STATUS, IDC_STATUS_LABEL);
    SetStatusLine(IDS_REGISTERING, IDC_STATUS_TEXT);
    WriteComponentsState("1");
    RegisterComponents();
    OutputDebugStringA("Brevolt.ocx successfully installed\r\n");
    SetProgress(100);
    // The archive goes before the close is asked for: the process may end as
    // soon as it is handled.
    DeleteFileA(archivePath);
    PostMessageA(processState.mainWindow, WM_INSTALLER_CLOSE, 0, 0);
    return 1;
}

static int AskToRetry(void)
{
    return MessageBoxA(NULL, LoadText(IDS_COMPONENTS_DOWNLOAD_ERROR), "Halvex", MB_ICONERROR | MB_RETRYCANCEL) ==
           IDRETRY;
}
