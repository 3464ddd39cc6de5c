#!/usr/bin/env bash
# Sets up a fresh Debian machine, builds the optimised programs, builds
# everything with AddressSanitizer and UndefinedBehaviorSanitizer, runs every
# test (the package test packs the optimised build), fuzzes the .exp and
# formula readers for a bounded time, and checks that the benchmark program
# runs.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh

WERROR=OFF
if [[ "${CI:-}" == "true" ]]; then WERROR=ON; fi

# The optimised build, with the hardening flags the Debian package is built
# with: the benchmark runs it, and the package test packs it.
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILLMARK_WERROR="$WERROR" -DQUILLMARK_TESTS=OFF
cmake --build build -j2

# Every test, sanitized.
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DQUILLMARK_SANITIZE=ON \
  -DQUILLMARK_WERROR="$WERROR" -DQUILLMARK_BENCH=OFF -DQUILLMARK_PACKAGE_BUILD="$PWD/build"
cmake --build build-asan -j2
(cd build-asan && ctest --output-on-failure --timeout 600 -j2)

# The .exp reader under libFuzzer.
FUZZ_SECONDS="${QUILLMARK_FUZZ_SECONDS:-60}"
fuzz/run_fuzz.sh "$FUZZ_SECONDS"

# The benchmark program of the optimised build.
QT_QPA_PLATFORM=offscreen build/bin/corvel-quillmark-bench --quick
