#!/usr/bin/env bash
# Brings up (or tears down) what the end-to-end tests need: an Xvfb display on a free number and
# a throw-away wine prefix with a persistent wineserver, all inside DIR.
#   wine_env.sh up DIR [LOADER] | wine_env.sh down DIR
# LOADER is the wine loader the tests run under: /usr/lib/wine/wine for the i686 build (the
# default), /usr/lib/wine/wine64 for the x86_64 build on machines that cannot run 32-bit programs.
set -euo pipefail
action=${1:?up or down}
dir=${2:?folder}
loader=${3:-/usr/lib/wine/wine}

export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export WINEPREFIX="$dir/prefix"
# As Debian's wine wrapper does when it runs wine64 alone: processes that wine starts itself come
# up under the same loader.
case "$loader" in *64) export WINELOADER="$loader" ;; esac

down() {
  if [ -f "$dir/display" ]; then
    DISPLAY=$(cat "$dir/display") timeout 30 wineserver -k 2>/dev/null || true
  fi
  if [ -f "$dir/xvfb.pid" ]; then
    kill "$(cat "$dir/xvfb.pid")" 2>/dev/null || true
  fi
  rm -rf "$dir"
}

up() {
  down
  mkdir -p "$dir"
  # -displayfd lets Xvfb pick a free display number and tell us which.
  Xvfb -displayfd 3 -nolisten tcp -screen 0 1280x1024x24 3>"$dir/display.number" \
    >"$dir/xvfb.log" 2>&1 &
  echo $! >"$dir/xvfb.pid"
  for _ in $(seq 100); do
    [ -s "$dir/display.number" ] && break
    sleep 0.1
  done
  [ -s "$dir/display.number" ] || { echo "Xvfb did not start"; cat "$dir/xvfb.log"; exit 1; }
  export DISPLAY=":$(tr -d '[:space:]' <"$dir/display.number")"
  echo "$DISPLAY" >"$dir/display"
  timeout 170 "$loader" wineboot -i >"$dir/wineboot.log" 2>&1 ||
    { echo "wineboot under $loader failed"; cat "$dir/wineboot.log"; exit 1; }
  # Keep the server running between tests so each one starts in a second, not twenty.
  timeout 10 wineserver -p || true
  echo "wine prefix ready on display $DISPLAY for $loader"
}

case "$action" in
  up) up ;;
  down) down; echo "wine environment removed" ;;
  *) echo "usage: $0 up|down DIR" >&2; exit 2 ;;
esac
