#!/usr/bin/env bash
# Runs a gen into <out root>/<name>-experiment<k>/ for `make run` and
# `make solve`, and with --solve also the solver on its files:
#
#   run-gen.sh [--simulate SIMULATE "SIM_ARGS"] [--solve SOLVE "SOLVE_ARGS"]
#              OUT_ROOT GEN NAME NAMES_FILE EXPERIMENT [gen options...]
#
# EXPERIMENT is a number or an experiment's name in NAMES_FILE (the model
# file). The gen writes its files under temporary names and renames them into
# place at the end, so a run that fails leaves the folder's earlier results
# as they were; a folder this run made and left empty (an experiment out of
# range) is removed again. SOLVE_ARGS and SIM_ARGS are one string each, split
# into words by tools/answer.py without a shell; with --simulate the variables
# solve leaves for the simulator are simulated with the gen's overrides.
set -uo pipefail

simulate=
sim_args=
if [[ "${1:-}" == --simulate ]]; then
  simulate=$2
  sim_args=$3
  shift 3
fi
solve=
solve_args=
if [[ "${1:-}" == --solve ]]; then
  solve=$2
  solve_args=$3
  shift 3
fi
name=$3
source "$(dirname "$0")/experiment-folder.sh"
run_in_experiment_folder "$@" || exit $?
echo "Output files are in $out:"
ls -l "$out"
[[ -n "$solve" ]] || exit 0
shift 5
exec python3 "$(dirname "$0")/answer.py" --solve="$solve" --simulate="$simulate" --dir="$out" --name="$name" \
  --experiment="$experiment" --solve-args="$solve_args" --sim-args="$sim_args" -- "$@"
