#!/usr/bin/env bash
# Runs a Windows program in the Wine session kept in SESSION_DIR (see
# wine-session.sh), with the 32- or 64-bit loader that the program needs.
#
#   wine-run.sh SESSION_DIR PROGRAM.exe [ARGS...]
#   wine-run.sh SESSION_DIR --boot            creates the prefix
set -euo pipefail

session=${1:?usage: wine-run.sh SESSION_DIR PROGRAM [ARGS...]}
shift
export WINEPREFIX="$session/prefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export LC_ALL=zh_CN.UTF-8
if [ -f "$session/display" ]; then
  DISPLAY=$(cat "$session/display")
  export DISPLAY
fi

wine64=/usr/lib/wine/wine64
wine32=/usr/lib/wine/wine

if [ "${1:-}" = "--boot" ]; then
  exec "$wine64" wineboot -i
fi

program=${1:?no program given}
loader=$wine64
if [ -f "$program" ]; then
  # The PE header's machine field says which loader the program needs.
  pe=$(od -An -t u4 -j 60 -N 4 "$program" | tr -d ' ')
  machine=$(od -An -t x2 -j $((pe + 4)) -N 2 "$program" | tr -d ' ')
  if [ "$machine" = "014c" ]; then
    loader=$wine32
  fi
fi
exec "$loader" "$@"
