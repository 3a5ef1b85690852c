// Started by the folder tests: schedules the deletion of its own file and
// ends, or with "-version" answers IsVistaOrLater as its exit code.
#include <string.h>

#include "shell/folders.h"

int main(int argc, char **argv)
{
    if (argc > 1 && strcmp(argv[1], "-version") == 0)
        return IsVistaOrLater() ? 1 : 0;
    ScheduleSelfDelete();
    return 0;
}
