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
out_root=$1 gen=$2 name=$3 names_file=$4 k=$5
shift 5

if [[ ! "$k" =~ ^[0-9]+$ ]]; then
  k=$(python3 "$(dirname "$0")/study.py" index "$names_file" "$k") || exit 1
fi
out="$out_root/$name-experiment$k"
made=
[[ -d "$out" ]] || made=1
mkdir -p "$out" || exit 1
"$gen" -P"$out/" -N"$name" -B"$k" "$@"
status=$?
if (( status != 0 )); then
  [[ -n "$made" ]] && rmdir "$out" 2>/dev/null
  exit $status
fi
echo "Output files are in $out:"
ls -l "$out"
[[ -n "$solve" ]] || exit 0
# SOLVE_ARGS is split into words as make passed it.
# shellcheck disable=SC2086
"$solve" -P"$out/" -N"$name" $solve_args || exit $?
echo "The results are in $out/$name.results.csv"
