#ifndef HALVEX_TESTS_SUPPORT_PROGRESS_RECORDER_H
#define HALVEX_TESTS_SUPPORT_PROGRESS_RECORDER_H

#include <windows.h>

#include <string>
#include <vector>

// A window with the status text and the progress bar the installer writes
// to, owned by a thread of its own that pumps messages, as the real dialog
// is: sent and posted messages both reach it. Both controls are subclassed
// to record what arrives, in order. The window itself stays hidden: without
// a window manager, Wine waits two seconds for a shown window to be
// withdrawn when it is destroyed.
class ProgressRecorder {
public:
    explicit ProgressRecorder(int startPosition = 0);
    ~ProgressRecorder();
    ProgressRecorder(const ProgressRecorder &) = delete;
    ProgressRecorder &operator=(const ProgressRecorder &) = delete;

    HWND Handle() const { return window_; }

    // Returns once the window's thread has handled everything posted to
    // the bar before the call.
    void Flush();
    // Forgets what was recorded so far.
    void Clear();
    // Puts the bar at position, unrecorded.
    void StartAt(int position);

    std::string StatusText() const;
    int Position() const;

    std::vector<std::string> texts;
    std::vector<int> positions;

private:
    static DWORD WINAPI Run(void *argument);
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK TextProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK BarProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    int startPosition_ = 0;
    HANDLE ready_ = nullptr;
    HANDLE flushed_ = nullptr;
    HANDLE thread_ = nullptr;
    HWND window_ = nullptr;
    HWND bar_ = nullptr;
    WNDPROC textProc_ = nullptr;
    WNDPROC barProc_ = nullptr;
};

#endif
