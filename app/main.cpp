#include <windows.h>
#include <commctrl.h>
#include <objbase.h>

#include "app/entry.h"
#include "app/layout.h"
#include "app/process_state.h"
#include "shell/log.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show)
{
    INITCOMMONCONTROLSEX controls = { sizeof controls, 0xFF };
    const char *text = commandLine ? commandLine : "";
    int empty = text[0] == '\0';

    (void)previous;
    (void)show;
    ForceEnglishLocale();
    // Only a plain start is refused: a mode word always runs, alongside.
    if (empty && IsAnotherInstanceRunning())
        return 0;
    processState.instance = instance;
    CoInitialize(NULL);
    InitCommonControlsEx(&controls);
    InitInstallLayout();
    if (empty && IsOutlook64Bit())
        processState.installer64Mode = 1;
    WriteLog("Halvex Startup.");
    RunInstallerUI(instance, text);
    CoUninitialize();
    return 0;
}
