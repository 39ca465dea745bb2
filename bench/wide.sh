#!/usr/bin/env bash
# Wide composed models: the compiled-in model with many flash devices (a Rep
# of that many replicas) and one replica of the data each, a small state
# space over a long state vector. Prints one row per run: devices, states,
# wall and user time, peak resident memory and the state vector's size.
#
#   bench/wide.sh <build-dir> [devices ...]     (default: 1000 10000)
#
# Each run is cut off after GEN_WIDE_LIMIT seconds (default 600), reported as
# "timeout" with the states it had announced by then.
set -euo pipefail

if [[ $# -lt 1 ]]; then
  echo "usage: $0 <build-dir> [devices ...]" >&2
  exit 2
fi
build_dir=$(cd "$1" && pwd)
shift
gen="$build_dir/gen"
if [[ ! -x "$gen" ]]; then
  echo "$0: $gen not found; build the gen target first" >&2
  exit 1
fi
sizes=("$@")
[[ ${#sizes[@]} -gt 0 ]] || sizes=(1000 10000)
limit=${GEN_WIDE_LIMIT:-600}

source "$(dirname "$0")/timing.sh" "$build_dir" wide

printf '%-8s %10s %9s %9s %10s %12s %8s\n' "devices" "states" "wall s" "user s" "peak MB" "vector bytes" "status"
for n in "${sizes[@]}"; do
  dir="$work/d$n"
  mkdir -p "$dir"
  status=ok
  # The timer measures timeout, which waits for gen: its times include gen's.
  if ! "${timer[@]}" timeout "$limit" "$gen" -P"$dir/" -Nwide -B0 -O "s:num_devices:$n" >"$dir.out" 2>"$dir.time"; then
    status=timeout
  fi
  states=$(sed -n 's/^Generated: \([0-9]*\) states$/\1/p' "$dir.out")
  if [[ -z "$states" ]]; then
    states=$( (grep -o '^_\$[0-9]*\$' "$dir.out" || true) | tail -n 1 | tr -d '_$')
  fi
  wall=$(wall_seconds "$dir.time")
  user=$(sed -n 's/.*User time (seconds): //p' "$dir.time")
  rss=$(sed -n 's/.*Maximum resident set size (kbytes): //p' "$dir.time")
  # Each replica stores one 16-bit place; the RAM model and the shared
  # places add 10 bytes.
  awk -v n="$n" -v s="${states:-0}" -v w="${wall:-0}" -v u="${user:-0}" -v r="${rss:-0}" -v st="$status" \
    'BEGIN { printf "%-8d %10d %9.2f %9.2f %10.1f %12d %8s\n", n, s, w, u, r / 1024, 2 * n + 10, st }'
  rm -rf "$dir" "$dir.out" "$dir.time"
done
