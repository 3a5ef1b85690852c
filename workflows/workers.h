#ifndef HALVEX_WORKFLOWS_WORKERS_H
#define HALVEX_WORKFLOWS_WORKERS_H

#include <windows.h>

// Thread routines, one per mode; each ends the program by posting
// WM_INSTALLER_CLOSE to the main window.
DWORD WINAPI InstallWorker(LPVOID);
DWORD WINAPI ComponentsWorker(LPVOID);
DWORD WINAPI UninstallWorker(LPVOID);
DWORD WINAPI Installer64Worker(LPVOID);

#endif
