#!/usr/bin/env bash
# The largest run that fits this machine: experiment 5 of the compiled-in
# model with many flash devices. Not part of the default bench: it writes
# about 180 bytes of output per state and holds about 32 bytes of memory per
# state, so check the free disk and memory first. Prints the states, wall
# time, peak memory and bytes per state; the output is removed afterwards.
#
#   bench/scale_largest.sh <build-dir> [devices]   (default: 20)
#
# GEN_MAX_MEMORY, when set, is passed on: a run that would outgrow it stops
# with a message instead of being killed.
set -euo pipefail

if [[ $# -lt 1 ]]; then
  echo "usage: $0 <build-dir> [devices]" >&2
  exit 2
fi
build_dir=$(cd "$1" && pwd)
devices=${2:-20}
work_parent=${TMPDIR:-/tmp}
free_kb=$(df -Pk "$work_parent" | awk 'NR == 2 { print $4 }')
mem_kb=$(awk '/^MemAvailable:/ { print $2 }' /proc/meminfo)
echo "free disk in $work_parent: $((free_kb / 1024 / 1024)) GB (room for about $((free_kb * 1024 / 180 / 1000000)) million states);" \
  "available memory: $((mem_kb / 1024 / 1024)) GB (room for about $((mem_kb * 1024 / 32 / 1000000)) million states)"
exec "$(dirname "$0")/scale.sh" "$build_dir" "$devices"
