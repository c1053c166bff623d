#!/usr/bin/env bash
# Installs what is missing, builds with warnings as errors and runs every test (unit, db, interop,
# gui). Database tests start their own PostgreSQL server in a temporary folder. Exits non-zero on
# any failure.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
QUORVIN_CMAKE_ARGS="-DQUORVIN_WERROR=ON ${QUORVIN_CMAKE_ARGS:-}" "$root/scripts/build.sh"
cd "$root/build"
export QT_QPA_PLATFORM=offscreen
ctest --output-on-failure --timeout 600 -j"$(nproc)"
