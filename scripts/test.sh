#!/usr/bin/env bash
# Installs what is missing, builds with warnings as errors and runs every test (unit, db, interop,
# gui). Database tests start their own PostgreSQL server in a temporary folder. Then builds a second
# tree with AddressSanitizer and UBSan (build-asan/) and runs the same suite there, and runs each
# fuzz target briefly (scripts/fuzz.sh). Exits non-zero on any failure.
#   QUORVIN_SKIP_ASAN=1       skip the sanitizer tree
#   QUORVIN_SKIP_FUZZ=1       skip the fuzz runs
#   QUORVIN_FUZZ_SECONDS=N    seconds per fuzz target (default 20)
#   QUORVIN_ASAN_UNITY=0      build the sanitizer tree file by file instead of as a unity build
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
QUORVIN_CMAKE_ARGS="-DQUORVIN_WERROR=ON ${QUORVIN_CMAKE_ARGS:-}" "$root/scripts/build.sh"
export QT_QPA_PLATFORM=offscreen
jobs=$(nproc)
(cd "$root/build" && ctest --output-on-failure --timeout 600 -j"$jobs")

if [ "${QUORVIN_SKIP_ASAN:-0}" != 1 ]; then
    echo "== AddressSanitizer and UBSan tree"
    start=$SECONDS
    # The benchmarks are left out: they measure speed, which a sanitized build does not show.
    # Warnings are judged in the plain tree; the instrumented build only has to build. It is made
    # from scratch on every run, so up to 16 sources of a target are compiled as one (a unity
    # build): the Qt and library headers are parsed, and their inline code instrumented, once per
    # batch instead of once per file. The plain tree, which developers rebuild, stays file by file.
    unity=ON
    [ "${QUORVIN_ASAN_UNITY:-1}" = 0 ] && unity=OFF
    cmake -S "$root" -B "$root/build-asan" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUORVIN_ASAN=ON \
        -DQUORVIN_WERROR=OFF -DQUORVIN_BUILD_BENCH=OFF -DCMAKE_UNITY_BUILD=$unity \
        -DCMAKE_UNITY_BUILD_BATCH_SIZE=16 ${QUORVIN_CMAKE_ARGS:-} >/dev/null
    cmake --build "$root/build-asan" -j"$jobs"
    echo "   built in $((SECONDS - start)) s"
    # Leaks are checked by the fuzz runs; here they are not, since the test programs load ODBC
    # drivers and Qt plugins built without the sanitizer, whose allocations would be judged too.
    (cd "$root/build-asan" &&
        ASAN_OPTIONS=detect_leaks=0:abort_on_error=1:strict_string_checks=1 \
        UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
        ctest --output-on-failure --timeout 1200 -j"$jobs")
    echo "   built and tested in $((SECONDS - start)) s"
fi

if [ "${QUORVIN_SKIP_FUZZ:-0}" != 1 ]; then
    echo "== Fuzz targets"
    "$root/scripts/fuzz.sh" "${QUORVIN_FUZZ_SECONDS:-20}"
fi
