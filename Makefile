# The kit's two commands: `make test` runs every test tier, `make run` starts the setup program.
# Everything a build or test needs is installed first (apt-get, as root).

SHELL := /bin/bash
PRESETS_WITH_TESTS := native native-asan native-tsan mingw
CLANG_FORMAT ?= clang-format

.PHONY: test run deps build bench fuzz format format-check $(addprefix test-,$(PRESETS_WITH_TESTS)) \
        $(addprefix build-,$(PRESETS_WITH_TESTS))

test: deps format-check test-native test-native-asan test-native-tsan test-mingw fuzz
	@echo "make test: every tier passed"

# ZRVLinkSetup.exe with a simulated device; without a display: a read through the window and a screenshot.
run: deps
	./scripts/run-setup.sh

deps:
	@./scripts/install-deps.sh

build: $(addprefix build-,$(PRESETS_WITH_TESTS))

$(addprefix build-,$(PRESETS_WITH_TESTS)): build-%: deps
	cmake --preset $* >/dev/null
	cmake --build --preset $*

test-native test-native-asan test-native-tsan: test-%: build-%
	ctest --preset $*

# The Windows tests that need a device use zrvlink-sim from the native build.
test-mingw: build-mingw build-native
	./scripts/with-wine.sh ctest --preset mingw

# A bounded libFuzzer run of each fuzz target (clang-14); every other build replays their seed corpora.
FUZZ_TARGETS := fuzz_setup_file fuzz_replies fuzz_ini
FUZZ_SECONDS ?= 30

fuzz: deps
	@if ! command -v clang++-14 >/dev/null; then echo "fuzz: clang++-14 is missing, fuzzing skipped"; exit 0; fi; \
	cmake --preset fuzz >/dev/null && cmake --build --preset fuzz --target $(FUZZ_TARGETS) && \
	./scripts/run-fuzz.sh build/fuzz $(FUZZ_SECONDS) $(FUZZ_TARGETS)

# Benchmarks print figures and never fail the tests; optimised build.
bench: deps
	cmake --preset native-release >/dev/null
	cmake --build --preset native-release
	./build/native-release/bench/transfer_bench 20
	./build/native-release/bench/portdetect_bench
	./scripts/bench-zrvlink.sh build/native-release 20

SOURCES = $(shell git ls-files '*.cpp' '*.h' 2>/dev/null)

format:
	$(CLANG_FORMAT) -i $(SOURCES)

format-check:
	@$(CLANG_FORMAT) --dry-run --Werror $(SOURCES) && echo "format-check: sources follow .clang-format"
