# Two commands: `make run` and `make test`. Both install what is missing first.
.PHONY: all deps host win test run fuzz clean

all: host win

deps:
	@bash scripts/deps.sh

host: deps
	@cmake -S . -B build/host -G Ninja -DCMAKE_BUILD_TYPE=Debug >/dev/null
	@cmake --build build/host

win: deps
	@cmake -S . -B build/win -G Ninja -DCMAKE_BUILD_TYPE=Release \
	  -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake >/dev/null
	@cmake --build build/win

test: host win
	@bash scripts/run-tests.sh

# Fuzz the loaders for as long as you like: make fuzz FUZZ_SECONDS=3600 FUZZ_TARGETS="selection"
FUZZ_SECONDS ?= 600
fuzz: deps
	@bash scripts/fuzz.sh run $(FUZZ_SECONDS) $(FUZZ_TARGETS)

run: win
	@bash scripts/run.sh

clean:
	rm -rf build
