#include "app/entry.h"

#include "app/layout.h"
#include "app/process_state.h"
#include "app/run_mode.h"
#include "app/window.h"
#include "res/resource.h"
#include "res/text.h"
#include "shell/log.h"
#include "state/product.h"
#include "workflows/workers.h"

// Indexed by ModeWork; the tray-only start has no thread.
static LPTHREAD_START_ROUTINE const WORKERS[] = { InstallWorker, ComponentsWorker, UninstallWorker,
                                                  Installer64Worker, NULL };

static void StartLockedTray(void);

int RunInstallerUI(HINSTANCE instance, const char *commandLine)
{
    const ModeRow *row;

    ForceEnglishLocale();
    row = DecideRunMode(commandLine, processState.installer64Mode, IsProgramInstalled());
    // The dialog puts the caption on the main window as it is created, so the
    // window is titled with the mode's caption from the start.
    ComposeCaption(processState.captionText, sizeof processState.captionText, row);
    processState.windowClassName[0] = '\0';
    LoadStringA(instance, IDS_WINDOW_CLASS, processState.windowClassName, sizeof processState.windowClassName);
    processState.updateMode = row->updateMode;

    processState.mainWindow = CreateMainWindow();
    if (!processState.mainWindow)
        return 0;
    processState.progressDialog = CreateProgressDialog(row->dialogId);
    if (!processState.progressDialog)
        return 0;

    ShowWindow(processState.mainWindow, SW_SHOW);
    UpdateWindow(processState.mainWindow);
    if (row->work == WorkTrayOnly)
        StartLockedTray();
    else
        StartWorker(WORKERS[row->work]);

    RunMessageLoop();
    return 1;
}

// The tray sequence with the window hidden first and the icon locked before it
// appears, so no click can bring the window back.
static void StartLockedTray(void)
{
    HICON icon;

    ShowWindow(processState.mainWindow, SW_HIDE);
    processState.inTray = 1;
    processState.trayLocked = 1;
    SetTrayIcon(processState.progressDialog, NULL, TrayAdd, NULL);
    icon = (HICON)LoadImageA(processState.instance, MAKEINTRESOURCEA(IDI_APP), IMAGE_ICON, 16, 16,
                             LR_DEFAULTCOLOR);
    SetTrayIcon(processState.progressDialog, icon, TrayModify, installLayout.displayName);
}

// Nothing but a worker posts the close, so without one the program would
// wait forever: it ends at once instead. The thread's handle is never closed.
void StartWorker(LPTHREAD_START_ROUTINE worker)
{
    char line[LOG_LINE_SIZE];

    if (CreateThread(NULL, 0, worker, NULL, 0, NULL))
        return;
    FormatText(line, sizeof line, "Couldn't start the worker thread - error %lu", GetLastError());
    WriteLog(line);
    PostMessageA(processState.mainWindow, WM_INSTALLER_CLOSE, 0, 0);
}
