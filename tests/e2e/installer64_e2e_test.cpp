// The 64-bit hand-off of the real Halvex.exe on a machine with 64-bit
// Outlook 2010.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/e2e.h"
#include "support/sandbox.h"

class Installer64E2eTest : public HalvexE2eTest {
protected:
    void SetUp() override
    {
        HalvexE2eTest::SetUp();
        RegistrySandbox::PutString(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Office\\14.0\\Outlook", "Bitness",
                                   "x64");
    }
    std::string Download() const { return TempFolderPath() + "FenwaHalvex64.exe"; }
};

TEST_F(Installer64E2eTest, TheDownloadedInstallerStartsWithNoArgumentsAndThisProgramEnds)
{
    HalvexRun run;
    ASSERT_TRUE(run.Start(""));
    ASSERT_TRUE(run.WaitExit(60000));
    EXPECT_EQ(0u, run.ExitCode());
    std::vector<std::string> starts = WaitForStartRecords(1, 10000);
    ASSERT_EQ(1u, starts.size());
    EXPECT_EQ(0u, starts[0].rfind("FenwaHalvex64.exe||", 0)) << starts[0];
    EXPECT_TRUE(ListMessageBoxes(run.Id()).empty());
    EXPECT_TRUE(RegistrySandbox::KeyExists(HKEY_CURRENT_USER, "SOFTWARE\\Corvina") == false)
        << "the hand-off wrote product state";
}

// Wine saves the 404 page as the file, which then cannot be started; an old
// copy left by an earlier run is never started instead.
TEST_F(Installer64E2eTest, AnInstallerThatCannotBeRunIsReportedAndAnOldCopyIsNotStarted)
{
    std::string old;
    ASSERT_TRUE(ReadFileBytes(HarnessPath("HALVEX_TOOLS_DIR") + "\\FenwaHalvex64.exe", &old));
    WriteFileBytes(Download(), old);
    SetServerControl("status=404\n");

    HalvexRun run;
    ASSERT_TRUE(run.Start(""));
    MessageBoxView box;
    ASSERT_TRUE(WaitMessageBox(&box, 30000, run.Id()));
    EXPECT_NE(std::string::npos, box.text.find("The 64 bit installer could not be run.")) << box.text;
    EXPECT_TRUE(run.Running()) << "the program must wait for the box";
    ASSERT_TRUE(PressMessageBoxButton("OK", 10000, run.Id()));
    ASSERT_TRUE(run.WaitExit(30000));
    EXPECT_TRUE(StartRecords().empty()) << "the old copy was started";
}
