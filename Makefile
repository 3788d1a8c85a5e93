# The two set-up commands of the README, and the benchmarks and fuzzers.
#   make run    install what is missing, build, start the program
#   make test   install what is missing, build, run every test
#   make bench  build and run the benchmarks
#   make fuzz   build the fuzz targets with clang and run each for a while
#   make demo   the program showing a simulated phone camera (no phone needed)

SHELL := /bin/bash
BUILD_DIR ?= build
BUILD_TYPE ?= RelWithDebInfo
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=
FUZZ_DIR ?= build-fuzz
FUZZ_SECONDS ?= 30

.PHONY: all deps deps-run configure build build-run run test bench fuzz demo clean

all: build

deps:
	@bash scripts/install-deps test

deps-run:
	@bash scripts/install-deps run

# configure_tree(dir, cmake arguments): configure the tree anew whenever the
# arguments, or the libraries that decide what gets built, differ from those
# it was configured with; a build type or flag change never reuses an old
# configuration. The compiler cache keeps the rebuild cheap.
define configure_tree
	@mkdir -p $(1); \
	want="$(2) | $$(bash scripts/install-deps --state)"; \
	if [ ! -f $(1)/CMakeCache.txt ] || [ "$$(cat $(1)/.orvane-configure 2>/dev/null)" != "$$want" ]; then \
	  rm -f $(1)/CMakeCache.txt; \
	  cmake -S . -B $(1) -G Ninja -DCMAKE_CXX_COMPILER_LAUNCHER=ccache $(2) && \
	  echo "$$want" > $(1)/.orvane-configure; \
	fi
endef

configure: deps
	$(call configure_tree,$(BUILD_DIR),-DCMAKE_BUILD_TYPE=$(BUILD_TYPE) $(CMAKE_FLAGS))

build: configure
	cmake --build $(BUILD_DIR) -j $(JOBS)

# The program alone, without tests or benchmarks.
build-run: deps-run
	$(call configure_tree,$(BUILD_DIR),-DCMAKE_BUILD_TYPE=$(BUILD_TYPE) $(CMAKE_FLAGS))
	cmake --build $(BUILD_DIR) -j $(JOBS) --target orvane_program

run: build-run
	cd $(BUILD_DIR) && ./orvane

# The program, phone-sim and the fake phone behind a private adb server.
demo: build-run
	cmake --build $(BUILD_DIR) -j $(JOBS) --target phone-sim fake-adb-phone
	bash scripts/demo $(BUILD_DIR)

test: build
	cd $(BUILD_DIR) && ctest --output-on-failure -j $(JOBS)

bench: build
	@set -e; if ! ls $(BUILD_DIR)/bench/bench_* >/dev/null 2>&1; then \
	  echo "no benchmarks built (is Google Benchmark installed?)"; exit 1; fi; \
	for b in $(BUILD_DIR)/bench/bench_*; do \
	  [ -x "$$b" ] || continue; echo "== $$b"; "$$b" --benchmark_counters_tabular=true; \
	done

# Each fuzz target runs for FUZZ_SECONDS on a copy of its seed inputs; what it
# finds new stays in $(FUZZ_DIR)/corpus, a crash fails the run.
fuzz: deps
	$(call configure_tree,$(FUZZ_DIR),-DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DORVANE_BUILD_FUZZ=ON -DORVANE_SANITIZE=address,undefined -DORVANE_BUILD_TESTS=OFF -DORVANE_BUILD_BENCH=OFF)
	cmake --build $(FUZZ_DIR) -j $(JOBS) --target orvane_fuzzers
	@set -e; n=0; for f in $(FUZZ_DIR)/fuzz/fuzz_*; do \
	  [ -f "$$f" ] && [ -x "$$f" ] || continue; name=$${f##*/fuzz_}; n=$$((n+1)); \
	  mkdir -p $(FUZZ_DIR)/corpus/$$name fuzz/corpus/$$name; \
	  echo "== fuzz_$$name for $(FUZZ_SECONDS) s"; \
	  if ! "$$f" -max_total_time=$(FUZZ_SECONDS) -print_final_stats=1 -artifact_prefix=$(FUZZ_DIR)/ \
	       $(FUZZ_DIR)/corpus/$$name fuzz/corpus/$$name > $(FUZZ_DIR)/fuzz_$$name.log 2>&1; then \
	    tail -n 60 $(FUZZ_DIR)/fuzz_$$name.log; echo "fuzz_$$name failed"; exit 1; \
	  fi; \
	  grep -E '^(Done|stat::number_of_executed_units)' $(FUZZ_DIR)/fuzz_$$name.log || true; \
	done; echo "fuzz: $$n targets ran clean"

clean:
	rm -rf $(BUILD_DIR) $(FUZZ_DIR)
