#!/bin/sh
# Builds every fuzz/fuzz_*.cpp with clang++ (libFuzzer, AddressSanitizer,
# UBSan) into build-fuzz/ and runs each for SECONDS (first argument, default
# 30) against its seed corpus fuzz/corpus/<name without fuzz_>/. New inputs
# go to build-fuzz/corpus/, crashes to build-fuzz/artifacts/. The targets'
# own standard-error output is closed (sanitizer reports still show). The
# exit status is non-zero when a build fails or any target finds a fault.
set -eu

SECONDS_EACH=${1:-30}
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=$ROOT/build-fuzz
JOBS=$(nproc 2>/dev/null || echo 2)

cmake -S "$ROOT/fuzz" -B "$BUILD" -DCMAKE_CXX_COMPILER=clang++ \
      -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$BUILD" -j "$JOBS"

status=0
for src in "$ROOT"/fuzz/fuzz_*.cpp; do
    [ -e "$src" ] || continue
    name=$(basename "$src" .cpp)
    short=${name#fuzz_}
    seeds=$ROOT/fuzz/corpus/$short
    work=$BUILD/corpus/$short
    mkdir -p "$work" "$BUILD/artifacts"
    set -- "$BUILD/$name" -max_total_time="$SECONDS_EACH" -max_len=8192 \
           -close_fd_mask=2 -print_final_stats=1 -artifact_prefix="$BUILD/artifacts/$name-"
    if [ -f "$ROOT/fuzz/$short.dict" ]; then
        set -- "$@" -dict="$ROOT/fuzz/$short.dict"
    fi
    set -- "$@" "$work"
    if [ -d "$seeds" ]; then
        set -- "$@" "$seeds"
    fi
    echo "== $name for ${SECONDS_EACH}s"
    if ! ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 "$@"; then
        echo "== $name FAILED (see $BUILD/artifacts/)" >&2
        status=1
    fi
done
exit $status
