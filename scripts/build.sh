#!/usr/bin/env bash
# Configures and builds Quorvin into build/ (the application folder is build/quorvin/).
# Usage: scripts/build.sh [TARGET...]   (no target: everything, tests and benchmarks included)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
cmake -S "$root" -B "$root/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo ${QUORVIN_CMAKE_ARGS:-} >/dev/null
if [ $# -gt 0 ]; then
    cmake --build "$root/build" -j"$(nproc)" --target "$@"
else
    cmake --build "$root/build" -j"$(nproc)"
fi
