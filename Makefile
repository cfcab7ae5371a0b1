# The two commands of the README: `make run` and `make test`. Both install the
# missing Debian packages first, so they work on a fresh Debian 12 machine.

BUILD      ?= build
TSAN_BUILD ?= build-tsan
JOBS       ?= $(shell nproc)

.PHONY: deps configure build run test test-main test-tsan fuzz bench gallery selfie-masks shots lupdate install package package-check format clean

deps:
	bash tools/install-deps.sh

configure: deps
	cmake -S . -B $(BUILD) -G Ninja

build: configure
	cmake --build $(BUILD) -j $(JOBS)

run: build
	$(BUILD)/bin/lumora

test: test-main test-tsan

test-main: build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

# The engine and its tests once more under ThreadSanitizer, in a tree of
# their own.
test-tsan: deps
	cmake -S . -B $(TSAN_BUILD) -G Ninja -DLUMORA_ENGINE_ONLY=ON -DLUMORA_SANITIZE=thread
	cmake --build $(TSAN_BUILD) -j $(JOBS)
	TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$(CURDIR)/tools/tsan-suppressions.txt" \
		ctest --test-dir $(TSAN_BUILD) --output-on-failure

# The virtual camera reader's block checks under libFuzzer for 60 s, in a
# clang tree of its own. New inputs that reach new code join the corpus in
# tests/fuzz; a crash leaves its input there too (crash-*).
FUZZ_BUILD ?= build-fuzz
fuzz: deps
	bash tools/install-deps.sh tools/fuzz-packages.txt
	CXX=clang++ CC=clang cmake -S . -B $(FUZZ_BUILD) -G Ninja -DLUMORA_ENGINE_ONLY=ON \
		-DLUMORA_FUZZ=ON -DLUMORA_SANITIZE=address,fuzzer-no-link
	cmake --build $(FUZZ_BUILD) -j $(JOBS) --target vcam_block_fuzz
	$(FUZZ_BUILD)/bin/vcam_block_fuzz -max_total_time=60 -artifact_prefix=tests/fuzz/ \
		tests/fuzz/vcam_block_corpus

bench: deps
	cmake -S . -B $(BUILD) -G Ninja -DLUMORA_BENCH=ON
	cmake --build $(BUILD) -j $(JOBS)
	$(BUILD)/bin/engine_bench
	$(BUILD)/bin/vcam_bench
	$(BUILD)/bin/vcam_road_bench
	bash bench/loopback_road.sh $(BUILD)
	$(BUILD)/bin/capture_bench
	$(BUILD)/bin/effects_bench
	$(BUILD)/bin/tick_bench
	$(BUILD)/bin/slideshow_bench
	$(BUILD)/bin/video_info_bench
	$(BUILD)/bin/ui_bench
	bash bench/whole_job.sh $(BUILD) standard
	bash bench/whole_job.sh $(BUILD) 720p
	bash bench/whole_job.sh $(BUILD) 1080p
	bash tools/pulse-fixture.sh start $(BUILD)/bench-pulse
	PULSE_SERVER=unix:$(CURDIR)/$(BUILD)/bench-pulse/native $(BUILD)/bin/recorder_bench \
		--benchmark_filter=OneMinute; status=$$?; \
		bash tools/pulse-fixture.sh stop $(BUILD)/bench-pulse; exit $$status

# The selfie segmentation networks' reference masks, made by the package's
# own runtime in headless Chromium; the tests compare the converted networks
# with them. Run again only when the package or the test picture changes.
selfie-masks: deps
	cmake -S . -B $(BUILD) -G Ninja
	cmake --build $(BUILD) -j $(JOBS) --target lumora_selfie_model
	/usr/bin/python3 tools/selfie_model/reference/masks.py $(BUILD)/selfie_model/package \
		tests/tools/selfie_model/data tests/tools/selfie_model/data/messi5.jpg

gallery: build
	$(BUILD)/bin/lumora-skin-gallery --skin $(BUILD)/bin/skin $(BUILD)/gallery
	$(BUILD)/bin/lumora-skin-gallery --skin $(BUILD)/bin/skin --scale 2 $(BUILD)/gallery

# The English translation brought up to date with the sources.
lupdate: configure
	cmake --build $(BUILD) --target lumora_lupdate

# Screenshots of every panel with the skin, on a private X server.
shots: build
	xvfb-run -a -s "-screen 0 1280x1024x24" $(BUILD)/bin/lumora-panel-shots $(BUILD)/shots

# Installs under PREFIX (default /usr/local).
PREFIX ?= /usr/local
install: build
	cmake --install $(BUILD) --prefix $(PREFIX)

# A Debian package in $(BUILD)/, and its check in a clean Debian 12 root
# (downloads the root with debootstrap; not part of make test).
package: build
	cd $(BUILD) && cpack -G DEB

package-check: package
	bash tools/package-check.sh $(BUILD)

format:
	git ls-files '*.h' '*.cpp' | xargs clang-format -i

clean:
	rm -rf $(BUILD) $(TSAN_BUILD)
