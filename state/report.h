#ifndef HALVEX_STATE_REPORT_H
#define HALVEX_STATE_REPORT_H

int AppendInstallGuid(void);
void SendInstallReport(void);

#endif
