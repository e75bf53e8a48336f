#!/usr/bin/env bash
# Runs two shell commands as whole processes, in turn (A B A B ...), and
# prints for each one the median of its wall time, its CPU time (user + sys,
# the process and everything it waited for) and its peak resident memory,
# then the median of the pairwise ratios A/B of each. Pairing keeps the
# ratios fair when the machine's speed drifts, as it does when others share
# it; CPU time and peak memory drift far less than wall time.
#   bench/compare.sh RUNS 'COMMAND A' 'COMMAND B'
# Each command runs through `bash -c` with its output thrown away. Needs GNU
# time at /usr/bin/time (scripts/install-deps.sh --bench).
set -euo pipefail

(($# == 3)) || { echo "usage: $0 RUNS 'COMMAND A' 'COMMAND B'" >&2; exit 2; }
runs=$1 a=$2 b=$3
[[ -x /usr/bin/time ]] || { echo "$0: GNU time is missing (scripts/install-deps.sh --bench)" >&2; exit 1; }

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# One run: "WALL CPU PEAK" in seconds, seconds and KiB. Bash's `time` gives
# the CPU time to the millisecond; GNU time gives the peak memory.
measure() {
  local TIMEFORMAT='%3R %3U %3S'
  { time /usr/bin/time -f %M -o "$scratch/peak" bash -c "$1" >/dev/null 2>&1; } 2>"$scratch/times" ||
    { echo "failed: $1" >&2; exit 1; }
  local wall user sys
  read -r wall user sys <"$scratch/times"
  echo "$wall $(awk -v u="$user" -v s="$sys" 'BEGIN { printf "%.3f", u + s }') $(tail -n 1 "$scratch/peak")"
}

median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
column() { awk -v c="$1" '{ print $c }' "$2"; }

measure "$a" >/dev/null  # warm-up: caches and page tables
measure "$b" >/dev/null
for ((i = 0; i < runs; i++)); do
  ra=$(measure "$a") rb=$(measure "$b")
  echo "$ra" >>"$scratch/a"
  echo "$rb" >>"$scratch/b"
  paste -d ' ' <(echo "$ra") <(echo "$rb") |
    awk '{ printf "%.6f %.6f %.6f\n", $1 / $4, $2 / $5, $3 / $6 }' >>"$scratch/ratios"
done
for side in a b; do
  printf '%s median %.3f s wall, %.3f s CPU, %.1f MiB peak   %s\n' "${side^^}" \
    "$(column 1 "$scratch/$side" | median)" "$(column 2 "$scratch/$side" | median)" \
    "$(column 3 "$scratch/$side" | median | awk '{ print $1 / 1024 }')" "$([[ $side == a ]] && echo "$a" || echo "$b")"
done
printf 'A/B median: wall %.3f, CPU %.3f, peak memory %.3f (%d pairs)\n' "$(column 1 "$scratch/ratios" | median)" \
  "$(column 2 "$scratch/ratios" | median)" "$(column 3 "$scratch/ratios" | median)" "$runs"
