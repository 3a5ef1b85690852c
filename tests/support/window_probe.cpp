#include "support/window_probe.h"

#include <stdio.h>
#include <stdlib.h>

static const char MAIN_CLASS[] = "IDD_URLDOWNLOAD_DIALOG";
static const UINT TIMEOUT_MS = 3000;
static const UINT WM_TRAY_NOTIFY_ = WM_APP + 100;
static const UINT PBM_GETPOS_ = WM_USER + 8;

std::string EscapeText(const std::string &raw)
{
    std::string out;
    for (unsigned char c : raw) {
        if (c < 0x20 || c > 0x7E || c == '\\') {
            char hex[8];
            snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        } else {
            out += (char)c;
        }
    }
    return out;
}

std::string UnescapeText(const std::string &escaped)
{
    std::string out;
    for (size_t i = 0; i < escaped.size(); i++) {
        if (escaped[i] == '\\' && i + 3 < escaped.size() && escaped[i + 1] == 'x') {
            out += (char)strtoul(escaped.substr(i + 2, 2).c_str(), nullptr, 16);
            i += 3;
        } else {
            out += escaped[i];
        }
    }
    return out;
}

// WM_GETTEXT reaches the live text; a program that hangs gives "".
static std::string WindowText(HWND window)
{
    char text[2048] = "";
    DWORD_PTR result = 0;
    if (window && !SendMessageTimeoutA(window, WM_GETTEXT, sizeof text, (LPARAM)text, SMTO_ABORTIFHUNG,
                                       TIMEOUT_MS, &result))
        text[0] = '\0';
    text[sizeof text - 1] = '\0';
    return text;
}

static bool OfProcess(HWND window, DWORD processId)
{
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    return processId == 0 || owner == processId;
}

HWND FindMainWindow(DWORD processId)
{
    HWND window = nullptr;
    while ((window = FindWindowExA(nullptr, window, MAIN_CLASS, nullptr)) != nullptr)
        if (OfProcess(window, processId))
            return window;
    return nullptr;
}

bool ReadMainWindow(MainWindowView *view, DWORD processId)
{
    *view = MainWindowView();
    view->window = FindMainWindow(processId);
    if (!view->window)
        return false;
    GetWindowThreadProcessId(view->window, &view->processId);
    view->visible = IsWindowVisible(view->window) != FALSE;
    view->caption = WindowText(view->window);
    view->dialog = FindWindowExA(view->window, nullptr, "#32770", nullptr);
    if (!view->dialog)
        return true;
    view->label = WindowText(GetDlgItem(view->dialog, 144));
    view->text = WindowText(GetDlgItem(view->dialog, 140));
    HWND bar = GetDlgItem(view->dialog, 139);
    DWORD_PTR position = 0;
    if (bar && SendMessageTimeoutA(bar, PBM_GETPOS_, 0, 0, SMTO_ABORTIFHUNG, TIMEOUT_MS, &position))
        view->progress = (int)position;
    HWND button = GetDlgItem(view->dialog, 138);
    view->trayButtonVisible = button && IsWindowVisible(button);
    return true;
}

bool WaitMainWindow(MainWindowView *view, DWORD timeoutMs, DWORD processId, bool visible)
{
    DWORD start = GetTickCount();
    do {
        if (ReadMainWindow(view, processId) && view->dialog && (!visible || view->visible))
            return true;
        Sleep(20);
    } while (GetTickCount() - start < timeoutMs);
    return false;
}

std::vector<std::string> DescribeMainWindow(const MainWindowView &view)
{
    char number[32];
    std::vector<std::string> lines;
    lines.push_back(std::string("visible=") + (view.visible ? "1" : "0"));
    lines.push_back("caption=" + EscapeText(view.caption));
    lines.push_back("label=" + EscapeText(view.label));
    lines.push_back("text=" + EscapeText(view.text));
    snprintf(number, sizeof number, "progress=%d", view.progress);
    lines.push_back(number);
    lines.push_back(std::string("traybutton=") + (view.trayButtonVisible ? "1" : "0"));
    return lines;
}

struct BoxSearch {
    DWORD processId;
    std::vector<MessageBoxView> *boxes;
};

static BOOL CALLBACK CollectButton(HWND child, LPARAM parameter)
{
    MessageBoxView *box = (MessageBoxView *)parameter;
    char name[32] = "";
    GetClassNameA(child, name, sizeof name);
    if (lstrcmpiA(name, "Button") == 0 && IsWindowVisible(child)) {
        box->buttons.push_back(std::make_pair(GetDlgCtrlID(child), WindowText(child)));
    } else if (lstrcmpiA(name, "Static") == 0) {
        std::string text = WindowText(child);
        if (!text.empty())
            box->text += (box->text.empty() ? "" : "\n") + text;
    }
    return TRUE;
}

static BOOL CALLBACK CollectBox(HWND window, LPARAM parameter)
{
    BoxSearch *search = (BoxSearch *)parameter;
    char name[32] = "";
    GetClassNameA(window, name, sizeof name);
    if (lstrcmpA(name, "#32770") != 0 || !IsWindowVisible(window) || !OfProcess(window, search->processId))
        return TRUE;
    MessageBoxView box;
    box.window = window;
    GetWindowThreadProcessId(window, &box.processId);
    box.caption = WindowText(window);
    EnumChildWindows(window, CollectButton, (LPARAM)&box);
    search->boxes->push_back(box);
    return TRUE;
}

std::vector<MessageBoxView> ListMessageBoxes(DWORD processId)
{
    std::vector<MessageBoxView> boxes;
    BoxSearch search = { processId, &boxes };
    EnumWindows(CollectBox, (LPARAM)&search);
    return boxes;
}

bool WaitMessageBox(MessageBoxView *box, DWORD timeoutMs, DWORD processId)
{
    DWORD start = GetTickCount();
    do {
        std::vector<MessageBoxView> boxes = ListMessageBoxes(processId);
        // A box is ready once its buttons exist.
        if (!boxes.empty() && !boxes[0].buttons.empty()) {
            *box = boxes[0];
            return true;
        }
        Sleep(20);
    } while (GetTickCount() - start < timeoutMs);
    return false;
}

std::vector<std::string> DescribeMessageBox(const MessageBoxView &box)
{
    char number[32];
    std::vector<std::string> lines;
    snprintf(number, sizeof number, "box pid=%lu", box.processId);
    lines.push_back(number);
    lines.push_back("caption=" + EscapeText(box.caption));
    lines.push_back("text=" + EscapeText(box.text));
    for (const auto &button : box.buttons) {
        snprintf(number, sizeof number, "button=%d ", button.first);
        lines.push_back(number + EscapeText(button.second));
    }
    return lines;
}

static std::string WithoutAmpersand(const std::string &text)
{
    std::string out;
    for (char c : text)
        if (c != '&')
            out += c;
    return out;
}

bool PressMessageBoxButton(const std::string &button, DWORD timeoutMs, DWORD processId)
{
    MessageBoxView box;
    if (!WaitMessageBox(&box, timeoutMs, processId))
        return false;
    char *end = nullptr;
    long id = strtol(button.c_str(), &end, 10);
    bool byId = !button.empty() && end && *end == '\0';
    for (const auto &candidate : box.buttons) {
        if (byId ? candidate.first == id : lstrcmpiA(WithoutAmpersand(candidate.second).c_str(), button.c_str()) == 0) {
            if (!PostMessageA(box.window, WM_COMMAND, MAKEWPARAM(candidate.first, BN_CLICKED),
                              (LPARAM)GetDlgItem(box.window, candidate.first)))
                return false;
            // Gone before the caller looks for the next box.
            DWORD start = GetTickCount();
            while (IsWindow(box.window) && GetTickCount() - start < timeoutMs)
                Sleep(20);
            return !IsWindow(box.window);
        }
    }
    return false;
}

bool CloseMainWindow(DWORD processId)
{
    HWND window = FindMainWindow(processId);
    DWORD_PTR result = 0;
    return window && SendMessageTimeoutA(window, WM_CLOSE, 0, 0, SMTO_ABORTIFHUNG, TIMEOUT_MS, &result);
}

bool SendTrayNotify(UINT mouseMessage, WPARAM iconId, DWORD processId)
{
    HWND window = FindMainWindow(processId);
    HWND dialog = window ? FindWindowExA(window, nullptr, "#32770", nullptr) : nullptr;
    DWORD_PTR result = 0;
    return dialog && SendMessageTimeoutA(dialog, WM_TRAY_NOTIFY_, iconId, mouseMessage, SMTO_ABORTIFHUNG,
                                         TIMEOUT_MS, &result);
}
