#!/usr/bin/env bash
# Whole-process pairs, pinned, in turns (A B A B ...), each pair's ratio A/B, then the median and the minimum of
# the ratios and of each side's wall time, with the load average before and after.
#   bench/process_pairs.sh scan-cold FILE [RUNS]  catalog_dump FILE against cat FILE, both from an uncached file
#   bench/process_pairs.sh scan-warm FILE [RUNS]  the same with the file in the page cache
#   bench/process_pairs.sh save FILE OUT [RUNS]   plain writes of the saved tree (cp -r of a copy on OUT's file
#                                                 system) against catalog_dump --documents into OUT (tmpfs: /dev/shm/...)
#   bench/process_pairs.sh ab 'CMD A' 'CMD B' [RUNS] [FILE]  any two commands (FILE: uncached before each)
# Environment: CPUS (taskset list, default 0-3), CATALOG_DUMP (default build/bin/catalog_dump), PREP (a shell
# command run untimed before each timed one, in ab mode).
# An uncached file is made so with `dd iflag=nocache count=0` (the system drops the file's cached pages; no
# privilege needed); check with fincore when in doubt.
set -euo pipefail
cd "$(dirname "$0")/.."
[ $# -ge 2 ] || { sed -n 2,12p "$0"; exit 2; }
cpus=${CPUS:-0-3}
dump=${CATALOG_DUMP:-build/bin/catalog_dump}
mode=$1
shift

evict() { dd if="$1" iflag=nocache count=0 status=none; }
now() { date +%s%N; }
# Runs the shell command $1 pinned, output thrown away; prints its wall time in seconds. $prep runs first, untimed.
prep=${PREP:-:}
timed() {
    local start end
    sh -c "$prep"
    start=$(now)
    taskset -c "$cpus" sh -c "$1" >/dev/null 2>&1 || true
    end=$(now)
    echo "scale=4; ($end - $start) / 1000000000" | bc
}
stats() {  # median and minimum of the numbers on stdin
    sort -g | awk '{ v[NR] = $1 } END { m = (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2; printf "median %.3f  min %.3f", m, v[1] }'
}

a_times=() b_times=() ratios=()
pair() {  # pair COLD_FILE 'A' 'B' (cold file empty: warm)
    local cold=$1 a=$2 b=$3 ta tb
    if [ $(( ${#ratios[@]} % 2 )) -eq 0 ]; then
        [ -n "$cold" ] && evict "$cold"
        ta=$(timed "$a")
        [ -n "$cold" ] && evict "$cold"
        tb=$(timed "$b")
    else
        [ -n "$cold" ] && evict "$cold"
        tb=$(timed "$b")
        [ -n "$cold" ] && evict "$cold"
        ta=$(timed "$a")
    fi
    a_times+=("$ta") b_times+=("$tb") ratios+=("$(echo "scale=4; $ta / $tb" | bc)")
}

echo "load before: $(cut -d' ' -f1-3 /proc/loadavg); pinned to CPUs $cpus"
case $mode in
    scan-cold | scan-warm)
        file=$1 runs=${2:-7}
        cold=$file
        [ "$mode" = scan-warm ] && { cold=; cat "$file" >/dev/null; }
        a="$dump '$file'" b="cat '$file'"
        for _ in $(seq "$runs"); do pair "$cold" "$a" "$b"; done
        ;;
    save)
        file=$1 out=$2 runs=${3:-5}
        rm -rf "$out" && mkdir -p "$out/source"
        taskset -c "$cpus" "$dump" --documents "$out/source" "$file" >/dev/null 2>&1 || true
        prep="rm -rf '$out/save' '$out/copy' && mkdir '$out/save'"
        a="cp -r '$out/source' '$out/copy'"
        b="$dump --documents '$out/save' '$file'"
        for _ in $(seq "$runs"); do pair "" "$a" "$b"; done  # ratio: plain writes / save
        rm -rf "$out"
        ;;
    ab)
        a=$1 b=$2 runs=${3:-7} cold=${4:-}
        for _ in $(seq "$runs"); do pair "$cold" "$a" "$b"; done
        ;;
    *) sed -n 2,12p "$0"; exit 2 ;;
esac
echo "A: $a"
echo "B: $b"
echo "A wall s: $(printf '%s\n' "${a_times[@]}" | stats)   (${a_times[*]})"
echo "B wall s: $(printf '%s\n' "${b_times[@]}" | stats)   (${b_times[*]})"
echo "A/B ratio: $(printf '%s\n' "${ratios[@]}" | stats)   (${ratios[*]})"
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"
