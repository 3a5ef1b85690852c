#include "transfer/zip.h"

#include <string.h>

#include <unzip.h>

#include "app/process_state.h"
#include "res/text.h"

enum { ZIP_PATH_SIZE = 260, ZIP_CHUNK_SIZE = 16384 };

// The data of a file entry go here first and replace the target only once
// they checked out. Targets of ExtractPayload (at most 255 characters) always
// leave room for it.
static const char TEMP_SUFFIX[] = ".hx~";

struct ZipHandle {
    unzFile reader;
    int cachedIndex;
    ZipItem cachedItem;
    int entryCount;
    // The entry the reader stands on; -1 when it has to start over.
    int currentIndex;
};

struct AttributeRule {
    DWORD externalBits;
    DWORD replaceWith;
    DWORD add;
};

// Applied in order; the read-only bit is never carried over.
static const AttributeRule ATTRIBUTE_RULES[] = {
    { 0x40000000 | 0x10, FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_NORMAL, 0 },
    { 0x20, 0, FILE_ATTRIBUTE_ARCHIVE },
    { 0x02, 0, FILE_ATTRIBUTE_HIDDEN },
    { 0x04, 0, FILE_ATTRIBUTE_SYSTEM },
};

struct TimestampSlot {
    BYTE flag;
    FILETIME ZipItem::*field;
};

// The "UT" field holds its stamps in this order, each only when its flag is set.
static const TimestampSlot TIMESTAMP_SLOTS[] = {
    { 0x01, &ZipItem::writeTime },
    { 0x02, &ZipItem::accessTime },
    { 0x04, &ZipItem::creationTime },
};

static const DWORD SEEK_ORIGINS[] = { FILE_BEGIN, FILE_CURRENT, FILE_END };

static voidpf ZCALLBACK OpenArchiveStream(voidpf opaque, const void *path, int mode);
static uLong ZCALLBACK ReadArchiveStream(voidpf opaque, voidpf stream, void *buffer, uLong size);
static uLong ZCALLBACK WriteArchiveStream(voidpf opaque, voidpf stream, const void *buffer, uLong size);
static ZPOS64_T ZCALLBACK TellArchiveStream(voidpf opaque, voidpf stream);
static long ZCALLBACK SeekArchiveStream(voidpf opaque, voidpf stream, ZPOS64_T offset, int origin);
static int ZCALLBACK CloseArchiveStream(voidpf opaque, voidpf stream);
static int ZCALLBACK ArchiveStreamError(voidpf opaque, voidpf stream);

static int IsEmptyArchive(HANDLE file);
static ZipResult MoveToEntry(ZipHandle *handle, int index);
static ZipResult LoadEntry(ZipHandle *handle, int index);
static ZipResult ReadItem(ZipHandle *handle, ZipItem *item);
static DWORD MapAttributes(DWORD external);
static void SetDosTimes(ZipItem *item, DWORD dosDateTime);
static void ApplyExtendedTimestamp(ZipItem *item, const BYTE *extra, DWORD length);
static FILETIME UnixTimeToFileTime(DWORD seconds);
static DWORD ReadLittle16(const BYTE *bytes);
static DWORD ReadLittle32(const BYTE *bytes);
static ZipResult CreateEntryFolder(const char *target, const char *name);
static ZipResult WriteEntryFile(ZipHandle *handle, const char *target, const ZipItem *item);
static ZipResult CopyEntryData(unzFile reader, HANDLE file, DWORD *written);
static int ProbeTarget(const char *target, const char *name);
static void CreateNameFolders(const char *target, const char *name, int withLast);
static int EndsWithName(const char *target, size_t targetLength, const char *name, size_t nameLength);
static void SetItemTimes(HANDLE file, const ZipItem *item);
static void SetTargetTimes(const char *target, const ZipItem *item);
static const FILETIME *TimeOrNull(const FILETIME *time);
static int IsSeparator(char c);
static int IsClimbingSegment(const char *begin, const char *end);

ZipHandle *ZipOpen(const char *path)
{
    ZipHandle *handle = NULL;
    ZipResult result = ZipSuccess;
    zlib_filefunc64_def io;
    unz_global_info64 info;
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                              NULL);

    if (file == INVALID_HANDLE_VALUE) {
        result = ZipFileOpenFailed;
        goto done;
    }
    handle = (ZipHandle *)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof *handle);
    if (!handle) {
        result = ZipFileOpenFailed;
        goto done;
    }
    handle->cachedIndex = -1;
    handle->currentIndex = -1;

    // minizip's search for the end record answers 0 for "not found", so it
    // never finds one at the very start of the file, which is all an archive
    // without entries holds. Such a handle has no reader and no entries.
    if (IsEmptyArchive(file))
        goto done;
    io.zopen64_file = OpenArchiveStream;
    io.zread_file = ReadArchiveStream;
    io.zwrite_file = WriteArchiveStream;
    io.ztell64_file = TellArchiveStream;
    io.zseek64_file = SeekArchiveStream;
    io.zclose_file = CloseArchiveStream;
    io.zerror_file = ArchiveStreamError;
    io.opaque = file;
    // From here minizip owns the file and closes it, also when it finds no
    // archive in it.
    handle->reader = unzOpen2_64(path, &io);
    file = INVALID_HANDLE_VALUE;
    // A file that is no archive fails here, so that no later call has to
    // answer for a handle without a reader; so does a directory whose first
    // record cannot be read.
    if (!handle->reader || unzGetGlobalInfo64(handle->reader, &info) != UNZ_OK
        || (info.number_entry > 0 && unzGoToFirstFile(handle->reader) != UNZ_OK)) {
        result = ZipHeaderMismatch;
        goto done;
    }
    handle->entryCount = info.number_entry > 0x7FFFFFFF ? 0x7FFFFFFF : (int)info.number_entry;
    if (handle->entryCount > 0)
        handle->currentIndex = 0;

done:
    if (file != INVALID_HANDLE_VALUE && (result != ZipSuccess || !handle->reader))
        CloseHandle(file);
    if (result != ZipSuccess && handle) {
        if (handle->reader)
            unzClose(handle->reader);
        HeapFree(GetProcessHeap(), 0, handle);
        handle = NULL;
    }
    processState.zipLastResult = result;
    return handle;
}

ZipResult ZipGetItem(ZipHandle *handle, int index, ZipItem *item)
{
    ZipResult result = ZipSuccess;

    if (!handle || !item || index < -1 || index >= handle->entryCount) {
        result = ZipBadArgument;
    } else if (index == -1) {
        memset(item, 0, sizeof *item);
        item->index = handle->entryCount;
    } else {
        result = LoadEntry(handle, index);
        if (result == ZipSuccess)
            *item = handle->cachedItem;
    }
    processState.zipLastResult = result;
    return result;
}

ZipResult ZipExtractItem(ZipHandle *handle, int index, const char *target)
{
    ZipResult result = ZipBadArgument;
    const ZipItem *item = NULL;

    if (!handle || !target || index < 0 || index >= handle->entryCount)
        goto done;
    result = LoadEntry(handle, index);
    if (result == ZipSuccess)
        result = MoveToEntry(handle, index);
    if (result != ZipSuccess)
        goto done;
    item = &handle->cachedItem;
    if (!ZipNameIsSafe(item->name) || strlen(target) >= ZIP_PATH_SIZE) {
        result = ZipFileOpenFailed;
        goto done;
    }
    if (item->attributes & FILE_ATTRIBUTE_DIRECTORY)
        result = CreateEntryFolder(target, item->name);
    else
        result = WriteEntryFile(handle, target, item);

done:
    processState.zipLastResult = result;
    return result;
}

ZipResult ZipClose(ZipHandle *handle)
{
    ZipResult result = ZipSuccess;

    if (!handle) {
        result = ZipBadArgument;
    } else {
        if (handle->reader)
            unzClose(handle->reader);
        HeapFree(GetProcessHeap(), 0, handle);
    }
    processState.zipLastResult = result;
    return result;
}

int ZipNameIsSafe(const char *name)
{
    const char *segment = name;
    const char *p = name;

    if (!name || !name[0] || IsSeparator(name[0]) || strchr(name, ':'))
        return 0;
    for (;; p++) {
        if (*p != '\0' && !IsSeparator(*p))
            continue;
        if (IsClimbingSegment(segment, p))
            return 0;
        if (*p == '\0')
            break;
        segment = p + 1;
    }
    return 1;
}

// The file is opened by ZipOpen and arrives as the opaque value, so that the
// archive is opened exactly as the layer chose (readable by others only).
static voidpf ZCALLBACK OpenArchiveStream(voidpf opaque, const void *path, int mode)
{
    (void)path;
    (void)mode;
    return opaque;
}

static uLong ZCALLBACK ReadArchiveStream(voidpf opaque, voidpf stream, void *buffer, uLong size)
{
    DWORD got = 0;

    (void)opaque;
    if (!ReadFile((HANDLE)stream, buffer, size, &got, NULL))
        return 0;
    return got;
}

static uLong ZCALLBACK WriteArchiveStream(voidpf opaque, voidpf stream, const void *buffer, uLong size)
{
    (void)opaque;
    (void)stream;
    (void)buffer;
    (void)size;
    return 0;
}

static ZPOS64_T ZCALLBACK TellArchiveStream(voidpf opaque, voidpf stream)
{
    LARGE_INTEGER zero;
    LARGE_INTEGER position;

    (void)opaque;
    zero.QuadPart = 0;
    if (!SetFilePointerEx((HANDLE)stream, zero, &position, FILE_CURRENT))
        return (ZPOS64_T)-1;
    return (ZPOS64_T)position.QuadPart;
}

static long ZCALLBACK SeekArchiveStream(voidpf opaque, voidpf stream, ZPOS64_T offset, int origin)
{
    LARGE_INTEGER distance;

    (void)opaque;
    if (origin < 0 || origin >= (int)(sizeof SEEK_ORIGINS / sizeof SEEK_ORIGINS[0]))
        return -1;
    distance.QuadPart = (LONGLONG)offset;
    return SetFilePointerEx((HANDLE)stream, distance, NULL, SEEK_ORIGINS[origin]) ? 0 : -1;
}

static int ZCALLBACK CloseArchiveStream(voidpf opaque, voidpf stream)
{
    (void)opaque;
    return CloseHandle((HANDLE)stream) ? 0 : -1;
}

static int ZCALLBACK ArchiveStreamError(voidpf opaque, voidpf stream)
{
    (void)opaque;
    (void)stream;
    return 0;
}

// Only an end record with no entries, no directory and the comment it
// announces, nothing else in the file. Leaves the file at its start.
static int IsEmptyArchive(HANDLE file)
{
    BYTE record[22];
    DWORD got = 0;
    LARGE_INTEGER size;
    LARGE_INTEGER start;
    int empty;

    if (!GetFileSizeEx(file, &size) || size.QuadPart < (LONGLONG)sizeof record
        || size.QuadPart > (LONGLONG)sizeof record + 0xFFFF)
        return 0;
    empty = ReadFile(file, record, sizeof record, &got, NULL) && got == sizeof record
            && ReadLittle32(record) == 0x06054B50 && ReadLittle32(record + 4) == 0
            && ReadLittle32(record + 8) == 0 && ReadLittle32(record + 12) == 0 && ReadLittle32(record + 16) == 0
            && size.QuadPart == (LONGLONG)sizeof record + ReadLittle16(record + 20);
    start.QuadPart = 0;
    SetFilePointerEx(file, start, NULL, FILE_BEGIN);
    return empty;
}

// Forward costs a step per entry; backward starts over from the first. A
// step that fails ends the walk, so a damaged directory cannot make it spin.
static ZipResult MoveToEntry(ZipHandle *handle, int index)
{
    if (handle->currentIndex < 0 || handle->currentIndex > index) {
        handle->currentIndex = -1;
        if (unzGoToFirstFile(handle->reader) != UNZ_OK)
            return ZipHeaderMismatch;
        handle->currentIndex = 0;
    }
    while (handle->currentIndex < index) {
        if (unzGoToNextFile(handle->reader) != UNZ_OK) {
            handle->currentIndex = -1;
            return ZipHeaderMismatch;
        }
        handle->currentIndex++;
    }
    return ZipSuccess;
}

// Fills the cache with entry index unless it holds it already; a failure
// keeps the previous entry there.
static ZipResult LoadEntry(ZipHandle *handle, int index)
{
    ZipItem item;
    ZipResult result;

    if (handle->cachedIndex == index)
        return ZipSuccess;
    result = MoveToEntry(handle, index);
    if (result == ZipSuccess)
        result = ReadItem(handle, &item);
    if (result == ZipSuccess) {
        item.index = index;
        handle->cachedItem = item;
        handle->cachedIndex = index;
    }
    return result;
}

static ZipResult ReadItem(ZipHandle *handle, ZipItem *item)
{
    ZipResult result = ZipSuccess;
    unz_file_info info;
    BYTE *extra = NULL;
    int opened = 0;
    int extraLength;

    memset(item, 0, sizeof *item);
    // A name that does not fit the record is refused rather than cut, since
    // a cut name would be some other file.
    if (unzGetCurrentFileInfo(handle->reader, &info, item->name, sizeof item->name, NULL, 0, NULL, 0) != UNZ_OK
        || info.size_filename >= sizeof item->name
        || (info.compression_method != 0 && info.compression_method != Z_DEFLATED)) {
        result = ZipHeaderMismatch;
        goto done;
    }
    item->name[info.size_filename] = '\0';
    // Opened raw: checks the local header and finds its extra field without
    // starting an inflate.
    if (unzOpenCurrentFile2(handle->reader, NULL, NULL, 1) != UNZ_OK) {
        result = ZipHeaderMismatch;
        goto done;
    }
    opened = 1;
    extraLength = unzGetLocalExtrafield(handle->reader, NULL, 0);
    if (extraLength < 0) {
        result = ZipExtraReadFailed;
        goto done;
    }
    if (extraLength > 0) {
        extra = (BYTE *)HeapAlloc(GetProcessHeap(), 0, (SIZE_T)extraLength);
        if (!extra || unzGetLocalExtrafield(handle->reader, extra, (unsigned)extraLength) != extraLength) {
            result = ZipExtraReadFailed;
            goto done;
        }
    }
    item->attributes = MapAttributes(info.external_fa);
    item->compressedSize = (int)info.compressed_size;
    item->uncompressedSize = (int)info.uncompressed_size;
    SetDosTimes(item, info.dosDate);
    ApplyExtendedTimestamp(item, extra, (DWORD)extraLength);

done:
    if (opened)
        unzCloseCurrentFile(handle->reader);
    if (extra)
        HeapFree(GetProcessHeap(), 0, extra);
    return result;
}

static DWORD MapAttributes(DWORD external)
{
    DWORD attributes = FILE_ATTRIBUTE_NORMAL;
    size_t i;

    for (i = 0; i < sizeof ATTRIBUTE_RULES / sizeof ATTRIBUTE_RULES[0]; i++) {
        const AttributeRule &rule = ATTRIBUTE_RULES[i];
        if (!(external & rule.externalBits))
            continue;
        if (rule.replaceWith)
            attributes = rule.replaceWith;
        attributes |= rule.add;
    }
    return attributes;
}

// The DOS value is taken as it stands, without a time-zone conversion. A
// value the system rejects leaves the times zero, and zero times are not
// set on the written file.
static void SetDosTimes(ZipItem *item, DWORD dosDateTime)
{
    FILETIME time;

    if (!DosDateTimeToFileTime(HIWORD(dosDateTime), LOWORD(dosDateTime), &time)) {
        time.dwLowDateTime = 0;
        time.dwHighDateTime = 0;
    }
    item->accessTime = time;
    item->creationTime = time;
    item->writeTime = time;
}

// Only the first "UT" field counts. Its stamps are read only where both the
// field's own size and the extra field hold them: a stamp its flags announce
// but its data lack leaves that time at the DOS value.
static void ApplyExtendedTimestamp(ZipItem *item, const BYTE *extra, DWORD length)
{
    DWORD p = 0;
    size_t i;

    if (!extra || length <= 4)
        return;
    while (p + 4 < length) {
        DWORD size = ReadLittle16(extra + p + 2);
        if (extra[p] == 'U' && extra[p + 1] == 'T') {
            DWORD end = p + 4 + size < length ? p + 4 + size : length;
            DWORD q = p + 5;
            BYTE flags;
            if (q > end)
                return;
            flags = extra[p + 4];
            for (i = 0; i < sizeof TIMESTAMP_SLOTS / sizeof TIMESTAMP_SLOTS[0]; i++) {
                if (!(flags & TIMESTAMP_SLOTS[i].flag))
                    continue;
                if (q + 4 > end)
                    return;
                item->*TIMESTAMP_SLOTS[i].field = UnixTimeToFileTime(ReadLittle32(extra + q));
                q += 4;
            }
            return;
        }
        p += size + 4;
    }
}

// The same value SystemTimeToFileTime gives for the stamp broken down as UTC.
static FILETIME UnixTimeToFileTime(DWORD seconds)
{
    ULONGLONG ticks = (ULONGLONG)seconds * 10000000ULL + 116444736000000000ULL;
    FILETIME time;

    time.dwLowDateTime = (DWORD)ticks;
    time.dwHighDateTime = (DWORD)(ticks >> 32);
    return time;
}

static DWORD ReadLittle16(const BYTE *bytes)
{
    return (DWORD)bytes[0] | (DWORD)bytes[1] << 8;
}

static DWORD ReadLittle32(const BYTE *bytes)
{
    return ReadLittle16(bytes) | ReadLittle16(bytes + 2) << 16;
}

static ZipResult CreateEntryFolder(const char *target, const char *name)
{
    DWORD attributes;

    CreateNameFolders(target, name, 1);
    attributes = GetFileAttributesA(target);
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY))
        return ZipFileOpenFailed;
    return ZipSuccess;
}

static ZipResult WriteEntryFile(ZipHandle *handle, const char *target, const ZipItem *item)
{
    ZipResult result = ZipSuccess;
    HANDLE file = INVALID_HANDLE_VALUE;
    char temp[ZIP_PATH_SIZE];
    int tempMade = 0;
    int opened = 0;
    int replacing;
    int verdict;
    DWORD written = 0;

    if (!CopyText(temp, sizeof temp, target) || !AppendText(temp, sizeof temp, TEMP_SUFFIX)) {
        result = ZipFileOpenFailed;
        goto done;
    }
    replacing = ProbeTarget(target, item->name);
    if (replacing < 0) {
        result = ZipFileOpenFailed;
        goto done;
    }
    file = CreateFileA(temp, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, item->attributes, NULL);
    if (file == INVALID_HANDLE_VALUE) {
        result = ZipFileOpenFailed;
        goto done;
    }
    tempMade = 1;
    if (unzOpenCurrentFile(handle->reader) != UNZ_OK) {
        result = ZipWriteFailed;
        goto done;
    }
    opened = 1;
    result = CopyEntryData(handle->reader, file, &written);
    verdict = unzCloseCurrentFile(handle->reader);
    opened = 0;
    // minizip compares the CRC only once the stated size was read, so a
    // stream that ends early is caught by the count.
    if (result == ZipSuccess && (verdict != UNZ_OK || written != (DWORD)item->uncompressedSize))
        result = ZipWriteFailed;
    if (result != ZipSuccess)
        goto done;
    if (GetFileType(file) == FILE_TYPE_DISK)
        SetItemTimes(file, item);
    CloseHandle(file);
    file = INVALID_HANDLE_VALUE;
    if (!MoveFileExA(temp, target, MOVEFILE_REPLACE_EXISTING)) {
        result = ZipFileOpenFailed;
        goto done;
    }
    tempMade = 0;
    // Windows carries the replaced file's creation time over to a file
    // renamed onto its name (tunnelling); the entry's times are set again.
    if (replacing)
        SetTargetTimes(target, item);

done:
    if (opened)
        unzCloseCurrentFile(handle->reader);
    if (file != INVALID_HANDLE_VALUE)
        CloseHandle(file);
    if (tempMade)
        DeleteFileA(temp);
    return result;
}

static ZipResult CopyEntryData(unzFile reader, HANDLE file, DWORD *written)
{
    char chunk[ZIP_CHUNK_SIZE];
    DWORD put;

    for (;;) {
        int got = unzReadCurrentFile(reader, chunk, sizeof chunk);
        if (got < 0)
            return ZipWriteFailed;
        if (got == 0)
            return ZipSuccess;
        if (!WriteFile(file, chunk, (DWORD)got, &put, NULL) || put != (DWORD)got)
            return ZipWriteFailed;
        *written += put;
    }
}

// 1 when the target exists and may be replaced, 0 when it is new (its
// missing folders made), -1 when it cannot be written (in use by another
// process, read-only, a folder).
static int ProbeTarget(const char *target, const char *name)
{
    HANDLE probe = CreateFileA(target, GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL);
    DWORD error;
    BY_HANDLE_FILE_INFORMATION information;
    int writable;

    if (probe != INVALID_HANDLE_VALUE) {
        // Asked for, since a process with the rights to open it anyway (Wine
        // run as root) would replace it.
        writable = GetFileInformationByHandle(probe, &information)
                   && !(information.dwFileAttributes & FILE_ATTRIBUTE_READONLY);
        CloseHandle(probe);
        return writable ? 1 : -1;
    }
    error = GetLastError();
    if (error == ERROR_PATH_NOT_FOUND) {
        CreateNameFolders(target, name, 0);
        return 0;
    }
    return error == ERROR_FILE_NOT_FOUND ? 0 : -1;
}

// Folders are made only for the part of the target that is the entry's name
// (base + "a/b/c.txt" makes base + "a", then base + "a/b"), never above it:
// the folder being extracted into must exist. A folder entry whose target
// does not end with its name makes the target alone.
static void CreateNameFolders(const char *target, const char *name, int withLast)
{
    char level[ZIP_PATH_SIZE];
    size_t targetLength = strlen(target);
    size_t nameLength = strlen(name);
    size_t from = targetLength;
    size_t i;

    if (!ZipNameIsSafe(name) || !CopyText(level, sizeof level, target))
        return;
    if (EndsWithName(target, targetLength, name, nameLength))
        from = targetLength - nameLength;
    for (i = from + 1; i < targetLength; i++) {
        if (!IsSeparator(target[i]))
            continue;
        level[i] = '\0';
        CreateDirectoryA(level, NULL);
        level[i] = target[i];
    }
    if (withLast)
        CreateDirectoryA(target, NULL);
}

static int EndsWithName(const char *target, size_t targetLength, const char *name, size_t nameLength)
{
    const char *tail;
    size_t i;

    if (nameLength == 0 || nameLength > targetLength)
        return 0;
    tail = target + targetLength - nameLength;
    for (i = 0; i < nameLength; i++) {
        if (tail[i] == name[i] || (IsSeparator(tail[i]) && IsSeparator(name[i])))
            continue;
        return 0;
    }
    return 1;
}

static void SetItemTimes(HANDLE file, const ZipItem *item)
{
    SetFileTime(file, TimeOrNull(&item->creationTime), TimeOrNull(&item->accessTime),
                TimeOrNull(&item->writeTime));
}

static void SetTargetTimes(const char *target, const ZipItem *item)
{
    HANDLE file = CreateFileA(target, FILE_WRITE_ATTRIBUTES, 0, NULL, OPEN_EXISTING, 0, NULL);

    if (file == INVALID_HANDLE_VALUE)
        return;
    SetItemTimes(file, item);
    CloseHandle(file);
}

static const FILETIME *TimeOrNull(const FILETIME *time)
{
    return time->dwLowDateTime == 0 && time->dwHighDateTime == 0 ? NULL : time;
}

static int IsSeparator(char c)
{
    return c == '/' || c == '\\';
}

// A segment of two or more dots, with or without spaces, is refused: Windows
// trims trailing dots and spaces from a segment, so such a segment names no
// file of its own, and ".." itself climbs.
static int IsClimbingSegment(const char *begin, const char *end)
{
    int dots = 0;
    const char *p;

    for (p = begin; p < end; p++) {
        if (*p == '.')
            dots++;
        else if (*p != ' ')
            return 0;
    }
    return dots >= 2;
}
