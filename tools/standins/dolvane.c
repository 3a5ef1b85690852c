/* Stand-in for the helper Dolvane.exe: records how it was started and ends. */
#include <windows.h>
#include "record.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show)
{
    (void)instance;
    (void)previous;
    (void)commandLine;
    (void)show;
    RecordOwnStart("Dolvane.exe");
    return 0;
}
