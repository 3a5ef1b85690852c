#include "transfer/zip.h"

#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/process_state.h"
#include "support/file_tree.h"
#include "support/sandbox.h"
#include "support/zip_builder.h"

namespace {

// 2024-01-15 10:30:00, the builder's default DOS time, as seconds since 1970.
const uint32_t DOS_SECONDS = 1705314600;
const uint32_t STAMP_WRITE = 1600000000;
const uint32_t STAMP_ACCESS = 1650000000;
const uint32_t STAMP_CREATION = 1550000000;

uint64_t Ticks(const FILETIME &time)
{
    return (uint64_t)time.dwHighDateTime << 32 | time.dwLowDateTime;
}

uint64_t UnixTicks(uint32_t seconds)
{
    return (uint64_t)seconds * 10000000ULL + 116444736000000000ULL;
}

void Patch16(std::string &bytes, size_t offset, uint32_t value)
{
    bytes[offset] = (char)(value & 0xFF);
    bytes[offset + 1] = (char)(value >> 8 & 0xFF);
}

void Patch32(std::string &bytes, size_t offset, uint32_t value)
{
    Patch16(bytes, offset, value & 0xFFFF);
    Patch16(bytes, offset + 2, value >> 16);
}

uint32_t Read32(const std::string &bytes, size_t offset)
{
    uint32_t value = 0;
    for (int i = 3; i >= 0; i--)
        value = value << 8 | (uint8_t)bytes[offset + i];
    return value;
}

ZipEntryPlan Entry(const std::string &name, const std::string &data = "data", uint16_t method = 8)
{
    ZipEntryPlan entry;
    entry.name = name;
    entry.data = data;
    entry.method = method;
    return entry;
}

// One entry per row of a table, entry i named stem, i, suffix and given the
// row's field by shape, so that entry i can be read back against row i.
template <typename Case, size_t N, typename Shape>
std::vector<ZipEntryPlan> OnePerCase(const Case (&cases)[N], const std::string &stem, const std::string &suffix,
                                     Shape shape)
{
    std::vector<ZipEntryPlan> entries;
    for (size_t i = 0; i < N; i++) {
        entries.push_back(Entry(stem + std::to_string(i) + suffix));
        shape(cases[i], &entries.back());
    }
    return entries;
}

std::string Text(size_t size)
{
    std::string text;
    while (text.size() < size)
        text += "The quick brown fox jumps over the lazy dog " + std::to_string(text.size()) + ".\r\n";
    text.resize(size);
    return text;
}

bool FileTimes(const std::string &path, FILETIME *creation, FILETIME *access, FILETIME *write)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    bool ok = GetFileTime(file, creation, access, write);
    CloseHandle(file);
    return ok;
}

class Archive {
public:
    explicit Archive(const std::string &path) : handle_(ZipOpen(path.c_str())) {}
    ~Archive()
    {
        if (handle_)
            ZipClose(handle_);
    }
    ZipHandle *get() const { return handle_; }

private:
    ZipHandle *handle_;
};

class ZipLayer : public ::testing::Test {
protected:
    TempFolder folder_{ "zip" };

    std::string Write(const std::string &bytes, const char *name = "test.zip")
    {
        std::string path = folder_.Sub(name);
        WriteFileBytes(path, bytes);
        return path;
    }
    std::string Write(const std::vector<ZipEntryPlan> &entries, const char *name = "test.zip")
    {
        return Write(BuildZip(entries), name);
    }
    std::string Out(const std::string &relative = "") const { return folder_.Sub("out\\" + relative); }
    void SetUp() override { CreateDirectoryA(Out().c_str(), nullptr); }
};

ZipItem Filled()
{
    ZipItem item;
    memset(&item, 0xAB, sizeof item);
    return item;
}

bool Untouched(const ZipItem &item)
{
    ZipItem filled = Filled();
    return memcmp(&item, &filled, sizeof item) == 0;
}

TEST_F(ZipLayer, CountsEntriesWithIndexMinusOneAndRefusesIndexesOutsideThem)
{
    Archive three(Write({ Entry("a.txt"), Entry("b.txt"), Entry("c.txt") }));
    Archive empty(Write(std::vector<ZipEntryPlan>{}, "empty.zip"));
    ASSERT_TRUE(three.get());
    ASSERT_TRUE(empty.get());

    ZipItem count = Filled();
    ASSERT_HR(ZipSuccess, ZipGetItem(three.get(), -1, &count));
    ZipItem expected = {};
    expected.index = 3;
    EXPECT_EQ(0, memcmp(&expected, &count, sizeof count)) << "index 3, empty name, zeros elsewhere";
    ASSERT_HR(ZipSuccess, ZipGetItem(empty.get(), -1, &count));
    EXPECT_EQ(0, count.index);

    struct Case {
        const char *what;
        ZipHandle *handle;
        int index;
        ZipResult expected;
    } cases[] = {
        { "first entry", three.get(), 0, ZipSuccess },
        { "last entry", three.get(), 2, ZipSuccess },
        { "below -1", three.get(), -2, ZipBadArgument },
        { "the number of entries", three.get(), 3, ZipBadArgument },
        { "entry 0 of an empty archive", empty.get(), 0, ZipBadArgument },
        { "no handle", nullptr, 0, ZipBadArgument },
        { "no handle, -1", nullptr, -1, ZipBadArgument },
    };
    for (const Case &c : cases) {
        ZipItem item = Filled();
        processState.zipLastResult = (ZipResult)0x1234;
        EXPECT_HR(c.expected, ZipGetItem(c.handle, c.index, &item)) << c.what;
        EXPECT_HR(c.expected, processState.zipLastResult) << c.what;
        EXPECT_EQ(c.expected != ZipSuccess, Untouched(item)) << c.what;
        if (c.expected == ZipBadArgument) {
            EXPECT_HR(ZipBadArgument, ZipExtractItem(c.handle, c.index, Out("x").c_str())) << c.what;
            EXPECT_FALSE(FileExists(Out("x"))) << c.what;
        }
    }
    EXPECT_HR(ZipBadArgument, ZipExtractItem(three.get(), -1, Out("x").c_str()));
    EXPECT_HR(ZipBadArgument, ZipClose(nullptr));
    EXPECT_HR(ZipBadArgument, processState.zipLastResult);
}

TEST_F(ZipLayer, OpensOnlyWhatIsAnArchive)
{
    std::string good = BuildZip({ Entry("a.txt", Text(3000)), Entry("b.txt") });
    struct Case {
        const char *what;
        bool present;
        std::string bytes;
        ZipResult expected;
    } cases[] = {
        { "an archive", true, good, ZipSuccess },
        { "a missing file", false, "", ZipFileOpenFailed },
        { "an empty file", true, "", ZipHeaderMismatch },
        { "an HTML error page", true,
          "<html><head><title>404 Not Found</title></head><body><h1>Not Found</h1></body></html>\r\n",
          ZipHeaderMismatch },
        { "bytes that are no archive", true, Text(70000), ZipHeaderMismatch },
        { "an archive cut short", true, good.substr(0, good.size() / 2), ZipHeaderMismatch },
        { "an archive cut inside its end record", true, good.substr(0, good.size() - 10), ZipHeaderMismatch },
        { "an archive without its end record", true, good.substr(0, good.size() - 22), ZipHeaderMismatch },
        { "an end record alone that claims entries", true, good.substr(good.size() - 22), ZipHeaderMismatch },
    };
    for (const Case &c : cases) {
        std::string path = folder_.Sub("case.zip");
        DeleteFileA(path.c_str());
        if (c.present)
            Write(c.bytes, "case.zip");
        ZipHandle *handle = ZipOpen(path.c_str());
        EXPECT_HR(c.expected, processState.zipLastResult) << c.what;
        EXPECT_EQ(c.expected == ZipSuccess, handle != nullptr) << c.what;
        if (handle) {
            EXPECT_HR(ZipSuccess, ZipClose(handle)) << c.what;
        }
        // The file is closed again whatever the outcome.
        EXPECT_TRUE(!c.present || DeleteFileA(path.c_str())) << c.what;
    }
}

TEST_F(ZipLayer, KeepsTheArchiveReadableByOthersAndWritableByNobodyWhileOpen)
{
    std::string path = Write({ Entry("a.txt") });
    Archive archive(path);
    ASSERT_TRUE(archive.get());
    HANDLE reader = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(INVALID_HANDLE_VALUE, reader);
    CloseHandle(reader);
    HANDLE writer = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(INVALID_HANDLE_VALUE, writer);
    EXPECT_EQ((DWORD)ERROR_SHARING_VIOLATION, GetLastError());
    if (writer != INVALID_HANDLE_VALUE)
        CloseHandle(writer);
}

TEST_F(ZipLayer, MovesBackToAnEarlierEntry)
{
    Archive archive(Write({ Entry("zero.txt", "0"), Entry("one.txt", "1"), Entry("two.txt", "2") }));
    ASSERT_TRUE(archive.get());
    const int order[] = { 2, 0, 1, 2, 1 };
    const char *const names[] = { "zero.txt", "one.txt", "two.txt" };
    for (int index : order) {
        ZipItem item;
        ASSERT_HR(ZipSuccess, ZipGetItem(archive.get(), index, &item)) << index;
        EXPECT_EQ(index, item.index);
        EXPECT_STREQ(names[index], item.name);
    }
    // The reader stands on entry 1 now, the cache holds entry 1: extracting 0
    // must read entry 0, and extracting 2 after it must step forward again.
    std::string bytes;
    ASSERT_HR(ZipSuccess, ZipExtractItem(archive.get(), 0, Out("zero.txt").c_str()));
    ASSERT_TRUE(ReadFileBytes(Out("zero.txt"), &bytes));
    EXPECT_EQ("0", bytes);
    ASSERT_HR(ZipSuccess, ZipExtractItem(archive.get(), 2, Out("two.txt").c_str()));
    ASSERT_TRUE(ReadFileBytes(Out("two.txt"), &bytes));
    EXPECT_EQ("2", bytes);
}

TEST_F(ZipLayer, MapsExternalAttributesAndCreatesFilesWithThem)
{
    const DWORD onDisk = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                         FILE_ATTRIBUTE_DIRECTORY;
    struct Case {
        const char *what;
        uint32_t external;
        DWORD attributes;
    } cases[] = {
        { "none", 0x00, FILE_ATTRIBUTE_NORMAL },
        { "archive and read-only", 0x21, FILE_ATTRIBUTE_NORMAL | FILE_ATTRIBUTE_ARCHIVE },
        { "read-only alone", 0x01, FILE_ATTRIBUTE_NORMAL },
        { "hidden", 0x22, FILE_ATTRIBUTE_NORMAL | FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_HIDDEN },
        { "system", 0x24, FILE_ATTRIBUTE_NORMAL | FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_SYSTEM },
        { "MS-DOS folder", 0x10, FILE_ATTRIBUTE_NORMAL | FILE_ATTRIBUTE_DIRECTORY },
        { "hidden MS-DOS folder", 0x12, FILE_ATTRIBUTE_NORMAL | FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN },
        { "Unix folder 0755", 0x41ED0000, FILE_ATTRIBUTE_NORMAL | FILE_ATTRIBUTE_DIRECTORY },
        { "Unix file 0644", 0x81A40000, FILE_ATTRIBUTE_NORMAL },
        { "bits nobody looks at", 0x00000F00, FILE_ATTRIBUTE_NORMAL },
    };
    auto shape = [](const Case &c, ZipEntryPlan *entry) { entry->externalAttributes = c.external; };
    Archive archive(Write(OnePerCase(cases, "entry", "", shape)));
    ASSERT_TRUE(archive.get());
    for (size_t i = 0; i < sizeof cases / sizeof cases[0]; i++) {
        const Case &c = cases[i];
        ZipItem item;
        ASSERT_HR(ZipSuccess, ZipGetItem(archive.get(), (int)i, &item)) << c.what;
        EXPECT_HR(c.attributes, item.attributes) << c.what;
        std::string target = Out(item.name);
        EXPECT_HR(ZipSuccess, ZipExtractItem(archive.get(), (int)i, target.c_str())) << c.what;
        DWORD attributes = GetFileAttributesA(target.c_str());
        ASSERT_NE(INVALID_FILE_ATTRIBUTES, attributes) << c.what;
        // Folders are made plain; only their kind is checked.
        DWORD mask = attributes & FILE_ATTRIBUTE_DIRECTORY ? FILE_ATTRIBUTE_DIRECTORY : onDisk;
        EXPECT_HR(c.attributes & mask, attributes & mask) << c.what;
        if (!(attributes & FILE_ATTRIBUTE_DIRECTORY))
            SetFileAttributesA(target.c_str(), FILE_ATTRIBUTE_NORMAL);
    }
}

TEST_F(ZipLayer, TakesTimesFromTheDosFieldAndTheFirstUtField)
{
    const uint64_t dos = UnixTicks(DOS_SECONDS);
    const uint64_t write = UnixTicks(STAMP_WRITE), access = UnixTicks(STAMP_ACCESS);
    const uint64_t creation = UnixTicks(STAMP_CREATION);
    const std::string other = ExtraField(0x000A, std::string(32, '\x01'));
    struct Case {
        const char *what;
        std::string extra;
        uint64_t write, access, creation;
    } cases[] = {
        { "no extra field: the DOS value, unconverted", "", dos, dos, dos },
        { "UT with write and access", UtField(3, { STAMP_WRITE, STAMP_ACCESS }), write, access, dos },
        { "UT with all three", UtField(7, { STAMP_WRITE, STAMP_ACCESS, STAMP_CREATION }), write, access, creation },
        { "UT with write only", UtField(1, { STAMP_WRITE }), write, dos, dos },
        { "UT with creation only", UtField(4, { STAMP_CREATION }), dos, dos, creation },
        { "UT after another field", other + UtField(1, { STAMP_WRITE }), write, dos, dos },
        { "only the first UT counts", UtField(1, { STAMP_WRITE }) + UtField(1, { STAMP_ACCESS }), write, dos, dos },
        { "another field only", other, dos, dos, dos },
        { "UT flags 7 holding one stamp", UtField(7, { STAMP_WRITE }), write, dos, dos },
        { "UT whose size runs past the extra field", UtField(3, { STAMP_WRITE }, 9), write, dos, dos },
        { "UT whose size runs past by one byte", UtField(1, { STAMP_WRITE }).substr(0, 8), dos, dos, dos },
        { "UT with flags and no stamp", UtField(1, {}), dos, dos, dos },
        { "UT without a flag byte", ExtraField(0x5455, ""), dos, dos, dos },
        { "a field whose size runs past the end", ExtraField(0x000A, "xy", 5000), dos, dos, dos },
    };
    auto shape = [](const Case &c, ZipEntryPlan *entry) { entry->localExtra = c.extra; };
    Archive archive(Write(OnePerCase(cases, "file", ".txt", shape)));
    ASSERT_TRUE(archive.get());
    for (size_t i = 0; i < sizeof cases / sizeof cases[0]; i++) {
        const Case &c = cases[i];
        ZipItem item;
        ASSERT_HR(ZipSuccess, ZipGetItem(archive.get(), (int)i, &item)) << c.what;
        EXPECT_EQ(c.write, Ticks(item.writeTime)) << c.what;
        EXPECT_EQ(c.access, Ticks(item.accessTime)) << c.what;
        EXPECT_EQ(c.creation, Ticks(item.creationTime)) << c.what;

        std::string target = Out(item.name);
        ASSERT_HR(ZipSuccess, ZipExtractItem(archive.get(), (int)i, target.c_str())) << c.what;
        FILETIME onCreation, onAccess, onWrite;
        ASSERT_TRUE(FileTimes(target, &onCreation, &onAccess, &onWrite)) << c.what;
        EXPECT_EQ(c.write, Ticks(onWrite)) << c.what;
        EXPECT_EQ(c.access, Ticks(onAccess)) << c.what;
        // Wine reports the last-write time as the creation time, so it is not
        // checked on the file here; on Windows it equals item.creationTime.
    }
}

TEST_F(ZipLayer, ADosDateTheSystemRejectsLeavesTheTimesOfTheWriting)
{
    ZipEntryPlan entry = Entry("bad-date.txt");
    entry.dosDateTime = DosDateTime(2024, 13, 40, 10, 30, 0);
    Archive archive(Write({ entry }));
    ASSERT_TRUE(archive.get());
    ZipItem item;
    ASSERT_HR(ZipSuccess, ZipGetItem(archive.get(), 0, &item));
    EXPECT_EQ(0u, Ticks(item.writeTime));
    FILETIME before;
    GetSystemTimeAsFileTime(&before);
    ASSERT_HR(ZipSuccess, ZipExtractItem(archive.get(), 0, Out("bad-date.txt").c_str()));
    FILETIME creation, access, write;
    ASSERT_TRUE(FileTimes(Out("bad-date.txt"), &creation, &access, &write));
    EXPECT_GE(Ticks(write) + 20000000ULL, Ticks(before)) << "kept the time it was written at";
}

TEST_F(ZipLayer, WritesZeroLengthEntriesAndReplacesExistingFiles)
{
    struct Case {
        const char *what;
        std::string old;  // empty: no file before
        ZipEntryPlan entry;
    } cases[] = {
        { "zero-length, deflated", "", Entry("empty-deflated.txt", "", 8) },
        { "zero-length, stored", "", Entry("empty-stored.txt", "", 0) },
        { "replaces a longer file", Text(50000), Entry("replaced.txt", "short") },
        { "replaces with a zero-length entry", "old", Entry("emptied.txt", "", 8) },
        { "stored, replacing", "old", Entry("stored.txt", Text(40000), 0) },
        { "deflated, several chunks", "", Entry("big.txt", Text(100000), 8) },
    };
    std::vector<ZipEntryPlan> entries;
    for (const Case &c : cases) {
        ZipEntryPlan entry = c.entry;
        entry.localExtra = UtField(1, { STAMP_WRITE });
        entries.push_back(entry);
        if (!c.old.empty())
            WriteFileBytes(Out(c.entry.name), c.old);
    }
    Archive archive(Write(entries));
    ASSERT_TRUE(archive.get());
    for (size_t i = 0; i < sizeof cases / sizeof cases[0]; i++) {
        const Case &c = cases[i];
        std::string target = Out(c.entry.name);
        EXPECT_HR(ZipSuccess, ZipExtractItem(archive.get(), (int)i, target.c_str())) << c.what;
        std::string bytes;
        ASSERT_TRUE(ReadFileBytes(target, &bytes)) << c.what;
        EXPECT_EQ(c.entry.data, bytes) << c.what;
        FILETIME creation, access, write;
        ASSERT_TRUE(FileTimes(target, &creation, &access, &write)) << c.what;
        EXPECT_EQ(UnixTicks(STAMP_WRITE), Ticks(write)) << c.what;
        EXPECT_FALSE(FileExists(target + ".hx~")) << c.what;
    }
}

TEST_F(ZipLayer, LeavesATargetThatCannotBeWrittenAsItWas)
{
    Archive archive(Write({ Entry("a.txt", "new data") }));
    ASSERT_TRUE(archive.get());
    WriteFileBytes(Out("locked.txt"), "old");
    WriteFileBytes(Out("readonly.txt"), "old");
    SetFileAttributesA(Out("readonly.txt").c_str(), FILE_ATTRIBUTE_READONLY);
    CreateDirectoryA(Out("folder.txt").c_str(), nullptr);
    HANDLE lock = CreateFileA(Out("locked.txt").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, lock);

    struct Case {
        const char *what;
        std::string target;
    } cases[] = {
        { "held open by another without sharing", Out("locked.txt") },
        { "read-only", Out("readonly.txt") },
        { "a folder", Out("folder.txt") },
        { "in an absolute folder that does not exist", folder_.Sub("missing\\a.txt") },
        { "of 259 characters, leaving no room beside it", Out(std::string(259 - Out().size(), 'n')) },
        { "of 300 characters", Out(std::string(300, 'n')) },
    };
    for (const Case &c : cases) {
        EXPECT_HR(ZipFileOpenFailed, ZipExtractItem(archive.get(), 0, c.target.c_str())) << c.what;
        EXPECT_FALSE(FileExists(c.target + ".hx~")) << c.what;
    }
    CloseHandle(lock);
    std::string bytes;
    ASSERT_TRUE(ReadFileBytes(Out("locked.txt"), &bytes));
    EXPECT_EQ("old", bytes);
    ASSERT_TRUE(ReadFileBytes(Out("readonly.txt"), &bytes));
    EXPECT_EQ("old", bytes);
    EXPECT_FALSE(FolderExists(folder_.Sub("missing")));
    EXPECT_EQ((std::vector<std::string>{ "folder.txt", "locked.txt", "readonly.txt" }), Tree(Out()));
    SetFileAttributesA(Out("readonly.txt").c_str(), FILE_ATTRIBUTE_NORMAL);

    // Once the other process lets go, the same call works.
    EXPECT_HR(ZipSuccess, ZipExtractItem(archive.get(), 0, Out("locked.txt").c_str()));
    ASSERT_TRUE(ReadFileBytes(Out("locked.txt"), &bytes));
    EXPECT_EQ("new data", bytes);
}

TEST_F(ZipLayer, DamagedDataFailAndNeverReplaceAGoodFile)
{
    typedef void (*Damage)(std::string &bytes, const ZipLayout &layout);
    struct Case {
        const char *what;
        uint16_t method;
        Damage damage;
    } cases[] = {
        { "a flipped byte in deflated data", 8,
          [](std::string &b, const ZipLayout &l) { b[l.dataOffset[0] + l.dataSize[0] / 2] ^= 0x5A; } },
        { "a flipped byte in stored data", 0,
          [](std::string &b, const ZipLayout &l) { b[l.dataOffset[0] + l.dataSize[0] / 2] ^= 0x01; } },
        { "a CRC that does not match, in both headers", 8,
          [](std::string &b, const ZipLayout &l) {
              uint32_t crc = Read32(b, l.localHeader[0] + 14) ^ 1;
              Patch32(b, l.localHeader[0] + 14, crc);
              Patch32(b, l.centralDirectory + 16, crc);
          } },
        { "deflated data that end before the stated size", 8,
          [](std::string &b, const ZipLayout &l) {
              uint32_t size = Read32(b, l.localHeader[0] + 22) + 100;
              Patch32(b, l.localHeader[0] + 22, size);
              Patch32(b, l.centralDirectory + 24, size);
          } },
        { "data cut short before the directory", 8,
          [](std::string &b, const ZipLayout &l) {
              uint32_t size = Read32(b, l.localHeader[0] + 18) + 1000000;
              Patch32(b, l.localHeader[0] + 18, size);
              Patch32(b, l.centralDirectory + 20, size);
          } },
    };
    for (const Case &c : cases) {
        for (bool old : { false, true }) {
            SCOPED_TRACE(std::string(c.what) + (old ? ", over a good file" : ", no file before"));
            ZipLayout layout;
            std::string bytes = BuildZip({ Entry("payload.bin", Text(60000), c.method) }, &layout);
            c.damage(bytes, layout);
            std::string target = Out("payload.bin");
            DeleteFileA(target.c_str());
            if (old)
                WriteFileBytes(target, "the good one");
            Archive archive(Write(bytes));
            ASSERT_TRUE(archive.get());
            EXPECT_HR(ZipWriteFailed, ZipExtractItem(archive.get(), 0, target.c_str()));
            EXPECT_HR(ZipWriteFailed, processState.zipLastResult);
            std::string now;
            EXPECT_EQ(old, ReadFileBytes(target, &now));
            if (old) {
                EXPECT_EQ("the good one", now);
            }
            EXPECT_FALSE(FileExists(target + ".hx~"));
        }
    }
}

TEST_F(ZipLayer, ADamagedHeaderFailsAndKeepsThePreviousEntryInTheCache)
{
    typedef void (*Damage)(std::string &bytes, const ZipLayout &layout);
    struct Case {
        const char *what;
        ZipEntryPlan second;
        Damage damage;
        ZipResult expected;
    } cases[] = {
        { "local signature broken", Entry("b.txt"),
          [](std::string &b, const ZipLayout &l) { b[l.localHeader[1]] = 'X'; }, ZipHeaderMismatch },
        { "local method differs", Entry("b.txt"),
          [](std::string &b, const ZipLayout &l) { Patch16(b, l.localHeader[1] + 8, 0); }, ZipHeaderMismatch },
        { "local name length differs", Entry("b.txt"),
          [](std::string &b, const ZipLayout &l) { Patch16(b, l.localHeader[1] + 26, 4); }, ZipHeaderMismatch },
        { "local CRC differs", Entry("b.txt"),
          [](std::string &b, const ZipLayout &l) { b[l.localHeader[1] + 14] ^= 1; }, ZipHeaderMismatch },
        { "local header offset past the end", Entry("b.txt"),
          [](std::string &b, const ZipLayout &l) {
              // The second central record follows the first, whose name is 5 bytes.
              Patch32(b, l.centralDirectory + 46 + 5 + 42, 0x00FFFFFF);
          },
          ZipHeaderMismatch },
        { "a method neither stored nor deflated", Entry("b.txt", "data", 12), nullptr, ZipHeaderMismatch },
        { "a name of 260 bytes", Entry(std::string(260, 'n')), nullptr, ZipHeaderMismatch },
        { "a name of 1000 bytes", Entry(std::string(1000, 'n')), nullptr, ZipHeaderMismatch },
        { "local extra field past the end", Entry("b.txt"),
          [](std::string &b, const ZipLayout &l) { Patch16(b, l.localHeader[1] + 28, 0xFFFF); },
          ZipExtraReadFailed },
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        ZipLayout layout;
        std::string bytes = BuildZip({ Entry("a.txt"), c.second, Entry("c.txt") }, &layout);
        if (c.damage)
            c.damage(bytes, layout);
        Archive archive(Write(bytes));
        ASSERT_TRUE(archive.get());
        ZipItem first, item = Filled();
        ASSERT_HR(ZipSuccess, ZipGetItem(archive.get(), 0, &first));
        EXPECT_HR(c.expected, ZipGetItem(archive.get(), 1, &item));
        EXPECT_TRUE(Untouched(item));
        EXPECT_HR(c.expected, ZipExtractItem(archive.get(), 1, Out("b.txt").c_str()));
        EXPECT_EQ(std::vector<std::string>{}, Tree(Out()));
        // The cache still holds entry 0, and the walk goes on past the damage.
        ASSERT_HR(ZipSuccess, ZipGetItem(archive.get(), 0, &item));
        EXPECT_STREQ("a.txt", item.name);
        ASSERT_HR(ZipSuccess, ZipGetItem(archive.get(), 2, &item));
        EXPECT_STREQ("c.txt", item.name);
    }
}

TEST_F(ZipLayer, ANameOf259BytesIsKeptWhole)
{
    Archive archive(Write({ Entry(std::string(259, 'n')) }));
    ASSERT_TRUE(archive.get());
    ZipItem item;
    ASSERT_HR(ZipSuccess, ZipGetItem(archive.get(), 0, &item));
    EXPECT_EQ(std::string(259, 'n'), item.name);
}

TEST_F(ZipLayer, ADirectoryThatClaimsMoreEntriesThanItHoldsEndsTheWalk)
{
    ZipLayout layout;
    std::string bytes = BuildZip({ Entry("a.txt"), Entry("b.txt") }, &layout);
    size_t end = bytes.size() - 22;
    Patch16(bytes, end + 8, 3);
    Patch16(bytes, end + 10, 3);
    Archive archive(Write(bytes));
    ASSERT_TRUE(archive.get());
    ZipItem item;
    ASSERT_HR(ZipSuccess, ZipGetItem(archive.get(), -1, &item));
    EXPECT_EQ(3, item.index);
    EXPECT_HR(ZipHeaderMismatch, ZipGetItem(archive.get(), 2, &item));
    EXPECT_HR(ZipHeaderMismatch, ZipExtractItem(archive.get(), 2, Out("c.txt").c_str()));
    ASSERT_HR(ZipSuccess, ZipGetItem(archive.get(), 1, &item));
    EXPECT_STREQ("b.txt", item.name);
}

TEST_F(ZipLayer, CreatesFoldersOnlyBelowTheFolderBeingExtractedInto)
{
    TempFolder elsewhere("zip-cwd");
    char before[MAX_PATH];
    GetCurrentDirectoryA(sizeof before, before);
    ASSERT_TRUE(SetCurrentDirectoryA(elsewhere.Path().c_str()));

    struct Case {
        const char *what;
        ZipEntryPlan entry;
        std::string target;
        ZipResult expected;
        std::vector<std::string> tree;
    } cases[] = {
        { "a folder entry", Entry("docs/", ""), Out("docs/"), ZipSuccess, { "docs" } },
        { "a folder entry two levels deep", Entry("x/y/", ""), Out("x/y/"), ZipSuccess, { "x", "x\\y" } },
        { "a file two folders deep", Entry("a/b/c.txt"), Out("a/b/c.txt"), ZipSuccess,
          { "a", "a\\b", "a\\b\\c.txt" } },
        { "backslash separators", Entry("p\\q\\r.txt"), Out("p\\q\\r.txt"), ZipSuccess,
          { "p", "p\\q", "p\\q\\r.txt" } },
        { "a file whose folders exist", Entry("k/f.txt"), Out("k/f.txt"), ZipSuccess, { "k\\f.txt" } },
        { "a target that does not end with the name", Entry("m/n.txt"), Out("other/n.txt"), ZipFileOpenFailed,
          {} },
        { "a folder entry to another target", Entry("m/", ""), Out("elsewhere"), ZipSuccess, { "elsewhere" } },
        { "below a base that does not exist", Entry("m/n.txt"), folder_.Sub("nobase\\m/n.txt"),
          ZipFileOpenFailed, {} },
    };
    for (Case &c : cases) {
        if (c.entry.name.back() == '/')
            c.entry.externalAttributes = 0x10;
    }
    CreateDirectoryA(Out("k").c_str(), nullptr);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        Archive archive(Write({ c.entry }));
        ASSERT_TRUE(archive.get());
        std::vector<std::string> before = Tree(Out());
        EXPECT_HR(c.expected, ZipExtractItem(archive.get(), 0, c.target.c_str()));
        std::vector<std::string> made;
        for (const std::string &path : Tree(Out()))
            if (std::find(before.begin(), before.end(), path) == before.end())
                made.push_back(path);
        EXPECT_EQ(c.tree, made);
    }
    EXPECT_FALSE(FolderExists(folder_.Sub("nobase")));
    EXPECT_EQ(std::vector<std::string>{}, Tree(elsewhere.Path())) << "nothing below the current directory";
    SetCurrentDirectoryA(before);
}

TEST_F(ZipLayer, NeverWritesANameThatIsAbsoluteOrClimbs)
{
    struct Case {
        const char *name;
        bool safe;
    } cases[] = {
        { "../x", false },
        { "..\\x", false },
        { "/x", false },
        { "\\x", false },
        { "C:x", false },
        { "C:\\x", false },
        { "a/../../x", false },
        { "a\\..\\..\\x", false },
        { "a/..", false },
        { "..", false },
        { ".../x", false },
        { ".. /x", false },
        { "a/b:stream", false },
        { "", false },
        { "plain.txt", true },
        { "a/b/c.txt", true },
        { "a..b/c..d", true },
        { ".hidden", true },
        { "a/./b.txt", true },
    };
    std::string in = folder_.Sub("in\\deep\\");
    CreateDirectoryA(folder_.Sub("in").c_str(), nullptr);
    CreateDirectoryA(in.c_str(), nullptr);
    for (const Case &c : cases) {
        EXPECT_EQ(c.safe, ZipNameIsSafe(c.name) != 0) << c.name;
        if (c.safe)
            continue;
        for (uint32_t attributes : { 0x20u, 0x10u }) {
            SCOPED_TRACE(std::string(c.name) + (attributes == 0x10 ? " as a folder" : " as a file"));
            ZipEntryPlan entry = Entry(c.name);
            entry.externalAttributes = attributes;
            Archive archive(Write({ entry }, "unsafe.zip"));
            ASSERT_TRUE(archive.get());
            EXPECT_HR(ZipFileOpenFailed, ZipExtractItem(archive.get(), 0, (in + c.name).c_str()));
        }
    }
    EXPECT_EQ((std::vector<std::string>{ "in", "in\\deep", "out", "unsafe.zip" }), Tree(folder_.Path()));
}

} // namespace
