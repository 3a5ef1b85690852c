#include "support/e2e.h"

#include <tlhelp32.h>
#include <shlwapi.h>

#include "support/sandbox.h"

static const char UNINSTALL_ENTRY[] =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Fenwa\xAE Parvello Wizard Powered By Corvina\x99";

static std::string WithoutSlash(const std::string &path)
{
    return !path.empty() && path.back() == '\\' ? path.substr(0, path.size() - 1) : path;
}

std::string HalvexExePath()
{
    std::string build = HarnessPath("HALVEX_BUILD_DIR");
    return build.empty() ? "" : build + "\\Halvex.exe";
}

const InstallLayout &MachineLayout()
{
    static bool filled = false;
    if (!filled) {
        InitInstallLayout();
        filled = true;
    }
    return installLayout;
}

std::string TempFolderPath()
{
    char temp[MAX_PATH] = "";
    GetTempPathA(sizeof temp, temp);
    return temp;
}

std::string InstallLogPath()
{
    return std::string(MachineLayout().installDir) + "Halvex.log";
}

static std::string ServerStateFile(const char *name)
{
    std::string state = HarnessPath("HALVEX_SERVER_STATE");
    return state.empty() ? "" : state + "\\" + name;
}

std::string RecordDir()
{
    return HarnessPath("HALVEX_RECORD_DIR_UNIX");
}

static void DeleteIfThere(const std::string &path)
{
    if (!path.empty())
        DeleteFileA(path.c_str());
}

void EndLeftoverInstallers()
{
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return;
    PROCESSENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry)) {
        if (lstrcmpiA(PathFindFileNameA(entry.szExeFile), "Halvex.exe") != 0)
            continue;
        HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, entry.th32ProcessID);
        if (!process)
            continue;
        TerminateProcess(process, 1);
        WaitForSingleObject(process, 5000);
        CloseHandle(process);
    }
    CloseHandle(snapshot);
}

void CleanMachine()
{
    EndLeftoverInstallers();
    const InstallLayout &layout = MachineLayout();

    static const struct {
        HKEY root;
        const char *key;
    } trees[] = {
        { HKEY_CURRENT_USER, "SOFTWARE\\Corvina" },
        { HKEY_CURRENT_USER, "Software\\Ombrix" },
        { HKEY_CURRENT_USER, "Software\\Quellby" },
        { HKEY_LOCAL_MACHINE, "SOFTWARE\\Ombrix" },
        { HKEY_LOCAL_MACHINE, UNINSTALL_ENTRY },
        { HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Office\\14.0\\Outlook" },
        { HKEY_LOCAL_MACHINE, "SOFTWARE\\Classes\\BrevoltStandin.Control" },
    };
    for (const auto &tree : trees)
        SHDeleteKeyA(tree.root, tree.key);

    DeleteIfThere(layout.desktopShortcut);
    DeleteIfThere(layout.startupShortcut);
    DeleteIfThere(layout.programsShortcut);
    RemoveTree(WithoutSlash(layout.programsFolder));
    RemoveTree(WithoutSlash(layout.installDir));
    RemoveTree(WithoutSlash(layout.sharedProductDir));
    for (const char *name : { "Brevolt.ocx", "Dolvane.exe" })
        DeleteIfThere(std::string(layout.windowsDir) + name);
    for (const char *name : { "FenwaTamrick.zip", "BVMFC.zip", "FenwaHalvex64.exe", "_uninstallhx.bat" })
        DeleteIfThere(TempFolderPath() + name);

    DeleteIfThere(ServerStateFile("control"));
    DeleteIfThere(ServerStateFile("requests.log"));
    RefuseConnections(false);
    if (!RecordDir().empty()) {
        DeleteIfThere(RecordDir() + "\\starts.log");
        DeleteIfThere(RecordDir() + "\\windows.log");
    }
}

std::vector<std::string> ReadLines(const std::string &path)
{
    std::vector<std::string> lines;
    std::string bytes;
    if (path.empty() || !ReadFileBytes(path, &bytes))
        return lines;
    size_t start = 0;
    while (start < bytes.size()) {
        size_t end = bytes.find('\n', start);
        if (end == std::string::npos)
            end = bytes.size();
        std::string line = bytes.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

std::vector<std::string> ServerRequests()
{
    return ReadLines(ServerStateFile("requests.log"));
}

bool WaitForRequest(const std::string &part, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    do {
        for (const std::string &line : ServerRequests())
            if (line.find(part) != std::string::npos)
                return true;
        Sleep(50);
    } while (GetTickCount() - start < timeoutMs);
    return false;
}

std::vector<std::string> StartRecords()
{
    return ReadLines(RecordDir().empty() ? "" : RecordDir() + "\\starts.log");
}

std::vector<std::string> WaitForStartRecords(size_t count, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    std::vector<std::string> records = StartRecords();
    while (records.size() < count && GetTickCount() - start < timeoutMs) {
        Sleep(50);
        records = StartRecords();
    }
    return records;
}

std::vector<std::string> InstallLogTexts()
{
    std::vector<std::string> texts;
    for (const std::string &line : ReadLines(InstallLogPath()))
        texts.push_back(line.size() >= 27 ? line.substr(27) : line);
    return texts;
}

WindowJournal::~WindowJournal()
{
    Stop();
}

static HOOKPROC HookProcedure(HMODULE library, const char *name)
{
    // Through a plain function type: the exported one is not HOOKPROC's.
    return (HOOKPROC)(void (*)(void))GetProcAddress(library, name);
}

// The hooks live as long as this thread; it pumps messages so that Wine can
// fall back to calling them here if it cannot load the library in-process.
DWORD WINAPI WindowJournal::Pump(LPVOID parameter)
{
    WindowJournal *self = (WindowJournal *)parameter;
    std::string path = HarnessPath("HALVEX_TOOLS_DIR") + "\\winjournal.dll";
    HMODULE library = LoadLibraryA(path.c_str());
    HOOKPROC sent = library ? HookProcedure(library, "JournalSentMessage") : nullptr;
    HOOKPROC posted = library ? HookProcedure(library, "JournalPostedMessage") : nullptr;
    HHOOK sentHook = sent ? SetWindowsHookExA(WH_CALLWNDPROC, sent, library, 0) : nullptr;
    HHOOK postedHook = posted ? SetWindowsHookExA(WH_GETMESSAGE, posted, library, 0) : nullptr;
    self->hooked_ = sentHook && postedHook;
    SetEvent(self->ready_);
    while (MsgWaitForMultipleObjects(1, &self->stop_, FALSE, INFINITE, QS_ALLINPUT) != WAIT_OBJECT_0) {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageA(&message);
    }
    if (sentHook)
        UnhookWindowsHookEx(sentHook);
    if (postedHook)
        UnhookWindowsHookEx(postedHook);
    return 0;
}

bool WindowJournal::Start()
{
    Stop();
    stop_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    ready_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    thread_ = CreateThread(nullptr, 0, Pump, this, 0, nullptr);
    WaitForSingleObject(ready_, 10000);
    return hooked_;
}

void WindowJournal::Stop()
{
    if (thread_) {
        SetEvent(stop_);
        WaitForSingleObject(thread_, 10000);
        CloseHandle(thread_);
    }
    if (stop_)
        CloseHandle(stop_);
    if (ready_)
        CloseHandle(ready_);
    thread_ = stop_ = ready_ = nullptr;
    hooked_ = false;
}

std::vector<JournalEvent> WindowJournal::Events()
{
    std::vector<JournalEvent> events;
    for (const std::string &line : ReadLines(RecordDir().empty() ? "" : RecordDir() + "\\windows.log")) {
        size_t bars[3];
        size_t at = 0;
        int found = 0;
        for (; found < 3 && (at = line.find('|', found ? bars[found - 1] + 1 : 0)) != std::string::npos; found++)
            bars[found] = at;
        if (found < 3)
            continue;
        JournalEvent event;
        event.tick = strtoul(line.substr(0, bars[0]).c_str(), nullptr, 10);
        event.processId = strtoul(line.substr(bars[0] + 1, bars[1] - bars[0] - 1).c_str(), nullptr, 10);
        event.event = line.substr(bars[1] + 1, bars[2] - bars[1] - 1);
        event.value = UnescapeText(line.substr(bars[2] + 1));
        events.push_back(event);
    }
    return events;
}

std::vector<std::string> WindowJournal::Values(const std::string &event, DWORD processId)
{
    std::vector<std::string> values;
    for (const JournalEvent &e : Events())
        if (e.event == event && (processId == 0 || e.processId == processId))
            values.push_back(e.value);
    return values;
}

bool WindowJournal::WaitFor(const std::string &event, DWORD timeoutMs, const char *value, DWORD processId)
{
    DWORD start = GetTickCount();
    do {
        for (const std::string &seen : Values(event, processId))
            if (!value || seen == value)
                return true;
        Sleep(20);
    } while (GetTickCount() - start < timeoutMs);
    return false;
}

HalvexRun::~HalvexRun()
{
    Kill();
}

bool HalvexRun::Start(const std::string &commandText, const std::string &exePath, const std::string &workingDir)
{
    Kill();
    std::string program = exePath.empty() ? HalvexExePath() : exePath;
    std::string commandLine = "\"" + program + "\"";
    if (!commandText.empty())
        commandLine += " " + commandText;
    SetEnvironmentVariableA("HALVEX_RECORD_DIR", RecordDir().c_str());

    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    if (!CreateProcessA(program.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                        workingDir.empty() ? nullptr : workingDir.c_str(), &startup, &info))
        return false;
    CloseHandle(info.hThread);
    process_ = info.hProcess;
    id_ = info.dwProcessId;
    return true;
}

bool HalvexRun::WaitExit(DWORD timeoutMs)
{
    return process_ && WaitForSingleObject(process_, timeoutMs) == WAIT_OBJECT_0;
}

bool HalvexRun::Running() const
{
    return process_ && WaitForSingleObject(process_, 0) == WAIT_TIMEOUT;
}

DWORD HalvexRun::ExitCode() const
{
    DWORD code = STILL_ACTIVE;
    if (process_)
        GetExitCodeProcess(process_, &code);
    return code;
}

void HalvexRun::Kill()
{
    if (!process_)
        return;
    if (Running()) {
        TerminateProcess(process_, 1);
        WaitForSingleObject(process_, 5000);
    }
    CloseHandle(process_);
    process_ = nullptr;
    id_ = 0;
}

void HalvexE2eTest::SetUp()
{
    std::string exe = HalvexExePath();
    ASSERT_TRUE(!exe.empty() && FileExists(exe)) << "Halvex.exe not built (looked for " << exe << ")";
    ASSERT_FALSE(RecordDir().empty()) << "HALVEX_RECORD_DIR_UNIX is not set: run through tools/test.sh";
    CleanMachine();
    ASSERT_TRUE(journal.Start()) << "the window journal could not hook: " << Hex(GetLastError());
}

void HalvexE2eTest::TearDown()
{
    EndLeftoverInstallers();
    journal.Stop();
    CleanMachine();
}
