#include "app/window.h"

#include <commctrl.h>

#include "app/process_state.h"
#include "res/resource.h"
#include "res/strings.h"

// Only the two operations the shell services need; the rest of the window
// lives with the user-interface work.
void SetStatusLine(unsigned int stringId, int controlId)
{
    SetWindowTextA(GetDlgItem(processState.progressDialog, controlId), LoadText(stringId));
}

void SetProgress(int position)
{
    SendMessageA(GetDlgItem(processState.progressDialog, IDC_PROGRESS), PBM_SETPOS, (WPARAM)position, 0);
}
