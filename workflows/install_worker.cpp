#include "workflows/workers.h"

#include "app/entry.h"
#include "app/layout.h"
#include "app/process_state.h"
#include "app/window.h"
#include "res/resource.h"
#include "res/strings.h"
#include "res/text.h"
#include "shell/shortcut.h"
#include "state/ledger.h"
#include "state/product.h"
#include "state/report.h"
#include "state/uninstall_entry.h"
#include "transfer/download.h"
#include "transfer/extract.h"

enum { WORK_TEXT_SIZE = 1024, WIZARD_START_ATTEMPTS = 5, WIZARD_RETRY_MS = 500, RETRY_DELAY_MS = 5000 };

static void ShowInstallPhase(unsigned int labelId, unsigned int textId);
static void StartWizard(const char *wizardPath);
static void ShowStartFailure(DWORD error);
static void RetryLater(const char *archivePath);
static void ShowDownloadPhaseAgain(void);

// The template's label, kept from the first run so that a retry after a
// failed unpacking looks like the download it is again.
static char downloadLabel[TEXT_BUFFER_SIZE];

DWORD WINAPI InstallWorker(LPVOID)
{
    const InstallLayout &l = installLayout;
    DownloadProgress progress;
    char archivePath[WORK_TEXT_SIZE] = "";
    char copyPath[WORK_TEXT_SIZE] = "";
    char wizardPath[WORK_TEXT_SIZE] = "";
    char date[32] = "";
    SYSTEMTIME now;
    HRESULT result;

    ForceEnglishLocale();
    OutputDebugStringA("Downloading Wizard.zip\r\n");
    if (!downloadLabel[0])
        GetDlgItemTextA(processState.progressDialog, IDC_STATUS_LABEL, downloadLabel, sizeof downloadLabel);
    InitDownloadProgress(&progress);
    WriteProgramState("0", "");
    MakeDownloadPath(DownloadWizard, l.wizardZipUrl, archivePath, sizeof archivePath);

    CreateDirectoryA(l.installDir, NULL);
    if (CopyText(copyPath, sizeof copyPath, l.installDir) && AppendText(copyPath, sizeof copyPath, "Halvex.exe")) {
        CopyFileA(l.ownPath, copyPath, FALSE);
        CreateShortcut(copyPath, l.startupShortcut, "-startup");
    }

    PrepareDownload(DownloadWizard, l.wizardZipUrl, archivePath);
    result = archivePath[0] ? RunDownload(DownloadWizard, l.wizardZipUrl, archivePath, &progress) : E_FAIL;
    if (FAILED(result))
        goto failed;

    ShowInstallPhase(IDS_INSTALL_STATUS, IDS_INSTALLING);
    SetProgress(0);
    // A page served in place of the archive, or a damaged one, fails like a
    // download: nothing may be marked installed from it.
    if (!ExtractPayload(archivePath)) {
        ShowDownloadPhaseAgain();
        goto failed;
    }

    ShowInstallPhase(IDS_REGISTER_STATUS, IDS_REGISTERING);
    WriteComponentsState("0");
    if (CopyText(wizardPath, sizeof wizardPath, l.installDir) &&
        AppendText(wizardPath, sizeof wizardPath, "Tamrick.exe")) {
        CreateDirectoryA(l.programsFolder, NULL);
        CreateShortcut(wizardPath, l.programsShortcut, "");
        CreateShortcut(wizardPath, l.desktopShortcut, "");
        WriteUninstallEntry(wizardPath);
    }
    SetProgress(100);

    GetSystemTime(&now);
    FormatText(date, sizeof date, "%d-%d-%d", now.wMonth, now.wDay, now.wYear);
    WriteProgramState("1", date);
    if (!processState.updateMode)
        SendInstallReport();

    if (!processState.inTray) {
        StartWizard(wizardPath);
        processState.inTray = 1;
        processState.trayLocked = 1;
        MinimizeToTray();
    } else {
        processState.trayLocked = 1;
    }

    DeleteFileA(l.startupShortcut);
    UpdateInstalledWizards(1);
    OutputDebugStringA("Wizard.zip successfully installed\r\n");
    // The archive goes first: the process may end as soon as the close is
    // handled.
    DeleteFileA(archivePath);
    PostMessageA(processState.mainWindow, WM_INSTALLER_CLOSE, 0, 0);
    return 0;

failed:
    OutputDebugStringA("Download of Wizard.zip Failed\r\n");
    RetryLater(archivePath);
    return 0;
}

static void ShowInstallPhase(unsigned int labelId, unsigned int textId)
{
    char caption[WORK_TEXT_SIZE] = "";
    CopyText(caption, sizeof caption, LoadText(textId));
    AppendText(caption, sizeof caption, " ");
    ShowPhase(caption, sizeof caption, labelId, textId);
}

static void StartWizard(const char *wizardPath)
{
    char commandLine[1] = "";
    DWORD error = 0;

    for (int attempt = 0; attempt < WIZARD_START_ATTEMPTS; attempt++) {
        STARTUPINFOA startup;
        PROCESS_INFORMATION started;
        ZeroMemory(&startup, sizeof startup);
        startup.cb = sizeof startup;
        if (wizardPath[0] && CreateProcessA(wizardPath, commandLine, NULL, NULL, FALSE, 0, NULL, NULL, &startup,
                                            &started))
            return;
        error = wizardPath[0] ? GetLastError() : ERROR_FILENAME_EXCED_RANGE;
        Sleep(WIZARD_RETRY_MS);
    }
    ShowStartFailure(error);
}

static void ShowStartFailure(DWORD error)
{
    char *systemText = NULL;
    char message[2048] = "";

    if (!FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM, NULL, error,
                        MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), (char *)&systemText, 0, NULL))
        systemText = NULL;
    FormatText(message, sizeof message, "CreateProcess failed with error %d: %s", (int)error,
               systemText ? systemText : "");
    if (systemText)
        LocalFree(systemText);
    MessageBoxA(NULL, message, "Error", MB_OK);
}

static void ShowDownloadPhaseAgain(void)
{
    SetWindowTextA(processState.mainWindow, processState.captionText);
    SetDlgItemTextA(processState.progressDialog, IDC_STATUS_LABEL, downloadLabel);
    SetDlgItemTextA(processState.progressDialog, IDC_STATUS_TEXT, "");
    SetProgress(0);
}

static void RetryLater(const char *archivePath)
{
    if (!processState.inTray)
        MinimizeToTray();
    Sleep(RETRY_DELAY_MS);
    // Deleted before the next run starts, which downloads to the same path.
    if (archivePath[0])
        DeleteFileA(archivePath);
    StartWorker(InstallWorker);
}
