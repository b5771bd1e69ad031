# Vistaloom: `make run` builds and starts the program on the sample picture,
# `make test` builds and runs every test.
BUILD ?= build
BUILD_SANITIZE ?= build-sanitize
BUILD_FUZZ ?= build-fuzz
SAMPLE ?= data/samples/testcard.png
JOBS ?= $(shell nproc)
PREFIX ?= /usr/local

.PHONY: all deps configure build run test test-sanitize soak bench fuzz-smoke install package clean

all: build

deps:
	@scripts/install-deps

$(BUILD)/build.ninja: | deps
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo

configure: $(BUILD)/build.ninja

build: deps configure
	cmake --build $(BUILD) -j $(JOBS)

run: build
	@if [ -z "$$DISPLAY" ] && [ -z "$$WAYLAND_DISPLAY" ]; then \
	  echo "No display: running headless"; \
	  $(BUILD)/vistaloom --headless $(SAMPLE); \
	else \
	  $(BUILD)/vistaloom $(SAMPLE); \
	fi

# Installs under $(PREFIX) (default /usr/local); DESTDIR is honoured for staging.
install: build
	cmake --install $(BUILD) --prefix $(PREFIX)

# The Debian package, $(BUILD)/vistaloom_<version>_<arch>.deb.
package: build
	cd $(BUILD) && cpack -G DEB

test: build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

test-sanitize: deps
	cmake -S . -B $(BUILD_SANITIZE) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVISTALOOM_SANITIZE=ON
	cmake --build $(BUILD_SANITIZE) -j $(JOBS)
	ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
	  ctest --test-dir $(BUILD_SANITIZE) --output-on-failure -j $(JOBS)

# The load tests in their full form: the scripting port with 8 clients and 10 000 commands,
# the thumbnail scanner over 2 000 pictures (make test runs their short forms).
soak: build
	VISTALOOM_SOAK=full $(BUILD)/tests/test_script --gtest_filter='*Soak*'
	VISTALOOM_SOAK=full $(BUILD)/tests/test_browser --gtest_filter='*Soak*'

bench: deps
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVISTALOOM_BENCH=ON
	cmake --build $(BUILD) -j $(JOBS)

# Replays the fuzz corpora under the sanitizers and fuzzes each target briefly (clang).
fuzz-smoke: deps
	BUILD_FUZZ=$(BUILD_FUZZ) JOBS=$(JOBS) scripts/fuzz-smoke

clean:
	rm -rf $(BUILD) $(BUILD_SANITIZE) $(BUILD_FUZZ)
