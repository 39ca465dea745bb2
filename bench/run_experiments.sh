#!/usr/bin/env bash
# Runs the large experiments of the compiled-in model end to end (output files
# included) and prints one table row per experiment: the median of RUNS runs
# (3 by default) of wall and user time, states per second, peak resident
# memory and bytes per state, the bytes written, and the ratio of the wall
# time to a raw write of the same number of bytes (dd with fsync) measured in
# the same session, which tells how far the run is from the disk's own pace.
#
#   bench/run_experiments.sh <build-dir> [other-gen ...]
#
# Every further argument is another gen binary (for example a build of an
# earlier commit) measured the same way, experiment by experiment and run by
# run in turn, so that figures taken side by side share the machine's load. EXPERIMENTS selects
# the experiments (default "3 4 5"); GEN_THREADS is passed on to gen.
set -euo pipefail

if [[ $# -lt 1 ]]; then
  echo "usage: $0 <build-dir> [other-gen ...]" >&2
  exit 2
fi
build_dir=$(cd "$1" && pwd)
shift
gens=("$build_dir/gen" "$@")
for g in "${gens[@]}"; do
  if [[ ! -x "$g" ]]; then
    echo "$0: $g not found; build the gen target first" >&2
    exit 1
  fi
done
runs=${RUNS:-3}
experiments=${EXPERIMENTS:-"3 4 5"}

source "$(dirname "$0")/timing.sh" "$build_dir" bench

# Seconds to write `bytes` zero bytes to the benchmark's disk and fsync them.
raw_write_seconds() {
  local bytes=$1 start end
  start=$(date +%s.%N)
  dd if=/dev/zero of="$work/raw" bs=1M count=$(((bytes + 1048575) / 1048576)) conv=fsync status=none
  end=$(date +%s.%N)
  rm -f "$work/raw"
  awk -v a="$start" -v b="$end" 'BEGIN { printf "%.2f", b - a }'
}

echo "machine: $(nproc) cores, $(awk '/MemTotal/ { printf "%.0f MB", $2 / 1024 }' /proc/meminfo)," \
  "$(grep -m1 'model name' /proc/cpuinfo | sed 's/.*: //'); median of $runs runs"
printf '%-14s %-28s %10s %8s %8s %10s %8s %7s %13s %7s\n' \
  "experiment" "gen" "states" "wall s" "user s" "states/s" "peak MB" "B/state" "output bytes" "wall/dd"
for e in $experiments; do
  # Runs alternate between the binaries, so that a change of the machine's
  # pace during the experiment falls on each of them alike.
  declare -A walls=() users=() rsss=() states=() bytes=()
  for ((r = 1; r <= runs; r++)); do
    for i in "${!gens[@]}"; do
      g=${gens[$i]}
      dir="$work/run"
      rm -rf "$dir"
      mkdir -p "$dir"
      if ! "${timer[@]}" "$g" -P"$dir/" -Nredundant_controller_flash -B"$e" >"$dir.out" 2>"$dir.time"; then
        echo "experiment $e: $g failed" >&2
        tail -n 5 "$dir.out" "$dir.time" >&2
        exit 1
      fi
      states[$i]=$(states_of "$dir.out")
      bytes[$i]=$(cat "$dir"/redundant_controller_flash.* | wc -c)
      walls[$i]+="$(wall_seconds "$dir.time") "
      users[$i]+="$(user_seconds "$dir.time") "
      rsss[$i]+="$(sed -n 's/.*Maximum resident set size (kbytes): //p' "$dir.time") "
      rm -rf "$dir"
    done
  done
  for i in "${!gens[@]}"; do
    raw=$(raw_write_seconds "${bytes[$i]}")
    wall=$(echo "${walls[$i]}" | median)
    user=$(echo "${users[$i]}" | median)
    rss=$(echo "${rsss[$i]}" | median)
    label=${gens[$i]}
    [[ ${#label} -gt 28 ]] && label="...${label: -25}"
    awk -v e="$e" -v g="$label" -v s="${states[$i]}" -v w="$wall" -v u="$user" -v r="$rss" -v b="${bytes[$i]}" -v d="$raw" \
      'BEGIN { printf "%-14s %-28s %10d %8.2f %8.2f %10.0f %8.1f %7.1f %13d %7.2f\n",
               e, g, s, w, u, (w > 0 ? s / w : 0), r / 1024, (s > 0 ? r * 1024 / s : 0), b, (d > 0 ? w / d : 0) }'
  done
  unset walls users rsss states bytes
done
