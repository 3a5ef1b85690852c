#include "transfer/download_progress.h"

#include <windows.h>
#include <commctrl.h>
#include <servprov.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/process_state.h"
#include "res/resource.h"
#include "support/local_server.h"
#include "support/sandbox.h"
#include "transfer/download.h"

// A window with the two controls the progress object writes to, owned by a
// thread of its own that pumps messages, as the real dialog is: the status
// text then reaches it by a sent message and the bar position by a posted
// one. Both controls are subclassed to record what arrives, in order. The
// window itself stays hidden: without a window manager, Wine waits two
// seconds for a shown window to be withdrawn when it is destroyed.
class StandInDialog {
public:
    explicit StandInDialog(int startPosition)
    {
        startPosition_ = startPosition;
        ready_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        flushed_ = CreateEventA(nullptr, FALSE, FALSE, nullptr);
        thread_ = CreateThread(nullptr, 0, Run, this, 0, nullptr);
        WaitForSingleObject(ready_, 10000);
    }

    ~StandInDialog()
    {
        PostMessageA(window_, WM_CLOSE, 0, 0);
        WaitForSingleObject(thread_, 10000);
        CloseHandle(thread_);
        CloseHandle(ready_);
        CloseHandle(flushed_);
    }

    HWND Handle() const { return window_; }

    // Returns once the window's thread has handled everything posted to
    // the bar before the call.
    void Flush()
    {
        PostMessageA(bar_, FLUSH_MESSAGE, 0, 0);
        EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(flushed_, 10000));
    }

    void Clear()
    {
        Flush();
        texts.clear();
        positions.clear();
    }

    std::string StatusText() const
    {
        char text[512] = "";
        GetDlgItemTextA(window_, IDC_STATUS_TEXT, text, sizeof text);
        return text;
    }

    int Position() const { return (int)SendMessageA(bar_, PBM_GETPOS, 0, 0); }

    std::vector<std::string> texts;
    std::vector<int> positions;

private:
    static const UINT FLUSH_MESSAGE = WM_APP + 1;

    static DWORD WINAPI Run(void *argument)
    {
        StandInDialog *self = (StandInDialog *)argument;
        INITCOMMONCONTROLSEX controls = { sizeof controls, ICC_PROGRESS_CLASS };
        InitCommonControlsEx(&controls);
        WNDCLASSA windowClass = {};
        windowClass.lpfnWndProc = WindowProc;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.lpszClassName = "HalvexStandInDialog";
        RegisterClassA(&windowClass);
        self->window_ = CreateWindowExA(0, "HalvexStandInDialog", "", WS_OVERLAPPEDWINDOW, 0, 0, 500,
                                        100, nullptr, nullptr, windowClass.hInstance, nullptr);
        HWND text = CreateWindowExA(0, "STATIC", "", WS_CHILD | WS_VISIBLE, 10, 10, 450, 16, self->window_,
                                    (HMENU)IDC_STATUS_TEXT, windowClass.hInstance, nullptr);
        self->bar_ = CreateWindowExA(0, PROGRESS_CLASSA, "Progress1", WS_CHILD | WS_VISIBLE | WS_BORDER | PBS_SMOOTH,
                                     10, 40, 450, 16, self->window_, (HMENU)IDC_PROGRESS, windowClass.hInstance,
                                     nullptr);
        SendMessageA(self->bar_, PBM_SETRANGE32, 0, 100);
        SendMessageA(self->bar_, PBM_SETPOS, self->startPosition_, 0);
        SetPropA(text, "recorder", self);
        SetPropA(self->bar_, "recorder", self);
        self->textProc_ = (WNDPROC)SetWindowLongPtrA(text, GWLP_WNDPROC, (LONG_PTR)TextProc);
        self->barProc_ = (WNDPROC)SetWindowLongPtrA(self->bar_, GWLP_WNDPROC, (LONG_PTR)BarProc);
        SetEvent(self->ready_);
        MSG message;
        while (GetMessageA(&message, nullptr, 0, 0) > 0) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        return 0;
    }

    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
    {
        if (message == WM_DESTROY)
            PostQuitMessage(0);
        return DefWindowProcA(window, message, wParam, lParam);
    }

    static LRESULT CALLBACK TextProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
    {
        StandInDialog *self = (StandInDialog *)GetPropA(window, "recorder");
        if (message == WM_SETTEXT)
            self->texts.push_back((const char *)lParam);
        return CallWindowProcA(self->textProc_, window, message, wParam, lParam);
    }

    static LRESULT CALLBACK BarProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
    {
        StandInDialog *self = (StandInDialog *)GetPropA(window, "recorder");
        if (message == FLUSH_MESSAGE) {
            SetEvent(self->flushed_);
            return 0;
        }
        if (message == PBM_SETPOS)
            self->positions.push_back((int)wParam);
        return CallWindowProcA(self->barProc_, window, message, wParam, lParam);
    }

    int startPosition_ = 0;
    HANDLE ready_ = nullptr;
    HANDLE flushed_ = nullptr;
    HANDLE thread_ = nullptr;
    HWND window_ = nullptr;
    HWND bar_ = nullptr;
    WNDPROC textProc_ = nullptr;
    WNDPROC barProc_ = nullptr;
};

static const int START_POSITION = 37;

class DownloadProgressTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        processState.progressDialog = dialog.Handle();
        InitDownloadProgress(&progress);
    }
    void TearDown() override { processState.progressDialog = nullptr; }

    StandInDialog dialog{ START_POSITION };
    DownloadProgress progress;
};

TEST_F(DownloadProgressTest, EachReportRewritesTheLineAndMovesTheBarOnlyWithATotal)
{
    const int NONE = -1;
    struct Case {
        const char *what;
        ULONG received, total;
        const char *line;
        int position;
    } cases[] = {
        { "a status-only report, both counts 0", 0, 0, "Downloaded 0 bytes of unknown total size.", NONE },
        { "no total: the bar is left alone", 5000, 0, "Downloaded 4.88 KB of unknown total size.", NONE },
        { "half", 1024, 2048, "Downloaded 1.00 KB of 2.00 KB.", 50 },
        { "the percentage is truncated", 2, 3, "Downloaded 2 bytes of 3 bytes.", 66 },
        { "above 2 GiB the product needs 64 bits", 3000000000u, 4000000000u, "Downloaded 2.79 GB of 3.72 GB.", 75 },
        { "the largest counts", 0xFFFFFFFFu, 0xFFFFFFFFu, "Downloaded 3.99 GB of 3.99 GB.", 100 },
        { "nothing yet of a known total", 0, 1048576, "Downloaded 0 bytes of 1.00 MB.", 0 },
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        dialog.Clear();
        EXPECT_HR(S_OK, OnProgress(&progress, c.received, c.total, BINDSTATUS_DOWNLOADINGDATA, nullptr));
        dialog.Flush();
        EXPECT_EQ(std::vector<std::string>{ c.line }, dialog.texts);
        EXPECT_EQ(c.line, dialog.StatusText());
        EXPECT_EQ(c.position == NONE ? std::vector<int>{} : std::vector<int>{ c.position }, dialog.positions);
    }
}

// Called through the interface, each slot must reach its own operation: a
// table out of the platform's order would send progress to another slot.
TEST_F(DownloadProgressTest, TheInterfaceAnswersOnlyProgressAndHandsOutNothing)
{
    IBindStatusCallback *callback = AsBindStatusCallback(&progress);
    const IID *iids[] = { &IID_IUnknown, &IID_IBindStatusCallback, &IID_IHttpNegotiate, &IID_IServiceProvider,
                          &IID_IAuthenticate, &IID_IWindowForBindingUI };
    for (const IID *iid : iids) {
        void *out = (void *)1;
        EXPECT_HR(E_NOTIMPL, callback->QueryInterface(*iid, &out));
        EXPECT_EQ(nullptr, out);
    }
    EXPECT_EQ(0u, callback->AddRef());
    EXPECT_EQ(0u, callback->Release());

    LONG priority = 0;
    DWORD flags = 0;
    BINDINFO info = {};
    info.cbSize = sizeof info;
    EXPECT_HR(E_NOTIMPL, callback->OnStartBinding(0, nullptr));
    EXPECT_HR(E_NOTIMPL, callback->GetPriority(&priority));
    EXPECT_HR(E_NOTIMPL, callback->OnLowResource(0));
    EXPECT_HR(E_NOTIMPL, callback->OnStopBinding(S_OK, nullptr));
    EXPECT_HR(E_NOTIMPL, callback->GetBindInfo(&flags, &info));
    EXPECT_HR(E_NOTIMPL, callback->OnDataAvailable(0, 0, nullptr, nullptr));
    EXPECT_HR(E_NOTIMPL, callback->OnObjectAvailable(IID_IUnknown, nullptr));
    dialog.Flush();
    EXPECT_TRUE(dialog.texts.empty()) << "only OnProgress writes to the dialog";

    EXPECT_HR(S_OK, callback->OnProgress(1024, 2048, BINDSTATUS_DOWNLOADINGDATA, nullptr));
    dialog.Flush();
    EXPECT_EQ(std::vector<std::string>{ "Downloaded 1.00 KB of 2.00 KB." }, dialog.texts);
    EXPECT_EQ(std::vector<int>{ 50 }, dialog.positions);
}

// Real downloads through URLDownloadToFileA from the local server.
class DownloadProgressServerTest : public DownloadProgressTest {
protected:
    void SetUp() override
    {
        DownloadProgressTest::SetUp();
        SetServerControl("");
        url = DistributionUrl("/fenwa/FenwaTamrick.zip");
        ASSERT_EQ(1, MakeDownloadPath(DownloadWizard, url.c_str(), path, sizeof path));
        DeleteFileA(path);
    }
    void TearDown() override
    {
        SetServerControl("");
        DeleteFileA(path);
        DeleteFileA(ServerStatePath("progress-body.bin").c_str());
        DownloadProgressTest::TearDown();
    }

    // Serves a body of the given size for the wizard's URL, with the
    // further directives given.
    void Serve(size_t size, const std::string &directives)
    {
        WriteFileBytes(ServerStatePath("progress-body.bin"), std::string(size, 'h'));
        SetServerControl("serve=" + ServerStateUnixPath("progress-body.bin") + "\n" + directives);
    }

    void Download(size_t expectedSize)
    {
        PrepareDownload(DownloadWizard, url.c_str(), path);
        ASSERT_HR(S_OK, RunDownload(DownloadWizard, url.c_str(), path, &progress));
        dialog.Flush();
        std::string body;
        ASSERT_TRUE(ReadFileBytes(path, &body));
        EXPECT_EQ(expectedSize, body.size());
        ASSERT_FALSE(dialog.texts.empty());
    }

    std::string url;
    char path[1024];
};

TEST_F(DownloadProgressServerTest, AKnownLengthEndsWithTheTotalAgainstItselfAndTheBarFull)
{
    Serve(1048576, "");
    Download(1048576);
    EXPECT_EQ("Downloaded 1.00 MB of 1.00 MB.", dialog.texts.back());
    EXPECT_EQ("Downloaded 1.00 MB of 1.00 MB.", dialog.StatusText());
    ASSERT_FALSE(dialog.positions.empty());
    EXPECT_EQ(100, dialog.positions.back());
    EXPECT_EQ(100, dialog.Position());
}

TEST_F(DownloadProgressServerTest, WithoutALengthTheTotalIsUnknownAndTheBarStays)
{
    Serve(1048576, "nolength=1\n");
    Download(1048576);
    for (const std::string &line : dialog.texts)
        EXPECT_NE(std::string::npos, line.find(" of unknown total size.")) << line;
    EXPECT_EQ("Downloaded 1.00 MB of unknown total size.", dialog.texts.back());
    EXPECT_TRUE(dialog.positions.empty());
    EXPECT_EQ(START_POSITION, dialog.Position());
}

// Wine reports data as it reads it; from an unpaced local server it reads
// the whole body before its first data report, so the server is paced here.
TEST_F(DownloadProgressServerTest, ALargeDownloadMovesTheBarSteadilyUpToFull)
{
    Serve(100000000, "rate=50000000\n");
    Download(100000000);
    ASSERT_FALSE(dialog.positions.empty());
    int largestStep = 0, distinct = 1;
    for (size_t i = 1; i < dialog.positions.size(); i++) {
        EXPECT_LE(dialog.positions[i - 1], dialog.positions[i]) << "at report " << i;
        largestStep = std::max(largestStep, dialog.positions[i] - dialog.positions[i - 1]);
        distinct += dialog.positions[i] != dialog.positions[i - 1];
    }
    EXPECT_LE(dialog.positions.front(), 5);
    EXPECT_EQ(100, dialog.positions.back());
    // How far apart the reports fall depends on the machine's load.
    EXPECT_GE(distinct, 10);
    EXPECT_LE(largestStep, 50);

    EXPECT_EQ("Downloaded 95.3 MB of 95.3 MB.", dialog.texts.back());
}
