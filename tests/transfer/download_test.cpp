#include "transfer/download.h"

#include <windows.h>
#include <wininet.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/layout.h"
#include "support/local_server.h"
#include "support/sandbox.h"

static std::string TempPath()
{
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    return temp;
}

static bool IsCached(const std::string &url)
{
    char buffer[4096];
    DWORD size = sizeof buffer;
    return GetUrlCacheEntryInfoA(url.c_str(), (INTERNET_CACHE_ENTRY_INFOA *)buffer, &size) != FALSE;
}

TEST(DownloadPathTest, EachCallerNamesItsFileAfterItsOwnSeparators)
{
    InitInstallLayout();
    const std::string temp = TempPath();
    struct Case {
        const char *what;
        DownloadCaller caller;
        std::string url;
        const char *local; // after the temporary folder; null: refused
    } cases[] = {
        { "the wizard archive", DownloadWizard, installLayout.wizardZipUrl, "FenwaTamrick.zip" },
        { "the components archive, separator doubled", DownloadComponents, installLayout.componentsZipUrl,
          "\\BVMFC.zip" },
        { "the 64-bit installer", DownloadInstaller64, installLayout.installer64Url, "FenwaHalvex64.exe" },
        { "an archive name after a backslash", DownloadWizard, "http://host/dir\\Pack.zip", "Pack.zip" },
        { "the components name after a backslash", DownloadComponents, "http://host/a\\b\\Parts.zip",
          "\\Parts.zip" },
        { "the installer counts only '/'", DownloadInstaller64, "http://host/dir\\Setup.exe", "dir\\Setup.exe" },
        { "an installer URL without '/'", DownloadInstaller64, "FenwaHalvex64.exe", nullptr },
        { "an installer URL without '/' but with '\\'", DownloadInstaller64, "host\\FenwaHalvex64.exe", nullptr },
        { "an archive URL that ends in '/'", DownloadWizard, "http://host/fenwa/", nullptr },
        { "an archive URL without any separator", DownloadComponents, "BVMFC.zip", nullptr },
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        char path[1024] = "old";
        int made = MakeDownloadPath(c.caller, c.url.c_str(), path, sizeof path);
        EXPECT_EQ(c.local ? 1 : 0, made);
        EXPECT_EQ(c.local ? temp + c.local : "", std::string(path));
    }
}

TEST(DownloadPathTest, APathThatDoesNotFitIsRefusedNotCut)
{
    const std::string temp = TempPath();
    const std::string url = "http://host/FenwaTamrick.zip";
    const std::string full = temp + "FenwaTamrick.zip";
    char path[1024];
    EXPECT_EQ(1, MakeDownloadPath(DownloadWizard, url.c_str(), path, full.size() + 1));
    EXPECT_EQ(full, path);
    EXPECT_EQ(0, MakeDownloadPath(DownloadWizard, url.c_str(), path, full.size()));
    EXPECT_STREQ("", path);
}

// What sets the three callers apart; only the installer deletes an old file
// first and keeps its cache entry afterwards.
struct CallerCase {
    DownloadCaller caller;
    const char *url;
    bool deleted;
    bool cachedAfter;
};

// The URLs are read once the layout is initialised.
static std::vector<CallerCase> Callers()
{
    return {
        { DownloadWizard, installLayout.wizardZipUrl, false, false },
        { DownloadComponents, installLayout.componentsZipUrl, false, false },
        { DownloadInstaller64, installLayout.installer64Url, true, true },
    };
}

class DownloadTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        InitInstallLayout();
        SetServerControl("");
        ClearRequestLog();
    }
    void TearDown() override
    {
        SetServerControl("");
        for (const char *name : { "served-a.bin", "served-b.bin" })
            DeleteFileA(ServerStatePath(name).c_str());
        for (const std::string &path : made)
            DeleteFileA(path.c_str());
    }

    std::string PathFor(DownloadCaller caller, const char *url)
    {
        char path[1024];
        EXPECT_EQ(1, MakeDownloadPath(caller, url, path, sizeof path));
        made.push_back(path);
        DeleteFileA(path);
        return path;
    }

    std::vector<std::string> made;
};

TEST_F(DownloadTest, TheDoubledSeparatorNamesTheFileInTheTemporaryFolder)
{
    const char *url = installLayout.componentsZipUrl;
    std::string path = PathFor(DownloadComponents, url);
    PrepareDownload(DownloadComponents, url, path.c_str());
    ASSERT_HR(S_OK, RunDownload(DownloadComponents, url, path.c_str(), nullptr));
    std::string got, served;
    ASSERT_TRUE(ReadFileBytes(TempPath() + "BVMFC.zip", &got));
    ASSERT_TRUE(ReadFileBytes(HarnessPath("HALVEX_SERVER_ROOT") + "\\BVMFC.zip", &served));
    EXPECT_EQ(served, got);
}

TEST_F(DownloadTest, OnlyTheInstallerDeletesAnOldFileFirst)
{
    for (const CallerCase &c : Callers()) {
        SCOPED_TRACE(c.url);
        std::string path = PathFor(c.caller, c.url);
        WriteFileBytes(path, "left by an earlier run");
        PrepareDownload(c.caller, c.url, path.c_str());
        EXPECT_EQ(!c.deleted, FileExists(path));
    }
}

// Wine keeps downloads in its internet cache, as Windows does; each caller
// removes the entry before its download, and the archives also after it.
// Wine fetches a changed file anew even while its entry is cached, so the
// entry itself is what shows the removal here.
TEST_F(DownloadTest, AFileChangedOnTheServerIsFetchedAnewAndTheArchivesLeaveNoCacheEntry)
{
    for (const CallerCase &c : Callers()) {
        SCOPED_TRACE(c.url);
        std::string path = PathFor(c.caller, c.url);
        WriteFileBytes(ServerStatePath("served-a.bin"), "first version");
        WriteFileBytes(ServerStatePath("served-b.bin"), "second version, changed");
        SetServerControl("serve=" + ServerStateUnixPath("served-a.bin") + "\n");
        PrepareDownload(c.caller, c.url, path.c_str());
        ASSERT_HR(S_OK, RunDownload(c.caller, c.url, path.c_str(), nullptr));
        EXPECT_EQ(c.cachedAfter, IsCached(c.url));

        SetServerControl("serve=" + ServerStateUnixPath("served-b.bin") + "\n");
        PrepareDownload(c.caller, c.url, path.c_str());
        EXPECT_FALSE(IsCached(c.url));
        ASSERT_HR(S_OK, RunDownload(c.caller, c.url, path.c_str(), nullptr));
        std::string got;
        ASSERT_TRUE(ReadFileBytes(path, &got));
        EXPECT_EQ("second version, changed", got);
        PrepareDownload(c.caller, c.url, path.c_str());
    }
}

// Under Wine an error status, a dropped connection and a cut body all give
// S_OK with what arrived saved (the workflows meet them as unreadable
// archives); only a refused connection fails.
TEST_F(DownloadTest, OnlyARefusedConnectionFails)
{
    struct Case {
        const char *what;
        std::string control;
        std::string url;
        HRESULT result;
        bool file;
        const char *contains; // in the saved file
        long size;            // of the saved file; -1: any
    } cases[] = {
        { "HTTP 500: the error page", "fail=1\nfailmode=status:500\n", installLayout.wizardZipUrl, S_OK, true,
          "500 Internal Server Error", -1 },
        { "dropped before answering: an empty file", "fail=1\nfailmode=drop\n", installLayout.wizardZipUrl, S_OK,
          true, "", 0 },
        { "body cut short: the part received", "cut=100\n", installLayout.wizardZipUrl, S_OK, true, "PK", 100 },
        { "no listener", "", "http://127.0.0.1:1/fenwa/FenwaTamrick.zip", (HRESULT)0x800C0008, false, "", 0 },
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        std::string path = PathFor(DownloadWizard, c.url.c_str());
        SetServerControl(c.control);
        PrepareDownload(DownloadWizard, c.url.c_str(), path.c_str());
        EXPECT_HR(c.result, RunDownload(DownloadWizard, c.url.c_str(), path.c_str(), nullptr));
        std::string got;
        EXPECT_EQ(c.file, ReadFileBytes(path, &got));
        EXPECT_NE(std::string::npos, got.find(c.contains)) << got.substr(0, 200);
        if (c.size >= 0) {
            EXPECT_EQ((size_t)c.size, got.size());
        }
    }
}
