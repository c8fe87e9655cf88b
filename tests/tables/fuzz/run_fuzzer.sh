#!/usr/bin/env bash
# Runs one of the import fuzzers for SECONDS. New inputs go to WORKDIR/corpus and crashes to
# WORKDIR/artifacts; the seeds (corpus/ beside this script) are only read.
#   run_fuzzer.sh FUZZER SECONDS WORKDIR [-libFuzzer_option=value...]
set -euo pipefail
fuzzer="$1" seconds="$2" work="$3"
shift 3
here="$(cd "$(dirname "$0")" && pwd)"
mkdir -p "$work/corpus" "$work/artifacts"
exec "$fuzzer" "$work/corpus" "$here/corpus" "$@" -max_total_time="$seconds" -max_len=4096 \
  -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$work/artifacts/"
