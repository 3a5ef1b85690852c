#ifndef HALVEX_APP_WINDOW_H
#define HALVEX_APP_WINDOW_H

#include <windows.h>

#define WM_INSTALLER_CLOSE (WM_USER + 10)
#define WM_TRAY_NOTIFY (WM_APP + 100)
#define TRAY_ICON_ID 1006

enum TrayOperation { TrayAdd = 0, TrayModify = 1, TrayDelete = 2 };

LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK ProgressDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// Registers the class named processState.windowClassName and creates the main
// window titled processState.captionText; returns it (null on failure).
HWND CreateMainWindow(void);
// Creates the progress dialog from a template as a child of the main window.
HWND CreateProgressDialog(int templateId);
// GetMessage loop until WM_QUIT.
void RunMessageLoop(void);

// Where the dialog's initialisation puts the main window: centred across the
// full-screen client area, 20 pixels above its middle, 31 pixels added for
// the title bar.
struct MainWindowPlacement {
    int x;
    int y;
    int width;
    int height;
};
MainWindowPlacement PlaceMainWindow(int screenWidth, int screenHeight, int clientWidth, int clientHeight,
                                    int frameWidth, int frameHeight);

BOOL SetTrayIcon(HWND owner, HICON icon, int operation, const char *tip);
void MinimizeToTray(void);
void SetStatusLine(unsigned int stringId, int controlId);
void SetProgress(int position);
void ShowPhase(char *caption, size_t captionCapacity, unsigned int labelId, unsigned int textId);

#endif
