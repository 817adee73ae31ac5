#!/usr/bin/env bash
# Runs a command with its reads from the disk that holds FILE limited to RATE bytes a second, so that an
# uncached benchmark meets a disk of a known pace even where the host keeps the disk's blocks in its own cache.
# Needs root and the cgroup v1 blkio controller (/sys/fs/cgroup/blkio).
#   bench/slow_disk.sh RATE FILE COMMAND...      e.g. bench/slow_disk.sh 1073741824 /tmp/brindlemoor-bench/large.mdf \
#                                                   build/bin/large_file_bench --benchmark_filter='Scan.*warm:0'
set -euo pipefail
[ $# -ge 3 ] || { sed -n 2,6p "$0"; exit 2; }
rate=$1 file=$2; shift 2
source=$(findmnt -no SOURCE -T "$file")
disk=$(lsblk -no PKNAME "$source" 2>/dev/null | head -1)
[ -n "$disk" ] && source=/dev/$disk
device=$(lsblk -dno MAJ:MIN "$source" | tr -d ' ')
group=/sys/fs/cgroup/blkio/brindlemoor-slow-disk
mkdir -p "$group"
echo "$device $rate" > "$group/blkio.throttle.read_bps_device"
echo $$ > "$group/tasks"
exec "$@"
