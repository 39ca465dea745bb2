#!/usr/bin/env bash
# Runs a simulate into <out root>/<name>-experiment<k>/ for `make simulate`:
#
#   run-simulate.sh OUT_ROOT SIMULATE NAME NAMES_FILE EXPERIMENT [simulate options...]
#
# EXPERIMENT is a number or an experiment's name in NAMES_FILE (the model
# file). The estimates' CSV is written under a temporary name and renamed
# into place; a folder this run made and left empty is removed again.
set -uo pipefail
source "$(dirname "$0")/experiment-folder.sh"
run_in_experiment_folder "$@"
