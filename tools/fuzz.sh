#!/usr/bin/env bash
# Builds every fuzz/fuzz_*.cpp with clang++ (libFuzzer, AddressSanitizer,
# UBSan) into build-fuzz/ and runs each for SECONDS (first argument, default
# 30) against its seed corpus, FUZZ_JOBS targets at a time (default: half the
# cores, at most 4). A target's source says on header lines
#   // fuzz-kind: parse | physics    (the executions a second it must reach:
#                                     1000 parse-only, 20 physics)
#   // fuzz-corpus: NAME             (seeds in fuzz/corpus/NAME/, default the
#                                     name without fuzz_)
#   // fuzz-dict: NAME               (fuzz/NAME.dict, default the corpus name)
# New inputs go to build-fuzz/corpus/<target>/ (the seed folders are only
# read), crashes to build-fuzz/artifacts/, each target's log to
# build-fuzz/logs/. The targets' own standard-error output is closed
# (sanitizer reports still show in the log). At the end a table gives each
# target's executions, executions a second and result.
#
# The exit status is non-zero when a build fails or any target finds a
# fault (crash, sanitizer report, leak, timeout). A rate below the target's
# floor is marked "slow" in the table; with FUZZ_CHECK_RATE=1 it fails the
# run too (off by default: on a busy machine the rate says more about the
# machine than the code).
set -eu

SECONDS_EACH=${1:-30}
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=$ROOT/build-fuzz
CORES=$(nproc 2>/dev/null || echo 2)
DEFAULT_JOBS=$((CORES / 2))
[ "$DEFAULT_JOBS" -ge 1 ] || DEFAULT_JOBS=1
[ "$DEFAULT_JOBS" -le 4 ] || DEFAULT_JOBS=4
JOBS=${FUZZ_JOBS:-$DEFAULT_JOBS}
CHECK_RATE=${FUZZ_CHECK_RATE:-0}

cmake -S "$ROOT/fuzz" -B "$BUILD" -DCMAKE_CXX_COMPILER=clang++ \
      -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$BUILD" -j "$CORES"

mkdir -p "$BUILD/artifacts" "$BUILD/logs"

# The value of a "// fuzz-KEY: value" header line of a source (or "").
header() {
    sed -n "s|^// fuzz-$2:[ ]*||p" "$1" | head -n 1
}

# Runs one target; writes its log and a result line "name kind units rate
# status" to logs/<name>.result.
run_target() {
    src=$1
    name=$(basename "$src" .cpp)
    short=${name#fuzz_}
    kind=$(header "$src" kind)
    [ -n "$kind" ] || kind=parse
    corpus=$(header "$src" corpus)
    [ -n "$corpus" ] || corpus=$short
    dict=$(header "$src" dict)
    [ -n "$dict" ] || dict=$corpus
    seeds=$ROOT/fuzz/corpus/$corpus
    work=$BUILD/corpus/$name
    log=$BUILD/logs/$name.log
    mkdir -p "$work"
    set -- "$BUILD/$name" -max_total_time="$SECONDS_EACH" -max_len=8192 -timeout=25 \
           -close_fd_mask=2 -print_final_stats=1 -artifact_prefix="$BUILD/artifacts/$name-"
    if [ -f "$ROOT/fuzz/$dict.dict" ]; then
        set -- "$@" -dict="$ROOT/fuzz/$dict.dict"
    fi
    set -- "$@" "$work"
    if [ -d "$seeds" ]; then
        set -- "$@" "$seeds"
    fi
    status=ok
    if ! ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 "$@" >"$log" 2>&1; then
        status=FAULT
    fi
    units=$(sed -n 's/^stat::number_of_executed_units:[ ]*//p' "$log" | tail -n 1)
    rate=$(sed -n 's/^stat::average_exec_per_sec:[ ]*//p' "$log" | tail -n 1)
    [ -n "$units" ] || units=0
    [ -n "$rate" ] || rate=0
    if [ "$kind" = physics ]; then floor=20; else floor=1000; fi
    if [ "$status" = ok ] && [ "$rate" -lt "$floor" ]; then
        status=slow
    fi
    echo "$name $kind $units $rate $floor $status" >"$BUILD/logs/$name.result"
    echo "== $name done: $units runs, $rate/s ($status)"
}

rm -f "$BUILD"/logs/*.result
running=0
for src in "$ROOT"/fuzz/fuzz_*.cpp; do
    [ -e "$src" ] || continue
    echo "== $(basename "$src" .cpp) for ${SECONDS_EACH}s"
    run_target "$src" &
    running=$((running + 1))
    if [ "$running" -ge "$JOBS" ]; then
        wait -n || true
        running=$((running - 1))
    fi
done
wait

failed=0
echo
printf '%-24s %-8s %10s %8s %8s  %s\n' target kind runs 'runs/s' 'floor/s' result
for r in "$BUILD"/logs/*.result; do
    [ -e "$r" ] || continue
    read -r name kind units rate floor status <"$r"
    printf '%-24s %-8s %10s %8s %8s  %s\n' "$name" "$kind" "$units" "$rate" "$floor" "$status"
    case $status in
    FAULT)
        failed=1
        unit=$(sed -n 's/.*Test unit written to //p' "$BUILD/logs/$name.log" | head -n 1)
        what=$(grep -m 1 -E 'runtime error|ERROR: |INTERNAL ERROR' "$BUILD/logs/$name.log" || true)
        echo "   $name: ${what:-fault}" >&2
        echo "   input ${unit:-(none written)}, log $BUILD/logs/$name.log" >&2
        ;;
    slow)
        [ "$CHECK_RATE" = 1 ] && failed=1
        ;;
    esac
done
exit $failed
