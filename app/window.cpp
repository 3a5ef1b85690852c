#include "app/window.h"

#include <commctrl.h>

#include "app/process_state.h"
#include "res/resource.h"

// Sent, not posted: the worker goes on only once the bar shows the entry.
void SetProgress(int position)
{
    SendMessageA(GetDlgItem(processState.progressDialog, IDC_PROGRESS), PBM_SETPOS, (WPARAM)position, 0);
}
