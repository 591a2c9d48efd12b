#!/bin/sh
# Runs one libFuzzer target of build-fuzz for a bounded time and prints its final figures.
#   fuzz/run-libfuzzer.sh TARGET [SECONDS]     (from the repository root)
# ORV_FUZZ_RUNS=N stops after N executions if that comes first (the goal is 10,000,000 or one
# hour). ORV_FUZZ_TIMEOUT (seconds, default 10) is libFuzzer's per-input alarm, which counts
# wall-clock time: raise it when the run is niced on a busy machine. The scratch files of ini_reader and wave_reader go to $TMPDIR; /dev/shm saves disk I/O.
# New inputs go to build-fuzz/work/corpus-TARGET (the seed corpus in fuzz/corpus/TARGET is only
# read). Inputs are cut at ORV_FUZZ_MAX_LEN bytes (default 12000: a 10,000-character module line
# fits; the 64 KiB overflow seed is left to the replay test). A crash, leak, time-out or
# out-of-memory input is left as build-fuzz/work/TARGET-crash-* (leak-*, timeout-*, oom-*).
set -eu
t=$1
seconds=${2:-120}
work=build-fuzz/work
mkdir -p "$work/corpus-$t"
status=0
runs=${ORV_FUZZ_RUNS:--1}
build-fuzz/bin/fuzz_"$t" -max_total_time="$seconds" -runs="$runs" -rss_limit_mb=1024 \
    -timeout="${ORV_FUZZ_TIMEOUT:-10}" -max_len="${ORV_FUZZ_MAX_LEN:-12000}" \
    -print_final_stats=1 -artifact_prefix="$work/$t-" \
    "$work/corpus-$t" fuzz/corpus/"$t" > "$work/$t.log" 2>&1 || status=$?
grep -E '^(Done|stat::(number_of_executed_units|average_exec_per_sec|peak_rss_mb)|#[0-9]+.*DONE)' \
    "$work/$t.log" | sed "s/^/$t: /"
[ "$status" -eq 0 ] || echo "$t: exit $status, see $work/$t.log"
exit "$status"
