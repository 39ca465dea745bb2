#!/usr/bin/env bash
# What `make solve` costs beyond its run when nothing changed: the M/D/1/K
# queue (models/md1k.toml, K3) solved through make once to build (and write
# the stamp), then three times more, each beside the same gen -U and solve
# run by hand into another folder; the rows give the medians of the wall
# times and of their difference, the overhead (make, the driver's stamp
# check, tools/install-deps.sh, the scripts around the run).
#
#   bench/make-overhead.sh <build-dir>
set -euo pipefail

if [[ $# -ne 1 ]]; then
  echo "usage: $0 <build-dir>" >&2
  exit 2
fi
root=$(cd "$(dirname "$0")/.." && pwd)
mkdir -p "$1"
build_dir=$(cd "$1" && pwd)
source "$root/bench/timing.sh" "$build_dir" bench-make

solve_once() {
  make --no-print-directory -C "$root" solve MODEL="$root/models/md1k.toml" EXPERIMENT=K3 \
    BUILD_DIR="$build_dir" OUT="$work/out" >"$work/make.out" 2>&1
}
now() { date +%s.%N; }

first_start=$(now)
solve_once
first=$(awk -v a="$first_start" -v b="$(now)" 'BEGIN { printf "%.2f", b - a }')
gen=$build_dir/models/md1k/gen
mkdir -p "$work/by-hand"
makes=() runs=() overheads=()
for _ in 1 2 3; do
  start=$(now)
  solve_once
  middle=$(now)
  "$gen" -P"$work/by-hand/" -Nmd1k -B2 -U >/dev/null 2>&1
  "$build_dir/solve" -P"$work/by-hand/" -Nmd1k >/dev/null 2>&1
  end=$(now)
  makes+=("$(awk -v a="$start" -v b="$middle" 'BEGIN { printf "%.3f", b - a }')")
  runs+=("$(awk -v a="$middle" -v b="$end" 'BEGIN { printf "%.3f", b - a }')")
  overheads+=("$(awk -v a="$start" -v b="$middle" -v c="$end" 'BEGIN { printf "%.3f", (b - a) - (c - b) }')")
done
printf '%-44s %9s\n' "make solve MODEL=models/md1k.toml EXPERIMENT=K3" "wall s"
printf '%-44s %9s\n' "first (configure and build)" "$first"
printf '%-44s %9s\n' "again, unchanged (median of 3)" "$(echo "${makes[*]}" | median)"
printf '%-44s %9s\n' "its run alone: gen -U and solve (median)" "$(echo "${runs[*]}" | median)"
printf '%-44s %9s\n' "overhead before and around the run (median)" "$(echo "${overheads[*]}" | median)"
