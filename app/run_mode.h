#ifndef HALVEX_APP_RUN_MODE_H
#define HALVEX_APP_RUN_MODE_H

#include <stddef.h>

#include "app/entry.h"

// What follows the caption's string: nothing, the display name, or the name
// of the 64-bit installer; "..." ends the last two.
enum CaptionTail { CaptionAlone, CaptionDisplayName, CaptionInstaller64 };

// The work a mode starts: one of the four workers, or only the locked tray icon.
enum ModeWork { WorkInstall, WorkComponents, WorkUninstall, WorkInstaller64, WorkTrayOnly };

enum ModeCondition { ModeAlways, ModeWhenInstaller64, ModeWhenInstalled };

// One row of the decision table; the first row whose command word and
// condition hold is the mode.
struct ModeRow {
    const char *commandWord; // compared whole, ignoring case; null matches any text
    ModeCondition condition;
    RunMode mode;
    unsigned int captionId;
    CaptionTail captionTail;
    int dialogId;
    ModeWork work;
    LONG updateMode;
};

const ModeRow *DecideRunMode(const char *commandLine, int installer64Mode, int programInstalled);

// Caption string of the row with its tail, from the module's resources.
int ComposeCaption(char *caption, size_t capacity, const ModeRow *row);

#endif
