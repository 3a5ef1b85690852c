#ifndef HALVEX_TESTS_SUPPORT_E2E_H
#define HALVEX_TESTS_SUPPORT_E2E_H

// Runs the real Halvex.exe in the test prefix and looks at what it leaves:
// the prefix's real registry and folders (no sandbox: the program is another
// process), the local server's requests, the stand-ins' start records and a
// journal of what the program's windows showed.

#include <windows.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/layout.h"
#include "support/local_server.h"
#include "support/window_probe.h"

// HALVEX_BUILD_DIR\Halvex.exe; "" when the harness gives no build folder.
std::string HalvexExePath();

// The paths the program computes on this prefix (the same InitInstallLayout).
const InstallLayout &MachineLayout();
std::string TempFolderPath(); // with its trailing backslash
std::string InstallLogPath(); // installDir + "Halvex.log"

// Everything a run may leave, removed: the product's registry trees, the
// uninstall entry, the GUID, Outlook's "Bitness", the control's registration,
// the install and product folders, the Programs-menu folder, the three links,
// the components in the Windows folder, the downloads and the batch in the
// temporary folder, the server's control file and requests.log, the start
// records and the window journal. Ends any Halvex.exe left running first.
void CleanMachine();
// Ends every Halvex.exe of this Wine session (a run of an earlier test, or
// the installed copy started with -startup).
void EndLeftoverInstallers();

// requests.log, one "http GET /fenwa/FenwaTamrick.zip" a line.
std::vector<std::string> ServerRequests();
// Waits until a request line containing `part` has arrived.
bool WaitForRequest(const std::string &part, DWORD timeoutMs);

// Z:\ path of the records folder; children get it as HALVEX_RECORD_DIR.
std::string RecordDir();
// starts.log of the stand-ins: "<name>|<args>|<cwd>" a line.
std::vector<std::string> StartRecords();
// The records once `count` of them are there (a started program writes its
// own, after the installer may have ended), or what there is at the timeout.
std::vector<std::string> WaitForStartRecords(size_t count, DWORD timeoutMs);

// Lines of a file without their CR LF; empty when the file is missing.
std::vector<std::string> ReadLines(const std::string &path);
// The texts of Halvex.log, without the time stamp and " - ".
std::vector<std::string> InstallLogTexts();

// One event of the window journal (tools/winjournal.c lists the events).
struct JournalEvent {
    DWORD tick;
    DWORD processId;
    std::string event;
    std::string value; // raw bytes
};

// A global message hook that records, from inside Halvex.exe, every caption,
// label, status text, bar position, show/hide, close and message-box text in
// the order the program's user-interface thread handled them. Start it before
// the program; it is removed when the object goes.
class WindowJournal {
public:
    WindowJournal() = default;
    ~WindowJournal();
    bool Start();
    void Stop();
    static std::vector<JournalEvent> Events();
    // The values of one event in order, e.g. Values("progress"), of one
    // process or (0) of all.
    static std::vector<std::string> Values(const std::string &event, DWORD processId = 0);
    // Waits for an event, with that value when one is given.
    static bool WaitFor(const std::string &event, DWORD timeoutMs, const char *value = nullptr,
                        DWORD processId = 0);

private:
    static DWORD WINAPI Pump(LPVOID self);
    HANDLE thread_ = nullptr;
    HANDLE stop_ = nullptr;
    HANDLE ready_ = nullptr;
    bool hooked_ = false;
};

// One run of Halvex.exe. The command text goes after the quoted program path
// exactly as given (an empty text gives no blank at all). A run still going
// when the object goes is ended.
class HalvexRun {
public:
    HalvexRun() = default;
    ~HalvexRun();
    HalvexRun(const HalvexRun &) = delete;
    HalvexRun &operator=(const HalvexRun &) = delete;

    // exePath "" runs the built program; workingDir "" keeps the test's.
    bool Start(const std::string &commandText, const std::string &exePath = std::string(),
               const std::string &workingDir = std::string());
    DWORD Id() const { return id_; }
    HANDLE Handle() const { return process_; }
    // True when the process ended within the time.
    bool WaitExit(DWORD timeoutMs);
    bool Running() const;
    // The exit code; STILL_ACTIVE while it runs.
    DWORD ExitCode() const;
    void Kill();

private:
    HANDLE process_ = nullptr;
    DWORD id_ = 0;
};

// Base of the end-to-end tests: fails at once when Halvex.exe is missing,
// cleans the prefix before and after, and starts the journal.
class HalvexE2eTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    WindowJournal journal;
};

#endif
