#ifndef HALVEX_TRANSFER_DOWNLOAD_PROGRESS_H
#define HALVEX_TRANSFER_DOWNLOAD_PROGRESS_H

#include <windows.h>
#include <urlmon.h>

struct DownloadProgress;

// The eleven IBindStatusCallback operations in the order of the platform's
// declaration, each taking the record as its object: laid out like the
// interface's table, so a pointer to the record serves as the interface.
struct DownloadProgressTable {
    HRESULT(STDMETHODCALLTYPE *QueryInterface)(DownloadProgress *object, REFIID iid, void **result);
    ULONG(STDMETHODCALLTYPE *AddRef)(DownloadProgress *object);
    ULONG(STDMETHODCALLTYPE *Release)(DownloadProgress *object);
    HRESULT(STDMETHODCALLTYPE *OnStartBinding)(DownloadProgress *object, DWORD reserved, IBinding *binding);
    HRESULT(STDMETHODCALLTYPE *GetPriority)(DownloadProgress *object, LONG *priority);
    HRESULT(STDMETHODCALLTYPE *OnLowResource)(DownloadProgress *object, DWORD reserved);
    HRESULT(STDMETHODCALLTYPE *OnProgress)(DownloadProgress *object, ULONG progress, ULONG progressMax,
                                           ULONG statusCode, LPCWSTR statusText);
    HRESULT(STDMETHODCALLTYPE *OnStopBinding)(DownloadProgress *object, HRESULT result, LPCWSTR error);
    HRESULT(STDMETHODCALLTYPE *GetBindInfo)(DownloadProgress *object, DWORD *bindFlags, BINDINFO *bindInfo);
    HRESULT(STDMETHODCALLTYPE *OnDataAvailable)(DownloadProgress *object, DWORD flags, DWORD size,
                                                FORMATETC *format, STGMEDIUM *medium);
    HRESULT(STDMETHODCALLTYPE *OnObjectAvailable)(DownloadProgress *object, REFIID iid, IUnknown *unknown);
};

// The binding-status object of every download that shows progress: a plain
// record whose first field points at one static table of the eleven
// IBindStatusCallback operations. Not reference-counted; a local of the
// downloading worker that outlives URLDownloadToFileA.
struct DownloadProgress {
    const DownloadProgressTable *table;
    HWND dialog;
    UINT positionMessage;
};

DownloadProgress *InitDownloadProgress(DownloadProgress *object);
IBindStatusCallback *AsBindStatusCallback(DownloadProgress *object);
HRESULT STDMETHODCALLTYPE OnProgress(DownloadProgress *object, ULONG progress, ULONG progressMax,
                                     ULONG statusCode, LPCWSTR statusText);

#endif
