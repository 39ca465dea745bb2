# Sourced by run-gen.sh and run-simulate.sh: runs a program of a model into
# <out root>/<name>-experiment<k>/, the folder the make targets share.
#
#   run_in_experiment_folder OUT_ROOT PROGRAM NAME NAMES_FILE EXPERIMENT [options...]
#
# EXPERIMENT is a number or an experiment's name in NAMES_FILE (the model
# file). Sets `out` to the folder and `experiment` to its number, and
# returns the program's status; a folder this run made and left empty (an
# experiment out of range) is removed again.
run_in_experiment_folder() {
  local out_root=$1 program=$2 name=$3 names_file=$4 k=$5
  shift 5
  if [[ ! "$k" =~ ^[0-9]+$ ]]; then
    k=$(python3 "$(dirname "${BASH_SOURCE[0]}")/study.py" index -- "$names_file" "$k") || return 1
  fi
  experiment=$k
  out="$out_root/$name-experiment$k"
  local made=
  [[ -d "$out" ]] || made=1
  mkdir -p "$out" || return 1
  "$program" -P"$out/" -N"$name" -B"$k" "$@"
  local status=$?
  if (( status != 0 )) && [[ -n "$made" ]]; then
    rmdir "$out" 2>/dev/null
  fi
  return $status
}
