/* Stand-in for the 64-bit installer: records how it was started and ends. */
#include <windows.h>
#include "record.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show)
{
    (void)instance;
    (void)previous;
    (void)commandLine;
    (void)show;
    RecordOwnStart("FenwaHalvex64.exe");
    return 0;
}
