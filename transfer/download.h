#ifndef HALVEX_TRANSFER_DOWNLOAD_H
#define HALVEX_TRANSFER_DOWNLOAD_H

#include <windows.h>

#include "transfer/download_progress.h"

// The downloading callers; how each makes its local path, treats the cache
// and an old file is a table in download.cpp.
enum DownloadCaller { DownloadWizard, DownloadComponents, DownloadInstaller64 };

// The local file in the temporary folder for the URL's file name; 0 when the
// URL has no file name (for the 64-bit installer only '/' counts, so its URL
// without '/' is refused here) or the path does not fit.
int MakeDownloadPath(DownloadCaller caller, const char *url, char *path, size_t capacity);
// Before the first attempt: the old file (where the caller deletes it) and
// the URL's cache entry go.
void PrepareDownload(DownloadCaller caller, const char *url, const char *path);
// One attempt: the call, the cache entry removed again where the caller
// does; returns the call's result (negative is a failure).
HRESULT RunDownload(DownloadCaller caller, const char *url, const char *path, DownloadProgress *progress);

#endif
