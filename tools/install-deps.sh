#!/usr/bin/env bash
# Installs, with apt-get, the Debian packages that a build step needs and this
# machine lacks: `tools/install-deps.sh test` for the tests (GoogleTest, Eigen,
# nlohmann-json, gnuplot, pcg-cpp, Open MPI), `tools/install-deps.sh solve` for
# the solver (Eigen, nlohmann-json, gnuplot), `tools/install-deps.sh simulate`
# for the simulator (pcg-cpp, gnuplot; Open MPI, which it uses when present,
# is left to `test`), `tools/install-deps.sh format` for the style check
# (clang-format). gen itself needs nothing beyond the compiler, CMake
# and Python: it writes the .umb without a JSON library; only its reader,
# in solve, parses JSON.
set -euo pipefail

missing=()
need_eigen() { [[ -f /usr/include/eigen3/Eigen/SparseLU ]] || missing+=(libeigen3-dev); }
need_gnuplot() { command -v gnuplot >/dev/null || missing+=(gnuplot-nox); }
need_clang_format() { command -v clang-format >/dev/null || missing+=(clang-format); }
need_gtest() { [[ -f /usr/include/gtest/gtest.h ]] || missing+=(libgtest-dev); }
need_json() { [[ -f /usr/include/nlohmann/json.hpp ]] || missing+=(nlohmann-json3-dev); }
need_pcg() { [[ -f /usr/include/pcg_random.hpp ]] || missing+=(libpcg-cpp-dev); }
need_mpi() {
  command -v mpirun >/dev/null || missing+=(openmpi-bin)
  command -v mpicxx >/dev/null || missing+=(libopenmpi-dev)
}

for what in "$@"; do
  case "$what" in
    test) need_gtest; need_eigen; need_json; need_gnuplot; need_pcg; need_mpi ;;
    solve) need_eigen; need_json; need_gnuplot ;;
    simulate) need_pcg; need_gnuplot ;;
    format) need_clang_format ;;
    *) echo "install-deps.sh: unknown set '$what' (test, solve, simulate or format)" >&2; exit 2 ;;
  esac
done
(( ${#missing[@]} )) || exit 0

echo "Installing ${missing[*]} with apt-get" >&2
sudo=""
if [[ $(id -u) -ne 0 ]]; then
  command -v sudo >/dev/null || { echo "install-deps.sh: as root, run: apt-get install ${missing[*]}" >&2; exit 1; }
  sudo=sudo
fi
$sudo apt-get update
$sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}"
