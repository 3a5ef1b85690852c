#include "state/report.h"

#include <objbase.h>
#include <shlwapi.h>
#include <urlmon.h>

#include <string>

#include <gtest/gtest.h>

#include "app/layout.h"
#include "res/text.h"
#include "support/sandbox.h"

static const char GUID_KEY[] = "SOFTWARE\\Ombrix\\Quellby";
static const std::string BASE_URL =
    "https://" HALVEX_REPORT_HOST "/payment/product.install?customerName=Fenwa&productName=Corvina&guid=";

static std::string StoredGuid()
{
    std::string raw;
    if (!RegistrySandbox::GetRaw(HKEY_LOCAL_MACHINE, GUID_KEY, "GUID", &raw))
        return "<missing>";
    return raw.c_str();
}

static std::string AppendedGuid()
{
    std::string url = installLayout.installReportUrl;
    if (url.compare(0, BASE_URL.size(), BASE_URL) != 0)
        return "<url changed before guid=: " + url + ">";
    return url.substr(BASE_URL.size());
}

static void ResetUrl()
{
    CopyText(installLayout.installReportUrl, sizeof installLayout.installReportUrl, BASE_URL.c_str());
}

class ReportTest : public ::testing::Test {
protected:
    // Wine's crypt32 reads the trusted roots from the registry once, when the
    // process builds its first certificate chain; built inside a sandbox it
    // would miss the local CA in the prefix's machine store. One request made
    // before any sandbox exists builds it from the real hive.
    static void SetUpTestSuite()
    {
        char temp[MAX_PATH];
        GetTempPathA(sizeof temp, temp);
        std::string scratch = std::string(temp) + "halvex-report-warmup.dat";
        CoInitialize(nullptr);
        URLDownloadToFileA(nullptr, "https://" HALVEX_REPORT_HOST "/", scratch.c_str(), 0, nullptr);
        DeleteFileA(scratch.c_str());
        CoUninitialize();
    }
    void SetUp() override
    {
        CoInitialize(nullptr);
        ResetUrl();
    }
    void TearDown() override { CoUninitialize(); }
    RegistrySandbox sandbox;
};

TEST_F(ReportTest, AStoredGuidIsSentAsItIsAndAMissingOrEmptyOneIsMade)
{
    struct Case {
        const char *what;
        const char *stored; // null: no value
        bool kept;
    } cases[] = {
        { "no value", nullptr, false },
        { "empty value", "", false },
        { "odd text", "abc", true },
        { "braces", "{6B29FC40-CA47-11D0-B3A5-00AA00BBCC11}", true },
        { "lower case", "6b29fc40-ca47-11d0-b3a5-00aa00bbcc11", true },
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        SHDeleteKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Ombrix");
        if (c.stored)
            RegistrySandbox::PutString(HKEY_LOCAL_MACHINE, GUID_KEY, "GUID", c.stored);
        ResetUrl();

        EXPECT_EQ(1, AppendInstallGuid());
        std::string sent = AppendedGuid();
        if (c.kept) {
            EXPECT_EQ(c.stored, sent);
        } else {
            EXPECT_TRUE(IsUpperCaseGuid(sent)) << sent;
        }
        EXPECT_EQ(sent, StoredGuid());

        // Every later report from the machine names it the same way.
        ResetUrl();
        EXPECT_EQ(1, AppendInstallGuid());
        EXPECT_EQ(sent, AppendedGuid());
        EXPECT_EQ(sent, StoredGuid());
    }
}

TEST_F(ReportTest, ADeletedGuidIsMadeAfresh)
{
    EXPECT_EQ(1, AppendInstallGuid());
    std::string first = AppendedGuid();
    SHDeleteKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Ombrix");
    ResetUrl();
    EXPECT_EQ(1, AppendInstallGuid());
    EXPECT_TRUE(IsUpperCaseGuid(AppendedGuid()));
    EXPECT_NE(first, AppendedGuid());
}

TEST_F(ReportTest, AGuidThatDoesNotFitTheUrlIsLeftOutWhole)
{
    std::string filled = BASE_URL + std::string(1023 - BASE_URL.size() - 35, 'x');
    CopyText(installLayout.installReportUrl, sizeof installLayout.installReportUrl, filled.c_str());
    EXPECT_EQ(0, AppendInstallGuid());
    EXPECT_EQ(filled, std::string(installLayout.installReportUrl));
    EXPECT_TRUE(IsUpperCaseGuid(StoredGuid())) << "the GUID is still kept for the next report";

    filled.pop_back();
    CopyText(installLayout.installReportUrl, sizeof installLayout.installReportUrl, filled.c_str());
    EXPECT_EQ(1, AppendInstallGuid());
    EXPECT_EQ(filled + StoredGuid(), std::string(installLayout.installReportUrl));
}

static void WriteControl(const std::string &text)
{
    std::string state = HarnessPath("HALVEX_SERVER_STATE");
    WriteFileBytes(state + "\\control.tmp", text);
    MoveFileExA((state + "\\control.tmp").c_str(), (state + "\\control").c_str(), MOVEFILE_REPLACE_EXISTING);
}

TEST_F(ReportTest, TheReportServerSeesTheGuidAndTheAnswerIsDeleted)
{
    std::string state = HarnessPath("HALVEX_SERVER_STATE");
    ASSERT_FALSE(state.empty()) << "run through tools/test.sh";
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    std::string answer = std::string(temp) + "tempresult.dat";

    struct Case {
        const char *what;
        const char *control;
    } cases[] = {
        { "the server answers", "" },
        { "the server fails", "fail=1\nfailmode=status:500\n" },
        { "the connection drops", "fail=1\nfailmode=drop\n" },
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        SHDeleteKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Ombrix");
        DeleteFileA((state + "\\requests.log").c_str());
        WriteControl(c.control);
        WriteFileBytes(answer, "stale");
        InitInstallLayout();

        SendInstallReport();

        std::string guid = StoredGuid();
        EXPECT_TRUE(IsUpperCaseGuid(guid)) << guid;
        std::string log;
        ASSERT_TRUE(ReadFileBytes(state + "\\requests.log", &log));
        EXPECT_EQ("https GET /payment/product.install?customerName=Fenwa&productName=Corvina&guid=" + guid + "\n",
                  log);
        EXPECT_FALSE(FileExists(answer));
    }
    WriteControl("");
}
