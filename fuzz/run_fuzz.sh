#!/usr/bin/env bash
# Builds the fuzzers with clang (ASan + UBSan + libFuzzer) and runs them for
# a bounded time in all: the .exp reader on a copy of its seed corpus and of
# every stored regression file for half of it, the formula reader on its
# seed lines for the other half. Exits non-zero on any crash, leak,
# sanitizer report, timeout or allocation out of proportion to the input.
#
#   fuzz/run_fuzz.sh [seconds]          default 60, shared by both
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
echo "== building fuzz_expcodec and fuzz_formula"
cmake --build "$build" --target fuzz_expcodec fuzz_formula -j "$jobs"
fuzzer="$build/fuzz/fuzz_expcodec"
# The time is shared: the .exp reader gets the larger half, the formula
# reader the rest (at least a second each).
exp_seconds=$(((seconds + 1) / 2))
formula_seconds=$((seconds - exp_seconds))
((formula_seconds >= 1)) || formula_seconds=1

work="$(mktemp -d "${TMPDIR:-/tmp}/quillmark-fuzz.XXXXXX")"
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/corpus" "$work/artifacts" "$work/formula-corpus"
cp "$root"/fuzz/corpus/exp/* "$work/corpus/"
cp "$root"/fuzz/corpus/formula/* "$work/formula-corpus/"
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
    echo "== fuzzing the .exp reader for ${exp_seconds}s"
    # The outer timeout only guards against a hung process; libFuzzer stops
    # itself after max_total_time.
    timeout --kill-after=30 $((exp_seconds + 120)) \
        "$fuzzer" "${limits[@]}" -max_total_time="$exp_seconds" -print_final_stats=1 \
        -artifact_prefix="$work/artifacts/" "$work/corpus" >"$work/fuzz.log" 2>&1 || status=$?
    tail -n 25 "$work/fuzz.log"
fi

if ((status == 0)); then
    echo "== fuzzing the formula reader for ${formula_seconds}s"
    timeout --kill-after=30 $((formula_seconds + 120)) \
        "$build/fuzz/fuzz_formula" "${limits[@]}" -max_len=8192 \
        -max_total_time="$formula_seconds" -print_final_stats=1 \
        -artifact_prefix="$work/artifacts/formula-" "$work/formula-corpus" \
        >"$work/fuzz-formula.log" 2>&1 || status=$?
    tail -n 25 "$work/fuzz-formula.log"
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
