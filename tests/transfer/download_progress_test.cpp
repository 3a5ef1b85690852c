#include "transfer/download_progress.h"

#include <windows.h>
#include <servprov.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/process_state.h"
#include "support/local_server.h"
#include "support/progress_recorder.h"
#include "support/sandbox.h"
#include "transfer/download.h"

static const int START_POSITION = 37;

// The status text reaches the dialog by a sent message and the bar position
// by a posted one; the recorder's own thread takes both, as the real dialog's.
class DownloadProgressTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        processState.progressDialog = dialog.Handle();
        InitDownloadProgress(&progress);
    }
    void TearDown() override { processState.progressDialog = nullptr; }

    ProgressRecorder dialog{ START_POSITION };
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
    // Slow enough that a loaded machine still sees many reports on the way.
    Serve(20000000, "rate=5000000\n");
    Download(20000000);
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

    EXPECT_EQ("Downloaded 19.0 MB of 19.0 MB.", dialog.texts.back());
}
