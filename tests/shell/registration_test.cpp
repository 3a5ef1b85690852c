#include "shell/registration.h"

#include <windows.h>

#include <shlwapi.h>
#include <tlhelp32.h>
#include <winternl.h>

#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/layout.h"
#include "app/process_state.h"
#include "res/text.h"
#include "support/progress_recorder.h"
#include "support/sandbox.h"

namespace {

// The stand-in control registers itself here, in the real registry:
// regsvr32 runs in a process of its own, outside any sandbox.
const char CONTROL_KEY[] = "SOFTWARE\\Classes\\BrevoltStandin.Control";
const char CONTROL_CLSID_KEY[] = "SOFTWARE\\Classes\\BrevoltStandin.Control\\CLSID";

struct ProcessLine {
    std::string image;
    std::string commandLine;
};

std::string ReadRemoteText(HANDLE process, const UNICODE_STRING &text)
{
    std::wstring wide(text.Length / sizeof(WCHAR), L'\0');
    SIZE_T got = 0;
    if (wide.empty() || !ReadProcessMemory(process, text.Buffer, &wide[0], text.Length, &got))
        return "";
    std::string ansi(wide.size() * 2 + 1, '\0');
    ansi.resize(WideCharToMultiByte(CP_ACP, 0, wide.data(), (int)wide.size(), &ansi[0], (int)ansi.size(), nullptr,
                                    nullptr));
    return ansi;
}

// What a child was started as, read from its process parameters.
bool ReadProcessLine(DWORD id, ProcessLine *line)
{
    typedef NTSTATUS(NTAPI * QueryProcess)(HANDLE, PROCESSINFOCLASS, PVOID, ULONG, PULONG);
    QueryProcess query =
        (QueryProcess)(void *)GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQueryInformationProcess");
    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, id);
    PROCESS_BASIC_INFORMATION basic = {};
    PEB peb = {};
    RTL_USER_PROCESS_PARAMETERS parameters = {};
    bool ok = process && query && query(process, ProcessBasicInformation, &basic, sizeof basic, nullptr) >= 0 &&
              ReadProcessMemory(process, basic.PebBaseAddress, &peb, sizeof peb, nullptr) &&
              ReadProcessMemory(process, peb.ProcessParameters, &parameters, sizeof parameters, nullptr);
    if (ok) {
        line->image = ReadRemoteText(process, parameters.ImagePathName);
        line->commandLine = ReadRemoteText(process, parameters.CommandLine);
        ok = !line->commandLine.empty();
    }
    if (process)
        CloseHandle(process);
    return ok;
}

// Notes every regsvr32.exe this process starts while it runs.
class ChildWatch {
public:
    ChildWatch() { thread_ = CreateThread(nullptr, 0, Run, this, 0, nullptr); }
    ~ChildWatch() { Stop(); }
    std::vector<ProcessLine> Stop()
    {
        if (thread_) {
            stop_ = 1;
            WaitForSingleObject(thread_, INFINITE);
            CloseHandle(thread_);
            thread_ = nullptr;
        }
        return lines_;
    }

private:
    static DWORD WINAPI Run(void *self)
    {
        ((ChildWatch *)self)->Poll();
        return 0;
    }
    void Poll()
    {
        std::set<DWORD> seen;
        while (!stop_) {
            HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
            PROCESSENTRY32 entry = {};
            entry.dwSize = sizeof entry;
            for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry)) {
                ProcessLine line;
                if (entry.th32ParentProcessID == GetCurrentProcessId() &&
                    lstrcmpiA(entry.szExeFile, "regsvr32.exe") == 0 && !seen.count(entry.th32ProcessID) &&
                    ReadProcessLine(entry.th32ProcessID, &line)) {
                    seen.insert(entry.th32ProcessID);
                    lines_.push_back(line);
                }
            }
            CloseHandle(snapshot);
            Sleep(2);
        }
    }

    HANDLE thread_ = nullptr;
    volatile LONG stop_ = 0;
    std::vector<ProcessLine> lines_;
};

class RegistrationTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        SHDeleteKeyA(HKEY_LOCAL_MACHINE, CONTROL_KEY);
        CreateDirectoryA(windowsDir.c_str(), nullptr);
        CreateDirectoryA(recordDir.c_str(), nullptr);
        std::string tools = HarnessPath("HALVEX_TOOLS_DIR");
        ASSERT_FALSE(tools.empty());
        ASSERT_NE(0, CopyFileA((tools + "\\Brevolt.ocx").c_str(), control.c_str(), FALSE));
        ASSERT_NE(0, CopyFileA((tools + "\\Dolvane.exe").c_str(), companion.c_str(), FALSE));
        CopyText(installLayout.windowsDir, sizeof installLayout.windowsDir, windowsDir.c_str());
        // The stand-in control records its calls here.
        savedRecordDir[0] = 0;
        hadRecordDir = GetEnvironmentVariableA("HALVEX_RECORD_DIR", savedRecordDir, sizeof savedRecordDir) != 0;
        SetEnvironmentVariableA("HALVEX_RECORD_DIR", recordDir.c_str());

        ASSERT_NE(nullptr, progress.Handle());
        processState.progressDialog = progress.Handle();
    }
    void TearDown() override
    {
        processState.progressDialog = nullptr;
        installLayout.windowsDir[0] = 0;
        SetEnvironmentVariableA("HALVEX_RECORD_DIR", hadRecordDir ? savedRecordDir : nullptr);
        SHDeleteKeyA(HKEY_LOCAL_MACHINE, CONTROL_KEY);
    }

    int BarPosition() const { return progress.Position(); }
    std::string StatusText() const { return progress.StatusText(); }
    std::string Starts() const
    {
        std::string bytes;
        ReadFileBytes(recordDir + "starts.log", &bytes);
        return bytes;
    }
    static void MarkRegistered()
    {
        HKEY key = nullptr;
        RegCreateKeyExA(HKEY_LOCAL_MACHINE, CONTROL_CLSID_KEY, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr);
        RegCloseKey(key);
    }
    std::string CommandLine(const char *switches) const
    {
        return "regsvr32.exe \"" + windowsDir + "Brevolt.ocx\"" + switches;
    }
    static std::string CurrentDir()
    {
        char dir[MAX_PATH] = "";
        GetCurrentDirectoryA(sizeof dir, dir);
        return dir;
    }

    TempFolder folder{"registration"};
    std::string windowsDir = folder.Sub("Windows\\");
    std::string recordDir = folder.Sub("Record\\");
    std::string control = windowsDir + "Brevolt.ocx";
    std::string companion = windowsDir + "Dolvane.exe";
    char savedRecordDir[MAX_PATH];
    bool hadRecordDir = false;
    ProgressRecorder progress;
};

// Positions set during one run with step 5: the start unchanged, then one
// more step per 50 ms cycle, at least one.
void ExpectClimb(const std::vector<int> &log, size_t from, size_t to, int start)
{
    ASSERT_GE(to - from, 2u);
    for (size_t i = from; i < to; i++)
        EXPECT_EQ(start + 5 * (int)(i - from), log[i]) << "position " << i;
}

TEST_F(RegistrationTest, UnregisteringRemovesTheRegistrationAndBothFilesWhileTheBarClimbsFrom30)
{
    MarkRegistered();
    int position = 30;
    UnregisterComponents(position);

    EXPECT_EQ("Unregistering Components", StatusText());
    EXPECT_FALSE(RegistrySandbox::KeyExists(HKEY_LOCAL_MACHINE, CONTROL_KEY));
    EXPECT_EQ("Brevolt.ocx|unregister|" + CurrentDir() + "\r\n", Starts());
    EXPECT_FALSE(FileExists(control));
    EXPECT_FALSE(FileExists(companion));
    // Under Wine the tool mostly ends within the first wait: 30, then 35.
    ExpectClimb(progress.positions, 0, progress.positions.size(), 30);
    EXPECT_EQ(progress.positions.back(), position);
    EXPECT_EQ(position, BarPosition());
}

TEST_F(RegistrationTest, RegisteringFirstRemovesThenMakesTheRegistrationWithTheBarHeldAtZero)
{
    RegisterComponents();

    std::string clsid;
    ASSERT_TRUE(RegistrySandbox::GetRaw(HKEY_LOCAL_MACHINE, CONTROL_CLSID_KEY, "", &clsid));
    EXPECT_EQ(std::string("{6A1F3C52-8D04-4B7E-9E21-3C5B7D90A4E8}", 39), clsid);
    EXPECT_EQ("Brevolt.ocx|unregister|" + CurrentDir() + "\r\nBrevolt.ocx|register|" + CurrentDir() + "\r\n",
              Starts());
    EXPECT_TRUE(FileExists(control)) << "registering deletes nothing";

    // The first run climbs from 0; the second sets 0 on every cycle.
    size_t second = 1;
    while (second < progress.positions.size() && progress.positions[second] != 0)
        second++;
    ExpectClimb(progress.positions, 0, second, 0);
    ASSERT_GE(progress.positions.size() - second, 2u);
    for (size_t i = second; i < progress.positions.size(); i++)
        EXPECT_EQ(0, progress.positions[i]) << "position " << i;
    EXPECT_EQ(0, BarPosition());
}

// While the stand-in control waits for its record file, the tool keeps
// running long enough to read how it was started.
TEST_F(RegistrationTest, RunsStartTheSystemsRegsvr32WithTheControlQuotedAndTheSwitches)
{
    struct Case {
        const char *what;
        bool unregister;
        std::vector<std::string> switches;
    } cases[] = {
        { "uninstall", true, { " -u -s" } },
        { "components", false, { " -u -s", " -s" } },
    };
    char systemDir[MAX_PATH];
    GetSystemDirectoryA(systemDir, sizeof systemDir);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        CopyFileA((HarnessPath("HALVEX_TOOLS_DIR") + "\\Brevolt.ocx").c_str(), control.c_str(), FALSE);
        WriteFileBytes(recordDir + "starts.log", "");
        HANDLE held = CreateFileA((recordDir + "starts.log").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0,
                                  nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, held);
        int position = 30;
        ChildWatch watch;
        if (c.unregister)
            UnregisterComponents(position);
        else
            RegisterComponents();
        std::vector<ProcessLine> lines = watch.Stop();
        CloseHandle(held);

        ASSERT_EQ(c.switches.size(), lines.size());
        for (size_t i = 0; i < lines.size(); i++) {
            EXPECT_EQ(CommandLine(c.switches[i].c_str()), lines[i].commandLine);
            EXPECT_EQ(0, lstrcmpiA((std::string(systemDir) + "\\regsvr32.exe").c_str(), lines[i].image.c_str()))
                << lines[i].image;
        }
        if (c.unregister) {
            // A long run goes past the bar's range; the bar shows it full.
            EXPECT_GT(position, 100);
            EXPECT_EQ(100, BarPosition());
        }
    }
}

// A search from the command line would look in the current folder first; the
// tool is named in full, so a file planted there is never run.
TEST_F(RegistrationTest, ARegsvr32PlantedInTheCurrentFolderIsNotRun)
{
    std::string planted = folder.Sub("Planted\\");
    CreateDirectoryA(planted.c_str(), nullptr);
    std::string stand;
    ASSERT_TRUE(ReadFileBytes(HarnessPath("HALVEX_TOOLS_DIR") + "\\Dolvane.exe", &stand));
    WriteFileBytes(planted + "regsvr32.exe", stand);
    std::string savedDir = CurrentDir();
    MarkRegistered();

    ASSERT_NE(0, SetCurrentDirectoryA(planted.c_str()));
    int position = 30;
    UnregisterComponents(position);
    SetCurrentDirectoryA(savedDir.c_str());

    EXPECT_EQ(std::string::npos, Starts().find("Dolvane.exe")) << "the planted program ran";
    EXPECT_EQ("Brevolt.ocx|unregister|" + planted.substr(0, planted.size() - 1) + "\r\n", Starts());
    EXPECT_FALSE(RegistrySandbox::KeyExists(HKEY_LOCAL_MACHINE, CONTROL_CLSID_KEY));
    EXPECT_GT(position, 30);
}

// A run that cannot start (here: a command line with no room for the control's
// path) leaves the position and the bar alone.
TEST_F(RegistrationTest, AToolThatCannotStartLeavesTheBarAlone)
{
    progress.StartAt(12);
    MarkRegistered();
    std::string deep = windowsDir + std::string(1010 - windowsDir.size(), 'w') + "\\";
    CopyText(installLayout.windowsDir, sizeof installLayout.windowsDir, deep.c_str());
    int position = 30;
    UnregisterComponents(position);
    RegisterComponents();

    EXPECT_EQ(30, position);
    EXPECT_TRUE(progress.positions.empty());
    EXPECT_EQ(12, BarPosition());
    EXPECT_EQ("Unregistering Components", StatusText());
    EXPECT_TRUE(RegistrySandbox::KeyExists(HKEY_LOCAL_MACHINE, CONTROL_CLSID_KEY));
    EXPECT_EQ("", Starts());
}

}  // namespace
