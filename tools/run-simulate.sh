#!/usr/bin/env bash
# Runs a simulate into <out root>/<name>-experiment<k>/ for `make simulate`:
#
#   run-simulate.sh OUT_ROOT SIMULATE NAME NAMES_FILE EXPERIMENT [simulate options...]
#
# EXPERIMENT is a number or an experiment's name in NAMES_FILE (the model
# file). The estimates' CSV is written under a temporary name and renamed
# into place; a folder this run made and left empty is removed again.
set -uo pipefail

out_root=$1 sim=$2 name=$3 names_file=$4 k=$5
shift 5

if [[ ! "$k" =~ ^[0-9]+$ ]]; then
  k=$(python3 "$(dirname "$0")/study.py" index "$names_file" "$k") || exit 1
fi
out="$out_root/$name-experiment$k"
made=
[[ -d "$out" ]] || made=1
mkdir -p "$out" || exit 1
"$sim" -P"$out/" -N"$name" -B"$k" "$@"
status=$?
if (( status != 0 )); then
  [[ -n "$made" ]] && rmdir "$out" 2>/dev/null
  exit $status
fi
