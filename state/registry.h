#ifndef HALVEX_STATE_REGISTRY_H
#define HALVEX_STATE_REGISTRY_H

#include <windows.h>

enum { REG_READ_SIZE = 1024 };

// The key handle is the caller's; a failed open or create leaves it null and
// CloseRegKey always leaves it null.
int OpenRegKey(HKEY &key, HKEY root, const char *subKey, int writable);
int CreateRegKey(HKEY &key, HKEY root, const char *subKey);
// Open with full access, else create; 0 when neither worked.
int OpenOrCreateRegKey(HKEY &key, HKEY root, const char *subKey);
int WriteRegString(HKEY &key, const char *valueName, const char *text);
// A value that is missing, unreadable, 1024 bytes or longer, or longer than
// the caller's buffer reads as the empty text with the result 0.
int ReadRegString(HKEY &key, const char *valueName, char *out, size_t outCapacity);
int DeleteRegKey(const char *subKey);
LONG CloseRegKey(HKEY &key);

#endif
