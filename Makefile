# The two set-up commands of the README: `make demo` and `make test`.
BUILD      ?= build
ASAN_BUILD ?= build-asan
TSAN_BUILD ?= build-tsan
PACKAGE_BUILD ?= build-package
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 60
JOBS       ?= $(shell nproc)
# make test (and so CI) builds with warnings as errors; WERROR=OFF for a quick local build.
WERROR     ?= ON
CMAKE_GEN  := $(shell command -v ninja >/dev/null 2>&1 && echo "-G Ninja")

.PHONY: all deps build format-check test test-asan test-tsan fuzz-build fuzz test-fuzz demo bench screenshot package clean

all: build

deps:
	bash scripts/install-deps.sh

$(BUILD)/build.ninja $(BUILD)/Makefile:
	cmake -S . -B $(BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DPANORELLO_WERROR=$(WERROR)

build: deps $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS)

# Every C++ file as .clang-format lays it out (clang-format -i on a file puts it right).
format-check: deps
	bash scripts/check-format.sh

# Every test, then the tests once more under AddressSanitizer and UndefinedBehaviorSanitizer, and
# the tests that run threads under ThreadSanitizer.
test: format-check build
	bash scripts/run-tests.sh $(BUILD)
	$(MAKE) test-asan
	$(MAKE) test-tsan
	$(MAKE) test-fuzz

test-asan: deps
	cmake -S . -B $(ASAN_BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Debug -DPANORELLO_SANITIZE=ON \
	  -DPANORELLO_WITH_UI=OFF -DPANORELLO_BENCH=OFF -DPANORELLO_WERROR=$(WERROR)
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	ASAN_OPTIONS=halt_on_error=1:abort_on_error=0:detect_leaks=1 \
	UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
	  bash scripts/run-tests.sh $(ASAN_BUILD)

# The tests whose code runs threads: the block pool and the generation run, each query's deadline
# and the run's stop (with the database servers and the program they start).
TSAN_TESTS ?= BlockPool|BuildDashboardHtml|RunDashboardGeneration|TableStreaming|db\.Deadline|db\.Stop|db\.WorkerReuse|PoolLogins
test-tsan: deps
	cmake -S . -B $(TSAN_BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPANORELLO_TSAN=ON \
	  -DPANORELLO_WITH_UI=OFF -DPANORELLO_BENCH=OFF -DPANORELLO_WERROR=$(WERROR)
	cmake --build $(TSAN_BUILD) -j $(JOBS) --target panorello test_html test_db
	TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$(CURDIR)/tests/tsan.supp" \
	  ctest --test-dir $(TSAN_BUILD) --output-on-failure -j 2 --timeout 900 -R '$(TSAN_TESTS)'

# The libFuzzer targets (clang, AddressSanitizer, UndefinedBehaviorSanitizer): `make fuzz` runs
# each for FUZZ_SECONDS; `make test-fuzz` runs each over its seed corpus plus a short smoke run.
fuzz-build: deps
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DPANORELLO_FUZZ=ON -DPANORELLO_WERROR=$(WERROR)
	cmake --build $(FUZZ_BUILD) -j $(JOBS)

fuzz: fuzz-build
	FUZZ_TARGETS="$(FUZZ_TARGETS)" bash tests/fuzz/run.sh $(FUZZ_BUILD) fuzz $(FUZZ_SECONDS)

test-fuzz: fuzz-build
	bash tests/fuzz/run.sh $(FUZZ_BUILD) check 5

demo: build
	./$(BUILD)/panorello /DEMO
	@echo "Dashboard demo: $(CURDIR)/$(BUILD)/dashboard_demo.html"

bench: build
	bash bench/run.sh $(BUILD)
	bash bench/roundtrip.sh $(BUILD)

screenshot: build
	bash scripts/screenshot.sh $(BUILD)
	bash scripts/mail-screenshot.sh $(BUILD)

# The Debian packages panorello (no Qt: batch, cron, timers) and panorello-gui (the window),
# built for /usr in their own folder.
package: deps
	cmake -S . -B $(PACKAGE_BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DCMAKE_INSTALL_PREFIX=/usr -DPANORELLO_TESTS=OFF -DPANORELLO_BENCH=OFF
	cmake --build $(PACKAGE_BUILD) -j $(JOBS)
	cd $(PACKAGE_BUILD) && cpack -G DEB
	@ls -1 $(PACKAGE_BUILD)/*.deb

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(TSAN_BUILD) $(PACKAGE_BUILD) $(FUZZ_BUILD)
