#!/usr/bin/env bash
# Builds the project and runs every test:
#   0. the layout of every C++ source against .clang-format (scripts/format.sh);
#   1. the debug build with g++ (every unit, end-to-end and corpus-replay test);
#   2. the AddressSanitizer + UndefinedBehaviorSanitizer build with clang++ (the same tests);
#   then the library package: installed as a static and as a shared library and
#   used from outside the project through CMake and pkg-config, and embedded
#   through add_subdirectory and FetchContent (scripts/package-check.sh);
#   3. each fuzz harness for a short while (QUORVANE_FUZZ_SECONDS, default 20 s each);
#   4. the ThreadSanitizer build: the runner's, the audit's and the archive
#      tool's end-to-end tests, the batch reads and the concurrent fetches.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/ensure-packages.sh
export CMAKE_BUILD_PARALLEL_LEVEL="${CMAKE_BUILD_PARALLEL_LEVEL:-2}"
echo "== format =="
bash scripts/format.sh
for preset in dev asan-ubsan; do
  echo "== ${preset} =="
  cmake --workflow --preset "${preset}"
done

echo "== package =="
bash scripts/package-check.sh

echo "== fuzz =="
bash scripts/fuzz.sh -t "${QUORVANE_FUZZ_SECONDS:-20}"

echo "== tsan =="
cmake --preset tsan
cmake --build --preset tsan
ctest --preset tsan -R 'Runner|Fixture|E2e|e2e|Fetch|Batch|PortalDat|Hostile|Audit|audit|Concurren|Thread'
