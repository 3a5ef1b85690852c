#!/usr/bin/env bash
# Runs a Windows program under the test Wine prefix (ctest's emulator).
# Output goes through a file: Wine's own background processes inherit the
# descriptors, and ctest would wait on a pipe they keep open.
set -u
: "${WINEPREFIX:?run through tools/test.sh or source tools/winenv.sh}"
export WINEDEBUG=${WINEDEBUG:--all}
out=$(mktemp)
wine "$@" >"$out" 2>&1 </dev/null
rc=$?
cat "$out"
rm -f "$out"
exit $rc
