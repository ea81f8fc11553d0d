#!/usr/bin/env bash
# Runs a Windows test program in the release tests' Wine session. A 32-bit
# program on a host that cannot run 32-bit programs is reported as skipped
# (exit 77), with the reason, instead of failing.
#
#   run-windows-test.sh SESSION_DIR PROGRAM.exe [ARGS...]
set -euo pipefail
session=${1:?usage: run-windows-test.sh SESSION_DIR PROGRAM [ARGS...]}
program=${2:?no program given}
here=$(cd "$(dirname "$0")" && pwd)

pe=$(od -An -t u4 -j 60 -N 4 "$program" | tr -d ' ')
machine=$(od -An -t x2 -j $((pe + 4)) -N 2 "$program" | tr -d ' ')
if [ "$machine" = "014c" ] && ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
  echo "SKIPPED: $(basename "$program") and the installer it tests are 32-bit Windows programs," \
       "and this host cannot run 32-bit programs (Wine's 32-bit loader does not start)." \
       "The 32-bit installer is built and its version resource checked natively" \
       "(release_native_version); the 64-bit tree runs these tests on its 64-bit variant."
  exit 77
fi
exec "$here/../../scripts/wine-run.sh" "$@"
