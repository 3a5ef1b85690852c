// The install workflow of the real Halvex.exe, against the local servers.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/e2e.h"
#include "support/sandbox.h"
#include "support/zip_builder.h"

static const std::string DISPLAY = "Fenwa\xAE Parvello Wizard Powered By Corvina\x99";
static const char PRODUCT_KEY[] = "SOFTWARE\\Corvina";
static const char UNINSTALL_ENTRY[] =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Fenwa\xAE Parvello Wizard Powered By Corvina\x99";
static const char WIZARD_ZIP[] = "http GET /fenwa/FenwaTamrick.zip";
static const DWORD RUN_LIMIT_MS = 60000;

static std::string Value(HKEY root, const char *key, const char *name)
{
    std::string raw;
    if (!RegistrySandbox::GetRaw(root, key, name, &raw))
        return "<missing>";
    return raw.c_str(); // without the terminator the system may add
}

static std::string Product(const char *name)
{
    return Value(HKEY_CURRENT_USER, PRODUCT_KEY, name);
}

static std::string TodayUtc()
{
    SYSTEMTIME now;
    GetSystemTime(&now);
    return std::to_string(now.wMonth) + "-" + std::to_string(now.wDay) + "-" + std::to_string(now.wYear);
}

static std::string ReportGuid()
{
    for (const std::string &line : ServerRequests()) {
        size_t at = line.find("&guid=");
        if (line.rfind("https GET /payment/product.install?", 0) == 0 && at != std::string::npos)
            return line.substr(at + 6);
    }
    return "<no report>";
}

class InstallE2eTest : public HalvexE2eTest {
protected:
    const InstallLayout &l = MachineLayout();
    std::string Archive() const { return TempFolderPath() + "FenwaTamrick.zip"; }
    std::string Wizard() const { return std::string(l.installDir) + "Tamrick.exe"; }

    void ExpectInstalled()
    {
        EXPECT_EQ("1", Product("ProgramInstalled"));
        EXPECT_EQ(TodayUtc(), Product("InstalledDate"));
        EXPECT_EQ("", Product("FinishedDate"));
        EXPECT_EQ(l.installDir, Product("InstallDir"));
        EXPECT_EQ("Tamrick.exe", Product("VersionModule"));
        EXPECT_EQ("0", Product("ComponentsInstalled"));
        EXPECT_EQ("0004", Product("InstalledWizards"));
        EXPECT_EQ("1", Product("TotalCVInstallations"));
        EXPECT_EQ("\"" + Wizard() + "\" -uninstall", Value(HKEY_LOCAL_MACHINE, UNINSTALL_ENTRY, "UninstallString"));
        EXPECT_EQ(Wizard() + ",0", Value(HKEY_LOCAL_MACHINE, UNINSTALL_ENTRY, "DisplayIcon"));
        EXPECT_EQ(DISPLAY, Value(HKEY_LOCAL_MACHINE, UNINSTALL_ENTRY, "DisplayName"));
        EXPECT_TRUE(FileExists(Wizard()));
        EXPECT_TRUE(FileExists(std::string(l.installDir) + "Halvex.exe")) << "the installer's copy";
        EXPECT_TRUE(FileExists(l.programsShortcut));
        EXPECT_TRUE(FileExists(l.desktopShortcut));
        EXPECT_FALSE(FileExists(l.startupShortcut)) << "the resumption link stayed";
        EXPECT_FALSE(FileExists(Archive())) << "the downloaded archive stayed";
    }
};

TEST_F(InstallE2eTest, AFreshInstallOnScreenStartsTheWizardAndReportsTheMachine)
{
    HalvexRun run;
    ASSERT_TRUE(run.Start(""));
    ASSERT_TRUE(run.WaitExit(RUN_LIMIT_MS));
    EXPECT_EQ(0u, run.ExitCode());
    ExpectInstalled();

    std::string guid = ReportGuid();
    EXPECT_TRUE(IsUpperCaseGuid(guid)) << guid;
    EXPECT_EQ(guid, Value(HKEY_LOCAL_MACHINE, "SOFTWARE\\Ombrix\\Quellby", "GUID"));
    EXPECT_EQ(1u, CountLinesWith(ServerRequests(), WIZARD_ZIP));

    char here[MAX_PATH];
    GetCurrentDirectoryA(sizeof here, here);
    std::vector<std::string> starts = WaitForStartRecords(1, 10000);
    ASSERT_EQ(1u, starts.size());
    EXPECT_EQ(std::string("Tamrick.exe||") + here, starts[0]) << "empty command line, the installer's folder";

    const std::vector<std::string> captions = {
        EscapeText("Downloading " + DISPLAY + "..."),
        EscapeText("Installing " + DISPLAY + "..."),
        EscapeText("Registering " + DISPLAY + "..."),
    };
    std::vector<std::string> seen;
    for (const std::string &c : WindowJournal::Values("caption", run.Id()))
        if (seen.empty() || seen.back() != EscapeText(c))
            seen.push_back(EscapeText(c));
    EXPECT_EQ(captions, seen);
    std::vector<std::string> labels = WindowJournal::Values("label", run.Id());
    EXPECT_EQ(1u, CountLinesWith(labels, "Install Status:"));
    EXPECT_EQ(1u, CountLinesWith(labels, "Register Status:"));
    std::vector<std::string> shows = WindowJournal::Values("show", run.Id());
    ASSERT_FALSE(shows.empty());
    EXPECT_EQ("0", shows.back()) << "the window goes to the locked tray at the end";
}

TEST_F(InstallE2eTest, AWindowHiddenDuringTheDownloadInstallsWithoutStartingTheWizard)
{
    SetServerControl("stall=8\n"); // time enough to reach the close box
    HalvexRun run;
    ASSERT_TRUE(run.Start(""));
    MainWindowView view;
    ASSERT_TRUE(WaitMainWindow(&view, 20000, run.Id()));
    ASSERT_TRUE(CloseMainWindow(run.Id()));
    ASSERT_TRUE(ReadMainWindow(&view, run.Id()));
    EXPECT_FALSE(view.visible) << "the close box hides the window";
    EXPECT_TRUE(run.Running()) << "the close box ended the program";

    ASSERT_TRUE(run.WaitExit(RUN_LIMIT_MS));
    ExpectInstalled();
    EXPECT_TRUE(StartRecords().empty()) << "the wizard was started from the tray";
}

TEST_F(InstallE2eTest, AnUpdateMarksTheProductNotInstalledWhileItRunsAndSendsNoReport)
{
    RegistrySandbox::PutString(HKEY_CURRENT_USER, PRODUCT_KEY, "ProgramInstalled", "1");
    SetServerControl("stall=4\n");
    HalvexRun run;
    ASSERT_TRUE(run.Start("-update"));
    ASSERT_TRUE(WaitForRequest(WIZARD_ZIP, 20000));
    EXPECT_EQ("0", Product("ProgramInstalled"));
    EXPECT_EQ("", Product("InstalledDate"));
    ASSERT_TRUE(run.WaitExit(RUN_LIMIT_MS));
    ExpectInstalled();
    EXPECT_EQ("<no report>", ReportGuid());
    EXPECT_EQ(1u, WaitForStartRecords(1, 10000).size()) << "the wizard starts after an update too";
    EXPECT_EQ("<missing>", Value(HKEY_LOCAL_MACHINE, "SOFTWARE\\Ombrix\\Quellby", "GUID"));
}

// Under Wine an error page or a dropped connection still "succeeds"; what
// arrives is no archive, which fails like a download.
TEST_F(InstallE2eTest, FailedDownloadsAreRetriedFromTheTrayUntilOneServes)
{
    for (const char *mode : { "failmode=status:500", "failmode=drop" }) {
        SCOPED_TRACE(mode);
        CleanMachine();
        SetServerControl(std::string("fail=2\n") + mode + "\n");
        HalvexRun run;
        ASSERT_TRUE(run.Start(""));
        ASSERT_TRUE(WaitForRequest(WIZARD_ZIP, 20000));
        ASSERT_TRUE(WindowJournal::WaitFor("show", 20000, "0", run.Id())) << "the first failure hides the window";
        EXPECT_EQ("0", Product("ProgramInstalled"));
        EXPECT_EQ("<missing>", Product("ComponentsInstalled")) << "a failed archive was taken as unpacked";

        ASSERT_TRUE(run.WaitExit(RUN_LIMIT_MS));
        EXPECT_EQ(3u, CountLinesWith(ServerRequests(), WIZARD_ZIP));
        // Each retry shows the download again, not the unpacking that failed.
        std::vector<std::string> labels = WindowJournal::Values("label", run.Id());
        const std::vector<std::string> expected = { "Install Status:", "Download status:", "Install Status:",
                                                    "Download status:", "Install Status:", "Register Status:" };
        EXPECT_EQ(expected, labels);
        ExpectInstalled();
        EXPECT_TRUE(StartRecords().empty()) << "the window stayed in the tray, so no wizard";
    }
}

// No server listening: the download itself fails.
TEST_F(InstallE2eTest, ARefusedConnectionIsRetriedFromTheTrayEveryFiveSeconds)
{
    ASSERT_TRUE(RefuseConnections(true));
    HalvexRun run;
    ASSERT_TRUE(run.Start(""));
    ASSERT_TRUE(WindowJournal::WaitFor("show", 20000, "0", run.Id())) << "the failure did not hide the window";
    DWORD hidden = GetTickCount();
    EXPECT_TRUE(run.Running());
    EXPECT_EQ("0", Product("ProgramInstalled"));
    EXPECT_TRUE(FileExists(l.startupShortcut)) << "the run must be able to resume";
    EXPECT_FALSE(FileExists(Archive()));

    ASSERT_TRUE(RefuseConnections(false));
    ASSERT_TRUE(WaitForRequest(WIZARD_ZIP, 20000));
    EXPECT_GE(GetTickCount() - hidden, 4000u) << "the next attempt came before its 5 seconds";
    ASSERT_TRUE(run.WaitExit(RUN_LIMIT_MS));
    ExpectInstalled();
    EXPECT_TRUE(StartRecords().empty()) << "the window stayed in the tray, so no wizard";
}

TEST_F(InstallE2eTest, AnInterruptedInstallResumesFromItsStartupLink)
{
    SetServerControl("stall=30\n");
    {
        HalvexRun run;
        ASSERT_TRUE(run.Start(""));
        ASSERT_TRUE(WaitForRequest(WIZARD_ZIP, 20000));
        run.Kill();
    }
    EXPECT_EQ("0", Product("ProgramInstalled"));
    ASSERT_TRUE(FileExists(l.startupShortcut)) << "nothing to resume from";
    std::string copy = std::string(l.installDir) + "Halvex.exe";
    ASSERT_TRUE(FileExists(copy));

    SetServerControl("");
    HalvexRun resumed;
    ASSERT_TRUE(resumed.Start("-startup", copy));
    ASSERT_TRUE(resumed.WaitExit(RUN_LIMIT_MS));
    ExpectInstalled();
    EXPECT_EQ(2u, CountLinesWith(ServerRequests(), WIZARD_ZIP));
    EXPECT_EQ(1u, WaitForStartRecords(1, 10000).size());
}

TEST_F(InstallE2eTest, AWizardMissingFromTheArchiveIsTriedFiveTimesThenReported)
{
    ZipEntryPlan readme;
    readme.name = "readme.txt";
    readme.data = "no wizard in here";
    std::string served = ServerStatePath("nowizard.zip");
    WriteFileBytes(served, BuildZip({ readme }));
    SetServerControl("serve=" + ServerStateUnixPath("nowizard.zip") + "\n");

    HalvexRun run;
    ASSERT_TRUE(run.Start(""));
    MessageBoxView box;
    ASSERT_TRUE(WaitMessageBox(&box, 60000, run.Id()));
    EXPECT_EQ("Error", box.caption);
    const std::string prefix = "CreateProcess failed with error 2: ";
    EXPECT_EQ(0u, box.text.rfind(prefix, 0)) << box.text;
    EXPECT_GT(box.text.size(), prefix.size()) << "the system's text for error 2 is missing";
    EXPECT_TRUE(run.Running());
    ASSERT_TRUE(PressMessageBoxButton("OK", 10000, run.Id()));
    ASSERT_TRUE(run.WaitExit(30000));
    EXPECT_EQ("1", Product("ProgramInstalled")) << "the run ends normally after the box";
    EXPECT_FALSE(FileExists(l.startupShortcut));
    EXPECT_EQ("0004", Product("InstalledWizards"));
    DeleteFileA(served.c_str());
}
