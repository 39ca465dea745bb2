#!/usr/bin/env bash
# Checks that the C++ sources are laid out as .clang-format says; with --fix,
# lays them out. Model/ is the model compiler's output and keeps its layout.
set -euo pipefail
cd "$(dirname "$0")/.."
mapfile -t files < <(git ls-files '*.cpp' '*.h' | grep -v '^Model/')
if [[ "${1:-}" == --fix ]]; then
  clang-format -i "${files[@]}"
else
  clang-format --dry-run --Werror "${files[@]}"
fi
