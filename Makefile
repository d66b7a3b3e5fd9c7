# The kit's two commands: `make test` runs every test tier, `make run` starts the setup program.
# Everything a build or test needs is installed first (apt-get, as root).

SHELL := /bin/bash
PRESETS_WITH_TESTS := native native-asan native-tsan mingw
CLANG_FORMAT ?= clang-format

.PHONY: test run deps mingw-deps build dist bench fuzz format format-check test-package $(addprefix test-,$(PRESETS_WITH_TESTS)) \
        $(addprefix build-,$(PRESETS_WITH_TESTS))

# Every tier in order, stopping at the first that fails; the last lines name it and its failing tests.
test: deps
	@./scripts/test-tiers.sh

# ZRVLinkSetup.exe with a simulated device; without a display: a read through the window and a screenshot.
run: deps
	./scripts/run-setup.sh

deps:
	@./scripts/install-deps.sh

build: $(addprefix build-,$(PRESETS_WITH_TESTS))

$(addprefix build-,$(PRESETS_WITH_TESTS)): build-%: deps
	cmake --preset $* >/dev/null
	cmake --build --preset $*

# libpq for Windows, built once per machine from Debian's source packages (scripts/build-mingw-deps.sh).
build-mingw: mingw-deps
mingw-deps: deps
	@./scripts/build-mingw-deps.sh

# The Windows zip and the Debian package, written by CPack into dist/.
dist: deps
	./scripts/make-dist.sh

# One tier each, with the same summary. test-package checks the packages (it needs the mingw build).
test-native test-native-asan test-native-tsan test-mingw test-package: test-%: deps
	@./scripts/test-tiers.sh $*

# A bounded libFuzzer run of each fuzz target (clang-14, FUZZ_SECONDS each, side by side); every other
# build replays their seed corpora.
export FUZZ_SECONDS
fuzz: deps
	@./scripts/test-tiers.sh fuzz

# Benchmarks print figures and never fail the tests; optimised build. zrvlink_cpu_bench RUNS PATH compares
# another zrvlink build's processor time with this one's.
bench: deps
	cmake --preset native-release >/dev/null
	cmake --build --preset native-release
	./build/native-release/bench/transfer_bench 20
	./build/native-release/bench/portdetect_bench
	./build/native-release/bench/zrvlink_cpu_bench 20
	./scripts/bench-zrvlink.sh build/native-release 20
	./build/native-release/bench/station_arrival_bench
	./build/native-release/bench/ledger_bench
	/usr/bin/python3 bench/board_stalled_pages.py build/native-release/cli/zrvlink build/native-release/sim/zrvlink-sim 10
	/usr/bin/python3 bench/board_under_attack.py build/native-release/cli/zrvlink build/native-release/sim/zrvlink-sim 3

SOURCES = $(shell git ls-files '*.cpp' '*.h' 2>/dev/null)

format:
	$(CLANG_FORMAT) -i $(SOURCES)

format-check:
	@$(CLANG_FORMAT) --dry-run --Werror $(SOURCES) && echo "format-check: sources follow .clang-format"
