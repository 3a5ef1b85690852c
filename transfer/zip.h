#ifndef HALVEX_TRANSFER_ZIP_H
#define HALVEX_TRANSFER_ZIP_H

#include <windows.h>

enum ZipResult : int {
    ZipSuccess = 0,
    ZipFileOpenFailed = 0x200,
    ZipWriteFailed = 0x400,
    ZipHeaderMismatch = 0x700,
    ZipExtraReadFailed = 0x800,
    ZipBadArgument = 0x10000,
};

struct ZipItem {
    int index;
    char name[260];
    DWORD attributes;
    FILETIME accessTime;
    FILETIME creationTime;
    FILETIME writeTime;
    int compressedSize;
    int uncompressedSize;
};

struct ZipHandle;

ZipHandle *ZipOpen(const char *path);
ZipResult ZipGetItem(ZipHandle *handle, int index, ZipItem *item);
ZipResult ZipExtractItem(ZipHandle *handle, int index, const char *target);
ZipResult ZipClose(ZipHandle *handle);

// 0 for a name that is empty, absolute (a leading separator, a drive or any
// colon) or climbs with a ".." segment: such an entry is never written.
int ZipNameIsSafe(const char *name);

#endif
