// Throughput of a 200 MB download from the local server with the progress
// object against the same download without it, rounds alternating, in one
// run. Also the cost of one progress report into a dialog on another
// thread, since how often the platform reports depends on the link.
#include <windows.h>
#include <commctrl.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "app/process_state.h"
#include "res/resource.h"
#include "transfer/download.h"
#include "transfer/download_progress.h"

enum { BODY_BYTES = 200 * 1000 * 1000, ROUNDS = 9, PACED_ROUNDS = 3, PACED_RATE = 50 * 1000 * 1000,
       REPORT_CALLS = 20000 };

static HANDLE dialogReady;
static HWND statusText;
static WNDPROC statusTextProc;
static volatile LONG reports;

static LRESULT CALLBACK CountingTextProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_SETTEXT)
        InterlockedIncrement(&reports);
    return CallWindowProcA(statusTextProc, window, message, wParam, lParam);
}

// The dialog's two controls on a thread of their own that pumps messages,
// as the user-interface thread does for the worker.
static DWORD WINAPI DialogThread(void *)
{
    INITCOMMONCONTROLSEX controls = { sizeof controls, ICC_PROGRESS_CLASS };
    InitCommonControlsEx(&controls);
    HINSTANCE instance = GetModuleHandleA(NULL);
    HWND dialog = CreateWindowExA(0, "STATIC", "", WS_OVERLAPPED, 0, 0, 500, 100, NULL, NULL, instance, NULL);
    statusText = CreateWindowExA(0, "STATIC", "", WS_CHILD | WS_VISIBLE, 10, 10, 450, 16, dialog,
                                 (HMENU)IDC_STATUS_TEXT, instance, NULL);
    CreateWindowExA(0, PROGRESS_CLASSA, "", WS_CHILD | WS_VISIBLE | PBS_SMOOTH, 10, 40, 450, 16, dialog,
                    (HMENU)IDC_PROGRESS, instance, NULL);
    statusTextProc = (WNDPROC)SetWindowLongPtrA(statusText, GWLP_WNDPROC, (LONG_PTR)CountingTextProc);
    processState.progressDialog = dialog;
    SetEvent(dialogReady);
    MSG message;
    while (GetMessageA(&message, NULL, 0, 0) > 0)
        DispatchMessageA(&message);
    return 0;
}

static double Seconds(LARGE_INTEGER from, LARGE_INTEGER to)
{
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return (double)(to.QuadPart - from.QuadPart) / (double)frequency.QuadPart;
}

static int WriteBody(const char *path)
{
    HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return 0;
    static unsigned char chunk[1 << 20];
    unsigned int seed = 12345;
    for (size_t i = 0; i < sizeof chunk; i++) {
        seed = seed * 1103515245u + 12345u;
        chunk[i] = (unsigned char)(seed >> 16);
    }
    int ok = 1;
    for (DWORD left = BODY_BYTES; left > 0 && ok;) {
        DWORD take = left < sizeof chunk ? left : (DWORD)sizeof chunk;
        DWORD written = 0;
        ok = WriteFile(file, chunk, take, &written, NULL) && written == take;
        left -= take;
    }
    CloseHandle(file);
    return ok;
}

static int WriteControl(const char *stateDir, const char *text)
{
    char path[MAX_PATH], temp[MAX_PATH];
    snprintf(path, sizeof path, "%s\\control", stateDir);
    snprintf(temp, sizeof temp, "%s\\control.bench-tmp", stateDir);
    HANDLE file = CreateFileA(temp, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return 0;
    DWORD written = 0;
    WriteFile(file, text, (DWORD)strlen(text), &written, NULL);
    CloseHandle(file);
    return MoveFileExA(temp, path, MOVEFILE_REPLACE_EXISTING) != 0;
}

// Seconds for one download, or a negative value when it failed.
static double TimeDownload(const char *url, const char *path, DownloadProgress *progress, LONG *reportCount)
{
    LARGE_INTEGER start, end;
    LONG before = reports;
    QueryPerformanceCounter(&start);
    PrepareDownload(DownloadWizard, url, path);
    HRESULT result = RunDownload(DownloadWizard, url, path, progress);
    QueryPerformanceCounter(&end);
    *reportCount = reports - before;
    WIN32_FILE_ATTRIBUTE_DATA data;
    int whole = GetFileAttributesExA(path, GetFileExInfoStandard, &data) && data.nFileSizeHigh == 0 &&
                data.nFileSizeLow == BODY_BYTES;
    DeleteFileA(path);
    if (FAILED(result) || !whole) {
        printf("download failed: 0x%08lX, whole file %d\n", (unsigned long)result, whole);
        return -1.0;
    }
    return Seconds(start, end);
}

static double Median(double *values, int count)
{
    for (int i = 1; i < count; i++)
        for (int j = i; j > 0 && values[j - 1] > values[j]; j--) {
            double swap = values[j];
            values[j] = values[j - 1];
            values[j - 1] = swap;
        }
    return count % 2 ? values[count / 2] : (values[count / 2 - 1] + values[count / 2]) / 2;
}

// Alternates downloads with and without the progress object, and which of
// the two goes first, so that a drift in the machine's load falls on both.
static int RunSeries(const char *title, const char *stateDir, const char *control, int rounds, const char *url,
                     const char *path, DownloadProgress *progress)
{
    double with[ROUNDS], without[ROUNDS];
    LONG reportsWith = 0;
    int withCount = 0, withoutCount = 0;

    if (!WriteControl(stateDir, control))
        return 0;
    printf("%s: %d bytes, %d rounds each\n", title, BODY_BYTES, rounds);
    for (int round = 0; round < 2 * rounds; round++) {
        int withProgress = (round % 2) == (round / 2) % 2;
        LONG count = 0;
        double seconds = TimeDownload(url, path, withProgress ? progress : NULL, &count);
        if (seconds < 0)
            return 0;
        printf("  %-14s %7.1f MB/s  %5.2f s  %5ld progress reports\n", withProgress ? "with progress" : "without",
               BODY_BYTES / seconds / 1e6, seconds, (long)count);
        if (withProgress) {
            with[withCount++] = seconds;
            reportsWith += count;
        } else {
            without[withoutCount++] = seconds;
        }
    }
    // Sorted by Median: the first is the fastest round.
    double medianWith = Median(with, withCount), medianWithout = Median(without, withoutCount);
    printf("  median: with progress %.1f MB/s (%ld reports per download), without %.1f MB/s; ratio %.3f\n",
           BODY_BYTES / medianWith / 1e6, (long)(reportsWith / withCount), BODY_BYTES / medianWithout / 1e6,
           medianWithout / medianWith);
    printf("  best:   with progress %.1f MB/s, without %.1f MB/s; ratio %.3f (target: above 0.90)\n",
           BODY_BYTES / with[0] / 1e6, BODY_BYTES / without[0] / 1e6, without[0] / with[0]);
    return 1;
}

int main(void)
{
    const char *stateUnix = getenv("HALVEX_SERVER_STATE");
    if (!stateUnix || stateUnix[0] != '/') {
        printf("HALVEX_SERVER_STATE is not set: run through tools/bench.sh\n");
        return 2;
    }
    char stateDir[MAX_PATH];
    snprintf(stateDir, sizeof stateDir, "Z:%s", stateUnix);
    for (char *c = stateDir; *c; c++)
        if (*c == '/')
            *c = '\\';
    char bodyPath[MAX_PATH], control[2 * MAX_PATH], pacedControl[2 * MAX_PATH];
    snprintf(bodyPath, sizeof bodyPath, "%s\\bench-download.bin", stateDir);
    snprintf(control, sizeof control, "serve=%s/bench-download.bin\n", stateUnix);
    snprintf(pacedControl, sizeof pacedControl, "%srate=%d\n", control, PACED_RATE);

    int status = 1;
    const char *url = "http://" HALVEX_DISTRIBUTION_HOST "/fenwa/FenwaTamrick.zip";
    char path[1024];
    DownloadProgress progress;

    dialogReady = CreateEventA(NULL, TRUE, FALSE, NULL);
    CreateThread(NULL, 0, DialogThread, NULL, 0, NULL);
    WaitForSingleObject(dialogReady, INFINITE);
    InitDownloadProgress(&progress);

    if (!MakeDownloadPath(DownloadWizard, url, path, sizeof path) || !WriteBody(bodyPath)) {
        printf("set-up failed\n");
        goto cleanup;
    }
    // Unpaced, Wine reads the body faster than it reports and reports only
    // a few times; paced, it reports about once per 16 KiB piece.
    if (!RunSeries("unpaced", stateDir, control, ROUNDS, url, path, &progress) ||
        !RunSeries("paced at 50 MB/s", stateDir, pacedControl, PACED_ROUNDS, url, path, &progress))
        goto cleanup;

    {
        // One report into a dialog on another thread, taken alone.
        LARGE_INTEGER start, end;
        QueryPerformanceCounter(&start);
        for (int i = 0; i < REPORT_CALLS; i++)
            OnProgress(&progress, (ULONG)i * 16384u, BODY_BYTES, BINDSTATUS_DOWNLOADINGDATA, NULL);
        QueryPerformanceCounter(&end);
        printf("one progress report alone: %.1f us\n", Seconds(start, end) / REPORT_CALLS * 1e6);
    }
    status = 0;

cleanup:
    WriteControl(stateDir, "");
    DeleteFileA(bodyPath);
    return status;
}
