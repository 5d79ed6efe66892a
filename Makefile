# Tidewell: `make test` builds everything and runs every test; `make demo` shows a real run
# under Wine; `make bench` measures it against the physical limit. All install what is missing
# first.
BUILD ?= build
JOBS ?= 2
BUILD_TYPE ?= RelWithDebInfo

.PHONY: all deps build host win32 win64 test test-win32 unit e2e demo bench fuzz clean

all: build

deps:
	@scripts/ensure-deps.sh

win32: deps
	@cmake -S . -B $(BUILD)/win32 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake -DCMAKE_BUILD_TYPE=MinSizeRel >/dev/null
	@cmake --build $(BUILD)/win32 -j$(JOBS)

win64: deps
	@cmake -S . -B $(BUILD)/win64 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake -DCMAKE_BUILD_TYPE=MinSizeRel >/dev/null
	@cmake --build $(BUILD)/win64 -j$(JOBS)

host: deps
	@cmake -S . -B $(BUILD)/host -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) \
		-DTIDEWELL_WIN32_DIR=$(abspath $(BUILD)/win32) -DTIDEWELL_WIN64_DIR=$(abspath $(BUILD)/win64) >/dev/null
	@cmake --build $(BUILD)/host -j$(JOBS)

build: win32 win64 host

# Every test: host unit tests, checks on the built programs, and the end-to-end tests under Wine
# (the 32-bit program's among them).
test: build
	@scripts/run-tests.sh $(BUILD)/host

# The shipped 32-bit program under Wine's 32-bit half only; it sets up user-mode emulation of
# 32-bit programs where the machine needs it (scripts/win32-emulation.sh), and is skipped with a
# message where it cannot.
test-win32: build
	@scripts/run-tests.sh $(BUILD)/host -L win32

unit: host
	@cd $(BUILD)/host && ctest -L unit --output-on-failure -j$(JOBS)

demo: build
	@scripts/demo.sh $(BUILD)

# The benchmarks (bench/run_bench.py says what each measures): prints a table and writes
# $(BUILD)/bench/results.json. BENCH_ARGS passes options on, e.g. BENCH_ARGS="--only size,load".
bench: win32 win64
	@cmake -S . -B $(BUILD)/bench/host -DCMAKE_BUILD_TYPE=Release -DTIDEWELL_SANITIZE=OFF -DTIDEWELL_BENCH=ON >/dev/null
	@cmake --build $(BUILD)/bench/host -j$(JOBS) --target tidewell-log log_load_bench
	@scripts/bench.sh $(BUILD) $(BENCH_ARGS)

# Fuzzes the log loader for FUZZ_SECONDS (scripts/fuzz.sh says more).
FUZZ_SECONDS ?= 60
fuzz:
	@FUZZ_BUILD=$(abspath $(BUILD)/fuzz) scripts/fuzz.sh $(FUZZ_SECONDS)

clean:
	rm -rf $(BUILD)
