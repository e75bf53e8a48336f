#!/usr/bin/env bash
# Extraction speed against the lhasa program, whole process, side by side:
# velarium-tool extract (A) and `lhasa x` (B) unpack the same archive into
# fresh folders.
#   bench/lha_extract_speed.sh [ARCHIVE ...]
# Without archives: the 50 MB stored archive made by the corpus's generator
# and the multi-folder jlha archive. Uses build/ (scripts/build.sh).
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
tool=$root/build/tools/velarium-tool/velarium-tool
corpus=$root/../shared/corpus/lha
[[ -x $tool ]] || { echo "build the project first (scripts/build.sh)" >&2; exit 1; }
"$root/scripts/install-deps.sh" --bench

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
archives=("$@")
if ((${#archives[@]} == 0)); then
  python3 "$corpus/tools/make_crafted.py" "$work" --large-only >/dev/null
  archives=("$work/large_stored.lzh" "$corpus/jlha/multi_lh5_l2.lzh")
fi
for archive in "${archives[@]}"; do
  archive=$(realpath "$archive")
  echo "== $archive"
  "$root/bench/compare.sh" 11 \
    "rm -rf '$work/a' && '$tool' extract '$archive' -o '$work/a'" \
    "rm -rf '$work/b' && mkdir '$work/b' && cd '$work/b' && lhasa x '$archive'"
done
