#include "app/window.h"

#include <commctrl.h>
#include <shellapi.h>

#include "app/layout.h"
#include "app/process_state.h"
#include "res/resource.h"
#include "res/strings.h"
#include "res/text.h"

enum {
    TITLE_BAR_HEIGHT = 31,
    ABOVE_CENTRE = 20,
    TRAY_ICON_SIZE = 16,
    PROGRESS_MAX = 100,
};

// The shell is told the size of the full structure, which ends with the
// balloon icon; this SDK level declares the structure without it.
struct FullNotifyIconData {
    NOTIFYICONDATAA data;
    HICON balloonIcon;
};
static_assert(sizeof(FullNotifyIconData) == 508, "the shell expects the full NOTIFYICONDATAA");

static void CentreMainWindow(HWND dialog);
static void HideIntoTray(HWND owner, HWND window);
static void BringBackFromTray(HWND window);

MainWindowPlacement PlaceMainWindow(int screenWidth, int screenHeight, int clientWidth, int clientHeight,
                                    int frameWidth, int frameHeight)
{
    MainWindowPlacement placement;
    placement.width = clientWidth + frameWidth;
    placement.height = clientHeight + frameHeight + TITLE_BAR_HEIGHT;
    placement.x = (screenWidth - placement.width) / 2;
    placement.y = (screenHeight - placement.height) / 2 - ABOVE_CENTRE;
    return placement;
}

static void CentreMainWindow(HWND dialog)
{
    RECT client;
    GetClientRect(dialog, &client);
    MainWindowPlacement placement = PlaceMainWindow(
        GetSystemMetrics(SM_CXFULLSCREEN), GetSystemMetrics(SM_CYFULLSCREEN), client.right, client.bottom,
        GetSystemMetrics(SM_CXDLGFRAME), GetSystemMetrics(SM_CYDLGFRAME));
    MoveWindow(GetParent(dialog), placement.x, placement.y, placement.width, placement.height, TRUE);
}

BOOL SetTrayIcon(HWND owner, HICON icon, int operation, const char *tip)
{
    FullNotifyIconData full;
    ZeroMemory(&full, sizeof full);
    NOTIFYICONDATAA &nid = full.data;
    nid.cbSize = sizeof full;
    nid.hWnd = owner;
    nid.uID = TRAY_ICON_ID;
    nid.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    nid.uCallbackMessage = WM_TRAY_NOTIFY;
    nid.hIcon = icon;
    CopyText(nid.szTip, sizeof nid.szTip, tip ? tip : "");
    BOOL result = Shell_NotifyIconA(operation, &nid);
    // The shell keeps its own copy of the picture.
    if (icon)
        DestroyIcon(icon);
    return result;
}

// Adding twice fails harmlessly and the modify still sets the picture and
// tip, so a repeated close simply refreshes the icon.
static void HideIntoTray(HWND owner, HWND window)
{
    processState.inTray = 1;
    SetTrayIcon(owner, NULL, TrayAdd, NULL);
    HICON icon = (HICON)LoadImageA(processState.instance, MAKEINTRESOURCEA(IDI_APP), IMAGE_ICON, TRAY_ICON_SIZE,
                                   TRAY_ICON_SIZE, LR_DEFAULTCOLOR);
    SetTrayIcon(owner, icon, TrayModify, installLayout.displayName);
    ShowWindow(window, SW_HIDE);
}

static void BringBackFromTray(HWND window)
{
    ShowWindow(window, SW_SHOW);
    SetForegroundWindow(window);
    if (processState.inTray) {
        SetTrayIcon(processState.progressDialog, NULL, TrayDelete, NULL);
        processState.inTray = 0;
    }
}

void MinimizeToTray(void)
{
    HideIntoTray(processState.progressDialog, processState.mainWindow);
}

LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE:
        return 0;
    case WM_CLOSE:
        // The close box never ends the program: only the worker does.
        HideIntoTray(processState.progressDialog, window);
        return 0;
    case WM_INSTALLER_CLOSE:
        DestroyWindow(window);
        return 0;
    case WM_DESTROY:
        if (processState.inTray)
            SetTrayIcon(processState.progressDialog, NULL, TrayDelete, NULL);
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}

INT_PTR CALLBACK ProgressDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        // progressDialog is not stored yet: work on the handle given.
        CentreMainWindow(dialog);
        SendDlgItemMessageA(dialog, IDC_PROGRESS, PBM_SETRANGE, 0, MAKELPARAM(0, PROGRESS_MAX));
        SetWindowTextA(GetParent(dialog), processState.captionText);
        break;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDC_TRAY_BUTTON)
            HideIntoTray(dialog, GetParent(dialog));
        break;
    case WM_TRAY_NOTIFY:
        // Only a released click counts, and none once the tray is locked.
        if (wParam == TRAY_ICON_ID && (lParam == WM_LBUTTONUP || lParam == WM_RBUTTONUP) &&
            !processState.trayLocked)
            BringBackFromTray(GetParent(dialog));
        break;
    }
    return 0;
}

HWND CreateMainWindow(void)
{
    WNDCLASSEXA windowClass;
    ZeroMemory(&windowClass, sizeof windowClass);
    windowClass.cbSize = sizeof windowClass;
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = MainWndProc;
    windowClass.hInstance = processState.instance;
    windowClass.hIcon = LoadIconA(processState.instance, MAKEINTRESOURCEA(IDI_APP));
    windowClass.hIconSm = LoadIconA(processState.instance, MAKEINTRESOURCEA(IDI_APP));
    windowClass.hCursor = LoadCursorA(NULL, IDC_ARROW);
    windowClass.hbrBackground = (HBRUSH)(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = processState.windowClassName;
    // A second registration in the same process fails and the class stays.
    RegisterClassExA(&windowClass);
    // The dialog's initialisation replaces position and size.
    return CreateWindowExA(0, processState.windowClassName, processState.captionText, WS_SYSMENU, CW_USEDEFAULT, 0,
                           CW_USEDEFAULT, 0, NULL, NULL, processState.instance, NULL);
}

HWND CreateProgressDialog(int templateId)
{
    return CreateDialogParamA(processState.instance, MAKEINTRESOURCEA(templateId), processState.mainWindow,
                              ProgressDlgProc, 0);
}

void RunMessageLoop(void)
{
    // No IsDialogMessage: the dialog has nothing to navigate.
    MSG message;
    while (GetMessageA(&message, NULL, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

void SetStatusLine(unsigned int stringId, int controlId)
{
    SetWindowTextA(GetDlgItem(processState.progressDialog, controlId), LoadText(stringId));
}

void SetProgress(int position)
{
    SendMessageA(GetDlgItem(processState.progressDialog, IDC_PROGRESS), PBM_SETPOS, (WPARAM)position, 0);
}

void ShowPhase(char *caption, size_t captionCapacity, unsigned int labelId, unsigned int textId)
{
    // A caption that does not fit keeps as much of the name as fits.
    AppendText(caption, captionCapacity, installLayout.displayName);
    AppendText(caption, captionCapacity, "...");
    SetWindowTextA(processState.mainWindow, caption);
    SetStatusLine(labelId, IDC_STATUS_LABEL);
    SetStatusLine(textId, IDC_STATUS_TEXT);
}
