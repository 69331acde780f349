#!/usr/bin/env bash
# The shipped DLL must be PE32 for i386, export exactly winampDSPGetHeader2 and import system DLLs
# only, so that copying the one file into the player's plug-in folder is the whole installation.
# The x86_64 build that stands in for it under wine64 must have the same shape as PE32+.
#   check_dll_imports.sh DLL [i686|x86_64]
set -euo pipefail
dll=${1:?path to dsp_varnolt.dll}
arch=${2:-i686}
case "$arch" in
  i686) format='file format pei-i386' magic='Magic.*010b.*\(PE32\)' ;;
  x86_64) format='file format pei-x86-64' magic='Magic.*020b.*\(PE32\+\)' ;;
  *) echo "unknown architecture $arch" >&2; exit 2 ;;
esac
dump=$("$arch-w64-mingw32-objdump" -p "$dll")
grep -q "$format" <<<"$dump" || { echo "not a $arch image: $(grep -m1 'file format' <<<"$dump")"; exit 1; }
grep -q -E "$magic" <<<"$dump" || { echo "wrong optional-header magic for $arch"; exit 1; }
imports=$(awk '/DLL Name:/{print $3}' <<<"$dump")
echo "$arch imports: $(echo $imports)"
bad=$(grep -v -i -E '^(kernel32|user32|gdi32|shell32|comdlg32|comctl32|advapi32|msvcrt|ole32|oleaut32|shlwapi|uxtheme|winmm)\.dll$' <<<"$imports" || true)
[ -z "$bad" ] || { echo "non-system imports: $bad"; exit 1; }
exports=$(awk '/\[Ordinal\/Name Pointer\] Table/{f=1;next} f&&/^\t\[/{print $NF;next} f{f=0}' <<<"$dump")
echo "$arch exports: $(echo $exports)"
[ "$exports" = "winampDSPGetHeader2" ] || { echo "exports must be exactly winampDSPGetHeader2"; exit 1; }
