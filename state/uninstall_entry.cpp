#include "state/uninstall_entry.h"

#include <shlwapi.h>

#include "app/layout.h"
#include "res/text.h"
#include "state/registry.h"

enum { ENTRY_TEXT_SIZE = 256 };

static const char UNINSTALL_KEY[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

struct ProductTree {
    HKEY root;
    const char *subKey;
};

// Removed in this order with the last edition.
static const ProductTree PRODUCT_TREES[] = {
    { HKEY_CURRENT_USER, "Software\\Ombrix" },
    { HKEY_CURRENT_USER, "Software\\Corvina" },
    { HKEY_CURRENT_USER, "Software\\Quellby" },
    { HKEY_LOCAL_MACHINE, "SOFTWARE\\Ombrix" },
};

static int BuildEntryKey(char *path, size_t capacity);

void WriteUninstallEntry(const char *exePath)
{
    HKEY key = NULL;
    char entryKey[ENTRY_TEXT_SIZE];
    char displayIcon[ENTRY_TEXT_SIZE];
    char uninstallString[ENTRY_TEXT_SIZE];
    const char *const iconParts[] = { exePath, ",0" };
    // Quoted so that a path with spaces cannot be taken for a shorter program
    // such as C:\Program.exe.
    const char *const commandParts[] = { "\"", exePath, "\" -uninstall" };

    // A text that does not fit leaves the entry unwritten rather than
    // pointing at a cut path.
    displayIcon[0] = '\0';
    uninstallString[0] = '\0';
    if (!BuildEntryKey(entryKey, sizeof entryKey)
        || !AppendTexts(displayIcon, sizeof displayIcon, iconParts, 2)
        || !AppendTexts(uninstallString, sizeof uninstallString, commandParts, 3))
        goto done;
    if (!OpenOrCreateRegKey(key, HKEY_LOCAL_MACHINE, entryKey))
        goto done;
    WriteRegString(key, "DisplayIcon", displayIcon);
    WriteRegString(key, "DisplayName", installLayout.displayName);
    WriteRegString(key, "InstallLocation", installLayout.installDir);
    WriteRegString(key, "UninstallString", uninstallString);
done:
    CloseRegKey(key);
}

void DeleteUninstallEntry(void)
{
    char entryKey[ENTRY_TEXT_SIZE];
    // A cut name could be another program's entry.
    if (BuildEntryKey(entryKey, sizeof entryKey))
        DeleteRegKey(entryKey);
}

void DeleteProductKeys(void)
{
    for (size_t i = 0; i < sizeof PRODUCT_TREES / sizeof PRODUCT_TREES[0]; i++)
        SHDeleteKeyA(PRODUCT_TREES[i].root, PRODUCT_TREES[i].subKey);
}

// Without a display name the path would be the Uninstall key itself.
static int BuildEntryKey(char *path, size_t capacity)
{
    const char *const parts[] = { UNINSTALL_KEY, installLayout.displayName };
    path[0] = '\0';
    return installLayout.displayName[0] != '\0' && AppendTexts(path, capacity, parts, 2);
}
