#ifndef HALVEX_TESTS_SUPPORT_WINDOW_PROBE_H
#define HALVEX_TESTS_SUPPORT_WINDOW_PROBE_H

// Finds and reads the installer's windows from another process of the same
// Wine session, and presses them. No gtest here: tools/winprobe uses it too.
// A process id of 0 means any process.

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

struct MainWindowView {
    HWND window = nullptr;
    HWND dialog = nullptr;
    DWORD processId = 0;
    bool visible = false;
    std::string caption; // raw ANSI bytes
    std::string label;   // control 144
    std::string text;    // control 140
    int progress = -1;   // PBM_GETPOS of control 139, -1 without a bar
    bool trayButtonVisible = false;
};

struct MessageBoxView {
    HWND window = nullptr;
    DWORD processId = 0;
    std::string caption;
    std::string text;                                 // the static texts, joined by "\n"
    std::vector<std::pair<int, std::string>> buttons; // id, text
};

// Bytes below 0x20 or above 0x7E and the backslash as \xNN, as the window
// journal writes them; Unescape reverses it.
std::string EscapeText(const std::string &raw);
std::string UnescapeText(const std::string &escaped);

HWND FindMainWindow(DWORD processId = 0);
bool ReadMainWindow(MainWindowView *view, DWORD processId = 0);
// Waits for the main window to exist (and, when asked, to be visible).
bool WaitMainWindow(MainWindowView *view, DWORD timeoutMs, DWORD processId = 0, bool visible = true);
// "visible=1", "caption=...", "label=...", "text=...", "progress=N", "traybutton=0".
std::vector<std::string> DescribeMainWindow(const MainWindowView &view);

std::vector<MessageBoxView> ListMessageBoxes(DWORD processId = 0);
bool WaitMessageBox(MessageBoxView *box, DWORD timeoutMs, DWORD processId = 0);
std::vector<std::string> DescribeMessageBox(const MessageBoxView &box);
// Presses a button of the first message box, found by id ("4") or by its text
// without the '&' ("Retry"), waiting for a box up to the timeout. The press is
// a posted WM_COMMAND, as a click would send. False when nothing matched.
bool PressMessageBoxButton(const std::string &button, DWORD timeoutMs, DWORD processId = 0);

// WM_CLOSE to the main window, sent: on return the program has handled it.
bool CloseMainWindow(DWORD processId = 0);
// The tray icon's callback to the dialog, sent as the shell would.
bool SendTrayNotify(UINT mouseMessage = WM_LBUTTONUP, WPARAM iconId = 1006, DWORD processId = 0);

#endif
