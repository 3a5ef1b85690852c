#ifndef HALVEX_STATE_LEDGER_H
#define HALVEX_STATE_LEDGER_H

void UpdateInstalledWizards(int add);
int IsLastInstallation(void);

#endif
