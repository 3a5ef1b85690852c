#include "transfer/extract.h"

#include <windows.h>

#include "app/layout.h"
#include "app/window.h"
#include "res/text.h"
#include "transfer/zip.h"

enum { TARGET_SIZE = 256, TRACE_SIZE = 400 };

// Compared with the whole entry name, so the same names inside a folder of
// the archive stay below installDir.
static const char *const WINDOWS_DIR_NAMES[] = { "brevolt.ocx", "dolvane.exe" };

struct EntryOutcome {
    ZipResult result;
    int unpacked;
};

// What an entry's result means for the archive. An existing target that
// cannot be replaced (in use by another process, not writable) is skipped,
// as before; every other failure means the archive was not unpacked.
static const EntryOutcome ENTRY_OUTCOMES[] = {
    { ZipSuccess, 1 },
    { ZipFileOpenFailed, 1 },
};

static int PlaceEntry(ZipHandle *archive, int index, const ZipItem *item);
static const char *TargetFolder(const char *name);
static int OutcomeOf(ZipResult result);
static void TraceEntry(const char *what, const char *name, ZipResult result);

int ExtractPayload(const char *archivePath)
{
    ZipHandle *archive = ZipOpen(archivePath);
    ZipItem item;
    int unpacked = archive != NULL;
    int count = 0;
    int i;

    if (ZipGetItem(archive, -1, &item) == ZipSuccess)
        count = item.index;
    for (i = 0; i < count; i++) {
        ZipResult described = ZipGetItem(archive, i, &item);
        if (described != ZipSuccess) {
            // Its record would be the previous entry's: nothing to place.
            TraceEntry("unreadable entry", "", described);
            unpacked = 0;
        } else if (!PlaceEntry(archive, i, &item)) {
            unpacked = 0;
        }
        SetProgress((int)((long long)(i + 1) * 100 / count));
    }
    ZipClose(archive);
    return unpacked;
}

// 0 when the entry should have been placed and was not.
static int PlaceEntry(ZipHandle *archive, int index, const ZipItem *item)
{
    char target[TARGET_SIZE];
    ZipResult result;

    if (!ZipNameIsSafe(item->name)) {
        // Refused on purpose: the rest of the archive is still wanted.
        TraceEntry("unsafe name skipped", item->name, ZipSuccess);
        return 1;
    }
    if (!CopyText(target, sizeof target, TargetFolder(item->name))
        || !AppendText(target, sizeof target, item->name)) {
        TraceEntry("target too long", item->name, ZipBadArgument);
        return 0;
    }
    result = ZipExtractItem(archive, index, target);
    if (result != ZipSuccess)
        TraceEntry("entry not extracted", item->name, result);
    // Only a target that is there (held by another process, say) is passed
    // over; one that could not be made at all, in a missing or unwritable
    // folder, means the payload is not in place.
    if (result == ZipFileOpenFailed && GetFileAttributesA(target) == INVALID_FILE_ATTRIBUTES)
        return 0;
    return OutcomeOf(result);
}

static const char *TargetFolder(const char *name)
{
    size_t i;

    for (i = 0; i < sizeof WINDOWS_DIR_NAMES / sizeof WINDOWS_DIR_NAMES[0]; i++) {
        if (lstrcmpiA(name, WINDOWS_DIR_NAMES[i]) == 0)
            return installLayout.windowsDir;
    }
    return installLayout.installDir;
}

static int OutcomeOf(ZipResult result)
{
    size_t i;

    for (i = 0; i < sizeof ENTRY_OUTCOMES / sizeof ENTRY_OUTCOMES[0]; i++) {
        if (ENTRY_OUTCOMES[i].result == result)
            return ENTRY_OUTCOMES[i].unpacked;
    }
    return 0;
}

static void TraceEntry(const char *what, const char *name, ZipResult result)
{
    char line[TRACE_SIZE];

    FormatText(line, sizeof line, "ExtractPayload: %s: %s (0x%X)\r\n", what, name, (unsigned)result);
    OutputDebugStringA(line);
}
