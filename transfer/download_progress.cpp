#include "transfer/download_progress.h"

#include <stddef.h>

#include <commctrl.h>
#include <shlwapi.h>

#include "app/process_state.h"
#include "res/resource.h"
#include "res/strings.h"
#include "res/text.h"

enum { SIZE_TEXT_SIZE = 256, STATUS_LINE_SIZE = 256 };

static const char UNKNOWN_TOTAL[] = "unknown total size";
static const char FALLBACK_FORMAT[] = "Downloaded %s of %s.";

static HRESULT STDMETHODCALLTYPE QueryInterfaceNotImplemented(DownloadProgress *object, REFIID iid, void **result);
static ULONG STDMETHODCALLTYPE CountNothing(DownloadProgress *object);
static HRESULT STDMETHODCALLTYPE OnStartBindingNotImplemented(DownloadProgress *object, DWORD reserved,
                                                              IBinding *binding);
static HRESULT STDMETHODCALLTYPE GetPriorityNotImplemented(DownloadProgress *object, LONG *priority);
static HRESULT STDMETHODCALLTYPE OnLowResourceNotImplemented(DownloadProgress *object, DWORD reserved);
static HRESULT STDMETHODCALLTYPE OnStopBindingNotImplemented(DownloadProgress *object, HRESULT result,
                                                             LPCWSTR error);
static HRESULT STDMETHODCALLTYPE GetBindInfoNotImplemented(DownloadProgress *object, DWORD *bindFlags,
                                                           BINDINFO *bindInfo);
static HRESULT STDMETHODCALLTYPE OnDataAvailableNotImplemented(DownloadProgress *object, DWORD flags, DWORD size,
                                                               FORMATETC *format, STGMEDIUM *medium);
static HRESULT STDMETHODCALLTYPE OnObjectAvailableNotImplemented(DownloadProgress *object, REFIID iid,
                                                                 IUnknown *unknown);
static int IsSizeLineFormat(const char *format);

static const DownloadProgressTable DOWNLOAD_PROGRESS_TABLE = {
    QueryInterfaceNotImplemented,
    CountNothing,
    CountNothing,
    OnStartBindingNotImplemented,
    GetPriorityNotImplemented,
    OnLowResourceNotImplemented,
    OnProgress,
    OnStopBindingNotImplemented,
    GetBindInfoNotImplemented,
    OnDataAvailableNotImplemented,
    OnObjectAvailableNotImplemented,
};

// The platform calls through the first word of the object: the record must
// start with the table, and the table must hold exactly the eleven slots.
static_assert(offsetof(DownloadProgress, table) == 0, "the table pointer comes first");
static_assert(sizeof(DownloadProgressTable) == 11 * sizeof(void *), "eleven operations, nothing else");

DownloadProgress *InitDownloadProgress(DownloadProgress *object)
{
    object->table = &DOWNLOAD_PROGRESS_TABLE;
    object->dialog = processState.progressDialog;
    object->positionMessage = PBM_SETPOS;
    return object;
}

IBindStatusCallback *AsBindStatusCallback(DownloadProgress *object)
{
    return reinterpret_cast<IBindStatusCallback *>(object);
}

HRESULT STDMETHODCALLTYPE OnProgress(DownloadProgress *object, ULONG progress, ULONG progressMax, ULONG statusCode,
                                     LPCWSTR statusText)
{
    (void)statusCode;
    (void)statusText;
    char received[SIZE_TEXT_SIZE];
    char total[SIZE_TEXT_SIZE];
    char line[STATUS_LINE_SIZE];

    received[0] = '\0';
    total[0] = '\0';
    StrFormatByteSizeA(progress, received, sizeof received);
    if (progressMax == 0)
        CopyText(total, sizeof total, UNKNOWN_TOTAL);
    else
        StrFormatByteSizeA(progressMax, total, sizeof total);

    // The format comes from our own string table, but a translation with a
    // stray directive would read arguments that are not there.
    const char *format = LoadText(IDS_DOWNLOADED_OF);
    if (!IsSizeLineFormat(format))
        format = FALLBACK_FORMAT;
    FormatText(line, sizeof line, format, received, total);
    SetDlgItemTextA(object->dialog, IDC_STATUS_TEXT, line);

    if (progressMax != 0) {
        // 64-bit product: counts above 42,949,672 bytes overflow 32 bits.
        ULONGLONG percent = (ULONGLONG)progress * 100 / progressMax;
        PostMessageA(GetDlgItem(object->dialog, IDC_PROGRESS), object->positionMessage, (WPARAM)percent, 0);
    }
    return S_OK;
}

// Exactly two "%s" and no other directive.
static int IsSizeLineFormat(const char *format)
{
    int strings = 0;
    for (const char *c = format; *c; c++) {
        if (*c != '%')
            continue;
        if (c[1] != 's')
            return 0;
        strings++;
        c++;
    }
    return strings == 2;
}

// Hands out nothing, not even IUnknown, so the platform gets no bind
// options, negotiation or authentication from us.
static HRESULT STDMETHODCALLTYPE QueryInterfaceNotImplemented(DownloadProgress *object, REFIID iid, void **result)
{
    (void)object;
    (void)iid;
    if (result)
        *result = NULL;
    return E_NOTIMPL;
}

// The object lives in its worker's frame; nothing is counted or freed.
static ULONG STDMETHODCALLTYPE CountNothing(DownloadProgress *object)
{
    (void)object;
    return 0;
}

static HRESULT STDMETHODCALLTYPE OnStartBindingNotImplemented(DownloadProgress *object, DWORD reserved,
                                                              IBinding *binding)
{
    (void)object;
    (void)reserved;
    (void)binding;
    return E_NOTIMPL;
}

static HRESULT STDMETHODCALLTYPE GetPriorityNotImplemented(DownloadProgress *object, LONG *priority)
{
    (void)object;
    (void)priority;
    return E_NOTIMPL;
}

static HRESULT STDMETHODCALLTYPE OnLowResourceNotImplemented(DownloadProgress *object, DWORD reserved)
{
    (void)object;
    (void)reserved;
    return E_NOTIMPL;
}

static HRESULT STDMETHODCALLTYPE OnStopBindingNotImplemented(DownloadProgress *object, HRESULT result,
                                                             LPCWSTR error)
{
    (void)object;
    (void)result;
    (void)error;
    return E_NOTIMPL;
}

static HRESULT STDMETHODCALLTYPE GetBindInfoNotImplemented(DownloadProgress *object, DWORD *bindFlags,
                                                           BINDINFO *bindInfo)
{
    (void)object;
    (void)bindFlags;
    (void)bindInfo;
    return E_NOTIMPL;
}

static HRESULT STDMETHODCALLTYPE OnDataAvailableNotImplemented(DownloadProgress *object, DWORD flags, DWORD size,
                                                               FORMATETC *format, STGMEDIUM *medium)
{
    (void)object;
    (void)flags;
    (void)size;
    (void)format;
    (void)medium;
    return E_NOTIMPL;
}

static HRESULT STDMETHODCALLTYPE OnObjectAvailableNotImplemented(DownloadProgress *object, REFIID iid,
                                                                 IUnknown *unknown)
{
    (void)object;
    (void)iid;
    (void)unknown;
    return E_NOTIMPL;
}
