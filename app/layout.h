#ifndef HALVEX_APP_LAYOUT_H
#define HALVEX_APP_LAYOUT_H

enum { LAYOUT_TEXT_SIZE = 1024 };

// Every path, URL and name the installer uses, computed once at start.
struct InstallLayout {
    char installDir[LAYOUT_TEXT_SIZE];
    char sharedProductDir[LAYOUT_TEXT_SIZE];
    char windowsDir[LAYOUT_TEXT_SIZE];
    char programsFolder[LAYOUT_TEXT_SIZE];
    char programsShortcut[LAYOUT_TEXT_SIZE];
    char startupShortcut[LAYOUT_TEXT_SIZE];
    char desktopShortcut[LAYOUT_TEXT_SIZE];
    char ownPath[LAYOUT_TEXT_SIZE];
    char displayName[LAYOUT_TEXT_SIZE];
    char wizardCode[LAYOUT_TEXT_SIZE];
    char wizardZipUrl[LAYOUT_TEXT_SIZE];
    char componentsZipUrl[LAYOUT_TEXT_SIZE];
    char installer64Url[LAYOUT_TEXT_SIZE];
    char installReportUrl[LAYOUT_TEXT_SIZE];
};

extern InstallLayout installLayout;

// "Fenwa® Parvello Wizard Powered By Corvina™" in code page 1252.
extern const char DISPLAY_NAME[];

void InitInstallLayout(void);

#endif
