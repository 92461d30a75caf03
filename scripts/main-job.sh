#!/usr/bin/env bash
# Builds the audit executable in release mode and runs it, showing its report.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/ensure-packages.sh
cmake --preset release >/dev/null
cmake --build --preset release
exec ./build/release/bin/shield_stance_backhand_audit --show-output "$@"
