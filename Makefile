# The two entry points of the README, plus the pieces they are made of.
BUILD      ?= build
SAN_BUILD  ?= build-sanitize
FUZZ_BUILD ?= build-fuzz
# The Windows cross build (make windows) and its Wine prefix.
WIN_BUILD  ?= build-windows
# Seconds of new inputs per fuzzer: CI's default; `make fuzz FUZZ_SECONDS=600`.
FUZZ_SECONDS ?= 30
CMAKE_GEN  := -G Ninja
# ccache, where installed, makes a rebuild in another clone of the tree cheap:
# paths below the tree are hashed relative to it.
export CCACHE_BASEDIR := $(CURDIR)
CMAKE_GEN  += $(if $(shell command -v ccache),-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
JOBS       ?= 2
# CI sets WERROR=ON so that a new warning fails the build.
WERROR     ?= OFF

.PHONY: deps configure build program build-sanitize build-fuzz bench bench-windows demo fuzz package test test-plain test-sanitize test-windows windows windows-package format format-check windows-check clean

deps:
	bash scripts/install-deps.sh

configure: deps
	cmake -S . -B $(BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCORVEX_WERROR=$(WERROR)

build: configure
	cmake --build $(BUILD) -j $(JOBS)

# The program alone, without the tests: what the demo and the package need.
program: configure
	cmake --build $(BUILD) -j $(JOBS) --target corvex

build-sanitize: deps
	cmake -S . -B $(SAN_BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Debug -DCORVEX_SANITIZE=ON -DCORVEX_WERROR=$(WERROR)
	cmake --build $(SAN_BUILD) -j $(JOBS)

# The fuzzers need clang; Qt and the other libraries built with g++ link fine.
build-fuzz: deps
	cmake -S . -B $(FUZZ_BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCORVEX_FUZZ=ON \
	  -DCMAKE_CXX_COMPILER=clang++
	cmake --build $(FUZZ_BUILD) -j $(JOBS)

fuzz: build-fuzz
	bash scripts/run-fuzzers.sh $(FUZZ_BUILD) $(FUZZ_SECONDS)

# A ready workspace in ./corvex-demo, mailed once into its outbox folder.
demo: program
	QT_QPA_PLATFORM=offscreen ./$(BUILD)/corvex demo corvex-demo

# corvex_<version>_<arch>.deb in $(BUILD): apt install ./$(BUILD)/corvex_*.deb
package: program
	cd $(BUILD) && cpack -G DEB

bench: build
	cmake --build $(BUILD) --target corvex_benches
	./$(BUILD)/bench/corvex_bench
	./$(BUILD)/bench/corvex_pipeline_bench
	./$(BUILD)/bench/corvex_smtp_bench

# The pipeline benchmark with build/corvex and with corvex.exe under Wine.
bench-windows: configure windows
	cmake --build $(BUILD) --target corvex_pipeline_bench
	bash scripts/windows-bench.sh $(BUILD) $(WIN_BUILD)

# The Windows table (label "windows") runs in test-windows, against corvex.exe.
test-plain: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS) -LE windows

# LeakSanitizer stays off: Qt's plugin loader and fontconfig keep caches for
# the life of the process, which it would report as leaks.
test-sanitize: build-sanitize
	cd $(SAN_BUILD) && ASAN_OPTIONS=detect_leaks=0 UBSAN_OPTIONS=print_stacktrace=1 \
	  ctest --output-on-failure -j $(JOBS)

# corvex.exe and the Windows test programs, cross-built with the Windows SDK
# (../shared/windows-sdk/*.tar.xz or the tarball CORVEX_WINSDK names), and
# $(WIN_BUILD)/dist: the program with everything it needs beside it.
windows: deps
	bash scripts/windows-build.sh $(WIN_BUILD) $(JOBS) $(WERROR) corvex_windows_tests

# The Windows installer, $(WIN_BUILD)/corvex-<version>-x64.msi (wixl), from
# $(WIN_BUILD)/dist.
windows-package: windows
	bash scripts/windows-package.sh $(WIN_BUILD)

# Under Wine: the Windows unit tests, then the table that runs corvex.exe
# beside the Linux program. Skipped, with one line saying so, without the SDK.
test-windows: build
	bash scripts/windows-test.sh $(BUILD) $(WIN_BUILD) $(JOBS) $(WERROR)

test: test-plain test-windows test-sanitize fuzz

format:
	clang-format -i $$(git ls-files '*.cpp' '*.h')

# Fails on any file that clang-format would change.
format-check: deps
	clang-format --dry-run --Werror $$(git ls-files '*.cpp' '*.h')

# Every file of src/ compiled as a Windows unit (mingw-w64, syntax only), with
# the definitions and warnings CMake gives it here.
windows-check: configure
	python3 scripts/windows-check.py $(BUILD) $(JOBS)

clean:
	rm -rf $(BUILD) $(SAN_BUILD) $(FUZZ_BUILD) $(WIN_BUILD)
