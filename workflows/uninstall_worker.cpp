#include "workflows/workers.h"

#include "app/entry.h"
#include "app/layout.h"
#include "app/process_state.h"
#include "app/window.h"
#include "res/resource.h"
#include "res/strings.h"
#include "res/text.h"
#include "shell/folders.h"
#include "shell/registration.h"
#include "state/ledger.h"
#include "state/uninstall_entry.h"

DWORD WINAPI UninstallWorker(LPVOID)
{
    InstallLayout &l = installLayout;
    int position = 30;
    int lastEdition = 0;

    ForceEnglishLocale();
    SetWindowTextA(processState.mainWindow, LoadText(IDS_REMOVING_COMPONENTS));
    SetStatusLine(IDS_REMOVAL_STATUS, IDC_STATUS_LABEL);
    SetStatusLine(IDS_REMOVING_UNINSTALL, IDC_STATUS_TEXT);
    DeleteUninstallEntry();
    SetProgress(position);

    SetStatusLine(IDS_REMOVING_DESKTOP_LINK, IDC_STATUS_TEXT);
    DeleteFileA(l.desktopShortcut);
    DeleteFileA(l.startupShortcut);
    DeleteFileA(l.programsShortcut);

    // The ledger is updated first: the question is whether any edition is
    // left after this one.
    UpdateInstalledWizards(0);
    if (IsLastInstallation()) {
        UnregisterComponents(position);
        DeleteProductKeys();
        lastEdition = 1;
    }
    position += 30;
    SetProgress(position);

    SetStatusLine(IDS_REMOVING_FILES, IDC_STATUS_TEXT);
    DeleteFolderTree(l.installDir);
    if (lastEdition)
        DeleteFolderTree(l.sharedProductDir);
    SetProgress(80);
    // A folder with no room for its separator is left alone rather than cut.
    if (AppendText(l.programsFolder, sizeof l.programsFolder, "\\"))
        DeleteFolderTree(l.programsFolder);
    SetProgress(100);

    if (!IsVistaOrLater())
        ScheduleSelfDelete();
    PostMessageA(processState.mainWindow, WM_INSTALLER_CLOSE, 0, 0);
    return 0;
}
