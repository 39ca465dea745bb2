#!/usr/bin/env bash
# Scale rows: the compiled-in model's experiment 5 with more flash devices,
# past the old ceilings (6 devices: about 14.7 million states, beyond the
# former store of 12.8 million; 7 devices: about 18.9 million, beyond 2^24).
# One row per run: states, wall time, peak resident memory and peak bytes
# per state. The output files (about 3.4 GB for 7 devices) are written to a
# temporary folder and removed after each run.
#
#   bench/scale.sh <build-dir> [device counts...]   (default: 6 7)
set -euo pipefail

if [[ $# -lt 1 ]]; then
  echo "usage: $0 <build-dir> [device counts...]" >&2
  exit 2
fi
build_dir=$(cd "$1" && pwd)
shift
devices=("$@")
[[ ${#devices[@]} -gt 0 ]] || devices=(6 7)
gen="$build_dir/gen"
if [[ ! -x "$gen" ]]; then
  echo "$0: $gen not found; build the gen target first" >&2
  exit 1
fi

source "$(dirname "$0")/timing.sh" "$build_dir" scale

printf '%-28s %11s %9s %12s %10s %12s\n' "run" "states" "wall s" "states/s" "peak MB" "bytes/state"
for d in "${devices[@]}"; do
  label="experiment 5, $d devices"
  dir="$work/run"
  mkdir -p "$dir"
  if ! "${timer[@]}" "$gen" -P"$dir/" -Nbig -B5 -O "s:num_devices:$d" >"$work/out" 2>"$work/time"; then
    echo "$label: gen failed" >&2
    tail -n 5 "$work/out" "$work/time" >&2
    exit 1
  fi
  states=$(sed -n 's/^Generated: \([0-9]*\) states$/\1/p' "$work/out")
  # The header's count must be the run's count.
  header=$(sed -n 2p "$dir/big.arm" | tr -d ' ')
  if [[ "$header" != "$states" ]]; then
    echo "$label: header says '$header', the run generated $states states" >&2
    exit 1
  fi
  wall=$(wall_seconds "$work/time")
  rss=$(sed -n 's/.*Maximum resident set size (kbytes): //p' "$work/time")
  awk -v l="$label" -v s="$states" -v w="$wall" -v r="$rss" \
    'BEGIN { printf "%-28s %11d %9.2f %12.0f %10.1f %12.1f\n", l, s, w, (w > 0 ? s / w : 0), r / 1024, r * 1024 / s }'
  rm -rf "$dir"
done
