#include "res/strings.h"

#include <windows.h>

char textBuffer[TEXT_BUFFER_SIZE];

char *LoadText(unsigned int stringId)
{
    // LoadStringA always terminates and leaves "" for a missing id.
    textBuffer[0] = '\0';
    LoadStringA(GetModuleHandleA(NULL), stringId, textBuffer, sizeof textBuffer);
    return textBuffer;
}
