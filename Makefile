# kelgame: the two everyday commands are `make run` and `make test`.
BUILD       ?= build
ASAN_BUILD  ?= build-asan
FUZZ_BUILD  ?= build-fuzz
JOBS        ?= $(shell nproc)
FUZZ_SECONDS ?= 60
# GL and window tests need an X server; give them a virtual one when there is none.
XVFB := $(if $(DISPLAY),,xvfb-run -a -s "-screen 0 1280x1024x24")

.PHONY: all deps build build-asan test test-normal test-asan run bench fuzz clean

all: build

deps:
	@scripts/install-deps

build: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD) -j $(JOBS)

build-asan: deps
	cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DKEL_SANITIZE=ON -DKEL_BENCH=OFF
	cmake --build $(ASAN_BUILD) -j $(JOBS)

test: test-normal test-asan

test-normal: build
	cd $(BUILD) && $(XVFB) ctest --output-on-failure --timeout 300 -j $(JOBS)

test-asan: build-asan
	cd $(ASAN_BUILD) && $(XVFB) ctest --output-on-failure --timeout 600 -j $(JOBS)

run: build
	./$(BUILD)/kelgame $(ARGS)

bench: build
	$(XVFB) sh bench/run.sh $(BUILD)

fuzz: deps
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKEL_FUZZ=ON -DKEL_BENCH=OFF -DKEL_TESTS=OFF
	cmake --build $(FUZZ_BUILD) -j $(JOBS)
	sh fuzz/run.sh $(FUZZ_BUILD) $(FUZZ_SECONDS)

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(FUZZ_BUILD)
