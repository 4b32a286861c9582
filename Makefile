# make run    install what is missing, build, start the program
# make test   install what is missing, build, run every test
# make bench  install what is missing, build, run the benchmarks
# make soak-test  the same as "make test", SOAK_RUNS times (10) beside CPU hogs
BUILD ?= build
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?= -DCMAKE_BUILD_TYPE=RelWithDebInfo
SOAK_RUNS ?= 10

.PHONY: all build run test soak-test bench sanitize format clean

all: build

$(BUILD)/CMakeCache.txt:
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS)

build: $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j$(JOBS)

run:
	scripts/deps.sh run
	$(MAKE) build
	scripts/run.sh $(BUILD)

test:
	scripts/deps.sh test
	$(MAKE) build
	cd $(BUILD) && ctest -j$(JOBS) --output-on-failure --timeout 600

# The whole suite SOAK_RUNS times in a row while two CPU hogs keep the
# machine busy; logs of failed runs stay in $(BUILD)/soak/.
soak-test:
	scripts/deps.sh test
	$(MAKE) build
	scripts/soak.sh $(BUILD) $(SOAK_RUNS) $(JOBS)

bench:
	scripts/deps.sh bench
	$(MAKE) build
	scripts/bench.sh $(BUILD)

# The announcer, tick thread and speech tests under AddressSanitizer and
# ThreadSanitizer.
sanitize:
	scripts/deps.sh build
	$(MAKE) build BUILD=build-asan CMAKE_FLAGS="-DCMAKE_BUILD_TYPE=Debug -DHYTUNE_SANITIZE=address"
	cd build-asan && ctest -L "unit|gui" --output-on-failure
	$(MAKE) build BUILD=build-tsan CMAKE_FLAGS="-DCMAKE_BUILD_TYPE=Debug -DHYTUNE_SANITIZE=thread"
	cd build-tsan && TSAN_OPTIONS="halt_on_error=1 die_after_fork=0 suppressions=$(CURDIR)/tests/tsan.supp" \
	    ctest -L "unit|gui" --output-on-failure

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD) build-asan build-tsan
