#include "app/run_mode.h"

#include <windows.h>

#include "app/layout.h"
#include "app/process_state.h"
#include "res/resource.h"
#include "res/text.h"

static const ModeRow MODE_ROWS[] = {
    // WinMain sets the 64-bit flag for the empty text only, so it comes first.
    { NULL, ModeWhenInstaller64, Installer64, IDS_TITLE_DOWNLOADING, CaptionInstaller64, IDD_DOWNLOAD_STATUS,
      WorkInstaller64, 0 },
    { "-uninstall", ModeAlways, Uninstall, IDS_TITLE_REMOVING, CaptionDisplayName, IDD_TASK_STATUS,
      WorkUninstall, 0 },
    { "-update", ModeAlways, Update, IDS_TITLE_UPDATING, CaptionDisplayName, IDD_DOWNLOAD_STATUS, WorkInstall,
      1 },
    { "-installcomponents", ModeAlways, InstallComponents, IDS_TITLE_COMPONENTS, CaptionAlone, IDD_TASK_STATUS,
      WorkComponents, 0 },
    // An installed machine only waits in the tray; otherwise the install resumes.
    { "-startup", ModeWhenInstalled, Startup, IDS_TITLE_DOWNLOADING, CaptionDisplayName, IDD_DOWNLOAD_STATUS,
      WorkTrayOnly, 0 },
    { "-startup", ModeAlways, Startup, IDS_TITLE_DOWNLOADING, CaptionDisplayName, IDD_DOWNLOAD_STATUS,
      WorkInstall, 0 },
    { NULL, ModeAlways, Install, IDS_TITLE_DOWNLOADING, CaptionDisplayName, IDD_DOWNLOAD_STATUS, WorkInstall, 0 },
};

static int RowApplies(const ModeRow &row, const char *commandLine, int installer64Mode, int programInstalled)
{
    const int conditionHolds[] = { 1, installer64Mode != 0, programInstalled != 0 };

    if (!conditionHolds[row.condition])
        return 0;
    return !row.commandWord || lstrcmpiA(commandLine, row.commandWord) == 0;
}

const ModeRow *DecideRunMode(const char *commandLine, int installer64Mode, int programInstalled)
{
    const size_t count = sizeof MODE_ROWS / sizeof MODE_ROWS[0];
    size_t i = 0;

    if (!commandLine)
        commandLine = "";
    // The last row matches every text, so the loop always finds one.
    while (i < count - 1 && !RowApplies(MODE_ROWS[i], commandLine, installer64Mode, programInstalled))
        i++;
    return &MODE_ROWS[i];
}

int ComposeCaption(char *caption, size_t capacity, const ModeRow *row)
{
    static const char *const tails[] = { NULL, NULL, "64 bit version of Installer" };
    const char *tail = row->captionTail == CaptionDisplayName ? installLayout.displayName : tails[row->captionTail];

    caption[0] = '\0';
    LoadStringA(processState.instance, row->captionId, caption, (int)capacity);
    if (!tail)
        return 1;
    return AppendText(caption, capacity, tail) && AppendText(caption, capacity, "...");
}
