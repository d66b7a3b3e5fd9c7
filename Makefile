# The kit's two commands: `make test` runs every test tier, `make run` starts the setup program.
# Everything a build or test needs is installed first (apt-get, as root).

SHELL := /bin/bash
PRESETS_WITH_TESTS := native native-asan native-tsan mingw
CLANG_FORMAT ?= clang-format

.PHONY: test run deps build format format-check $(addprefix test-,$(PRESETS_WITH_TESTS)) \
        $(addprefix build-,$(PRESETS_WITH_TESTS))

test: deps format-check test-native test-native-asan test-native-tsan test-mingw
	@echo "make test: every tier passed"

run: deps
	@echo "make run: the setup program ZRVLinkSetup.exe is not part of the kit yet."
	@echo "What exists: the configuration record, the trace log and the device protocol (core/, devicelink/),"
	@echo "their native tests ('make test-native') and their Windows tests under Wine ('make test-mingw')."

deps:
	@./scripts/install-deps.sh

build: $(addprefix build-,$(PRESETS_WITH_TESTS))

$(addprefix build-,$(PRESETS_WITH_TESTS)): build-%: deps
	cmake --preset $* >/dev/null
	cmake --build --preset $*

test-native test-native-asan test-native-tsan: test-%: build-%
	ctest --preset $*

test-mingw: build-mingw
	./scripts/with-wine.sh ctest --preset mingw

SOURCES = $(shell git ls-files '*.cpp' '*.h' 2>/dev/null)

format:
	$(CLANG_FORMAT) -i $(SOURCES)

format-check:
	@$(CLANG_FORMAT) --dry-run --Werror $(SOURCES) && echo "format-check: sources follow .clang-format"
