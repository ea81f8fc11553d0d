#!/usr/bin/env bash
# The project's benchmark: the client under Wine against its baseline program,
# and the exam server under load on 127.0.0.1. Prints the table and writes it
# to build/bench/results.json (and results.md). See bench/README.md.
#
#   bench.sh [--quick] [--check]
#     --quick   few repetitions, short idle periods (about a minute)
#     --check   exit 1 when a figure is missing or a measuring step failed;
#               how fast anything was never fails it
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

quick=0
check=0
for argument in "$@"; do
  case "$argument" in
    --quick) quick=1 ;;
    --check) check=1 ;;
    -h|--help) sed -n '2,9p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "bench: unknown option $argument" >&2; exit 2 ;;
  esac
done

if [ "$quick" = 1 ]; then
  mode=quick runs=3 idle_runs=1 idle_seconds=2 server_seconds=1 server_reps=1
  client_timeout=600 server_timeout=300
else
  mode=full runs=15 idle_runs=3 idle_seconds=10 server_seconds=5 server_reps=3
  client_timeout=1800 server_timeout=900
fi

for tool in cmake ninja python3 x86_64-w64-mingw32-objdump Xvfb /usr/lib/wine/wine64; do
  command -v "$tool" >/dev/null || { echo "bench: $tool missing (scripts/install-deps.sh)" >&2; exit 1; }
done

win=build/bench-win64
linux=build/bench-linux
out=build/bench
session=$root/$win/wine
mkdir -p "$out"

echo "== building ($win, $linux)"
# The shipped form of the client: the release switches strip it.
cmake --preset windows-x86_64 -B "$win" -DBUILD_TESTING=OFF -DEXAM_RELEASE_BUILD=ON >"$out/configure-win64.log" 2>&1 ||
  { cat "$out/configure-win64.log" >&2; exit 1; }
cmake --build "$win" -j 2 --target ExamClient bench-baseline bench-client >"$out/build-win64.log" 2>&1 ||
  { tail -n 40 "$out/build-win64.log" >&2; exit 1; }
cmake --preset linux -B "$linux" -DEXAM_SERVER_TESTS=OFF -DEXAM_SERVER_FUZZ=OFF >"$out/configure-linux.log" 2>&1 ||
  { cat "$out/configure-linux.log" >&2; exit 1; }
cmake --build "$linux" -j 2 --target exam-server bench-loadgen >"$out/build-linux.log" 2>&1 ||
  { tail -n 40 "$out/build-linux.log" >&2; exit 1; }

winpath() { printf 'Z:%s' "$(printf '%s' "$1" | tr '/' '\\')"; }

load_before=$(cut -d' ' -f1-3 /proc/loadavg)
started=$SECONDS
status=0

echo "== client under Wine ($mode: $runs timing runs, $idle_runs idle runs of ${idle_seconds} s per state)"
"$root/scripts/wine-session.sh" start "$session" >"$out/wine-session.log" 2>&1 ||
  { cat "$out/wine-session.log" >&2; exit 1; }
trap '"$root/scripts/wine-session.sh" stop "$session" >/dev/null 2>&1 || true' EXIT
timeout --kill-after=10 "$client_timeout" "$root/scripts/wine-run.sh" "$session" "$win/bench/bench-client.exe" \
  --client "$(winpath "$root/$win/ExamClient.exe")" \
  --baseline "$(winpath "$root/$win/bench/bench-baseline.exe")" \
  --runs "$runs" --idle-runs "$idle_runs" --idle-seconds "$idle_seconds" \
  >"$out/client-raw.jsonl" || status=1
"$root/scripts/wine-session.sh" stop "$session" >/dev/null 2>&1 || true
trap - EXIT

echo "== exam server ($server_reps reps of ${server_seconds} s per load)"
timeout --kill-after=10 "$server_timeout" "$linux/bench/bench-loadgen" \
  --server "$linux/server/exam-server" --work "$out/server-work" \
  --seconds "$server_seconds" --reps "$server_reps" --rate 10000 --idle 10000 \
  >"$out/server-raw.jsonl" || status=1

echo "== results ($((SECONDS - started)) s of measuring)"
report=(python3 bench/report.py
  --client-raw "$out/client-raw.jsonl" --server-raw "$out/server-raw.jsonl"
  --client-exe "$win/ExamClient.exe" --baseline-exe "$win/bench/bench-baseline.exe"
  --objdump x86_64-w64-mingw32-objdump --tick-ms "$(awk -v t="$(getconf CLK_TCK)" 'BEGIN { print 1000 / t }')"
  --mode "$mode" --wine "$(/usr/lib/wine/wine64 --version)" --load-before "$load_before"
  --out "$out/results.json")
if [ "$check" = 1 ]; then
  "${report[@]}" --check || exit 1
  [ "$status" = 0 ] || { echo "bench: a measuring program failed" >&2; exit 1; }
else
  "${report[@]}"
fi
