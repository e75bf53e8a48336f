#!/usr/bin/env bash
# Times two shell commands as whole processes, in turn (A B A B ...), and
# prints each one's median wall time and the median of the pairwise ratios
# A/B. Pairing keeps the ratio fair when the machine's speed drifts.
#   bench/compare.sh RUNS 'COMMAND A' 'COMMAND B'
# Each command runs through `bash -c` with its output thrown away.
set -euo pipefail

(($# == 3)) || { echo "usage: $0 RUNS 'COMMAND A' 'COMMAND B'" >&2; exit 2; }
runs=$1 a=$2 b=$3

seconds() {
  local start end
  start=$(date +%s.%N)
  bash -c "$1" >/dev/null 2>&1 || { echo "failed: $1" >&2; exit 1; }
  end=$(date +%s.%N)
  awk -v s="$start" -v e="$end" 'BEGIN { printf "%.6f\n", e - s }'
}

median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

seconds "$a" >/dev/null  # warm-up: caches and page tables
seconds "$b" >/dev/null
as=() bs=() ratios=()
for ((i = 0; i < runs; i++)); do
  ta=$(seconds "$a")
  tb=$(seconds "$b")
  as+=("$ta") bs+=("$tb") ratios+=("$(awk -v a="$ta" -v b="$tb" 'BEGIN { printf "%.6f\n", a / b }')")
done
printf 'A median %.3f s   %s\n' "$(printf '%s\n' "${as[@]}" | median)" "$a"
printf 'B median %.3f s   %s\n' "$(printf '%s\n' "${bs[@]}" | median)" "$b"
printf 'A/B median %.3f (%d pairs)\n' "$(printf '%s\n' "${ratios[@]}" | median)" "$runs"
