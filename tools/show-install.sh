#!/usr/bin/env bash
# Prints what an install left in the demo prefix: files, links, registry
# state, the ledger, the uninstall entry, the report and the programs started.
# Runs inside tools/demo.sh (prefix, wineserver and variables set up there).
set -u
build=$1
c="$WINEPREFIX/drive_c"
q() { wine reg query "$@" 2>/dev/null | tr -d '\r' | sed '/^$/d; s/^/    /'; }

echo
echo "== Files"
for d in "Program Files/CorvinaFenwa" "Program Files/Corvina"; do
  if [ -d "$c/$d" ]; then
    echo "  C:\\${d//\//\\}\\"
    (cd "$c/$d" && find . -mindepth 1 | sort | sed 's|^\./|    |')
  else
    echo "  C:\\${d//\//\\}\\ (absent)"
  fi
done
for f in Brevolt.ocx Dolvane.exe; do
  [ -f "$c/windows/$f" ] && echo "  C:\\windows\\$f" || echo "  C:\\windows\\$f (absent)"
done

echo
echo "== Links"
links=()
while IFS= read -r -d '' l; do links+=("$(halvex_winpath "$l")"); done < <(
  find "$c/users" "$c/ProgramData" -iname 'Fenwa*Corvina*.lnk' -print0 2>/dev/null)
if [ ${#links[@]} -gt 0 ]; then
  wine "$build/tools/lnkinfo.exe" "${links[@]}" 2>/dev/null | tr -d '\r' | iconv -f CP1252 -t UTF-8 | sed 's/^/  /'
else
  echo "  (none)"
fi

echo
echo "== Product state and ledger (HKCU\\Software\\Corvina)"
q 'HKCU\Software\Corvina' || echo "    (absent)"
echo
echo "== Uninstall entry"
q 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s | iconv -f CP1252 -t UTF-8 2>/dev/null \
  | grep -A6 -i 'corvina' || echo "    (absent)"
echo
echo "== Installation GUID (HKLM\\Software\\Ombrix\\Quellby)"
q 'HKLM\Software\Ombrix\Quellby' || echo "    (absent)"
echo
echo "== Requests the servers received"
sed 's/^/    /' "$HALVEX_SERVER_STATE/requests.log" 2>/dev/null || echo "    (none)"
echo
echo "== Programs the installer started"
tr -d '\r' <"$HALVEX_RECORD_DIR_UNIX/starts.log" 2>/dev/null | sed 's/^/    /' || echo "    (none)"
