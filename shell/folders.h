#ifndef HALVEX_SHELL_FOLDERS_H
#define HALVEX_SHELL_FOLDERS_H

// folder ends with a backslash.
void DeleteFolderTree(const char *folder);
void ScheduleSelfDelete(void);
int IsVistaOrLater(void);

#endif
