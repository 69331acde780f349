#!/usr/bin/env bash
# Prints the Windows build the end-to-end tests can run on here: "i686" when the 32-bit wine loader
# runs, "x86_64" when only wine64 does (some machines' kernels refuse 32-bit programs). Fails with
# a message when neither runs, so that the tests are never skipped without a word.
# VARNOLT_WINE_ARCH=i686|x86_64 names the build instead of asking the machine.
set -euo pipefail
wine32=/usr/lib/wine/wine
wine64=/usr/lib/wine/wine64
runs() { timeout 60 "$1" --version >/dev/null 2>&1; }

case "${VARNOLT_WINE_ARCH:-}" in
  i686|x86_64) echo "$VARNOLT_WINE_ARCH"; exit 0 ;;
  "") ;;
  *) echo "VARNOLT_WINE_ARCH must be i686 or x86_64, not '$VARNOLT_WINE_ARCH'" >&2; exit 2 ;;
esac
if runs "$wine32"; then
  echo i686
elif runs "$wine64"; then
  echo x86_64
else
  echo "neither $wine32 nor $wine64 runs on this machine: the end-to-end tests cannot run" >&2
  "$wine32" --version >&2 || true
  "$wine64" --version >&2 || true
  exit 1
fi
