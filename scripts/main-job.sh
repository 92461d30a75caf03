#!/usr/bin/env bash
# The main job: builds the audit executable and the sample archive tool in
# release mode, writes the synthetic sample portal.dat and runs the audit
# against it, showing its full report. A QUORVANE_PORTAL_DAT already set in
# the environment is used instead of the sample. Extra arguments go to the audit.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/ensure-packages.sh
cmake --preset release >/dev/null
cmake --build --preset release --target quorvane_audit quorvane_portal_dat_sample

if [[ -z "${QUORVANE_PORTAL_DAT:-}" ]]; then
  sample=build/release/sample/portal.dat
  ./build/release/bin/portal_dat_sample "$sample"
  export QUORVANE_PORTAL_DAT="$sample"
fi
exec ./build/release/bin/shield_stance_backhand_audit --show-output "$@"
