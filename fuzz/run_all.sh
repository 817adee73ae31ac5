#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (AddressSanitizer and UndefinedBehaviorSanitizer) and runs each for
# DURATION_SECONDS, a few at a time, then prints executions, coverage and findings per target.
#   fuzz/run_all.sh DURATION_SECONDS [TARGET...]
# Environment: BRINDLEMOOR_FUZZ_BUILD (build folder, default ../build-fuzz beside the project),
# BRINDLEMOOR_CORPUS (real data files for seeds, default ../shared/corpus), FUZZ_PARALLEL (targets run at once,
# default 2). Inputs found interesting are kept in BUILD/fuzz-corpus/<target>, crashes in BUILD/fuzz-artifacts.
# Exits non-zero when any target found a crash, a leak, a sanitizer report or a time-out.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(dirname "$here")"
duration="${1:?usage: fuzz/run_all.sh DURATION_SECONDS [TARGET...]}"
shift
build="${BRINDLEMOOR_FUZZ_BUILD:-$root/../build-fuzz}"
corpus="${BRINDLEMOOR_CORPUS:-$root/../shared/corpus}"
parallel="${FUZZ_PARALLEL:-2}"

# target name and largest input (bytes)
declare -A max_len=(
  [record_listing]=8200
  [row_decoder]=16400
  [large_value]=40000
  [catalog]=450000
  [sharepoint_tree]=40000
)
all_targets=(record_listing row_decoder large_value catalog sharepoint_tree)
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then targets=("${all_targets[@]}"); fi

CC=clang CXX=clang++ cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBRINDLEMOOR_GUI=OFF \
  -DBRINDLEMOOR_BENCH=OFF -DBUILD_TESTING=ON -DBRINDLEMOOR_FUZZ=ON >/dev/null
build_list=(make_seeds)
for t in "${targets[@]}"; do build_list+=("${t}_fuzzer"); done
cmake --build "$build" -j "${BUILD_JOBS:-4}" --target "${build_list[@]}"

"$build/fuzz/make_seeds" "$build/fuzz-seeds" "$corpus"
mkdir -p "$build/fuzz-artifacts" "$build/fuzz-logs"

run_one() {
  local t="$1"
  mkdir -p "$build/fuzz-corpus/$t" "$build/fuzz-seeds/$t"
  # -timeout marks an input that runs over 10 s as a hang.
  "$build/fuzz/${t}_fuzzer" -max_len="${max_len[$t]}" -max_total_time="$duration" -timeout=10 -rss_limit_mb=4096 \
    -print_final_stats=1 -artifact_prefix="$build/fuzz-artifacts/$t-" \
    "$build/fuzz-corpus/$t" "$build/fuzz-seeds/$t" >"$build/fuzz-logs/$t.log" 2>&1 || true
}

running=0
for t in "${targets[@]}"; do
  run_one "$t" &
  running=$((running + 1))
  if [ "$running" -ge "$parallel" ]; then wait -n || true; running=$((running - 1)); fi
done
wait

status=0
printf '%-18s %12s %10s %8s %8s  %s\n' target executions exec/s cov ft findings
for t in "${targets[@]}"; do
  log="$build/fuzz-logs/$t.log"
  execs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' || echo '?')
  rate=$(grep -o 'stat::average_exec_per_sec: *[0-9]*' "$log" | grep -o '[0-9]*$' || echo '?')
  cov=$(grep -o 'cov: [0-9]*' "$log" | tail -1 | grep -o '[0-9]*' || echo '?')
  ft=$(grep -o 'ft: [0-9]*' "$log" | tail -1 | grep -o '[0-9]*' || echo '?')
  findings=$(grep -cE '^==[0-9]+== ?ERROR|runtime error:|ALARM: working on the last Unit|check failed:' "$log" || true)
  printf '%-18s %12s %10s %8s %8s  %s\n' "$t" "$execs" "$rate" "$cov" "$ft" "$findings"
  if [ "$findings" != "0" ]; then status=1; fi
done
exit $status
