#!/usr/bin/env bash
# The demo: builds the client and the exam server, starts the server on
# 127.0.0.1:19730 with the sample roster, points the client at it and runs the
# client under Wine, on this desktop when there is one, else on a private
# Xvfb display with a screenshot saved. The server stops when the client is gone.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

bash scripts/install-deps.sh

for preset in windows-x86_64 linux; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$(nproc)" --target "$([ $preset = linux ] && echo exam-server || echo ExamClient)"
done

demo="$root/build/demo"
mkdir -p "$demo"
roster="$root/server/samples/roster.csv"
port=19730

display_ok=""
if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
  display_ok=1
  export WINE_SESSION_DISPLAY="$DISPLAY"
else
  unset WINE_SESSION_DISPLAY
fi

server_pid=""
cleanup() {
  if [ -n "$server_pid" ]; then
    kill -INT "$server_pid" 2>/dev/null || true
    wait "$server_pid" 2>/dev/null || true
  fi
  scripts/wine-session.sh stop "$demo" || true
}
trap cleanup EXIT

scripts/wine-session.sh start "$demo"

build/linux/server/exam-server --roster "$roster" --listen "127.0.0.1:$port" \
  --log "$demo/audit.csv" &
server_pid=$!

# The client looks its settings up in the Windows directory.
printf '[Server]\r\nIP=127.0.0.1\r\nPort=%s\r\n' "$port" >"$demo/prefix/drive_c/windows/config.ini"

sample=$(sed -n 2p "$roster" | tr -d '\r')
echo
echo "Try candidate number $(echo "$sample" | cut -d, -f1) with ID-card number $(echo "$sample" | cut -d, -f2)."
echo "Audit log: $demo/audit.csv"
echo

if [ -n "$display_ok" ]; then
  scripts/wine-run.sh "$demo" build/windows-x86_64/ExamClient.exe || true
else
  echo "No desktop to show the client on: running it on a private display."
  scripts/wine-run.sh "$demo" build/windows-x86_64/ExamClient.exe &
  client_pid=$!
  sleep 5
  DISPLAY=$(cat "$demo/display") import -window root "$demo/login-window.png"
  echo "Screenshot of the login window: $demo/login-window.png"
  kill "$client_pid" 2>/dev/null || true
  wait "$client_pid" 2>/dev/null || true
fi
