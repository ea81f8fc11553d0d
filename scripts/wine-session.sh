#!/usr/bin/env bash
# Starts or stops the Wine session that the tests and the demo run in: a private
# prefix, one persistent wineserver and an Xvfb display, all recorded under
# SESSION_DIR so that whoever started them also stops them, by process id.
# With WINE_SESSION_DISPLAY set (the demo on a real desktop) that display is
# used and no Xvfb is started.
#
#   wine-session.sh start SESSION_DIR
#   wine-session.sh stop SESSION_DIR
set -euo pipefail

action=${1:?usage: wine-session.sh start|stop SESSION_DIR}
session=${2:?usage: wine-session.sh start|stop SESSION_DIR}
here=$(cd "$(dirname "$0")" && pwd)

export WINEPREFIX="$session/prefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export LC_ALL=zh_CN.UTF-8

stop_pid() {
  local file=$1
  [ -f "$file" ] || return 0
  local pid
  pid=$(cat "$file")
  rm -f "$file"
  kill "$pid" 2>/dev/null || return 0
  for _ in $(seq 50); do
    kill -0 "$pid" 2>/dev/null || return 0
    sleep 0.1
  done
  kill -9 "$pid" 2>/dev/null || true
}

case "$action" in
start)
  mkdir -p "$session"
  "$0" stop "$session"

  if [ -n "${WINE_SESSION_DISPLAY:-}" ]; then
    echo "$WINE_SESSION_DISPLAY" >"$session/display"
  else
    # Xvfb picks a free display number itself and tells us which on a pipe.
    exec {fd}<> <(:)
    setsid Xvfb -screen 0 1280x800x24 -nolisten tcp -displayfd "$fd" \
      </dev/null >"$session/xvfb.log" 2>&1 &
    echo $! >"$session/xvfb.pid"
    read -r -t 30 -u "$fd" display || { echo "wine-session: Xvfb did not start" >&2; exit 1; }
    exec {fd}>&-
    echo ":$display" >"$session/display"
  fi
  DISPLAY=$(cat "$session/display")
  export DISPLAY

  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    "$here/wine-run.sh" "$session" --boot >/dev/null 2>&1
  fi
  # A crash must end its test with an error, not wait on a dialog.
  "$here/wine-run.sh" "$session" reg add 'HKCU\Software\Wine\WineDbg' \
    /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
  if [ -z "${WINE_SESSION_DISPLAY:-}" ]; then
    # There is no window manager on the Xvfb display; without this Wine waits
    # for one for two seconds whenever a top-level window is hidden or destroyed.
    "$here/wine-run.sh" "$session" reg add 'HKCU\Software\Wine\X11 Driver' \
      /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
  else
    "$here/wine-run.sh" "$session" reg delete 'HKCU\Software\Wine\X11 Driver' \
      /v Managed /f >/dev/null 2>&1 || true
  fi

  setsid wineserver -p -f </dev/null >"$session/wineserver.log" 2>&1 &
  echo $! >"$session/wineserver.pid"
  echo "wine-session: display $DISPLAY, prefix $WINEPREFIX"
  ;;
stop)
  if [ -f "$session/wineserver.pid" ]; then
    wineserver -k 2>/dev/null || true
  fi
  stop_pid "$session/wineserver.pid"
  stop_pid "$session/xvfb.pid"
  rm -f "$session/display"
  ;;
*)
  echo "usage: wine-session.sh start|stop SESSION_DIR" >&2
  exit 2
  ;;
esac
