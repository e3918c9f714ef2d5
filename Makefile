# The two set-up commands are 'make demo' and 'make test'; both install what is missing first.
BUILD ?= build
# CARD_KEY=maker.pub.pem: a program that takes only the cards that maker signed (README);
# a keyed build goes into a build folder of its own (BUILD=...).
KEY_FLAG = $(if $(CARD_KEY),-DTESSIVARD_CARD_KEY=$(abspath $(CARD_KEY)))
CMAKE_FLAGS = -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DCMAKE_BUILD_TYPE=Release $(KEY_FLAG)
RUN = tools/wine-run.sh --build $(BUILD)

WIN32_BUILD = $(BUILD)/win32

.PHONY: all build win32 test soak demo bench deps clean

all: build

deps:
	@tools/install-deps.sh

build: deps
	@cmake --no-warn-unused-cli -S . -B $(BUILD) $(CMAKE_FLAGS) >/dev/null
	@cmake --build $(BUILD) -j 2 -- --no-print-directory

# The shipped program for 32-bit Windows, as the device's processor is: its own code with
# warnings as errors. Built, not run (no 32-bit Wine here).
win32: deps
	@cmake --no-warn-unused-cli -S . -B $(WIN32_BUILD) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-i686.cmake \
	  -DCMAKE_BUILD_TYPE=Release -DTESSIVARD_PROGRAM_ONLY=ON $(KEY_FLAG) >/dev/null
	@cmake --build $(WIN32_BUILD) -j 2 -- --no-print-directory

# One persistent wineserver for the whole run; ctest's summary line is the last thing printed.
test: build win32
	@$(RUN) --start-server
	@cd $(BUILD) && ctest -j 2 --output-on-failure; status=$$?; \
	  ../tools/wine-run.sh --build . --stop-server; exit $$status

# More of the power-loss harness than 'make test' runs: SEEDS generated devices from seed 1000
# on, K cut points of each under every loss and PULLS pulls of its card, by the build without
# I/O threads (whose cases rerun exactly) and then by the shipped one. EMPTY_RUNS=1: devices
# with long runs of empty folders (power_loss --empty-runs).
SEEDS ?= 10
K ?= 20
PULLS ?= 4
EMPTY_RUNS ?=
soak: build
	@$(RUN) --start-server
	@status=0; for program in Tessivard_cut_noio Tessivard_cut; do \
	  $(BUILD)/tests/power_loss $(BUILD) $(BUILD)/tests/$$program.exe --seed 1000 --seeds $(SEEDS) \
	    --cuts $(K) --pulls $(PULLS) $(if $(EMPTY_RUNS),--empty-runs) || status=1; \
	done; $(RUN) --stop-server; exit $$status

# A maker's signed card made and applied on a sample device, and pictures of the screen. It
# builds, in a folder of its own (BUILD/demo), only the programs it runs: tools/demo.sh.
demo:
	@tools/install-deps.sh --pictures
	@tools/demo.sh $(BUILD)

bench: build
	@bench/run.sh $(BUILD)

clean:
	rm -rf $(BUILD)
