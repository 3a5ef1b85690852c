// The components workflow of the real Halvex.exe: retries asked in a message
// box, the log lines, and the control registered by the real regsvr32.exe.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/e2e.h"
#include "support/sandbox.h"

static const char CONTROL_KEY[] = "SOFTWARE\\Classes\\BrevoltStandin.Control\\CLSID";
static const char COMPONENTS_ZIP[] = "http GET /BVMFC.zip";
static const char FAILED_LINE[] = "Couldn't download Brevolt.ocx - Error during the File Download";
static const char ERROR_TEXT[] = "An error occurred downloading the required components.";

static std::string ComponentsState()
{
    std::string raw;
    if (!RegistrySandbox::GetRaw(HKEY_CURRENT_USER, "SOFTWARE\\Corvina", "ComponentsInstalled", &raw))
        return "<missing>";
    return raw.c_str();
}

class ComponentsE2eTest : public HalvexE2eTest {
protected:
    const InstallLayout &l = MachineLayout();
    void SetUp() override
    {
        HalvexE2eTest::SetUp();
        // The log lives in the install folder, which an earlier install made.
        CreateDirectoryA(l.installDir, nullptr);
    }
    // Waits for the box, checks it and answers it.
    void Answer(const HalvexRun &run, const char *button)
    {
        MessageBoxView box;
        ASSERT_TRUE(WaitMessageBox(&box, 30000, run.Id())) << "no message box";
        EXPECT_EQ("Halvex", box.caption);
        EXPECT_NE(std::string::npos, box.text.find(ERROR_TEXT)) << box.text;
        ASSERT_TRUE(PressMessageBoxButton(button, 10000, run.Id()));
    }
};

TEST_F(ComponentsE2eTest, TwoFailuresAnsweredWithRetryThenTheControlIsRegistered)
{
    SetServerControl("fail=2\nfailmode=status:500\n");
    HalvexRun run;
    ASSERT_TRUE(run.Start("-installcomponents"));
    Answer(run, "Retry");
    Answer(run, "Retry");
    ASSERT_TRUE(run.WaitExit(60000));
    EXPECT_EQ(0u, run.ExitCode());

    EXPECT_EQ(3u, CountLinesWith(ServerRequests(), COMPONENTS_ZIP));
    EXPECT_EQ(2u, CountLinesWith(InstallLogTexts(), FAILED_LINE));
    EXPECT_EQ("1", ComponentsState());
    EXPECT_TRUE(RegistrySandbox::KeyExists(HKEY_LOCAL_MACHINE, CONTROL_KEY)) << "regsvr32 did not register";
    EXPECT_TRUE(FileExists(std::string(l.windowsDir) + "Brevolt.ocx"));
    EXPECT_TRUE(FileExists(std::string(l.windowsDir) + "Dolvane.exe"));
    EXPECT_FALSE(FileExists(TempFolderPath() + "BVMFC.zip"));

    std::vector<std::string> starts = StartRecords();
    EXPECT_EQ(1u, CountLinesWith(starts, "Brevolt.ocx|unregister|"));
    EXPECT_EQ(1u, CountLinesWith(starts, "Brevolt.ocx|register|"));
    std::vector<std::string> progress = WindowJournal::Values("progress", run.Id());
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ("100", progress.back());
}

// No server listening: the download itself fails, and Retry asks again.
TEST_F(ComponentsE2eTest, ARefusedConnectionIsAskedAboutUntilTheServerAnswers)
{
    ASSERT_TRUE(RefuseConnections(true));
    HalvexRun run;
    ASSERT_TRUE(run.Start("-installcomponents"));
    Answer(run, "Retry");
    MessageBoxView second;
    ASSERT_TRUE(WaitMessageBox(&second, 30000, run.Id())) << "the retry was not refused";
    ASSERT_TRUE(RefuseConnections(false));
    Answer(run, "Retry");
    ASSERT_TRUE(run.WaitExit(60000));
    EXPECT_EQ(1u, CountLinesWith(ServerRequests(), COMPONENTS_ZIP));
    EXPECT_EQ(2u, CountLinesWith(InstallLogTexts(), FAILED_LINE));
    EXPECT_EQ("1", ComponentsState());
    EXPECT_TRUE(RegistrySandbox::KeyExists(HKEY_LOCAL_MACHINE, CONTROL_KEY));
}

TEST_F(ComponentsE2eTest, CancelAtTheFirstFailureEndsWithoutInstalling)
{
    SetServerControl("fail=1\nfailmode=drop\n");
    HalvexRun run;
    ASSERT_TRUE(run.Start("-installcomponents"));
    Answer(run, "Cancel");
    ASSERT_TRUE(run.WaitExit(30000));
    EXPECT_EQ(1u, CountLinesWith(ServerRequests(), COMPONENTS_ZIP));
    EXPECT_EQ(1u, CountLinesWith(InstallLogTexts(), FAILED_LINE));
    EXPECT_EQ("<missing>", ComponentsState());
    EXPECT_FALSE(RegistrySandbox::KeyExists(HKEY_LOCAL_MACHINE, CONTROL_KEY));
    EXPECT_FALSE(FileExists(std::string(l.windowsDir) + "Brevolt.ocx"));
    EXPECT_FALSE(FileExists(TempFolderPath() + "BVMFC.zip"));
}
