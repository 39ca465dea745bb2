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

# The pipe below must fail when the build fails.
SHELL := /bin/bash
.SHELLFLAGS := -o pipefail -c
# A build of a model's gen shows the compiler's own messages (a C++ error in
# the model file names its file, line and column) without make's lines
# around them.
QUIET_MAKE = 2>&1 | grep -v -E '^g?make(\[[0-9]+\])?: '

all: build

CONFIGURE = cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=Release -DGEN_WERROR=$(WERROR)

build:
	$(CONFIGURE) -DGEN_MODEL_FILE=
	cmake --build $(BUILD_DIR) -j $(JOBS)

# The model file whose experiment names EXPERIMENT may give: MODEL, or the
# compiled-in model's own file.
NAMES_FILE = $(if $(strip $(MODEL)),$(MODEL),models/redundant_controller_flash.toml)

# Runs "$$gen" with ARGS into out/<model>-experiment<k>/ (tools/run-gen.sh:
# EXPERIMENT may also be an experiment's name in the model file).
RUN_GEN = tools/run-gen.sh "$(CURDIR)/out" "$$gen" "$$name" "$(NAMES_FILE)" '$(EXPERIMENT)' $(ARGS)

ifeq ($(strip $(MODEL)),)
run:
	$(CONFIGURE) -DGEN_MODEL_FILE=
	cmake --build $(BUILD_DIR) -j $(JOBS) --target gen
	@gen="$(BUILD_DIR)/gen"; name=redundant_controller_flash; $(RUN_GEN)
else
# `make run MODEL=path/to/model.toml [EXPERIMENT=k]`: builds that model's gen
# (in $(BUILD_DIR)/models/<file name without .toml>/) and runs it into
# out/<model name>-experiment<k>/.
run:
	@test -f "$(MODEL)" || { echo "make run: no model file $(MODEL)" >&2; exit 1; }
	@python3 tools/modelc --check "$(MODEL)"
	$(CONFIGURE) -DGEN_MODEL_FILE="$(abspath $(MODEL))"
	cmake --build $(BUILD_DIR) -j $(JOBS) --target gen_model_file $(QUIET_MAKE)
	@gen="$$(sed -n 1p $(BUILD_DIR)/model_file.txt)"; name="$$(sed -n 2p $(BUILD_DIR)/model_file.txt)"; \
	$(RUN_GEN)
endif

# `make solve MODEL=path/to/model.toml [EXPERIMENT=k] [SOLVE_ARGS=...]`:
# builds that model's gen and the solver, generates with -U (the .umb the
# solver reads) into out/<model name>-experiment<k>/, as `make run` does, and
# solves every reward variable.
solve:
	@tools/install-deps.sh solve
	@test -n "$(MODEL)" || { echo "make solve: give MODEL=path/to/model.toml" >&2; exit 1; }
	@test -f "$(MODEL)" || { echo "make solve: no model file $(MODEL)" >&2; exit 1; }
	$(CONFIGURE) -DGEN_MODEL_FILE="$(abspath $(MODEL))"
	cmake --build $(BUILD_DIR) -j $(JOBS) --target gen_model_file solve
	@gen="$$(sed -n 1p $(BUILD_DIR)/model_file.txt)"; name="$$(sed -n 2p $(BUILD_DIR)/model_file.txt)"; \
	tools/run-gen.sh --solve "$(BUILD_DIR)/solve" '$(SOLVE_ARGS)' "$(CURDIR)/out" "$$gen" "$$name" "$(MODEL)" \
	  '$(EXPERIMENT)' -U $(ARGS)

# `make simulate [MODEL=path/to/model.toml] [EXPERIMENT=k] [SIM_ARGS=...]`:
# builds the model's simulate (without MODEL, the compiled-in model's) and
# runs it into out/<model name>-experiment<k>/: the estimates with their
# intervals on standard output and in <model name>.sim.csv there.
SIM_ARGS ?=
RUN_SIMULATE = tools/run-simulate.sh "$(CURDIR)/out" "$$sim" "$$name" "$(NAMES_FILE)" '$(EXPERIMENT)' $(SIM_ARGS)
ifeq ($(strip $(MODEL)),)
simulate:
	@tools/install-deps.sh simulate
	$(CONFIGURE) -DGEN_MODEL_FILE=
	cmake --build $(BUILD_DIR) -j $(JOBS) --target simulate
	@sim="$(BUILD_DIR)/simulate"; name=redundant_controller_flash; $(RUN_SIMULATE)
else
simulate:
	@tools/install-deps.sh simulate
	@test -f "$(MODEL)" || { echo "make simulate: no model file $(MODEL)" >&2; exit 1; }
	@python3 tools/modelc --check "$(MODEL)"
	$(CONFIGURE) -DGEN_MODEL_FILE="$(abspath $(MODEL))"
	cmake --build $(BUILD_DIR) -j $(JOBS) --target simulate_model_file $(QUIET_MAKE)
	@sim="$$(dirname "$$(sed -n 1p $(BUILD_DIR)/model_file.txt)")/simulate"; name="$$(sed -n 2p $(BUILD_DIR)/model_file.txt)"; \
	$(RUN_SIMULATE)
endif

# `make study MODEL=path/to/model.toml [EXPERIMENTS=0-4] [SWEEP=N=1:6]
# [SOLVE_ARGS=...]`: builds that model's gen and the solver once, then runs gen
# -U and solve for every chosen experiment (all by default; a list, ranges or
# names) and, with SWEEP, every value of one global in each; the table
# <model>.study.csv and a plot of each variable against the global that
# varies go to out/<model>-study/, each run's files to a folder of its own
# there.
EXPERIMENTS ?= all
SWEEP ?=
study:
	@tools/install-deps.sh solve
	@test -n "$(MODEL)" || { echo "make study: give MODEL=path/to/model.toml" >&2; exit 1; }
	@test -f "$(MODEL)" || { echo "make study: no model file $(MODEL)" >&2; exit 1; }
	@python3 tools/modelc --check "$(MODEL)"
	$(CONFIGURE) -DGEN_MODEL_FILE="$(abspath $(MODEL))"
	cmake --build $(BUILD_DIR) -j $(JOBS) --target gen_model_file solve $(QUIET_MAKE)
	@gen="$$(sed -n 1p $(BUILD_DIR)/model_file.txt)"; name="$$(sed -n 2p $(BUILD_DIR)/model_file.txt)"; \
	python3 tools/study.py run --model "$(MODEL)" --gen "$$gen" --solve "$(BUILD_DIR)/solve" --name "$$name" \
	  --out "$(CURDIR)/out/$$name-study" --experiments '$(EXPERIMENTS)' --sweep '$(SWEEP)' --solve-args '$(SOLVE_ARGS)'

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
# default number of threads.
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

clean:
	rm -rf $(BUILD_DIR) build-asan build-tsan build-bench build-bench-models build-bench-scale build-bench-split
