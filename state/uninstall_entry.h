#ifndef HALVEX_STATE_UNINSTALL_ENTRY_H
#define HALVEX_STATE_UNINSTALL_ENTRY_H

void WriteUninstallEntry(const char *exePath);
void DeleteUninstallEntry(void);
void DeleteProductKeys(void);

#endif
