#ifndef HALVEX_APP_ENTRY_H
#define HALVEX_APP_ENTRY_H

#include <windows.h>

enum RunMode { Install, Update, Uninstall, InstallComponents, Startup, Installer64 };

enum { INSTANCE_NAME_SIZE = 260 };

int ForceEnglishLocale(void);
char *BuildInstanceName(char *buffer);
int IsAnotherInstanceRunning(void);
int IsOutlook64Bit(void);
int RunInstallerUI(HINSTANCE instance, const char *commandLine);
// Starts a worker thread; when none can be made the program logs it and
// ends, since nothing else would ever close it.
void StartWorker(LPTHREAD_START_ROUTINE worker);

#endif
