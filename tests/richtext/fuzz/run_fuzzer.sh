#!/usr/bin/env bash
# Runs the Rich Text fuzzer for SECONDS. New inputs go to WORKDIR/corpus and crashes to
# WORKDIR/artifacts; the seeds (corpus/ beside this script and any SEED_DIR, such as the test
# fixtures) are only read.
#   run_fuzzer.sh FUZZER SECONDS WORKDIR [SEED_DIR...] [-libFuzzer_option=value...]
set -euo pipefail
fuzzer="$1" seconds="$2" work="$3"
shift 3
here="$(cd "$(dirname "$0")" && pwd)"
mkdir -p "$work/corpus" "$work/artifacts"
exec "$fuzzer" "$work/corpus" "$here/corpus" "$@" -dict="$here/rtf.dict" -max_total_time="$seconds" \
  -max_len=16384 -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
  -artifact_prefix="$work/artifacts/"
