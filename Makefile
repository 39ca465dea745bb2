# Thin driver over CMake. `make run` builds Release and generates experiment 0;
# `make test` builds and runs every test.
BUILD_DIR ?= build
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
EXPERIMENT ?= 0

.PHONY: all build run test bench clean

all: build

build:
	cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=Release
	cmake --build $(BUILD_DIR) -j $(JOBS)

run: build
	@out="$(CURDIR)/out/experiment$(EXPERIMENT)-$$(date +%Y%m%d-%H%M%S)-$$$$"; \
	mkdir -p "$$out" && \
	$(BUILD_DIR)/gen -P"$$out/" -Nredundant_controller_flash -B$(EXPERIMENT) && \
	echo "Output files are in $$out:" && ls -l "$$out"

test: build
	cd $(BUILD_DIR) && ctest --output-on-failure -j $(JOBS)

bench:
	cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DGEN_BUILD_BENCH=ON -DGEN_BUILD_TESTS=OFF
	cmake --build build-bench -j $(JOBS)
	bench/run_experiments.sh build-bench

clean:
	rm -rf $(BUILD_DIR) build-asan build-bench
