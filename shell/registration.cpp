#include "shell/registration.h"

#include <windows.h>

#include "app/layout.h"
#include "app/window.h"
#include "res/resource.h"
#include "res/text.h"

enum {
    COMMAND_LINE_SIZE = 1024,
    POLL_MS = 50,
    REGISTER_STEP = 5,
};

static const char UNREGISTER_SWITCHES[] = " -u -s";
static const char REGISTER_SWITCHES[] = " -s";

static void DeleteFromWindowsDir(const char *name);

void RunRegsvr32(const char *switches, int &progressPosition, int step)
{
    char commandLine[COMMAND_LINE_SIZE];
    char tool[MAX_PATH] = "";
    UINT systemLength = GetSystemDirectoryA(tool, sizeof tool);
    STARTUPINFOA startup;
    PROCESS_INFORMATION process = { NULL, NULL, 0, 0 };
    DWORD exitCode = STILL_ACTIVE;

    // A cut command line would register some other file or drop the switches.
    if (!FormatText(commandLine, sizeof commandLine, "regsvr32.exe \"%sBrevolt.ocx\"%s", installLayout.windowsDir,
                    switches))
        goto cleanup;
    // The system's own tool, named in full: a search from the command line
    // would try the current folder first, where a planted regsvr32.exe would
    // run with the installer's rights. The command line stays as it was.
    if (systemLength == 0 || systemLength >= sizeof tool || !AppendText(tool, sizeof tool, "\\regsvr32.exe"))
        goto cleanup;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    if (!CreateProcessA(tool, commandLine, NULL, NULL, FALSE, 0, NULL, NULL, &startup, &process))
        goto cleanup;
    SetProgress(progressPosition);
    WaitForInputIdle(process.hProcess, POLL_MS);
    // The first cycle always runs, so even a tool that is already gone moves
    // the bar once.
    while (exitCode == STILL_ACTIVE) {
        progressPosition += step;
        SetProgress(progressPosition);
        WaitForSingleObject(process.hProcess, POLL_MS);
        // Without an exit code the wait could never end.
        if (!GetExitCodeProcess(process.hProcess, &exitCode))
            break;
    }

cleanup:
    if (process.hThread)
        CloseHandle(process.hThread);
    if (process.hProcess)
        CloseHandle(process.hProcess);
}

void RegisterComponents(void)
{
    int position = 0;
    int heldPosition = 0;

    // Any earlier registration goes first; the second run keeps the bar at 0.
    RunRegsvr32(UNREGISTER_SWITCHES, position, REGISTER_STEP);
    RunRegsvr32(REGISTER_SWITCHES, heldPosition, 0);
}

void UnregisterComponents(int &progressPosition)
{
    SetStatusLine(IDS_UNREGISTERING_COMPONENTS, IDC_STATUS_TEXT);
    RunRegsvr32(UNREGISTER_SWITCHES, progressPosition, REGISTER_STEP);
    DeleteFromWindowsDir("Brevolt.ocx");
    DeleteFromWindowsDir("Dolvane.exe");
}

static void DeleteFromWindowsDir(const char *name)
{
    char path[LAYOUT_TEXT_SIZE];

    if (CopyText(path, sizeof path, installLayout.windowsDir) && AppendText(path, sizeof path, name))
        DeleteFileA(path);
}
