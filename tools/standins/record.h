/* Start records of the stand-in payloads: one line per start, appended to
   %HALVEX_RECORD_DIR%\starts.log, or %TEMP%\halvex-starts.log when the
   variable is unset:  <name>|<arguments>|<current directory>\r\n  */
#ifndef HALVEX_STANDIN_RECORD_H
#define HALVEX_STANDIN_RECORD_H

/* Records `name` with the given argument text. Returns 1 if the line was written. */
int RecordStart(const char *name, const char *arguments);

/* Records `name` with the process's own arguments: GetCommandLineA() after
   the program name and the blanks that follow it, as WinMain receives them. */
int RecordOwnStart(const char *name);

#endif
