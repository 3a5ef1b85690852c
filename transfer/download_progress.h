#ifndef HALVEX_TRANSFER_DOWNLOAD_PROGRESS_H
#define HALVEX_TRANSFER_DOWNLOAD_PROGRESS_H

#include <windows.h>
#include <urlmon.h>

// The binding-status object of every download that shows progress: a plain
// record whose first field points at one static table of the eleven
// IBindStatusCallback operations. Not reference-counted; a local of the
// downloading worker that outlives URLDownloadToFileA.
struct DownloadProgress {
    const void *table;
    HWND dialog;
    UINT positionMessage;
};

DownloadProgress *InitDownloadProgress(DownloadProgress *object);
IBindStatusCallback *AsBindStatusCallback(DownloadProgress *object);
HRESULT OnProgress(DownloadProgress *object, ULONG progress, ULONG progressMax, ULONG statusCode,
                   LPCWSTR statusText);

#endif
