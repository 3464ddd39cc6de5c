#!/usr/bin/env bash
# Builds the .exp reader's fuzzer with clang (ASan + UBSan + libFuzzer) and
# runs it for a bounded time on a copy of the seed corpus and of every
# stored regression file. Exits non-zero on any crash, leak, sanitizer
# report, timeout or allocation out of proportion to the input.
#
#   fuzz/run_fuzz.sh [seconds]          default 60
#
# QUILLMARK_FUZZ_BUILD_DIR  build folder (default <repo>/build-fuzz)
# QUILLMARK_FUZZ_JOBS       build parallelism (default 2)
set -euo pipefail

seconds="${1:-60}"
if ! [[ "$seconds" =~ ^[1-9][0-9]*$ ]]; then
    echo "usage: $0 [seconds]" >&2
    exit 2
fi

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${QUILLMARK_FUZZ_BUILD_DIR:-$root/build-fuzz}"
jobs="${QUILLMARK_FUZZ_JOBS:-2}"

echo "== configuring $build"
mkdir -p "$build"
cmake -S "$root" -B "$build" \
    -DCMAKE_CXX_COMPILER=clang++ \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DQUILLMARK_FUZZ=ON -DQUILLMARK_TESTS=OFF -DQUILLMARK_BENCH=OFF -DQUILLMARK_SANITIZE=OFF \
    >"$build/configure.log" 2>&1 || { cat "$build/configure.log" >&2; exit 1; }
echo "== building fuzz_expcodec"
cmake --build "$build" --target fuzz_expcodec -j "$jobs"
fuzzer="$build/fuzz/fuzz_expcodec"

work="$(mktemp -d "${TMPDIR:-/tmp}/quillmark-fuzz.XXXXXX")"
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/corpus" "$work/artifacts"
cp "$root"/fuzz/corpus/exp/* "$work/corpus/"
shopt -s nullglob
regressions=("$root"/tests/regressions/exp/*.exp)
shopt -u nullglob
if ((${#regressions[@]})); then
    cp "${regressions[@]}" "$work/corpus/"
fi

export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:allocator_may_return_null=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
limits=(-rss_limit_mb=512 -malloc_limit_mb=256 -timeout=10)

status=0
echo "== regression files (${#regressions[@]})"
if ((${#regressions[@]})); then
    "$fuzzer" "${limits[@]}" "${regressions[@]}" >"$work/regressions.log" 2>&1 || status=$?
    if ((status != 0)); then
        cat "$work/regressions.log" >&2
    fi
fi

if ((status == 0)); then
    echo "== fuzzing for ${seconds}s"
    # The outer timeout only guards against a hung process; libFuzzer stops
    # itself after max_total_time.
    timeout --kill-after=30 $((seconds + 120)) \
        "$fuzzer" "${limits[@]}" -max_total_time="$seconds" -print_final_stats=1 \
        -artifact_prefix="$work/artifacts/" "$work/corpus" >"$work/fuzz.log" 2>&1 || status=$?
    tail -n 25 "$work/fuzz.log"
fi

if grep -qE 'runtime error:|ERROR: (AddressSanitizer|LeakSanitizer|libFuzzer)|SUMMARY: ' \
    "$work"/*.log; then
    ((status != 0)) || status=1
fi

if ((status != 0)); then
    keep="$build/fuzz-artifacts"
    mkdir -p "$keep"
    cp "$work"/artifacts/* "$keep"/ 2>/dev/null || true
    cp "$work"/*.log "$keep"/ 2>/dev/null || true
    echo "FAILED (status $status). Inputs and logs kept in $keep;" \
        "add each crashing input to tests/regressions/exp/ once fixed." >&2
    exit "$status"
fi
echo "== no crash, leak or sanitizer report"
