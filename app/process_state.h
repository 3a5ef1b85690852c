#ifndef HALVEX_APP_PROCESS_STATE_H
#define HALVEX_APP_PROCESS_STATE_H

#include <windows.h>

enum ZipResult : int;

// Shared by the user-interface thread and the one worker. inTray and
// trayLocked are whole 32-bit stores of 0 or 1, read without locks.
struct ProcessState {
    HINSTANCE instance;
    HWND mainWindow;
    HWND progressDialog;
    char captionText[100];
    char windowClassName[100];
    LONG updateMode;
    BYTE installer64Mode;
    volatile LONG inTray;
    volatile LONG trayLocked;
    HANDLE instanceMutex;
    ZipResult zipLastResult;
};

extern ProcessState processState;

#endif
