// The start of the real Halvex.exe: the mode a command text selects, the
// single instance and the tray-only start. The download of every mode that
// has one is held at the server, so the worker waits where the test looks.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/e2e.h"
#include "support/sandbox.h"

static const std::string DISPLAY = "Fenwa\xAE Parvello Wizard Powered By Corvina\x99";
static const char OUTLOOK_KEY[] = "Software\\Microsoft\\Office\\14.0\\Outlook";
static const char WIZARD_ZIP[] = "GET /fenwa/FenwaTamrick.zip";
static const char COMPONENTS_ZIP[] = "GET /BVMFC.zip";
static const char INSTALLER64[] = "GET /fenwa/FenwaHalvex64.exe";
static const char HOLD_DOWNLOADS[] = "stall=120\n";

class EntryE2eTest : public HalvexE2eTest {
protected:
    static void MarkInstalled()
    {
        RegistrySandbox::PutString(HKEY_CURRENT_USER, "SOFTWARE\\Corvina", "ProgramInstalled", "1");
    }
};

// Dialogs 102 and 110 are the same template byte for byte, so from outside
// only the caption and the worker's requests tell the modes apart.
TEST_F(EntryE2eTest, EachCommandTextShowsItsCaptionAndStartsItsWorker)
{
    struct Case {
        const char *what;
        const char *commandText;
        const char *bitness; // null: no Outlook 2010 key
        std::string caption;
        const char *request; // the worker's first download; null: none
    } cases[] = {
        { "empty text installs", "", nullptr, "Downloading " + DISPLAY + "...", WIZARD_ZIP },
        { "-update", "-update", nullptr, "Updating " + DISPLAY + "...", WIZARD_ZIP },
        { "-installcomponents", "-installcomponents", nullptr, "Downloading Corvina Components...",
          COMPONENTS_ZIP },
        { "-startup before the install finished", "-startup", nullptr, "Downloading " + DISPLAY + "...",
          WIZARD_ZIP },
        { "any other text installs", "/S", nullptr, "Downloading " + DISPLAY + "...", WIZARD_ZIP },
        { "a trailing blank is another text", "-uninstall ", nullptr, "Downloading " + DISPLAY + "...",
          WIZARD_ZIP },
        { "a further word is another text", "-uninstall now", nullptr, "Downloading " + DISPLAY + "...",
          WIZARD_ZIP },
        { "64-bit Outlook 2010 hands off", "", "X64", "Downloading 64 bit version of Installer...",
          INSTALLER64 },
        { "32-bit Outlook 2010 installs", "", "x86", "Downloading " + DISPLAY + "...", WIZARD_ZIP },
        { "-update asks no Outlook", "-update", "x64", "Updating " + DISPLAY + "...", WIZARD_ZIP },
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        CleanMachine();
        SetServerControl(HOLD_DOWNLOADS);
        if (c.bitness)
            RegistrySandbox::PutString(HKEY_LOCAL_MACHINE, OUTLOOK_KEY, "Bitness", c.bitness);

        HalvexRun run;
        ASSERT_TRUE(run.Start(c.commandText));
        EXPECT_TRUE(WaitForRequest(c.request, 20000)) << "the worker's download did not arrive";
        MainWindowView view;
        ASSERT_TRUE(WaitMainWindow(&view, 10000, run.Id()));
        std::vector<std::string> captions = WindowJournal::Values("caption", run.Id());
        ASSERT_FALSE(captions.empty());
        EXPECT_EQ(EscapeText(c.caption), EscapeText(captions[0]));
        EXPECT_EQ(EscapeText(c.caption), EscapeText(view.caption)) << "the caption stays while the download waits";
        EXPECT_EQ("Download status:", view.label);
        EXPECT_FALSE(view.trayButtonVisible);
        EXPECT_EQ(1u, ServerRequests().size()) << "exactly one worker";
        EXPECT_TRUE(run.Running());
        run.Kill();
    }
}

// The uninstall worker needs no server and ends the program by itself; it
// retitles the window at once, so the mode's caption is read from the journal.
TEST_F(EntryE2eTest, UninstallWordsInAnyCaseRemoveAndEnd)
{
    for (const char *word : { "-uninstall", "-UNINSTALL", "-Uninstall" }) {
        SCOPED_TRACE(word);
        CleanMachine();
        HalvexRun run;
        ASSERT_TRUE(run.Start(word));
        ASSERT_TRUE(run.WaitExit(30000)) << "the uninstall did not end the program";
        EXPECT_EQ(0u, run.ExitCode());
        std::vector<std::string> captions = WindowJournal::Values("caption", run.Id());
        ASSERT_FALSE(captions.empty());
        EXPECT_EQ(EscapeText("Removing " + DISPLAY + "..."), EscapeText(captions[0]));
        EXPECT_TRUE(ServerRequests().empty());
    }
}

TEST_F(EntryE2eTest, ASecondPlainStartEndsAtOnceButAModeWordRunsAlongside)
{
    SetServerControl(HOLD_DOWNLOADS);
    HalvexRun first;
    ASSERT_TRUE(first.Start(""));
    ASSERT_TRUE(WaitForRequest(WIZARD_ZIP, 20000));
    // The install folder exists from here on, so a start would leave its line.
    ASSERT_TRUE(FolderExists(MachineLayout().installDir));
    size_t lines = InstallLogTexts().size();

    HalvexRun second;
    ASSERT_TRUE(second.Start(""));
    ASSERT_TRUE(second.WaitExit(20000));
    EXPECT_EQ(0u, second.ExitCode());
    EXPECT_EQ(lines, InstallLogTexts().size()) << "the refused start wrote to the log";
    EXPECT_TRUE(WindowJournal::Values("caption", second.Id()).empty()) << "the refused start made a window";
    EXPECT_TRUE(first.Running());

    HalvexRun update;
    ASSERT_TRUE(update.Start("-update"));
    MainWindowView view;
    EXPECT_TRUE(WaitMainWindow(&view, 20000, update.Id())) << "-update did not run alongside";
    std::vector<std::string> texts = InstallLogTexts();
    ASSERT_EQ(lines + 1, texts.size());
    EXPECT_EQ("Halvex Startup.", texts.back());
    EXPECT_TRUE(first.Running());
    EXPECT_TRUE(update.Running());
}

TEST_F(EntryE2eTest, StartupOnAnInstalledMachineOnlyWaitsInALockedTray)
{
    MarkInstalled();
    HalvexRun run;
    ASSERT_TRUE(run.Start("-startup"));
    ASSERT_TRUE(WindowJournal::WaitFor("show", 20000, "0", run.Id())) << "the window was not hidden";
    MainWindowView view;
    ASSERT_TRUE(ReadMainWindow(&view, run.Id()));
    EXPECT_FALSE(view.visible);
    EXPECT_EQ(EscapeText("Downloading " + DISPLAY + "..."), EscapeText(view.caption));

    for (UINT click : { (UINT)WM_LBUTTONUP, (UINT)WM_RBUTTONUP }) {
        ASSERT_TRUE(SendTrayNotify(click, 1006, run.Id()));
        ASSERT_TRUE(ReadMainWindow(&view, run.Id()));
        EXPECT_FALSE(view.visible) << "a click on the locked icon showed the window";
    }
    EXPECT_FALSE(run.WaitExit(3000)) << "the tray-only start ended by itself";
    EXPECT_TRUE(ServerRequests().empty()) << "a worker ran";
    const std::vector<std::string> shownThenHidden = { "1", "0" };
    EXPECT_EQ(shownThenHidden, WindowJournal::Values("show", run.Id()));
}
