/* Stand-in for the wizard Tamrick.exe: records how it was started and ends. */
#include <windows.h>
#include "record.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show)
{
    (void)instance;
    (void)previous;
    (void)commandLine;
    (void)show;
    RecordOwnStart("Tamrick.exe");
    return 0;
}
