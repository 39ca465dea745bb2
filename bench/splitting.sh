#!/usr/bin/env bash
# Splitting against plain replications at p of about 1e-6: the tandem queue
# of tests/models/tandem_overflow.toml with a second buffer of K = 12 (full
# at t = 50 with probability 1.3e-6), one thread each. The row of each
# method: its estimate, the variance of one estimate, the user seconds it
# cost, and their product, the work-normalised variance (lower is better).
# Splitting's variance is that of its estimate, (half-width / 1.96)^2 (its
# repetitions are many, so Student's quantile is 1.96 to 1%); plain
# replications' is p (1 - p) per replication, p being splitting's estimate,
# times their user seconds per replication, measured on a run of 200,000
# (which, at this p, would rarely see the event even once).
#
#   bench/splitting.sh <build-dir>
#
# <build-dir> is configured here with the tandem queue as the model file.
set -euo pipefail

if [[ $# -ne 1 ]]; then
  echo "usage: $0 <build-dir>" >&2
  exit 2
fi
root=$(cd "$(dirname "$0")/.." && pwd)
cmake -S "$root" -B "$1" -DCMAKE_BUILD_TYPE=Release -DGEN_BUILD_TESTS=OFF \
  -DGEN_MODEL_FILE="$root/tests/models/tandem_overflow.toml" >/dev/null
cmake --build "$1" -j "$(nproc 2>/dev/null || echo 2)" --target simulate_model_file >/dev/null
build_dir=$(cd "$1" && pwd)
sim="$build_dir/models/tandem_overflow/simulate"
source "$root/bench/timing.sh" "$build_dir" bench-splitting
args=(-B0 -O s:K:12 -S1 -Vfull)

GEN_THREADS=1 "${timer[@]}" "$sim" -P"$work/" -Nsplit "${args[@]}" -Xsplit -r0.05 >"$work/split.out" 2>"$work/split.time"
GEN_THREADS=1 "${timer[@]}" "$sim" -P"$work/" -Nplain "${args[@]}" -R200000 -r1e-12 -k1000 \
  >"$work/plain.out" 2>"$work/plain.time"
row() { tail -n 1 "$1" | cut -d, -f"$2"; }
p=$(row "$work/split.sim.csv" 5)
hw=$(row "$work/split.sim.csv" 6)
reps=$(row "$work/split.sim.csv" 8)
split_user=$(user_seconds "$work/split.time")
plain_user=$(user_seconds "$work/plain.time")
plain_reps=$(row "$work/plain.sim.csv" 8)

echo "machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | sed 's/.*: //'); one thread, one run each"
printf '%-22s %12s %12s %10s %10s %14s\n' "method" "estimate" "variance" "runs" "user s" "work x var"
awk -v p="$p" -v hw="$hw" -v n="$reps" -v u="$split_user" -v pu="$plain_user" -v pn="$plain_reps" 'BEGIN {
  v = (hw / 1.96) ^ 2
  printf "%-22s %12.4g %12.3g %10d %10.2f %14.3g\n", "splitting (-X split)", p, v, n, u, v * u
  pv = p * (1 - p)
  printf "%-22s %12s %12.3g %10d %10.2f %14.3g\n", "plain replications", "-", pv, pn, pu, pv * pu / pn
  printf "plain / splitting: %.3g times the work for the same variance\n", (pv * pu / pn) / (v * u)
}'
