#!/usr/bin/env bash
# Runs a libFuzzer target for SECONDS. New inputs go to WORKDIR/corpus and crashes to
# WORKDIR/artifacts; the seed directories (the fuzzer's corpus/ in the sources, test fixtures,
# the example tables) are only read. Options for libFuzzer (a -dict=, a -max_len= above the
# default) follow the seed directories.
#   run_fuzzer.sh FUZZER SECONDS WORKDIR [SEED_DIR...] [-libFuzzer_option=value...]
set -euo pipefail
fuzzer="$1" seconds="$2" work="$3"
shift 3
mkdir -p "$work/corpus" "$work/artifacts"
exec "$fuzzer" "$work/corpus" -max_len=16384 "$@" -max_total_time="$seconds" -timeout=10 \
  -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$work/artifacts/"
