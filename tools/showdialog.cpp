// Shows the progress window in one language with sample texts, for
// tools/screenshot.sh. Usage: showdialog.exe en|fr READY_FILE
// Writes the window's screen rectangle into READY_FILE once it is painted and
// ends when READY_FILE is deleted (or after a minute).
#include <windows.h>
#include <commctrl.h>
#include <shlwapi.h>

#include <string.h>

#include "app/layout.h"
#include "app/process_state.h"
#include "app/window.h"
#include "res/resource.h"
#include "res/strings.h"
#include "res/text.h"

enum { POLL_MS = 100, GIVE_UP_MS = 60000, SAMPLE_POSITION = 35 };

static char readyFile[MAX_PATH];
static DWORD startTick;

static void CALLBACK PollReadyFile(HWND, UINT, UINT_PTR, DWORD)
{
    if (GetFileAttributesA(readyFile) == INVALID_FILE_ATTRIBUTES || GetTickCount() - startTick > GIVE_UP_MS)
        PostMessageA(processState.mainWindow, WM_INSTALLER_CLOSE, 0, 0);
}

static int WriteReadyFile(void)
{
    RECT rect;
    char line[64];
    DWORD written = 0;
    GetWindowRect(processState.mainWindow, &rect);
    FormatText(line, sizeof line, "%ld %ld %ld %ld\n", rect.left, rect.top, rect.right - rect.left,
               rect.bottom - rect.top);
    HANDLE file = CreateFileA(readyFile, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return 0;
    WriteFile(file, line, (DWORD)strlen(line), &written, NULL);
    CloseHandle(file);
    return 1;
}

int main(int argc, char **argv)
{
    if (argc != 3 || (lstrcmpA(argv[1], "en") != 0 && lstrcmpA(argv[1], "fr") != 0))
        return 2;
    CopyText(readyFile, sizeof readyFile, argv[2]);
    // The resource loader follows the thread locale.
    LANGID language = lstrcmpA(argv[1], "fr") == 0 ? MAKELANGID(LANG_FRENCH, SUBLANG_FRENCH_CANADIAN)
                                                   : MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);
    SetThreadLocale(MAKELCID(language, SORT_DEFAULT));

    INITCOMMONCONTROLSEX controls = { 8, 0xFF };
    InitCommonControlsEx(&controls);
    processState.instance = GetModuleHandleA(NULL);
    CopyText(installLayout.displayName, sizeof installLayout.displayName, DISPLAY_NAME);
    LoadStringA(processState.instance, IDS_WINDOW_CLASS, processState.windowClassName,
                sizeof processState.windowClassName);
    LoadStringA(processState.instance, IDS_TITLE_DOWNLOADING, processState.captionText,
                sizeof processState.captionText);
    AppendText(processState.captionText, sizeof processState.captionText, installLayout.displayName);
    AppendText(processState.captionText, sizeof processState.captionText, "...");

    processState.mainWindow = CreateMainWindow();
    processState.progressDialog = processState.mainWindow ? CreateProgressDialog(IDD_DOWNLOAD_STATUS) : NULL;
    if (!processState.progressDialog)
        return 1;
    ShowWindow(processState.mainWindow, SW_SHOW);
    UpdateWindow(processState.mainWindow);

    // What a download shows part-way through.
    char received[32];
    char total[32];
    char status[256];
    StrFormatByteSizeA(1363148, received, sizeof received);
    StrFormatByteSizeA(3879731, total, sizeof total);
    FormatText(status, sizeof status, LoadText(IDS_DOWNLOADED_OF), received, total);
    SetDlgItemTextA(processState.progressDialog, IDC_STATUS_TEXT, status);
    SetProgress(SAMPLE_POSITION);
    RedrawWindow(processState.mainWindow, NULL, NULL, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);

    if (!WriteReadyFile())
        return 1;
    startTick = GetTickCount();
    SetTimer(NULL, 0, POLL_MS, PollReadyFile);
    RunMessageLoop();
    return 0;
}
