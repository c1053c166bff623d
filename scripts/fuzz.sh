#!/usr/bin/env bash
# Builds the fuzz targets (clang, libFuzzer, AddressSanitizer and UBSan) into build-fuzz/ and runs
# each for a chosen time: scripts/fuzz.sh [SECONDS_PER_TARGET] [TARGET...]  (default 60 s, all).
# The inputs in fuzz/regressions/TARGET are replayed first; then the target mutates its seeds
# (fuzz/corpus/TARGET) into a working corpus in build-fuzz/corpus/TARGET. A crash, a sanitizer
# report (leaks included), a hang or a memory blow-up is saved in build-fuzz/findings/ and makes the script fail.
# FUZZ_JOBS sets the build's parallel jobs (default: the number of cores).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
shift || true
build="$root/build-fuzz"
all=(fuzz_expand fuzz_evaluator fuzz_variable_file fuzz_json_data fuzz_xml_records fuzz_package fuzz_ini_file)
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=("${all[@]}")

launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ "${launcher[@]}" \
    -DQUORVIN_FUZZ=ON -DQUORVIN_BUILD_TESTS=OFF -DQUORVIN_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j"${FUZZ_JOBS:-$(nproc)}" --target "${targets[@]}"

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-halt_on_error=1:print_stacktrace=1}
export QT_QPA_PLATFORM=offscreen
mkdir -p "$build/findings"
failed=()
for t in "${targets[@]}"; do
    name=${t#fuzz_}
    bin="$build/fuzz-bin/$t"
    work="$build/corpus/$name"
    mkdir -p "$work"
    regressions=("$root/fuzz/regressions/$name"/*)
    if [ -e "${regressions[0]}" ]; then
        echo "== $t: replaying ${#regressions[@]} regression input(s)"
        if ! "$bin" -timeout=20 -rss_limit_mb=2048 "${regressions[@]}" >"$build/findings/$name-regressions.log" 2>&1; then
            echo "!! $t fails on a regression input; see $build/findings/$name-regressions.log"
            failed+=("$t")
            continue
        fi
    fi
    echo "== $t: fuzzing for $seconds s"
    if ! "$bin" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2048 -max_len=16384 -print_final_stats=1 \
        -artifact_prefix="$build/findings/$name-" "$work" "$root/fuzz/corpus/$name" \
        >"$build/findings/$name.log" 2>&1; then
        echo "!! $t found a fault; see $build/findings/$name.log"
        failed+=("$t")
    fi
    grep -E "stat::number_of_executed_units|stat::peak_rss_mb" "$build/findings/$name.log" | sed "s/^/   /" || true
done
if [ ${#failed[@]} -gt 0 ]; then
    echo "Fuzzing failed: ${failed[*]}"
    exit 1
fi
echo "Fuzzing passed: ${targets[*]}"
