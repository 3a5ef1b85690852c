#include "app/window.h"

#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include <string>

#include <gtest/gtest.h>

#include "app/layout.h"
#include "app/process_state.h"
#include "res/resource.h"
#include "res/strings.h"
#include "res/text.h"

namespace {

std::string WindowText(HWND window)
{
    char text[256] = "";
    GetWindowTextA(window, text, sizeof text);
    return text;
}

// Asks the shell to change nothing about our icon: it answers TRUE only while
// the icon is there.
bool TrayIconShown(HWND owner)
{
    NOTIFYICONDATAA probe;
    ZeroMemory(&probe, sizeof probe);
    probe.cbSize = NOTIFYICONDATAA_V1_SIZE;
    probe.hWnd = owner;
    probe.uID = TRAY_ICON_ID;
    return Shell_NotifyIconA(NIM_MODIFY, &probe) != FALSE;
}

bool loopTimedOut;

void CALLBACK EndStuckLoop(HWND, UINT, UINT_PTR, DWORD)
{
    loopTimedOut = true;
    PostQuitMessage(0);
}

// Runs the program's message loop; false when it had to be ended from here.
bool RunMessageLoopWithin(UINT milliseconds)
{
    loopTimedOut = false;
    UINT_PTR timer = SetTimer(NULL, 0, milliseconds, EndStuckLoop);
    RunMessageLoop();
    KillTimer(NULL, timer);
    return !loopTimedOut;
}

void DrainMessages()
{
    MSG message;
    while (PeekMessageA(&message, NULL, 0, 0, PM_REMOVE))
        if (message.message != WM_QUIT)
            DispatchMessageA(&message);
}

// The windows as RunInstallerUI makes them: the class name from the
// resources, one caption for the creation and the mode's caption for the
// dialog's initialisation.
class ProgressWindow : public ::testing::Test {
protected:
    void SetUp() override { Create(IDD_DOWNLOAD_STATUS); }

    void Create(int templateId)
    {
        INITCOMMONCONTROLSEX controls = { 8, 0xFF };
        InitCommonControlsEx(&controls);
        processState.instance = GetModuleHandleA(NULL);
        processState.inTray = 0;
        processState.trayLocked = 0;
        CopyText(installLayout.displayName, sizeof installLayout.displayName, DISPLAY_NAME);
        LoadStringA(processState.instance, IDS_WINDOW_CLASS, processState.windowClassName,
                    sizeof processState.windowClassName);
        CopyText(processState.captionText, sizeof processState.captionText, "Downloading first...");
        processState.mainWindow = CreateMainWindow();
        ASSERT_TRUE(processState.mainWindow != NULL);
        CopyText(processState.captionText, sizeof processState.captionText, "Removing mode...");
        processState.progressDialog = CreateProgressDialog(templateId);
        ASSERT_TRUE(processState.progressDialog != NULL);
        ShowWindow(processState.mainWindow, SW_SHOW);
        UpdateWindow(processState.mainWindow);
    }

    void TearDown() override
    {
        if (processState.progressDialog && TrayIconShown(processState.progressDialog))
            SetTrayIcon(processState.progressDialog, NULL, TrayDelete, NULL);
        if (IsWindow(processState.mainWindow))
            DestroyWindow(processState.mainWindow);
        DrainMessages();
        processState.mainWindow = NULL;
        processState.progressDialog = NULL;
    }

    HWND Main() const { return processState.mainWindow; }
    HWND Dialog() const { return processState.progressDialog; }
    bool Shown() const { return IsWindowVisible(processState.mainWindow) != FALSE; }
};

}  // namespace

TEST(PlaceMainWindow, CentresAcrossTheScreenAndTwentyPixelsAboveTheMiddle)
{
    const struct {
        const char *shows;
        int screenWidth, screenHeight, clientWidth, clientHeight, frame;
        MainWindowPlacement expected;
    } cases[] = {
        { "the worked example", 1024, 738, 459, 60, 3, { 281, 302, 462, 94 } },
        { "odd room: the halves are truncated", 1025, 739, 459, 60, 3, { 281, 302, 462, 94 } },
        { "wider than the screen: truncation toward zero", 101, 100, 459, 60, 3, { -180, -17, 462, 94 } },
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.shows);
        MainWindowPlacement p =
            PlaceMainWindow(c.screenWidth, c.screenHeight, c.clientWidth, c.clientHeight, c.frame, c.frame);
        EXPECT_EQ(c.expected.x, p.x);
        EXPECT_EQ(c.expected.y, p.y);
        EXPECT_EQ(c.expected.width, p.width);
        EXPECT_EQ(c.expected.height, p.height);
    }
}

TEST_F(ProgressWindow, EitherTemplateFillsTheMainWindowWhereTheFormulaPutsIt)
{
    for (int templateId : { IDD_DOWNLOAD_STATUS, IDD_TASK_STATUS }) {
        SCOPED_TRACE("dialog " + std::to_string(templateId));
        TearDown();
        Create(templateId);

        // The template's 306 x 37 dialog units, at the parent's client origin.
        RECT units = { 0, 0, 306, 37 };
        MapDialogRect(Dialog(), &units);
        RECT client;
        GetClientRect(Dialog(), &client);
        EXPECT_EQ(units.right, client.right);
        EXPECT_EQ(units.bottom, client.bottom);
        POINT origin = { 0, 0 };
        MapWindowPoints(Dialog(), Main(), &origin, 1);
        EXPECT_EQ(0, origin.x);
        EXPECT_EQ(0, origin.y);

        MainWindowPlacement expected = PlaceMainWindow(
            GetSystemMetrics(SM_CXFULLSCREEN), GetSystemMetrics(SM_CYFULLSCREEN), client.right, client.bottom,
            GetSystemMetrics(SM_CXDLGFRAME), GetSystemMetrics(SM_CYDLGFRAME));
        RECT placed;
        GetWindowRect(Main(), &placed);
        EXPECT_EQ(expected.x, placed.left);
        EXPECT_EQ(expected.y, placed.top);
        EXPECT_EQ(expected.width, placed.right - placed.left);
        EXPECT_EQ(expected.height, placed.bottom - placed.top);

        // The initialisation put the mode's caption on, not the creation's.
        EXPECT_EQ("Removing mode...", WindowText(Main()));
        LONG style = GetWindowLongA(Main(), GWL_STYLE);
        EXPECT_TRUE(style & WS_SYSMENU);
        EXPECT_FALSE(style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME));
        char className[100] = "";
        GetClassNameA(Main(), className, sizeof className);
        EXPECT_STREQ("IDD_URLDOWNLOAD_DIALOG", className);

        PBRANGE range;
        SendDlgItemMessageA(Dialog(), IDC_PROGRESS, PBM_GETRANGE, 0, (LPARAM)&range);
        EXPECT_EQ(0, range.iLow);
        EXPECT_EQ(100, range.iHigh);
        EXPECT_EQ("Download status:", WindowText(GetDlgItem(Dialog(), IDC_STATUS_LABEL)));
        HWND button = GetDlgItem(Dialog(), IDC_TRAY_BUTTON);
        ASSERT_TRUE(button != NULL);
        EXPECT_FALSE(IsWindowVisible(button));
    }
}

TEST_F(ProgressWindow, StatusOperationsSetTheCaptionTheTextsAndTheBar)
{
    char caption[100] = "Installing ";
    ShowPhase(caption, sizeof caption, IDS_INSTALL_STATUS, IDS_INSTALLING);
    const std::string expected = std::string("Installing ") + DISPLAY_NAME + "...";
    EXPECT_EQ(expected, caption);
    EXPECT_EQ(expected, WindowText(Main()));
    EXPECT_EQ("Install Status:", WindowText(GetDlgItem(Dialog(), IDC_STATUS_LABEL)));
    EXPECT_EQ("Installing", WindowText(GetDlgItem(Dialog(), IDC_STATUS_TEXT)));

    // A caption buffer too small keeps what fits and stays terminated.
    char small[16] = "Registering ";
    ShowPhase(small, sizeof small, IDS_REGISTER_STATUS, IDS_REGISTERING);
    EXPECT_EQ("Registering Fen", std::string(small));

    SetStatusLine(IDS_REMOVING_FILES, IDC_STATUS_TEXT);
    EXPECT_EQ("Removing Files", WindowText(GetDlgItem(Dialog(), IDC_STATUS_TEXT)));

    HWND bar = GetDlgItem(Dialog(), IDC_PROGRESS);
    SetProgress(42);
    EXPECT_EQ(42, (int)SendMessageA(bar, PBM_GETPOS, 0, 0));
    // Registration runs can go past 100: the bar just stays full.
    SetProgress(250);
    EXPECT_EQ(100, (int)SendMessageA(bar, PBM_GETPOS, 0, 0));
}

TEST_F(ProgressWindow, CloseBoxHidesIntoTheTrayWithoutEndingTheProgram)
{
    ASSERT_FALSE(TrayIconShown(Dialog()));
    SendMessageA(Main(), WM_CLOSE, 0, 0);
    EXPECT_TRUE(IsWindow(Main()));
    EXPECT_FALSE(Shown());
    EXPECT_EQ(1, processState.inTray);
    EXPECT_TRUE(TrayIconShown(Dialog()));
    MSG quit;
    EXPECT_FALSE(PeekMessageA(&quit, NULL, WM_QUIT, WM_QUIT, PM_NOREMOVE));
}

TEST_F(ProgressWindow, OnlyAReleasedClickOnOurIconBringsTheWindowBack)
{
    const struct {
        const char *shows;
        WPARAM iconId;
        LPARAM mouse;
        LONG locked;
        bool back;
    } cases[] = {
        { "left button released", TRAY_ICON_ID, WM_LBUTTONUP, 0, true },
        { "right button released", TRAY_ICON_ID, WM_RBUTTONUP, 0, true },
        { "left button pressed", TRAY_ICON_ID, WM_LBUTTONDOWN, 0, false },
        { "right button pressed", TRAY_ICON_ID, WM_RBUTTONDOWN, 0, false },
        { "mouse moved over the icon", TRAY_ICON_ID, WM_MOUSEMOVE, 0, false },
        { "double-click as such", TRAY_ICON_ID, WM_LBUTTONDBLCLK, 0, false },
        { "another icon id", TRAY_ICON_ID + 1, WM_LBUTTONUP, 0, false },
        { "released click while locked", TRAY_ICON_ID, WM_LBUTTONUP, 1, false },
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.shows);
        processState.trayLocked = 0;
        ShowWindow(Main(), SW_SHOW);
        SendMessageA(Main(), WM_CLOSE, 0, 0);
        ASSERT_TRUE(TrayIconShown(Dialog()));
        processState.trayLocked = c.locked;

        SendMessageA(Dialog(), WM_TRAY_NOTIFY, c.iconId, c.mouse);
        EXPECT_EQ(c.back, Shown());
        EXPECT_EQ(c.back ? 0 : 1, processState.inTray);
        EXPECT_EQ(!c.back, TrayIconShown(Dialog()));
        if (c.back) {
            EXPECT_EQ(Main(), GetForegroundWindow());
        }
        if (TrayIconShown(Dialog()))
            SetTrayIcon(Dialog(), NULL, TrayDelete, NULL);
        processState.inTray = 0;
    }
}

TEST_F(ProgressWindow, ClosingAgainAfterComingBackAddsTheIconAgain)
{
    for (int round = 1; round <= 2; ++round) {
        SCOPED_TRACE("close number " + std::to_string(round));
        SendMessageA(Main(), WM_CLOSE, 0, 0);
        EXPECT_FALSE(Shown());
        EXPECT_EQ(1, processState.inTray);
        EXPECT_TRUE(TrayIconShown(Dialog()));
        SendMessageA(Dialog(), WM_TRAY_NOTIFY, TRAY_ICON_ID, WM_LBUTTONUP);
        EXPECT_TRUE(Shown());
        EXPECT_FALSE(TrayIconShown(Dialog()));
    }
}

TEST_F(ProgressWindow, TrayButtonCommandAndMinimizeToTrayHideLikeTheCloseBox)
{
    SendMessageA(Dialog(), WM_COMMAND, MAKEWPARAM(IDC_TRAY_BUTTON, BN_CLICKED), 0);
    EXPECT_FALSE(Shown());
    EXPECT_EQ(1, processState.inTray);
    EXPECT_TRUE(TrayIconShown(Dialog()));

    SendMessageA(Dialog(), WM_TRAY_NOTIFY, TRAY_ICON_ID, WM_RBUTTONUP);
    ASSERT_TRUE(Shown());
    MinimizeToTray();
    EXPECT_FALSE(Shown());
    EXPECT_EQ(1, processState.inTray);
    EXPECT_TRUE(TrayIconShown(Dialog()));
}

namespace {

HWND watchedDialog;
int iconAtDialogDestroy = -1;

// Wine drops the icons of a destroyed window by itself, so the icon is looked
// for while the dialog is destroyed, after the main window's WM_DESTROY.
LRESULT CALLBACK WatchDialogDestroy(int code, WPARAM wParam, LPARAM lParam)
{
    const CWPSTRUCT *message = (const CWPSTRUCT *)lParam;
    if (code == HC_ACTION && message->message == WM_DESTROY && message->hwnd == watchedDialog)
        iconAtDialogDestroy = TrayIconShown(watchedDialog) ? 1 : 0;
    return CallNextHookEx(NULL, code, wParam, lParam);
}

}  // namespace

TEST_F(ProgressWindow, CloseMessageEndsTheLoopAndTakesTheIconAlong)
{
    for (bool inTray : { false, true }) {
        SCOPED_TRACE(inTray ? "hidden in the tray" : "window on screen");
        TearDown();
        Create(IDD_DOWNLOAD_STATUS);
        watchedDialog = Dialog();
        iconAtDialogDestroy = -1;
        if (inTray) {
            MinimizeToTray();
            ASSERT_TRUE(TrayIconShown(Dialog()));
        }
        HHOOK hook = SetWindowsHookExA(WH_CALLWNDPROC, WatchDialogDestroy, NULL, GetCurrentThreadId());
        ASSERT_TRUE(hook != NULL);
        ASSERT_TRUE(PostMessageA(Main(), WM_INSTALLER_CLOSE, 0, 0));
        bool ended = RunMessageLoopWithin(10000);
        UnhookWindowsHookEx(hook);
        ASSERT_TRUE(ended);
        EXPECT_FALSE(IsWindow(Main()));
        EXPECT_FALSE(IsWindow(watchedDialog));
        EXPECT_EQ(0, iconAtDialogDestroy);
        // A second close, as the components workflow sends, reaches nothing.
        EXPECT_FALSE(PostMessageA(Main(), WM_INSTALLER_CLOSE, 0, 0));
    }
}

namespace {

struct WorkerSeen {
    std::string caption;
    std::string label;
    int position;
    bool hidden;
};

DWORD WINAPI FakeWorker(void *param)
{
    // Runs what a workflow does, from its own thread, then ends the program.
    WorkerSeen *seen = (WorkerSeen *)param;
    char caption[100] = "Registering ";
    ShowPhase(caption, sizeof caption, IDS_REGISTER_STATUS, IDS_REGISTERING);
    SetProgress(60);
    seen->caption = WindowText(processState.mainWindow);
    seen->label = WindowText(GetDlgItem(processState.progressDialog, IDC_STATUS_LABEL));
    seen->position = (int)SendDlgItemMessageA(processState.progressDialog, IDC_PROGRESS, PBM_GETPOS, 0, 0);
    MinimizeToTray();
    seen->hidden = !IsWindowVisible(processState.mainWindow);
    PostMessageA(processState.mainWindow, WM_INSTALLER_CLOSE, 0, 0);
    return 0;
}

}  // namespace

TEST_F(ProgressWindow, WorkerThreadDrivesTheWindowAndEndsTheProgram)
{
    WorkerSeen seen = {};
    HANDLE worker = CreateThread(NULL, 0, FakeWorker, &seen, 0, NULL);
    ASSERT_TRUE(worker != NULL);
    ASSERT_TRUE(RunMessageLoopWithin(10000));
    WaitForSingleObject(worker, 5000);
    CloseHandle(worker);
    EXPECT_EQ(std::string("Registering ") + DISPLAY_NAME + "...", seen.caption);
    EXPECT_EQ("Register Status:", seen.label);
    EXPECT_EQ(60, seen.position);
    EXPECT_TRUE(seen.hidden);
    EXPECT_EQ(1, processState.inTray);
    EXPECT_FALSE(IsWindow(Main()));
}
