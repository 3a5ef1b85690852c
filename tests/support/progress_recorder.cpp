#include "support/progress_recorder.h"

#include <commctrl.h>

#include <gtest/gtest.h>

#include "res/resource.h"

static const UINT FLUSH_MESSAGE = WM_APP + 1;

ProgressRecorder::ProgressRecorder(int startPosition)
{
    startPosition_ = startPosition;
    ready_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    flushed_ = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    thread_ = CreateThread(nullptr, 0, Run, this, 0, nullptr);
    WaitForSingleObject(ready_, 10000);
}

ProgressRecorder::~ProgressRecorder()
{
    PostMessageA(window_, WM_CLOSE, 0, 0);
    WaitForSingleObject(thread_, 10000);
    CloseHandle(thread_);
    CloseHandle(ready_);
    CloseHandle(flushed_);
}

void ProgressRecorder::Flush()
{
    PostMessageA(bar_, FLUSH_MESSAGE, 0, 0);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(flushed_, 10000));
}

void ProgressRecorder::Clear()
{
    Flush();
    texts.clear();
    positions.clear();
}

void ProgressRecorder::StartAt(int position)
{
    SendMessageA(bar_, PBM_SETPOS, position, 0);
    Clear();
}

std::string ProgressRecorder::StatusText() const
{
    char text[512] = "";
    GetDlgItemTextA(window_, IDC_STATUS_TEXT, text, sizeof text);
    return text;
}

int ProgressRecorder::Position() const
{
    return (int)SendMessageA(bar_, PBM_GETPOS, 0, 0);
}

DWORD WINAPI ProgressRecorder::Run(void *argument)
{
    ProgressRecorder *self = (ProgressRecorder *)argument;
    INITCOMMONCONTROLSEX controls = { sizeof controls, ICC_PROGRESS_CLASS };
    InitCommonControlsEx(&controls);
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "HalvexProgressRecorder";
    RegisterClassA(&windowClass);
    self->window_ = CreateWindowExA(0, "HalvexProgressRecorder", "", WS_OVERLAPPEDWINDOW, 0, 0, 500, 100, nullptr,
                                    nullptr, windowClass.hInstance, nullptr);
    HWND text = CreateWindowExA(0, "STATIC", "", WS_CHILD | WS_VISIBLE, 10, 10, 450, 16, self->window_,
                                (HMENU)IDC_STATUS_TEXT, windowClass.hInstance, nullptr);
    self->bar_ = CreateWindowExA(0, PROGRESS_CLASSA, "Progress1", WS_CHILD | WS_VISIBLE | WS_BORDER | PBS_SMOOTH, 10,
                                 40, 450, 16, self->window_, (HMENU)IDC_PROGRESS, windowClass.hInstance, nullptr);
    SendMessageA(self->bar_, PBM_SETRANGE32, 0, 100);
    SendMessageA(self->bar_, PBM_SETPOS, self->startPosition_, 0);
    SetPropA(text, "recorder", self);
    SetPropA(self->bar_, "recorder", self);
    self->textProc_ = (WNDPROC)SetWindowLongPtrA(text, GWLP_WNDPROC, (LONG_PTR)TextProc);
    self->barProc_ = (WNDPROC)SetWindowLongPtrA(self->bar_, GWLP_WNDPROC, (LONG_PTR)BarProc);
    SetEvent(self->ready_);
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return 0;
}

LRESULT CALLBACK ProgressRecorder::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_DESTROY)
        PostQuitMessage(0);
    return DefWindowProcA(window, message, wParam, lParam);
}

LRESULT CALLBACK ProgressRecorder::TextProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    ProgressRecorder *self = (ProgressRecorder *)GetPropA(window, "recorder");
    if (message == WM_SETTEXT)
        self->texts.push_back((const char *)lParam);
    return CallWindowProcA(self->textProc_, window, message, wParam, lParam);
}

LRESULT CALLBACK ProgressRecorder::BarProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    ProgressRecorder *self = (ProgressRecorder *)GetPropA(window, "recorder");
    if (message == FLUSH_MESSAGE) {
        SetEvent(self->flushed_);
        return 0;
    }
    if (message == PBM_SETPOS)
        self->positions.push_back((int)wParam);
    return CallWindowProcA(self->barProc_, window, message, wParam, lParam);
}
