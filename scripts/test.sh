#!/usr/bin/env bash
# Installs what is missing, builds every preset and runs every test suite:
# the Windows client for 64 and 32 bits under Wine, and the exam server natively.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

status=0
for preset in windows-x86_64 windows-i686 linux; do
  echo "== $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$(nproc)"
  ctest --preset "$preset" || status=1
done
exit "$status"
