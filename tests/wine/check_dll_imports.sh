#!/usr/bin/env bash
# The shipped DLL must be PE32, export exactly winampDSPGetHeader2 and import system DLLs only,
# so that copying the one file into the player's plug-in folder is the whole installation.
set -euo pipefail
dll=${1:?path to dsp_varnolt.dll}
dump=$(i686-w64-mingw32-objdump -p "$dll")
grep -q 'Magic.*010b.*PE32' <<<"$dump" || { echo "not PE32"; exit 1; }
imports=$(awk '/DLL Name:/{print $3}' <<<"$dump")
echo "imports: $(echo $imports)"
bad=$(grep -v -i -E '^(kernel32|user32|gdi32|shell32|comdlg32|comctl32|advapi32|msvcrt|ole32|oleaut32|shlwapi|uxtheme|winmm)\.dll$' <<<"$imports" || true)
[ -z "$bad" ] || { echo "non-system imports: $bad"; exit 1; }
exports=$(awk '/\[Ordinal\/Name Pointer\] Table/{f=1;next} f&&/^\t\[/{print $NF;next} f{f=0}' <<<"$dump")
echo "exports: $(echo $exports)"
[ "$exports" = "winampDSPGetHeader2" ] || { echo "exports must be exactly winampDSPGetHeader2"; exit 1; }
