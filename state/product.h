#ifndef HALVEX_STATE_PRODUCT_H
#define HALVEX_STATE_PRODUCT_H

extern const char PRODUCT_KEY[]; // under HKEY_CURRENT_USER

int IsProgramInstalled(void);
void WriteProgramState(const char *installedFlag, const char *installedDate);
void WriteComponentsState(const char *componentsFlag);

#endif
