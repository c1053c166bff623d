#!/usr/bin/env bash
# Configures and builds Quorvin into build/ (the application folder is build/quorvin/).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
cmake -S "$root" -B "$root/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo ${QUORVIN_CMAKE_ARGS:-} >/dev/null
cmake --build "$root/build" -j"$(nproc)"
