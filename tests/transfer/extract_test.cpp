#include "transfer/extract.h"

#include <windows.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/layout.h"
#include "app/process_state.h"
#include "res/text.h"
#include "support/file_tree.h"
#include "support/progress_recorder.h"
#include "support/sandbox.h"
#include "support/zip_builder.h"

namespace {

const int UNTOUCHED_BAR = 7;

ZipEntryPlan Entry(const std::string &name, const std::string &data = "data")
{
    ZipEntryPlan entry;
    entry.name = name;
    entry.data = data;
    if (!name.empty() && name.back() == '/')
        entry.externalAttributes = 0x10;
    return entry;
}

std::string Content(const std::string &name)
{
    return "content of " + name + "\r\n";
}

// An entry whose data are its name's text, so tests can tell files apart.
ZipEntryPlan Named(const std::string &name)
{
    return Entry(name, Content(name));
}

class ExtractPayloadTest : public ::testing::Test {
protected:
    TempFolder folder_{ "extract" };
    ProgressRecorder progress_{ UNTOUCHED_BAR };

    void SetUp() override
    {
        ASSERT_TRUE(progress_.Handle());
        processState.progressDialog = progress_.Handle();

        CreateDirectoryA(Install().c_str(), nullptr);
        CreateDirectoryA(Windows().c_str(), nullptr);
        CopyText(installLayout.installDir, sizeof installLayout.installDir, Install().c_str());
        CopyText(installLayout.windowsDir, sizeof installLayout.windowsDir, Windows().c_str());
    }
    void TearDown() override
    {
        processState.progressDialog = nullptr;
    }

    std::string Install(const std::string &relative = "") const { return folder_.Sub("install\\" + relative); }
    std::string Windows(const std::string &relative = "") const { return folder_.Sub("windows\\" + relative); }
    std::string Write(const std::string &bytes)
    {
        std::string path = folder_.Sub("payload.zip");
        WriteFileBytes(path, bytes);
        return path;
    }
    std::string Write(const std::vector<ZipEntryPlan> &entries) { return Write(BuildZip(entries)); }
    int Bar() const { return progress_.Position(); }
    std::string Read(const std::string &path) const
    {
        std::string bytes;
        return ReadFileBytes(path, &bytes) ? bytes : "<missing>";
    }
};

TEST_F(ExtractPayloadTest, MovesTheBarToTheShareOfEntriesDone)
{
    struct Case {
        int entries;
        std::vector<int> positions;
    } cases[] = {
        { 4, { 25, 50, 75, 100 } },
        { 3, { 33, 66, 100 } },
        { 1, { 100 } },
        { 7, { 14, 28, 42, 57, 71, 85, 100 } },
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.entries);
        RemoveTree(Install().substr(0, Install().size() - 1));
        CreateDirectoryA(Install().c_str(), nullptr);
        std::vector<ZipEntryPlan> entries;
        std::vector<std::string> names;
        for (int i = 0; i < c.entries; i++) {
            names.push_back("file" + std::to_string(i) + ".txt");
            entries.push_back(Named(names.back()));
        }
        progress_.Clear();
        EXPECT_EQ(1, ExtractPayload(Write(entries).c_str()));
        EXPECT_EQ(c.positions, progress_.positions);
        EXPECT_EQ(100, Bar());
        EXPECT_EQ(names, Tree(Install()));
        for (const std::string &name : names)
            EXPECT_EQ(Content(name), Read(Install(name)));
    }
}

TEST_F(ExtractPayloadTest, AnArchiveWithNothingToUnpackLeavesTheBarAlone)
{
    std::string good = BuildZip({ Named("a.txt"), Named("b.txt") });
    struct Case {
        const char *what;
        bool present;
        std::string bytes;
        int result;
    } cases[] = {
        { "an empty archive", true, BuildZip({}), 1 },
        { "a missing archive", false, "", 0 },
        { "an HTML page in its place",
          true, "<!DOCTYPE html>\n<html><body><h1>500 Internal Server Error</h1></body></html>\n", 0 },
        { "a file that is no archive", true, std::string(5000, '\x7F'), 0 },
        { "an archive cut short", true, good.substr(0, good.size() - 10), 0 },
        { "an empty file", true, "", 0 },
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        std::string path = folder_.Sub("payload.zip");
        DeleteFileA(path.c_str());
        if (c.present)
            Write(c.bytes);
        progress_.StartAt(UNTOUCHED_BAR);
        EXPECT_EQ(c.result, ExtractPayload(path.c_str()));
        EXPECT_EQ(std::vector<int>{}, progress_.positions);
        EXPECT_EQ(UNTOUCHED_BAR, Bar());
        EXPECT_EQ(std::vector<std::string>{}, Tree(Install()));
    }
}

// Nothing can be written without the folder: the payload is not in place, so
// the caller must not mark anything installed.
TEST_F(ExtractPayloadTest, AMissingInstallFolderIsAFailureNotASkip)
{
    std::string archive = Write({ Named("Tamrick.exe") });
    RemoveTree(Install().substr(0, Install().size() - 1));
    EXPECT_EQ(0, ExtractPayload(archive.c_str()));
    EXPECT_FALSE(FolderExists(Install()));
}

TEST_F(ExtractPayloadTest, RoutesTheControlAndItsHelperToTheWindowsDirectory)
{
    std::string archive = Write({ Named("BREVOLT.OCX"), Named("dolvane.exe"), Named("Tamrick.exe"),
                                  Named("extra/Brevolt.ocx"), Named("DolVane.Exe.bak") });
    EXPECT_EQ(1, ExtractPayload(archive.c_str()));
    EXPECT_EQ((std::vector<std::string>{ "BREVOLT.OCX", "dolvane.exe" }), Tree(Windows()));
    EXPECT_EQ((std::vector<std::string>{ "DolVane.Exe.bak", "Tamrick.exe", "extra", "extra\\Brevolt.ocx" }),
              Tree(Install()));
    EXPECT_EQ(Content("BREVOLT.OCX"), Read(Windows("BREVOLT.OCX")));
    EXPECT_EQ(Content("extra/Brevolt.ocx"), Read(Install("extra\\Brevolt.ocx")));
}

TEST_F(ExtractPayloadTest, PutsTheArchivesFoldersBelowTheInstallFolder)
{
    TempFolder elsewhere("extract-cwd");
    char before[MAX_PATH];
    GetCurrentDirectoryA(sizeof before, before);
    ASSERT_TRUE(SetCurrentDirectoryA(elsewhere.Path().c_str()));
    std::string archive = Write({ Named("top.txt"), Entry("docs/", ""), Named("docs/guide/start.txt"),
                                  Entry("empty/", ""), Named("lib\\core.dll") });
    EXPECT_EQ(1, ExtractPayload(archive.c_str()));
    SetCurrentDirectoryA(before);
    EXPECT_EQ((std::vector<std::string>{ "docs", "docs\\guide", "docs\\guide\\start.txt", "empty", "lib",
                                         "lib\\core.dll", "top.txt" }),
              Tree(Install()));
    EXPECT_EQ(Content("docs/guide/start.txt"), Read(Install("docs\\guide\\start.txt")));
    EXPECT_EQ(std::vector<std::string>{}, Tree(elsewhere.Path()));
}

TEST_F(ExtractPayloadTest, SkipsNamesThatWouldLeaveTheFolderAndGoesOn)
{
    std::string archive = Write({ Named("../up.txt"), Named("..\\up2.txt"), Named("/root.txt"),
                                  Named("\\root2.txt"), Named("C:drive.txt"), Named("a/../../up3.txt"),
                                  Entry("../updir/", ""), Named("good.txt"), Named("dolvane.exe/../../x.txt") });
    EXPECT_EQ(1, ExtractPayload(archive.c_str()));
    EXPECT_EQ(100, Bar());
    EXPECT_EQ(9u, progress_.positions.size());
    EXPECT_EQ(std::vector<std::string>{ "good.txt" }, Tree(Install()));
    EXPECT_EQ(std::vector<std::string>{}, Tree(Windows()));
    EXPECT_EQ((std::vector<std::string>{ "install", "install\\good.txt", "payload.zip", "windows" }),
              Tree(folder_.Path()));
}

TEST_F(ExtractPayloadTest, SkipsATargetInUseAndGoesOn)
{
    WriteFileBytes(Install("b.txt"), "running");
    HANDLE lock = CreateFileA(Install("b.txt").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, lock);
    int result = ExtractPayload(Write({ Named("a.txt"), Named("b.txt"), Named("c.txt") }).c_str());
    CloseHandle(lock);
    EXPECT_EQ(1, result) << "a target in use is not a failure";
    EXPECT_EQ(Content("a.txt"), Read(Install("a.txt")));
    EXPECT_EQ("running", Read(Install("b.txt")));
    EXPECT_EQ(Content("c.txt"), Read(Install("c.txt")));
    EXPECT_EQ((std::vector<int>{ 33, 66, 100 }), progress_.positions);
}

TEST_F(ExtractPayloadTest, ADamagedEntryFailsTheArchiveButKeepsTheInstalledFile)
{
    WriteFileBytes(Install("b.txt"), "installed");
    std::string text;
    while (text.size() < 20000)
        text += "line " + std::to_string(text.size()) + " of the wizard\r\n";
    ZipLayout layout;
    std::string bytes = BuildZip({ Named("a.txt"), Entry("b.txt", text), Named("c.txt") }, &layout);
    bytes[layout.dataOffset[1] + layout.dataSize[1] / 2] ^= 0x20;
    EXPECT_EQ(0, ExtractPayload(Write(bytes).c_str()));
    EXPECT_EQ("installed", Read(Install("b.txt")));
    EXPECT_EQ((std::vector<std::string>{ "a.txt", "b.txt", "c.txt" }), Tree(Install()));
    EXPECT_EQ((std::vector<int>{ 33, 66, 100 }), progress_.positions);
}

TEST_F(ExtractPayloadTest, EntriesItCannotPlaceFailTheArchiveAndTheRestStillLand)
{
    ZipEntryPlan longName = Named(std::string(300, 'n'));
    ZipLayout layout;
    std::string unreadable = BuildZip({ Named("a.txt"), Named("b.txt"), Named("c.txt") }, &layout);
    unreadable[layout.localHeader[1]] = 'X';
    struct Case {
        const char *what;
        std::string bytes;
    } cases[] = {
        { "a name of 300 bytes", BuildZip({ Named("a.txt"), longName, Named("c.txt") }) },
        { "a target of more than 255 characters",
          BuildZip({ Named("a.txt"), Named(std::string(256 - Install().size(), 't')), Named("c.txt") }) },
        { "a damaged local header", unreadable },
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        RemoveTree(Install().substr(0, Install().size() - 1));
        CreateDirectoryA(Install().c_str(), nullptr);
        progress_.Clear();
        EXPECT_EQ(0, ExtractPayload(Write(c.bytes).c_str()));
        EXPECT_EQ((std::vector<std::string>{ "a.txt", "c.txt" }), Tree(Install()));
        EXPECT_EQ((std::vector<int>{ 33, 66, 100 }), progress_.positions);
    }
}

TEST_F(ExtractPayloadTest, ATargetOf255CharactersStillLands)
{
    std::string name(255 - Install().size(), 't');
    EXPECT_EQ(1, ExtractPayload(Write({ Named(name) }).c_str()));
    EXPECT_EQ(Content(name), Read(Install(name)));
}

TEST_F(ExtractPayloadTest, UnpacksTheServedWizardArchive)
{
    std::string root = HarnessPath("HALVEX_SERVER_ROOT");
    ASSERT_FALSE(root.empty()) << "run through tools/test.sh";
    EXPECT_EQ(1, ExtractPayload((root + "\\fenwa\\FenwaTamrick.zip").c_str()));
    EXPECT_EQ((std::vector<std::string>{ "Tamrick.exe", "readme.txt" }), Tree(Install()));
    EXPECT_EQ((std::vector<int>{ 50, 100 }), progress_.positions);
    std::string tamrick;
    ASSERT_TRUE(ReadFileBytes(Install("Tamrick.exe"), &tamrick));
    EXPECT_EQ("MZ", tamrick.substr(0, 2));
}

} // namespace
