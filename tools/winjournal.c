/* Window journal for the end-to-end tests: a global message hook that, loaded
   into Halvex.exe, appends what the program shows to
   %HALVEX_RECORD_DIR%\windows.log, one event a line, in the order the
   user-interface thread handles them:  <tick>|<process id>|<event>|<value>\r\n
   Events: caption, label (control 144), text (140), button (138), ctrl<id>,
   progress (PBM_SETPOS, sent or posted), show (1 or 0), close
   (WM_INSTALLER_CLOSE posted), destroy, box-caption and box-text (a message
   box's title and text). Bytes below 0x20 or above 0x7E and the backslash
   are written as \xNN. In every other process the hook does nothing. */
#include <windows.h>

#define JOURNAL_LINE 2048
#define MAIN_CLASS "IDD_URLDOWNLOAD_DIALOG"
#define WM_INSTALLER_CLOSE_ (WM_USER + 10)
#define PBM_SETPOS_ (WM_USER + 2)

static char journalPath[MAX_PATH];
static int journalOn;

static int EndsWithProgram(const char *path)
{
    const char *name = path;
    const char *p;
    for (p = path; *p; p++)
        if (*p == '\\' || *p == '/')
            name = p + 1;
    return lstrcmpiA(name, "Halvex.exe") == 0;
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    char own[MAX_PATH];
    DWORD length;
    (void)instance;
    (void)reserved;
    if (reason != DLL_PROCESS_ATTACH)
        return TRUE;
    own[0] = 0;
    GetModuleFileNameA(NULL, own, sizeof own);
    own[sizeof own - 1] = 0;
    length = GetEnvironmentVariableA("HALVEX_RECORD_DIR", journalPath, MAX_PATH - 16);
    if (EndsWithProgram(own) && length > 0 && length < MAX_PATH - 16) {
        lstrcpynA(journalPath + length, "\\windows.log", MAX_PATH - length);
        journalOn = 1;
    }
    return TRUE;
}

static void Put(char *line, int *length, char c)
{
    if (*length < JOURNAL_LINE - 8)
        line[(*length)++] = c;
}

static void PutText(char *line, int *length, const char *text)
{
    static const char digits[] = "0123456789ABCDEF";
    for (; text && *text; text++) {
        unsigned char c = (unsigned char)*text;
        if (c < 0x20 || c > 0x7E || c == '\\') {
            Put(line, length, '\\');
            Put(line, length, 'x');
            Put(line, length, digits[c >> 4]);
            Put(line, length, digits[c & 15]);
        } else {
            Put(line, length, (char)c);
        }
    }
}

static void Journal(const char *event, const char *text)
{
    char line[JOURNAL_LINE];
    char number[32];
    int length = 0;
    DWORD written = 0;
    HANDLE file;

    wsprintfA(number, "%lu|%lu", GetTickCount(), GetCurrentProcessId());
    PutText(line, &length, number);
    Put(line, &length, '|');
    PutText(line, &length, event);
    Put(line, &length, '|');
    PutText(line, &length, text);
    Put(line, &length, '\r');
    Put(line, &length, '\n');
    file = CreateFileA(journalPath, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                       OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return;
    WriteFile(file, line, (DWORD)length, &written, NULL);
    CloseHandle(file);
}

/* 1 for the main window and its dialog, 2 for a message box, else 0. */
static int Kind(HWND window, HWND *root)
{
    char name[64];
    *root = GetAncestor(window, GA_ROOT);
    if (!*root || !GetClassNameA(*root, name, sizeof name))
        return 0;
    if (lstrcmpA(name, MAIN_CLASS) == 0)
        return 1;
    return lstrcmpA(name, "#32770") == 0 ? 2 : 0;
}

static void Observe(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    static const struct { int id; const char *event; } controls[] = {
        { -1, "caption" }, { 144, "label" }, { 140, "text" }, { 138, "button" },
    };
    HWND root = NULL;
    char other[16];
    char number[16];
    const char *event = other;
    int kind = Kind(window, &root);
    int id;
    unsigned i;

    if (!kind)
        return;
    id = window == root ? -1 : GetDlgCtrlID(window);
    if (message == WM_SETTEXT && kind == 1) {
        wsprintfA(other, "ctrl%d", id);
        for (i = 0; i < sizeof controls / sizeof controls[0]; i++)
            if (controls[i].id == id)
                event = controls[i].event;
        Journal(event, (const char *)lParam);
    } else if (message == WM_SETTEXT && kind == 2 && (id == -1 || id == 0xFFFF)) {
        Journal(id == -1 ? "box-caption" : "box-text", (const char *)lParam);
    } else if (message == PBM_SETPOS_ && kind == 1 && id == 139) {
        wsprintfA(number, "%d", (int)wParam);
        Journal("progress", number);
    } else if (message == WM_SHOWWINDOW && kind == 1 && id == -1) {
        Journal("show", wParam ? "1" : "0");
    } else if (message == WM_INSTALLER_CLOSE_ && kind == 1 && id == -1) {
        Journal("close", "");
    } else if (message == WM_DESTROY && kind == 1 && id == -1) {
        Journal("destroy", "");
    }
}

__declspec(dllexport) LRESULT CALLBACK JournalSentMessage(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HC_ACTION && journalOn) {
        const CWPSTRUCT *sent = (const CWPSTRUCT *)lParam;
        Observe(sent->hwnd, sent->message, sent->wParam, sent->lParam);
    }
    return CallNextHookEx(NULL, code, wParam, lParam);
}

__declspec(dllexport) LRESULT CALLBACK JournalPostedMessage(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HC_ACTION && journalOn && wParam == PM_REMOVE) {
        const MSG *posted = (const MSG *)lParam;
        if (posted->hwnd && (posted->message == PBM_SETPOS_ || posted->message == WM_INSTALLER_CLOSE_))
            Observe(posted->hwnd, posted->message, posted->wParam, posted->lParam);
    }
    return CallNextHookEx(NULL, code, wParam, lParam);
}
