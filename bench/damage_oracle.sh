#!/usr/bin/env bash
# Runs the honesty oracle (tests/damage/damage_oracle_test.cpp) over many seeded damaged copies of the real files
# and the fixtures, then prints the copies by kind of damage and outcome; "silent" copies changed a table's rows
# without the report naming it, "document" copies kept a document's whole name with other bytes.
#   bench/damage_oracle.sh [COPIES_PER_FILE [FIRST_COPY]]     (default 300 copies per file from copy 0)
# Environment: BRINDLEMOOR_ORACLE_JOBS (copies at once, default: the processors), BRINDLEMOOR_ORACLE_FILES (only
# the files whose name holds this text), BRINDLEMOOR_ORACLE_TIMEOUT (seconds per copy), BUILD (default build/).
# Every failing copy's line (with its replay command) is kept in OUT/failures.txt, the whole output in
# OUT/oracle.log (OUT: BRINDLEMOOR_ORACLE_OUT, default a new folder under /tmp).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
copies="${1:-300}"
first="${2:-0}"
binary="${BUILD:-$root/build}/tests/damage_oracle_test"
[ -x "$binary" ] || { echo "no $binary: build first (cmake --build build --target damage_oracle_test)" >&2; exit 2; }
out="${BRINDLEMOOR_ORACLE_OUT:-$(mktemp -d /tmp/brindlemoor-oracle.XXXXXX)}"
mkdir -p "$out"

start=$(date +%s)
BRINDLEMOOR_ORACLE_COPIES="$copies" BRINDLEMOOR_ORACLE_FIRST="$first" \
  BRINDLEMOOR_ORACLE_JOBS="${BRINDLEMOOR_ORACLE_JOBS:-$(nproc)}" \
  "$binary" --gtest_filter='DamageOracle.*' >"$out/oracle.log" 2>&1 || true
seconds=$(( $(date +%s) - start ))

grep -E '^\[ (silent|document|crashed|hung) +\]' "$out/oracle.log" >"$out/failures.txt" || true
grep -E '^\[ oracle   \] [^ ]+ \(' "$out/oracle.log" || true
echo
awk -F'\t' -v seconds="$seconds" '
  /^ORACLE-TALLY/ {
    if (!($2 in seen)) { seen[$2] = 1; order[++kinds] = $2 }
    for (i = 3; i <= 9; i++) { n[$2, i] += $i; total[i] += $i }
  }
  END {
    split("unchanged named no-catalogue silent document crashed hung", names, " ")
    printf "%-15s %7s", "kind", "copies"
    for (i = 1; i <= 7; i++) printf " %12s", names[i]
    printf "\n"
    for (k = 1; k <= kinds; k++) {
      kind = order[k]; copies = 0
      for (i = 3; i <= 9; i++) copies += n[kind, i]
      printf "%-15s %7d", kind, copies
      for (i = 3; i <= 9; i++) printf " %12d", n[kind, i]
      printf "\n"
    }
    copies = 0
    for (i = 3; i <= 9; i++) copies += total[i]
    printf "%-15s %7d", "all", copies
    for (i = 3; i <= 9; i++) printf " %12d", total[i]
    printf "\n\n%d copies in %d s\n", copies, seconds
  }' "$out/oracle.log"
echo "failing copies: $out/failures.txt ($(wc -l <"$out/failures.txt") lines); whole output: $out/oracle.log"
