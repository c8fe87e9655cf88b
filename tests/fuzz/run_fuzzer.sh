#!/usr/bin/env bash
# Runs one of our libFuzzer targets for SECONDS. New inputs go to WORKDIR/corpus and crashes to
# WORKDIR/artifacts; the seed folders are only read. Options for libFuzzer (a dictionary, the
# largest input) come last.
#   run_fuzzer.sh FUZZER SECONDS WORKDIR [SEED_DIR...] [-libFuzzer_option=value...]
set -euo pipefail
fuzzer="$1" seconds="$2" work="$3"
shift 3
mkdir -p "$work/corpus" "$work/artifacts"
exec "$fuzzer" "$work/corpus" "$@" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
  -print_final_stats=1 -artifact_prefix="$work/artifacts/"
