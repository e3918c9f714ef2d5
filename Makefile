# The two set-up commands are 'make demo' and 'make test'; both install what is missing first.
SHELL := /bin/bash
BUILD ?= build
# CARD_KEY=maker.pub.pem: a program that takes only the cards that maker signed (README);
# a keyed build goes into a build folder of its own (BUILD=...). CARD_MIN_SEQUENCE=N with it:
# the lowest card sequence the program takes.
KEY_FLAG = $(if $(CARD_KEY),-DTESSIVARD_CARD_KEY=$(abspath $(CARD_KEY))) \
           $(if $(CARD_MIN_SEQUENCE),-DTESSIVARD_CARD_MIN_SEQUENCE=$(CARD_MIN_SEQUENCE))
CMAKE_FLAGS = -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DCMAKE_BUILD_TYPE=Release $(KEY_FLAG)
# Ninja for a new build folder: it finds what to rebuild in a tenth of a second where make's
# per-target checks take ten, and relinks after one source changes in a third of make's time.
# A folder configured before keeps the generator it was made with.
GENERATOR = $(if $(wildcard $(1)/CMakeCache.txt),,-G Ninja)
RUN = tools/wine-run.sh --build $(BUILD)

WIN32_BUILD = $(BUILD)/win32

.PHONY: all build win32 test soak demo bench deps clean

all: build

deps:
	@tools/install-deps.sh

build: deps
	@cmake --no-warn-unused-cli $(call GENERATOR,$(BUILD)) -S . -B $(BUILD) $(CMAKE_FLAGS) >/dev/null
	@cmake --build $(BUILD) -j 2

# The shipped program for 32-bit Windows, as the device's processor is: its own code with
# warnings as errors. Built, not run (no 32-bit Wine here).
win32: deps
	@cmake --no-warn-unused-cli $(call GENERATOR,$(WIN32_BUILD)) -S . -B $(WIN32_BUILD) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-i686.cmake \
	  -DCMAKE_BUILD_TYPE=Release -DTESSIVARD_PROGRAM_ONLY=ON $(KEY_FLAG) >/dev/null
	@cmake --build $(WIN32_BUILD) -j 2

# One persistent wineserver for the whole run. ctest starts the costliest entries first (each
# entry's COST, then the times of the last run here); the entries labelled soak are the long
# sweeps of 'make soak'. At the end, the five slowest entries, then ctest's summary again, last.
test: build win32
	@$(RUN) --start-server
	@cd $(BUILD) && mkdir -p Testing && ctest -j 2 -LE soak --output-on-failure | tee Testing/make-test.log; status=$${PIPESTATUS[0]}; \
	  ../tools/wine-run.sh --build . --stop-server; \
	  echo "The slowest five entries:"; \
	  sed -nE 's/^ *[0-9]+\/[0-9]+ Test +#[0-9]+: ([^ ]+) .* ([0-9.]+) sec$$/\2 s  \1/p' Testing/make-test.log | sort -rn | head -5; \
	  grep -E '^[0-9]+% tests passed|^Total Test time' Testing/make-test.log; exit $$status

# More of the power-loss harness than 'make test' runs: first the entries labelled soak (the
# random sweeps of fixed seeds that 'make test' once ran), then SEEDS generated devices from
# seed 1000 on, K cut points of each under every loss and PULLS pulls of its card, by the build
# without I/O threads (whose cases rerun exactly) and then by the shipped one. EMPTY_RUNS=1:
# devices with long runs of empty folders (power_loss --empty-runs).
SEEDS ?= 10
K ?= 20
PULLS ?= 4
EMPTY_RUNS ?=
soak: build
	@$(RUN) --start-server
	@status=0; (cd $(BUILD) && ctest -j 2 -L soak --output-on-failure) || status=1; \
	for program in Tessivard_cut_noio Tessivard_cut; do \
	  $(BUILD)/tests/power_loss $(BUILD) $(BUILD)/tests/$$program.exe --seed 1000 --seeds $(SEEDS) \
	    --cuts $(K) --pulls $(PULLS) $(if $(EMPTY_RUNS),--empty-runs) || status=1; \
	done; $(RUN) --stop-server; exit $$status

# A maker's signed card made and applied on a sample device, and pictures of the screen. It
# builds, in a folder of its own (BUILD/demo), only the programs it runs: tools/demo.sh.
demo:
	@tools/install-deps.sh --pictures
	@tools/demo.sh $(BUILD)

bench: build
	@cmake --build $(BUILD) -j 2 --target bench_programs
	@bench/run.sh $(BUILD)
	@bench/calls_per_file.sh $(BUILD)

clean:
	rm -rf $(BUILD)
