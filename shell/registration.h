#ifndef HALVEX_SHELL_REGISTRATION_H
#define HALVEX_SHELL_REGISTRATION_H

void RunRegsvr32(const char *switches, int &progressPosition, int step);
void RegisterComponents(void);
void UnregisterComponents(int &progressPosition);

#endif
