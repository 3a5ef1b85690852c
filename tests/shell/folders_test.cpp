#include "shell/folders.h"

#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/sandbox.h"

namespace {

// Relative paths; a trailing backslash makes a folder.
void MakeTree(const std::string &root, const std::vector<std::string> &entries)
{
    for (const std::string &entry : entries) {
        if (entry.back() == '\\')
            CreateDirectoryA((root + entry).c_str(), nullptr);
        else
            WriteFileBytes(root + entry, "x");
    }
}

// Collects the names the file system reports removed under a folder, in
// the order they went.
class RemovalWatch {
public:
    explicit RemovalWatch(const std::string &folder)
    {
        dir_ = CreateFileA(folder.c_str(), FILE_LIST_DIRECTORY,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                           FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OVERLAPPED, nullptr);
        overlapped_.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        Issue();
    }
    ~RemovalWatch()
    {
        if (dir_ != INVALID_HANDLE_VALUE) {
            CancelIo(dir_);
            CloseHandle(dir_);
        }
        CloseHandle(overlapped_.hEvent);
    }
    // Gathers events until none arrive for a while.
    std::vector<std::string> Collect()
    {
        std::vector<std::string> removed;
        DWORD got = 0;
        while (pending_ && GetOverlappedResultWait(&got)) {
            for (DWORD offset = 0; got > 0;) {
                FILE_NOTIFY_INFORMATION *info = (FILE_NOTIFY_INFORMATION *)(buffer_ + offset);
                if (info->Action == FILE_ACTION_REMOVED) {
                    char name[MAX_PATH] = "";
                    WideCharToMultiByte(CP_ACP, 0, info->FileName, info->FileNameLength / sizeof(WCHAR), name,
                                        sizeof name - 1, nullptr, nullptr);
                    removed.push_back(name);
                }
                if (!info->NextEntryOffset)
                    break;
                offset += info->NextEntryOffset;
            }
            Issue();
        }
        return removed;
    }
    bool Watching() const { return pending_; }

private:
    void Issue()
    {
        ResetEvent(overlapped_.hEvent);
        pending_ = dir_ != INVALID_HANDLE_VALUE &&
                   ReadDirectoryChangesW(dir_, buffer_, sizeof buffer_, TRUE,
                                         FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_DIR_NAME, nullptr,
                                         &overlapped_, nullptr);
    }
    bool GetOverlappedResultWait(DWORD *got)
    {
        if (WaitForSingleObject(overlapped_.hEvent, 500) != WAIT_OBJECT_0)
            return false;
        return GetOverlappedResult(dir_, &overlapped_, got, FALSE);
    }

    HANDLE dir_ = INVALID_HANDLE_VALUE;
    OVERLAPPED overlapped_ = {};
    bool pending_ = false;
    alignas(DWORD) BYTE buffer_[65536];
};

class DeleteFolderTreeTest : public ::testing::Test {
protected:
    TempFolder folder{"folders"};
    std::string tree = folder.Sub("tree\\");
};

TEST_F(DeleteFolderTreeTest, ANestedTreeGoesDeepestFirstWithEveryFolderEmptiedBeforeItsSiblings)
{
    CreateDirectoryA(tree.c_str(), nullptr);
    MakeTree(tree, { "a.txt", "sub1\\", "sub1\\b.txt", "sub1\\deep\\", "sub1\\deep\\c.txt", "sub1\\deep\\d.txt",
                     "sub2\\", "sub2\\e.txt", "empty\\" });
    RemovalWatch watch(folder.Path());
    ASSERT_TRUE(watch.Watching());
    DWORD start = GetTickCount();
    DeleteFolderTree(tree.c_str());
    DWORD elapsed = GetTickCount() - start;
    EXPECT_FALSE(FolderExists(tree));

    std::vector<std::string> removed = watch.Collect();
    ASSERT_EQ(10u, removed.size());
    EXPECT_EQ("tree", removed.back());
    // Each folder's entries go in one run that ends with the folder itself.
    for (const char *sub : { "tree\\sub1", "tree\\sub1\\deep", "tree\\sub2", "tree\\empty" }) {
        std::string prefix = std::string(sub) + "\\";
        auto own = std::find(removed.begin(), removed.end(), sub);
        ASSERT_NE(removed.end(), own) << sub;
        auto first = std::find_if(removed.begin(), removed.end(),
                                  [&](const std::string &n) { return n.compare(0, prefix.size(), prefix) == 0; });
        if (first == removed.end())
            continue;
        for (auto it = first; it != own; ++it)
            EXPECT_EQ(0, it->compare(0, prefix.size(), prefix)) << *it << " went while " << sub << " was open";
        for (auto it = own; it != removed.end(); ++it)
            EXPECT_NE(0, it->compare(0, prefix.size(), prefix)) << *it << " went after " << sub;
    }
    // Every file costs a 50 ms pause, folders none.
    EXPECT_GE(elapsed, 5u * 50u - 20u);
}

TEST_F(DeleteFolderTreeTest, AFileThatCannotGoKeepsItsFoldersAndEverythingElseGoes)
{
    struct Case {
        const char *what;
        bool holdOpen;
        bool readOnly;
    } cases[] = {
        { "file in use", true, false },
        { "read-only file", false, true },
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        CreateDirectoryA(tree.c_str(), nullptr);
        MakeTree(tree, { "a.txt", "keep\\", "keep\\stuck.txt", "keep\\other.txt", "keep\\gone\\",
                         "keep\\gone\\f.txt", "sibling\\", "sibling\\g.txt" });
        std::string stuck = tree + "keep\\stuck.txt";
        HANDLE held = INVALID_HANDLE_VALUE;
        if (c.holdOpen)
            held = CreateFileA(stuck.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        if (c.readOnly)
            SetFileAttributesA(stuck.c_str(), FILE_ATTRIBUTE_READONLY);

        DeleteFolderTree(tree.c_str());

        EXPECT_TRUE(FileExists(stuck));
        EXPECT_TRUE(FolderExists(tree + "keep"));
        EXPECT_TRUE(FolderExists(tree));
        for (const char *gone : { "a.txt", "keep\\other.txt", "keep\\gone", "sibling" })
            EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA((tree + gone).c_str())) << gone;
        if (held != INVALID_HANDLE_VALUE)
            CloseHandle(held);
        SetFileAttributesA(stuck.c_str(), FILE_ATTRIBUTE_NORMAL);
        RemoveTree(folder.Sub("tree"));
    }
}

bool UnderWine()
{
    return GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr;
}

// Wine's own mapping of a Windows path to the Unix one; empty elsewhere.
std::string UnixPath(const std::string &path)
{
    typedef char *(CDECL * UnixName)(LPCWSTR);
    UnixName unixName =
        (UnixName)(void *)GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name");
    WCHAR wide[MAX_PATH];
    std::string result;
    if (!unixName || !MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide, MAX_PATH))
        return result;
    char *name = unixName(wide);
    if (name) {
        result = name;
        HeapFree(GetProcessHeap(), 0, name);
    }
    return result;
}

// Wine starts Unix programs given by their Z: path, but its handle cannot
// be waited on: callers poll for the effect.
bool StartUnixTool(const std::string &tool, const std::string &arguments)
{
    std::string command = "Z:\\bin\\" + tool + " " + arguments;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return false;
    if (process.hThread)
        CloseHandle(process.hThread);
    if (process.hProcess)
        CloseHandle(process.hProcess);
    return true;
}

bool WaitForAttributes(const std::string &path, bool present, DWORD timeoutMs)
{
    for (DWORD start = GetTickCount();; Sleep(20)) {
        if ((GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES) == present)
            return true;
        if (GetTickCount() - start >= timeoutMs)
            return false;
    }
}

// Wine 8 answers CreateSymbolicLinkA with success but makes nothing, and
// refuses FSCTL_SET_REPARSE_POINT; a Unix symbolic link shows as a folder
// with FILE_ATTRIBUTE_REPARSE_POINT. On Windows use a junction here.
bool MakeUnixFolderLink(const std::string &link, const std::string &target)
{
    std::string unixLink = UnixPath(link), unixTarget = UnixPath(target);
    if (unixLink.empty() || unixTarget.empty() ||
        !StartUnixTool("ln", "-s \"" + unixTarget + "\" \"" + unixLink + "\"") ||
        !WaitForAttributes(link, true, 10000))
        return false;
    DWORD attributes = GetFileAttributesA(link.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

// The link's own path: Wine maps a path through a link to its target.
void RemoveUnixLink(const std::string &folder, const std::string &name)
{
    std::string unixFolder = UnixPath(folder);
    if (!unixFolder.empty() && StartUnixTool("rm", "-f \"" + unixFolder + "/" + name + "\""))
        WaitForAttributes(folder + "\\" + name, false, 10000);
}

TEST_F(DeleteFolderTreeTest, ALinkedFolderIsUnlinkedAndItsTargetKept)
{
    CreateDirectoryA(tree.c_str(), nullptr);
    MakeTree(tree, { "a.txt", "sub\\", "sub\\b.txt" });
    MakeTree(folder.Path(), { "outside\\", "outside\\keep.txt", "outside\\inner\\", "outside\\inner\\k.txt" });
    if (!MakeUnixFolderLink(tree + "sub\\link", folder.Sub("outside")))
        GTEST_SKIP() << "no folder link could be made here";

    DeleteFolderTree(tree.c_str());

    EXPECT_TRUE(FileExists(folder.Sub("outside\\keep.txt")));
    EXPECT_TRUE(FileExists(folder.Sub("outside\\inner\\k.txt")));
    EXPECT_FALSE(FileExists(tree + "a.txt"));
    EXPECT_FALSE(FileExists(tree + "sub\\b.txt"));
    // Wine 8's RemoveDirectoryA acts on a Unix link's target (ERROR_DIR_NOT_EMPTY
    // here), so the link and its folders stay; Windows removes the link.
    if (!UnderWine()) {
        EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA((tree + "sub\\link").c_str()));
        EXPECT_FALSE(FolderExists(tree));
    }
    RemoveUnixLink(tree + "sub", "link");
}

// A path cut to fit would name some other entry; such entries are left.
TEST_F(DeleteFolderTreeTest, AnEntryWhosePathDoesNotFitIsLeftAndTheRestGoes)
{
    CreateDirectoryA(tree.c_str(), nullptr);
    std::string deep = tree + std::string(200 - tree.size(), 'd') + "\\";
    ASSERT_NE(0, CreateDirectoryA(deep.c_str(), nullptr));
    // The longest name a folder can hold: copied unbounded it would overrun.
    std::string longName = std::string(255, 'n');
    std::wstring wide = L"\\\\?\\";
    for (char c : deep + longName)
        wide += (wchar_t)(unsigned char)c;
    HANDLE file = CreateFileW(wide.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    CloseHandle(file);
    MakeTree(deep, { "short.txt" });
    MakeTree(tree, { "a.txt" });

    DeleteFolderTree(tree.c_str());

    EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(wide.c_str()));
    EXPECT_FALSE(FileExists(deep + "short.txt"));
    EXPECT_FALSE(FileExists(tree + "a.txt"));
    EXPECT_TRUE(FolderExists(deep));
    DeleteFileW(wide.c_str());
}

std::string HelperPath()
{
    char own[MAX_PATH];
    GetModuleFileNameA(nullptr, own, sizeof own);
    std::string path = own;
    return path.substr(0, path.find_last_of('\\') + 1) + "shell_selfdelete_helper.exe";
}

// Runs a program with TMP and TEMP pointing at tempDir; returns its exit code.
DWORD RunHelper(const std::string &program, const char *arguments, const std::string &tempDir)
{
    std::string command = "\"" + program + "\"" + arguments;
    char savedTmp[MAX_PATH] = "", savedTemp[MAX_PATH] = "";
    GetEnvironmentVariableA("TMP", savedTmp, sizeof savedTmp);
    GetEnvironmentVariableA("TEMP", savedTemp, sizeof savedTemp);
    if (!tempDir.empty()) {
        SetEnvironmentVariableA("TMP", tempDir.c_str());
        SetEnvironmentVariableA("TEMP", tempDir.c_str());
    }
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    BOOL started = CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                                  &process);
    SetEnvironmentVariableA("TMP", savedTmp);
    SetEnvironmentVariableA("TEMP", savedTemp);
    EXPECT_TRUE(started) << command;
    if (!started)
        return (DWORD)-1;
    WaitForSingleObject(process.hProcess, 30000);
    DWORD code = (DWORD)-1;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return code;
}

class ScheduleSelfDeleteTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        CreateDirectoryA(appDir.c_str(), nullptr);
        CreateDirectoryA(tempDir.c_str(), nullptr);
        ASSERT_NE(0, CopyFileA(HelperPath().c_str(), program.c_str(), FALSE)) << HelperPath();
    }

    TempFolder folder{"selfdelete"};
    std::string appDir = folder.Sub("App\\");
    std::string tempDir = folder.Sub("Temp\\");
    std::string program = appDir + "Halvex.exe";
    std::string batch = tempDir + "_uninstallhx.bat";
};

TEST_F(ScheduleSelfDeleteTest, TheBatchWaitsForTheProgramThenDeletesItAndItself)
{
    // An older, longer batch is replaced whole.
    WriteFileBytes(batch, std::string(2000, 'z'));
    // Held without delete sharing, the program cannot go yet: the batch
    // keeps trying and stays readable.
    HANDLE held = CreateFileA(program.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    EXPECT_EQ(0u, RunHelper(program, "", tempDir));

    std::string bytes;
    EXPECT_TRUE(ReadFileBytes(batch, &bytes));
    EXPECT_EQ(":Repeat\r\n"
              "del \"" + program + "\"\r\n"
              "if exist \"" + program + "\" goto Repeat\r\n"
              "del \"" + batch + "\"",
              bytes);
    Sleep(300);
    EXPECT_TRUE(FileExists(program));
    CloseHandle(held);

    EXPECT_TRUE(WaitForAttributes(program, false, 15000));
    EXPECT_TRUE(WaitForAttributes(batch, false, 15000));
    EXPECT_TRUE(FolderExists(appDir)) << "only the program and the batch go";
}

TEST_F(ScheduleSelfDeleteTest, ABatchThatCannotBeWrittenStartsNothing)
{
    WriteFileBytes(batch, "old");
    HANDLE held = CreateFileA(batch.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    EXPECT_EQ(0u, RunHelper(program, "", tempDir));
    CloseHandle(held);
    Sleep(1000);
    EXPECT_TRUE(FileExists(program));
    std::string bytes;
    EXPECT_TRUE(ReadFileBytes(batch, &bytes));
    EXPECT_EQ("old", bytes);
}

// Wine's per-program version setting stands in for older and newer systems.
TEST(IsVistaOrLaterTest, AnswersByTheMajorVersion)
{
    struct Case {
        const char *version;
        DWORD expected;
    } cases[] = {
        { "winxp", 0 },   // 5.1
        { "win2003", 0 }, // 5.2
        { "vista", 1 },   // 6.0
        { "win7", 1 },    // 6.1
    };
    static const char KEY[] = "Software\\Wine\\AppDefaults\\shell_selfdelete_helper.exe";
    if (!UnderWine())
        GTEST_SKIP() << "needs Wine's AppDefaults";
    for (const Case &c : cases) {
        SCOPED_TRACE(c.version);
        RegDeleteKeyA(HKEY_CURRENT_USER, KEY);
        RegistrySandbox::PutString(HKEY_CURRENT_USER, KEY, "Version", c.version);
        EXPECT_EQ(c.expected, RunHelper(HelperPath(), " -version", ""));
    }
    RegDeleteKeyA(HKEY_CURRENT_USER, KEY);
}

}  // namespace
