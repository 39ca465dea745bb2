# Thin driver over CMake. `make run` builds Release and generates experiment 0
# of the compiled-in model; `make run MODEL=models/kanban.toml EXPERIMENT=2`
# does the same for a model file; `make test` builds and runs every test.
BUILD_DIR ?= build
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
EXPERIMENT ?= 0

.PHONY: all build run test bench clean model-units

all: build

build:
	cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=Release -DGEN_MODEL_FILE=
	cmake --build $(BUILD_DIR) -j $(JOBS)

ifeq ($(strip $(MODEL)),)
run: build
	@out="$(CURDIR)/out/experiment$(EXPERIMENT)-$$(date +%Y%m%d-%H%M%S)-$$$$"; \
	mkdir -p "$$out" && \
	$(BUILD_DIR)/gen -P"$$out/" -Nredundant_controller_flash -B$(EXPERIMENT) && \
	echo "Output files are in $$out:" && ls -l "$$out"
else
# `make run MODEL=path/to/model.toml [EXPERIMENT=k]`: builds that model's gen
# (in $(BUILD_DIR)/models/<file name without .toml>/) and runs it into a fresh
# folder named after the model.
run:
	@test -f "$(MODEL)" || { echo "make run: no model file $(MODEL)" >&2; exit 1; }
	cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=Release -DGEN_MODEL_FILE="$(abspath $(MODEL))"
	cmake --build $(BUILD_DIR) -j $(JOBS) --target gen_model_file
	@gen="$$(sed -n 1p $(BUILD_DIR)/model_file.txt)"; name="$$(sed -n 2p $(BUILD_DIR)/model_file.txt)"; \
	out="$(CURDIR)/out/$$name-experiment$(EXPERIMENT)-$$(date +%Y%m%d-%H%M%S)-$$$$"; \
	mkdir -p "$$out" && \
	"$$gen" -P"$$out/" -N"$$name" -B$(EXPERIMENT) && \
	echo "Output files are in $$out:" && ls -l "$$out"
endif

# Regenerates Model/ from the compiled-in model's file (the modelc_test
# checks that Model/ is what this makes).
model-units:
	python3 tools/modelc.py models/redundant_controller_flash.toml Model \
	  --source-name models/redundant_controller_flash.toml

test: build
	cd $(BUILD_DIR) && ctest --output-on-failure -j $(JOBS)

# The experiments 3 to 5 (medians of three), the scale rows (6 and 7 flash
# devices, past the old ceilings), the wide rows (a Rep of 1000 and 10000
# devices), then the model-file rows (Kanban N = 5, experiment 5 from its
# model file) in a build folder of their own, and last experiment 5 and
# Kanban N = 5 with 1, 2 and the default number of threads, idle, with one
# core kept busy and pinned to one CPU.
bench:
	cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DGEN_BUILD_BENCH=ON -DGEN_BUILD_TESTS=OFF
	cmake --build build-bench -j $(JOBS)
	bench/run_experiments.sh build-bench
	bench/scale.sh build-bench
	@if [ -x bench/wide.sh ]; then bench/wide.sh build-bench; fi
	bench/models.sh build-bench-models
	bench/threads.sh build-bench build-bench-models

clean:
	rm -rf $(BUILD_DIR) build-asan build-tsan build-bench build-bench-models
