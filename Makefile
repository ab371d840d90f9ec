# kelgame: the two everyday commands are `make run` and `make test`.
BUILD       ?= build
ASAN_BUILD  ?= build-asan
FUZZ_BUILD  ?= build-fuzz
ARMHF_BUILD ?= build-armhf
ARM64_BUILD ?= build-arm64
COV_BUILD   ?= build-coverage
JOBS        ?= $(shell nproc)
FUZZ_SECONDS ?= 60
SOAK_SECONDS ?= 600
# GL and window tests need an X server; give them a virtual one when there is none. It must
# not reset when its last client leaves: a test connecting during the reset gets no window.
XVFB := $(if $(DISPLAY),,xvfb-run -a -s "-screen 0 1280x1024x24 -noreset")

# The package groups scripts/install-deps installs before anything is built: what building
# and running need, and what the goals asked for add (a test needs its packages before
# the build is configured, or its tests are left out).
deps_for = $(if $(filter $(1),$(MAKECMDGOALS)),$(2))
DEPS = run \
	$(call deps_for,test test-normal test-asan test-tsan test-package test-armhf test-arm64 coverage,test) \
	$(call deps_for,package package-native package-armhf package-arm64,package) \
	$(call deps_for,bench,bench) $(call deps_for,fuzz,fuzz) $(call deps_for,soak,soak) \
	$(call deps_for,coverage,coverage)

.PHONY: all deps deps-armhf deps-arm64 build build-asan build-armhf build-arm64 test test-normal \
	test-asan test-tsan test-armhf test-arm64 test-package package package-native package-armhf \
	package-arm64 run bench fuzz soak coverage clean

all: build

deps:
	@scripts/install-deps $(strip $(DEPS))

deps-armhf:
	@scripts/install-deps armhf

deps-arm64:
	@scripts/install-deps arm64

build: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD) -j $(JOBS)

build-asan: deps
	cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DKEL_SANITIZE=ON -DKEL_BENCH=OFF
	cmake --build $(ASAN_BUILD) -j $(JOBS)

# 32-bit ARM: cross-built, every test program started through qemu-arm-static.
build-armhf: deps deps-armhf
	cmake -S . -B $(ARMHF_BUILD) -DCMAKE_TOOLCHAIN_FILE=cmake/armhf.cmake \
		-DCMAKE_BUILD_TYPE=RelWithDebInfo -DKEL_BENCH=OFF
	cmake --build $(ARMHF_BUILD) -j $(JOBS)

# 64-bit ARM the same way, through qemu-aarch64-static.
build-arm64: deps deps-arm64
	cmake -S . -B $(ARM64_BUILD) -DCMAKE_TOOLCHAIN_FILE=cmake/arm64.cmake \
		-DCMAKE_BUILD_TYPE=RelWithDebInfo -DKEL_BENCH=OFF
	cmake --build $(ARM64_BUILD) -j $(JOBS)

test: test-normal test-asan test-tsan test-package

test-normal: build
	cd $(BUILD) && $(XVFB) ctest --output-on-failure --no-tests=error --timeout 300 -j $(JOBS)

test-asan: build-asan
	cd $(ASAN_BUILD) && $(XVFB) ctest --output-on-failure --no-tests=error --timeout 600 -j $(JOBS)

test-armhf: build-armhf
	cd $(ARMHF_BUILD) && $(XVFB) ctest --output-on-failure --no-tests=error -j $(JOBS)
	$(MAKE) --no-print-directory package-armhf
	sh tests/package_test.sh $(ARMHF_BUILD)/packages/kelgame_*_armhf.deb qemu-arm-static

test-arm64: build-arm64
	cd $(ARM64_BUILD) && $(XVFB) ctest --output-on-failure --no-tests=error -j $(JOBS)
	$(MAKE) --no-print-directory package-arm64
	sh tests/package_test.sh $(ARM64_BUILD)/packages/kelgame_*_arm64.deb qemu-aarch64-static

# Debian packages: build/packages/*_amd64.deb, build-armhf/packages/*_armhf.deb and
# build-arm64/packages/*_arm64.deb.
package: package-native package-armhf package-arm64

package-native: build
	rm -f $(BUILD)/packages/*.deb
	cd $(BUILD) && cpack
	@ls -l $(BUILD)/packages/*.deb

package-armhf: build-armhf
	rm -f $(ARMHF_BUILD)/packages/*.deb
	cd $(ARMHF_BUILD) && DEB_HOST_ARCH=armhf cpack
	@ls -l $(ARMHF_BUILD)/packages/*.deb

package-arm64: build-arm64
	rm -f $(ARM64_BUILD)/packages/*.deb
	cd $(ARM64_BUILD) && DEB_HOST_ARCH=arm64 cpack
	@ls -l $(ARM64_BUILD)/packages/*.deb

# The threaded code (the mixer against the main thread, the name resolver) under
# ThreadSanitizer: a data race fails the run.
test-tsan: deps
	sh tests/engine/test_audio_tsan.sh

test-package: package-native
	sh tests/package_test.sh $$(ls $(BUILD)/packages/kelgame_*.deb)

run: build
	./$(BUILD)/kelgame $(ARGS)

bench: build
	$(XVFB) sh bench/run.sh $(BUILD)

fuzz: deps
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKEL_FUZZ=ON -DKEL_BENCH=OFF -DKEL_TESTS=OFF
	cmake --build $(FUZZ_BUILD) -j $(JOBS)
	sh fuzz/run.sh $(FUZZ_BUILD) $(FUZZ_SECONDS)

# Not part of test: the bundled game replayed for SOAK_SECONDS (memory must not grow),
# then two minutes of it in the sanitizer build.
soak: build build-asan
	$(XVFB) sh tests/soak/soak.sh $(BUILD)/kelgame $(SOAK_SECONDS)
	$(XVFB) env LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp:print_suppressions=0 \
		sh tests/soak/soak.sh $(ASAN_BUILD)/kelgame 120 asan

# Not part of test: the normal suite on an instrumented build, then a line and branch
# report of util/, src/ and ext/ ($(COV_BUILD)/coverage/index.html) and one summary line.
coverage: deps
	cmake -S . -B $(COV_BUILD) -DCMAKE_BUILD_TYPE=Debug -DKEL_COVERAGE=ON -DKEL_BENCH=OFF
	cmake --build $(COV_BUILD) -j $(JOBS)
	scripts/coverage $(COV_BUILD) $(JOBS)

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(FUZZ_BUILD) $(ARMHF_BUILD) $(ARM64_BUILD) $(COV_BUILD)
