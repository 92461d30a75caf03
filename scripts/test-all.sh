#!/usr/bin/env bash
# Builds the project and runs every test: the plain debug build, then the
# AddressSanitizer + UndefinedBehaviorSanitizer build.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/ensure-packages.sh
for preset in dev asan-ubsan; do
  echo "== ${preset} =="
  cmake --workflow --preset "${preset}"
done
