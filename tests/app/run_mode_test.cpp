#include "app/run_mode.h"

#include <gtest/gtest.h>

#include "res/resource.h"

// The whole decision table, one row per behaviour; the 64-bit flag and the
// installed state are the further conditions of the table.
TEST(RunModeTest, TheCommandTextAndTheFlagsDecideTheMode)
{
    struct Case {
        const char *what;
        const char *commandLine;
        int installer64;
        int installed;
        RunMode mode;
        unsigned int captionId;
        CaptionTail tail;
        int dialogId;
        ModeWork work;
        LONG updateMode;
    } cases[] = {
        { "empty text installs", "", 0, 0, Install, IDS_TITLE_DOWNLOADING, CaptionDisplayName,
          IDD_DOWNLOAD_STATUS, WorkInstall, 0 },
        { "empty text on an installed machine installs again", "", 0, 1, Install, IDS_TITLE_DOWNLOADING,
          CaptionDisplayName, IDD_DOWNLOAD_STATUS, WorkInstall, 0 },
        { "64-bit Outlook hands off", "", 1, 0, Installer64, IDS_TITLE_DOWNLOADING, CaptionInstaller64,
          IDD_DOWNLOAD_STATUS, WorkInstaller64, 0 },
        { "-update reinstalls in update mode", "-update", 0, 1, Update, IDS_TITLE_UPDATING, CaptionDisplayName,
          IDD_DOWNLOAD_STATUS, WorkInstall, 1 },
        { "-uninstall removes", "-uninstall", 0, 1, Uninstall, IDS_TITLE_REMOVING, CaptionDisplayName,
          IDD_TASK_STATUS, WorkUninstall, 0 },
        { "upper case is the same word", "-UNINSTALL", 0, 0, Uninstall, IDS_TITLE_REMOVING, CaptionDisplayName,
          IDD_TASK_STATUS, WorkUninstall, 0 },
        { "mixed case is the same word", "-Uninstall", 0, 0, Uninstall, IDS_TITLE_REMOVING, CaptionDisplayName,
          IDD_TASK_STATUS, WorkUninstall, 0 },
        { "a trailing blank makes another text", "-uninstall ", 0, 0, Install, IDS_TITLE_DOWNLOADING,
          CaptionDisplayName, IDD_DOWNLOAD_STATUS, WorkInstall, 0 },
        { "a further word makes another text", "-uninstall now", 0, 0, Install, IDS_TITLE_DOWNLOADING,
          CaptionDisplayName, IDD_DOWNLOAD_STATUS, WorkInstall, 0 },
        { "the word without its dash is another text", "uninstall", 0, 0, Install, IDS_TITLE_DOWNLOADING,
          CaptionDisplayName, IDD_DOWNLOAD_STATUS, WorkInstall, 0 },
        { "-installcomponents fetches the components", "-installcomponents", 0, 0, InstallComponents,
          IDS_TITLE_COMPONENTS, CaptionAlone, IDD_TASK_STATUS, WorkComponents, 0 },
        { "-startup on an installed machine waits in the tray", "-startup", 0, 1, Startup, IDS_TITLE_DOWNLOADING,
          CaptionDisplayName, IDD_DOWNLOAD_STATUS, WorkTrayOnly, 0 },
        { "-STARTUP on an installed machine waits in the tray", "-STARTUP", 0, 1, Startup,
          IDS_TITLE_DOWNLOADING, CaptionDisplayName, IDD_DOWNLOAD_STATUS, WorkTrayOnly, 0 },
        { "-startup on an unfinished install resumes it", "-startup", 0, 0, Startup, IDS_TITLE_DOWNLOADING,
          CaptionDisplayName, IDD_DOWNLOAD_STATUS, WorkInstall, 0 },
        { "any other text installs", "/S", 0, 0, Install, IDS_TITLE_DOWNLOADING, CaptionDisplayName,
          IDD_DOWNLOAD_STATUS, WorkInstall, 0 },
        { "a blank alone is a text, not the empty one", " ", 0, 0, Install, IDS_TITLE_DOWNLOADING,
          CaptionDisplayName, IDD_DOWNLOAD_STATUS, WorkInstall, 0 },
    };
    for (const Case &c : cases) {
        const ModeRow *row = DecideRunMode(c.commandLine, c.installer64, c.installed);
        ASSERT_NE(nullptr, row) << c.what;
        EXPECT_EQ(c.mode, row->mode) << c.what;
        EXPECT_EQ(c.captionId, row->captionId) << c.what;
        EXPECT_EQ(c.tail, row->captionTail) << c.what;
        EXPECT_EQ(c.dialogId, row->dialogId) << c.what;
        EXPECT_EQ(c.work, row->work) << c.what;
        EXPECT_EQ(c.updateMode, row->updateMode) << c.what;
    }
}
