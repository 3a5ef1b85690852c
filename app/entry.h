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

#endif
