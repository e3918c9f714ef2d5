# The two set-up commands are 'make demo' and 'make test'; both install what is missing first.
BUILD ?= build
CMAKE_FLAGS = -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DCMAKE_BUILD_TYPE=Release
RUN = tools/wine-run.sh --build $(BUILD)

.PHONY: all build test demo bench deps clean

all: build

deps:
	@tools/install-deps.sh

build: deps
	@cmake --no-warn-unused-cli -S . -B $(BUILD) $(CMAKE_FLAGS) >/dev/null
	@cmake --build $(BUILD) -j 2 -- --no-print-directory

# One persistent wineserver for the whole run; ctest's summary line is the last thing printed.
test: build
	@$(RUN) --start-server
	@cd $(BUILD) && ctest -j 2 --output-on-failure; status=$$?; \
	  ../tools/wine-run.sh --build . --stop-server; exit $$status

demo: build
	@tools/install-deps.sh --pictures
	@tools/demo.sh $(BUILD)

bench: build
	@bench/run.sh $(BUILD)

clean:
	rm -rf $(BUILD)
