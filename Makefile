# Thin driver over CMake. `make run` builds the compiled-in gen (Release) and
# generates experiment 0 into out/redundant_controller_flash-experiment0/;
# `make run MODEL=models/kanban.toml EXPERIMENT=2` does the same for a model
# file; ARGS='-O ...' adds options to the gen's command line. A run replaces
# the results of the run before it in the same folder. `make test` builds
# everything and runs every test.
BUILD_DIR ?= build
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
EXPERIMENT ?= 0
ARGS ?=
# WERROR=ON turns compiler warnings into errors (.ci/run sets it).
WERROR ?= OFF

.PHONY: all build run solve simulate study test bench clean model-units

SHELL := /bin/bash

all: build

CONFIGURE = cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=Release -DGEN_WERROR=$(WERROR)

build:
	$(CONFIGURE) -DGEN_MODEL_FILE=
	cmake --build $(BUILD_DIR) -j $(JOBS)

# The targets that run a model read these variables as they were written,
# through the environment: no shell reads them again, and make does not
# expand them either (a `$` in a value stays a `$`). ARGS, SOLVE_ARGS and
# SIM_ARGS are split into words at blanks, with '...' and "..." grouping
# (docs/gen.md, "Make variables"); nothing in them runs. The recipes are
# tools/make-target.py, which configures and builds only when the model file
# or a source changed since its last build.
MAKE_TARGET_VARIABLES = MODEL EXPERIMENT EXPERIMENTS SWEEP PLOT ARGS SOLVE_ARGS SIM_ARGS OUT
EXPERIMENTS ?= all
SWEEP ?=
PLOT ?=
SIM_ARGS ?=
SOLVE_ARGS ?=
OUT ?=
$(foreach v,$(MAKE_TARGET_VARIABLES),$(eval export GEN_MAKE_$(v) = $$(value $(v))))
unexport $(MAKE_TARGET_VARIABLES)
export GEN_MAKE_BUILD_DIR = $(BUILD_DIR)
export GEN_MAKE_JOBS = $(JOBS)
export GEN_MAKE_WERROR = $(WERROR)

# `make run [MODEL=path/to/model.toml] [EXPERIMENT=k] [ARGS=...]`: builds
# the model's gen (without MODEL, the compiled-in model's; with it, in
# $(BUILD_DIR)/models/<file name without .toml>/) and runs it into
# out/<model name>-experiment<k>/ (EXPERIMENT by number or by the name the
# model file gives it).
run:
	@python3 tools/make-target.py run

# `make solve MODEL=path/to/model.toml [EXPERIMENT=k] [SOLVE_ARGS=...]
# [SIM_ARGS=...]`: builds that model's gen, its simulate and the solver,
# generates with -U (the .umb the solver reads) into
# out/<model name>-experiment<k>/, as `make run` does, and solves every
# reward variable; those solve leaves for the simulator are simulated
# (tools/answer.py), and one table gives both.
solve:
	@python3 tools/make-target.py solve

# `make simulate [MODEL=path/to/model.toml] [EXPERIMENT=k] [SIM_ARGS=...]`:
# builds the model's simulate (without MODEL, the compiled-in model's) and
# runs it into out/<model name>-experiment<k>/: the estimates with their
# intervals on standard output and in <model name>.sim.csv there.
simulate:
	@python3 tools/make-target.py simulate

# `make study MODEL=path/to/model.toml [EXPERIMENTS=0-4] [SWEEP=N=1:6]
# [PLOT=logx,logy,complement] [SOLVE_ARGS=...] [SIM_ARGS=...]`: builds that
# model's gen, simulate and the solver once, then runs gen -U and solve for
# every chosen experiment (all by default; a list, ranges or names) and, with
# SWEEP, every value of one global in each; what solve leaves is simulated.
# The table <model>.study.csv and a plot of each variable against the global
# that varies go to out/<model>-study/, each run's files to a folder of its
# own there; the folder is built aside and holds this study alone.
study:
	@python3 tools/make-target.py study

# Regenerates Model/ from the compiled-in model's file (the modelc_test
# checks that Model/ is what this makes).
model-units:
	python3 tools/modelc models/redundant_controller_flash.toml Model \
	  --source-name models/redundant_controller_flash.toml

# GoogleTest, Eigen and gnuplot are installed first when missing.
test:
	@tools/install-deps.sh test
	$(MAKE) build
	cd $(BUILD_DIR) && ctest --output-on-failure -j $(JOBS)

# The experiments 3 to 5 (medians of three), the scale rows (6 and 7 flash
# devices, past the old ceilings), the wide rows (a Rep of 1000 and 10000
# devices), then the model-file rows (Kanban N = 5, experiment 5 from its
# model file) in a build folder of their own, Kanban N = 5, 6 and 7 end to end
# (gen -U, the steady state, one time point; with PRISM=<prism folder> also
# PRISM's engines on its own Kanban model), the other solve rows (the
# cluster and a fixed delay), and last experiment 5 and
# Kanban N = 5 with 1, 2 and the default number of threads, idle, with one
# core kept busy and pinned to one CPU; then the simulator on 1, 2 and the
# default number of threads; last what `make solve` costs beyond its run
# when nothing changed.
bench:
	cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DGEN_BUILD_BENCH=ON -DGEN_BUILD_TESTS=OFF
	cmake --build build-bench -j $(JOBS)
	bench/run_experiments.sh build-bench
	bench/scale.sh build-bench
	@if [ -x bench/wide.sh ]; then bench/wide.sh build-bench; fi
	bench/models.sh build-bench-models
	bench/kanban-scale.sh build-bench-scale 5 6 7
	bench/solve.sh build-bench-models
	bench/threads.sh build-bench build-bench-models
	@tools/install-deps.sh simulate
	bench/simulate.sh build-bench build-bench-models
	bench/splitting.sh build-bench-split
	bench/make-overhead.sh build-bench-models

clean:
	rm -rf $(BUILD_DIR) build-asan build-tsan build-bench build-bench-models build-bench-scale build-bench-split
