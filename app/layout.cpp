#include "app/layout.h"

#include <string.h>
#include <windows.h>

#include "app/process_state.h"
#include "res/text.h"
#include "state/registry.h"

InstallLayout installLayout;

const char DISPLAY_NAME[] = "Fenwa\xAE Parvello Wizard Powered By Corvina\x99";

static const char SHELL_FOLDERS_KEY[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
static const char SHORTCUT_SUFFIX[] = "\\Fenwa\xAE Parvello Wizard Powered By Corvina\x99.lnk";

static void ReadFolder(HKEY &key, const char *valueName, char *field);
static void AppendSuffix(char *field, const char *suffix);

void InitInstallLayout(void)
{
    InstallLayout &l = installLayout;
    HKEY key = NULL;

    GetModuleFileNameA(processState.instance, l.ownPath, sizeof l.ownPath);
    l.ownPath[sizeof l.ownPath - 1] = '\0';
    l.programsFolder[0] = '\0';

    if (OpenRegKey(key, HKEY_LOCAL_MACHINE, SHELL_FOLDERS_KEY, 0)) {
        ReadFolder(key, "Common Desktop", l.desktopShortcut);
        ReadFolder(key, "Common Programs", l.programsFolder);
    }
    CloseRegKey(key);

    if (OpenRegKey(key, HKEY_CURRENT_USER, SHELL_FOLDERS_KEY, 0)) {
        ReadFolder(key, "Startup", l.startupShortcut);
        if (l.programsFolder[0] == '\0')
            ReadFolder(key, "Programs", l.programsFolder);
    }
    CloseRegKey(key);

    // The link inside the folder must fit as well; a folder too long for it
    // is taken as missing for both fields, so the link stays inside it.
    if (strlen(l.programsFolder) + sizeof "\\Corvina" - 1 + sizeof SHORTCUT_SUFFIX - 1 >= LAYOUT_TEXT_SIZE)
        l.programsFolder[0] = '\0';
    AppendSuffix(l.programsFolder, "\\Corvina");
    CopyText(l.programsShortcut, sizeof l.programsShortcut, l.programsFolder);

    if (OpenRegKey(key, HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion", 0)) {
        ReadFolder(key, "ProgramFilesDir", l.installDir);
        ReadFolder(key, "ProgramFilesDir", l.sharedProductDir);
    }
    CloseRegKey(key);
    AppendSuffix(l.sharedProductDir, "\\Corvina\\");

    CopyText(l.wizardZipUrl, sizeof l.wizardZipUrl, "http://" HALVEX_DISTRIBUTION_HOST "/fenwa/FenwaTamrick.zip");
    CopyText(l.installer64Url, sizeof l.installer64Url, "http://" HALVEX_DISTRIBUTION_HOST "/fenwa/FenwaHalvex64.exe");
    CopyText(l.componentsZipUrl, sizeof l.componentsZipUrl, "http://" HALVEX_DISTRIBUTION_HOST "/BVMFC.zip");

    AppendSuffix(l.installDir, "\\CorvinaFenwa\\");
    AppendSuffix(l.desktopShortcut, SHORTCUT_SUFFIX);
    AppendSuffix(l.startupShortcut, SHORTCUT_SUFFIX);
    AppendSuffix(l.programsShortcut, SHORTCUT_SUFFIX);

    l.windowsDir[0] = '\0';
    GetWindowsDirectoryA(l.windowsDir, sizeof l.windowsDir);
    l.windowsDir[sizeof l.windowsDir - 1] = '\0';
    AppendSuffix(l.windowsDir, "\\");

    CopyText(l.displayName, sizeof l.displayName, DISPLAY_NAME);
    CopyText(l.installReportUrl, sizeof l.installReportUrl,
             "https://" HALVEX_REPORT_HOST "/payment/product.install?customerName=Fenwa&productName=Corvina&guid=");
    CopyText(l.wizardCode, sizeof l.wizardCode, "0004");
}

static void ReadFolder(HKEY &key, const char *valueName, char *field)
{
    ReadRegString(key, valueName, field, LAYOUT_TEXT_SIZE);
}

// A folder that with its suffix would not fit is taken as missing, so the
// field is never a cut path that names some other folder.
static void AppendSuffix(char *field, const char *suffix)
{
    if (!AppendText(field, LAYOUT_TEXT_SIZE, suffix))
        CopyText(field, LAYOUT_TEXT_SIZE, suffix);
}
