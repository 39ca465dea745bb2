#!/usr/bin/env bash
# Runs a gen into <out root>/<name>-experiment<k>/ for `make run` and
# `make solve`, and with --solve also the solver on its files:
#
#   run-gen.sh [--solve SOLVE "SOLVE_ARGS"] OUT_ROOT GEN NAME NAMES_FILE EXPERIMENT [gen options...]
#
# EXPERIMENT is a number or an experiment's name in NAMES_FILE (the model
# file). The gen writes its files under temporary names and renames them into
# place at the end, so a run that fails leaves the folder's earlier results
# as they were; a folder this run made and left empty (an experiment out of
# range) is removed again.
set -uo pipefail

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
# SOLVE_ARGS is split into words as make passed it.
# shellcheck disable=SC2086
"$solve" -P"$out/" -N"$name" $solve_args || exit $?
echo "The results are in $out/$name.results.csv"
