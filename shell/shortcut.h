#ifndef HALVEX_SHELL_SHORTCUT_H
#define HALVEX_SHELL_SHORTCUT_H

#include <windows.h>

HRESULT CreateShortcut(const char *targetPath, const char *linkPath, const char *arguments);

#endif
