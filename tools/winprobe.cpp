// Reads and presses the installer's windows from outside, for scripts such as
// the demo: run it under the same Wine prefix as Halvex.exe.
//   winprobe main                     the main window, one "key=value" a line
//   winprobe wait-main [timeout ms]   waits for the visible main window, then as main
//   winprobe msgbox                   the message boxes on screen
//   winprobe press <id|text> [ms]     presses a message box button (4 = Retry, 2 = Cancel, 1 = OK)
//   winprobe close-main               WM_CLOSE to the main window
//   winprobe tray-click [up message]  the tray icon's callback (default WM_LBUTTONUP)
// Exit code 0 when the window was found and the action done, 1 when not, 2 on usage.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "support/window_probe.h"

static void Print(const std::vector<std::string> &lines)
{
    for (const std::string &line : lines)
        printf("%s\n", line.c_str());
}

static DWORD Number(int argc, char **argv, int index, DWORD fallback)
{
    return argc > index ? (DWORD)strtoul(argv[index], nullptr, 0) : fallback;
}

int main(int argc, char **argv)
{
    if (argc < 2) {
        fprintf(stderr, "usage: winprobe main|wait-main [ms]|msgbox|press <id|text> [ms]|close-main|tray-click\n");
        return 2;
    }
    std::string command = argv[1];
    MainWindowView view;
    if (command == "main" || command == "wait-main") {
        bool found = command == "main" ? ReadMainWindow(&view) : WaitMainWindow(&view, Number(argc, argv, 2, 10000));
        if (!found) {
            printf("no main window\n");
            return 1;
        }
        Print(DescribeMainWindow(view));
        return 0;
    }
    if (command == "msgbox") {
        std::vector<MessageBoxView> boxes = ListMessageBoxes();
        for (const MessageBoxView &box : boxes)
            Print(DescribeMessageBox(box));
        return boxes.empty() ? 1 : 0;
    }
    if (command == "press" && argc >= 3) {
        bool pressed = PressMessageBoxButton(argv[2], Number(argc, argv, 3, 10000));
        printf(pressed ? "pressed\n" : "no such button\n");
        return pressed ? 0 : 1;
    }
    if (command == "close-main")
        return CloseMainWindow() ? 0 : 1;
    if (command == "tray-click")
        return SendTrayNotify((UINT)Number(argc, argv, 2, WM_LBUTTONUP)) ? 0 : 1;
    fprintf(stderr, "unknown command %s\n", command.c_str());
    return 2;
}
