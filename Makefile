# make run   - install missing packages, build the game and its data (not the
#              test programs), start it from the data tree
# make test  - install missing packages, build everything with the test
#              programs, run the test suite normally and again built with
#              AddressSanitizer + UBSan
JOBS ?= $(shell nproc)
BUILD := build
SAN_BUILD := build-asan
TSAN_BUILD := build-tsan
# The threaded network tests (browser, worker thread, client, connection) under
# ThreadSanitizer.
TSAN_TESTS := Browser|Client|Connection|WorkerThread
RUNDIR := run

.PHONY: all deps build build-game build-asan run test test-normal test-asan test-tsan bench clean

all: build

deps:
	@tools/install-deps.sh

build: deps
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	@cmake --build $(BUILD) -j $(JOBS)

# Only the program and the files of the data tree that are generated.
build-game: deps
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	@cmake --build $(BUILD) --target game -j $(JOBS)

build-asan: deps
	@cmake -S . -B $(SAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DZM_SANITIZE=ON >/dev/null
	@cmake --build $(SAN_BUILD) -j $(JOBS)

# The game writes settings, replays and screenshots into its working
# directory, so it runs in a runtime folder that links to the data tree.
run: build-game
	@tools/make-rundir.sh $(RUNDIR) $(BUILD)
	@cd $(RUNDIR) && ./zylomach $(ARGS)

test-normal: build
	@cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

# Freed memory stays with the sanitizer's allocator: handing it back to the
# system at every thread's end took the games' shut-down tens of seconds on a
# busy virtual machine (one madvise call at a time from the exiting thread).
test-asan: build-asan
	@cd $(SAN_BUILD) && ASAN_OPTIONS=detect_leaks=1:abort_on_error=0:allocator_release_to_os_interval_ms=-1 \
	  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  ctest --output-on-failure -j $(JOBS)

test-tsan: deps
	@cmake -S . -B $(TSAN_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZM_TSAN=ON >/dev/null
	@cmake --build $(TSAN_BUILD) --target test_net -j $(JOBS)
	@cd $(TSAN_BUILD) && TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
	  ctest --output-on-failure -j $(JOBS) -R '$(TSAN_TESTS)'

test: test-normal test-asan test-tsan

bench: build
	@cmake --build $(BUILD) --target benchmarks -j $(JOBS)

# make fuzz - build the libFuzzer targets with clang++, run each for
#             FUZZ_SECONDS (default 30), a few at a time (FUZZ_JOBS), and
#             print each one's executions a second; fails on any fault
FUZZ_SECONDS ?= 30
.PHONY: fuzz
fuzz:
	@tools/fuzz.sh $(FUZZ_SECONDS)

clean:
	rm -rf $(BUILD) $(SAN_BUILD) $(TSAN_BUILD)
