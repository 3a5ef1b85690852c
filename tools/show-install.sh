#!/usr/bin/env bash
# Prints what an install left in the demo prefix: files, links, registry
# state, the ledger, the uninstall entry, the report and the programs started.
# Runs inside tools/demo.sh (prefix, wineserver and variables set up there).
set -u
build=$1
here=$(cd "$(dirname "$0")/.." && pwd)
. "$here/tools/winenv.sh"
c="$WINEPREFIX/drive_c"
q() { wine "$build/tools/regshow.exe" "$@" 2>/dev/null | tr -d '\r' | iconv -f CP1252 -t UTF-8 | sed 's/^/  /'; }

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
while IFS= read -r -d '' l; do rel=${l#"$c"/}; links+=("C:\\${rel//\//\\}"); done < <(
  find "$c/users" "$c/ProgramData" -iname 'Fenwa*Corvina*.lnk' -print0 2>/dev/null)
if [ ${#links[@]} -gt 0 ]; then
  wine "$build/tools/lnkinfo.exe" "${links[@]}" 2>/dev/null | tr -d '\r' | iconv -f CP1252 -t UTF-8 | sed 's/^/  /'
else
  echo "  (none)"
fi

echo
echo "== Product state and ledger (HKCU\\Software\\Corvina)"
q HKCU 'Software\Corvina'
echo
echo "== Uninstall entry"
q HKLM 'Software\Microsoft\Windows\CurrentVersion\Uninstall' /s | grep -A4 -i 'corvina' || echo "  (absent)"
echo
echo "== Installation GUID (HKLM\\Software\\Ombrix\\Quellby)"
q HKLM 'Software\Ombrix\Quellby'
echo
echo "== Registration of the shared control (made by regsvr32.exe)"
q HKLM 'Software\Classes\BrevoltStandin.Control\CLSID'
echo
echo "== Install log"
log="$c/Program Files/CorvinaFenwa/Halvex.log"
if [ -f "$log" ]; then tr -d '\r' <"$log" | sed 's/^/    /'; else echo "    (none)"; fi
echo
echo "== Requests the servers received"
sed 's/^/    /' "$HALVEX_SERVER_STATE/requests.log" 2>/dev/null || echo "    (none)"
echo
echo "== Programs the installer started"
starts="$HALVEX_RECORD_DIR_UNIX/starts.log"
if [ -f "$starts" ]; then tr -d '\r' <"$starts" | sed 's/^/    /'; else echo "    (none)"; fi
