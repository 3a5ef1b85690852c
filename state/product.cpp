#include "state/product.h"

#include <string.h>

#include "app/layout.h"
#include "state/registry.h"

const char PRODUCT_KEY[] = "SOFTWARE\\Corvina";

enum { STATE_TEXT_SIZE = 256 };

int IsProgramInstalled(void)
{
    HKEY key = NULL;
    char flag[STATE_TEXT_SIZE];
    int installed = 0;

    if (!OpenRegKey(key, HKEY_CURRENT_USER, PRODUCT_KEY, 1))
        goto done;
    ReadRegString(key, "ProgramInstalled", flag, sizeof flag);
    installed = lstrcmpiA(flag, "1") == 0;
done:
    CloseRegKey(key);
    return installed;
}

void WriteProgramState(const char *installedFlag, const char *installedDate)
{
    HKEY key = NULL;
    if (!OpenOrCreateRegKey(key, HKEY_CURRENT_USER, PRODUCT_KEY))
        goto done;
    if (lstrcmpiA(installedFlag, "1") == 0) {
        WriteRegString(key, "InstallDir", installLayout.installDir);
        WriteRegString(key, "VersionModule", "Tamrick.exe");
    }
    WriteRegString(key, "ProgramInstalled", installedFlag);
    WriteRegString(key, "InstalledDate", installedDate);
    WriteRegString(key, "FinishedDate", "");
done:
    CloseRegKey(key);
}

void WriteComponentsState(const char *componentsFlag)
{
    HKEY key = NULL;
    if (OpenOrCreateRegKey(key, HKEY_CURRENT_USER, PRODUCT_KEY))
        WriteRegString(key, "ComponentsInstalled", componentsFlag);
    CloseRegKey(key);
}
