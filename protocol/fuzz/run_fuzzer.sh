#!/bin/sh
# A short libFuzzer run of one decoder's target, as the tests make it:
#   run_fuzzer.sh FUZZER SEEDS [RUNS]
# New inputs go to a corpus in the test's own home, never to SEEDS.
set -e
fuzzer=$1 seeds=$2 runs=${3:-200000}
mkdir -p "$HOME/corpus"
exec "$fuzzer" -runs="$runs" -max_total_time=120 -print_final_stats=1 "$HOME/corpus" "$seeds"
