# Velkaron: `make demo` and `make test` are all a fresh Debian machine needs.
#   make deps    install what every step below needs (each step installs its own share itself:
#                `make build` and `make demo` the compilers and Wine, `make release` also the
#                packaging tools, `make test` the rest); where the kernel cannot execute i386
#                programs, set up 32-bit Wine under qemu-i386 in build/wine32 (once;
#                VELKARON_WINE32=emulated forces that route)
#   make build   what ships: the three libraries, the sample configuration and the command-line
#                hosts, in dist/ (no test program)
#   make test    build the test programs too, then run every test of the three builds and the
#                sanitizer builds
#   make test-asan, make test-tsan   the native suite under ASan+UBSan, or under TSan
#   make fuzz    each libFuzzer target for FUZZ_SECONDS (30) from its seed corpus
#   make bench   the cost of a field against the system-call floor; writes bench/results.md
#   make demo    build, then drive each library the way the host does: list its fields, set and
#                read values on a demo folder
#   make install the Linux build, by the GNU conventions (PREFIX=/usr/local, DESTDIR)
#   make release build, then the archives and the Debian package users install, and SHA256SUMS,
#                in dist/release
#   make check-reproducible   the release built twice from two clones, compared byte for byte

PRESETS := linux win64 win32
# What each step installs, and a command (or file) of each package: what is missing decides
# whether to install. A step takes the lists of the steps before it. The build and release
# steps take no recommended packages (Wine's alone are Mesa, GStreamer and fonts, for both
# architectures).
PACKAGES_build := cmake ninja-build g++ g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix \
  wine wine64
NEEDED_build := cmake ninja g++ i686-w64-mingw32-g++-posix x86_64-w64-mingw32-g++-posix \
  /usr/lib/wine/wine64
PACKAGES_release := $(PACKAGES_build) python3 dpkg-dev
NEEDED_release := $(NEEDED_build) /usr/bin/python3 dpkg-shlibdeps
PACKAGES_test := $(PACKAGES_release) file python3-pefile googletest xvfb xauth ntfs-3g valgrind \
  clang libclang-rt-14-dev libbenchmark-dev samba smbclient lintian debootstrap \
  qemu-system-x86 busybox-static cpio kmod
NEEDED_test := $(NEEDED_release) file /usr/lib/python3/dist-packages/pefile.py \
  /usr/src/googletest/CMakeLists.txt xvfb-run xauth /usr/bin/ntfs-3g /usr/sbin/mkntfs valgrind \
  clang++ /usr/include/benchmark/benchmark.h /usr/sbin/smbd smbclient lintian debootstrap \
  qemu-system-x86_64 /bin/busybox cpio /sbin/depmod
PACKAGES32 := wine32:i386
NEEDED32 := /usr/lib/wine/wine
# What ships of each build: the library and the command-line host.
SHIP_TARGETS := velkaron plughost

FUZZ_SECONDS ?= 30
FUZZ_TARGETS := profile contents encode paths

.PHONY: all deps deps-build deps-release deps-test build test-programs test test-asan test-tsan fuzz bench demo install release check-release check-reproducible clean
all: build

# deps-STEP: what STEP needs. 32-bit Wine, natively or under qemu-i386, belongs to every step.
deps: deps-test
deps-build deps-release deps-test: deps-%:
	@[ -n "$${VELKARON_DEPS_DONE:-}" ] || { \
	  VELKARON_NEEDED="$(NEEDED_$*)" VELKARON_PACKAGES="$(PACKAGES_$*)" \
	  VELKARON_NEEDED32="$(NEEDED32)" VELKARON_PACKAGES32="$(PACKAGES32)" \
	  VELKARON_APT_OPTIONS="$(if $(filter test,$*),,--no-install-recommends)" tools/deps.sh build || exit 1; \
	  . cmake/wine-env.sh; \
	  if [ "$$(wine32_route $$PWD)" = none ] && [ "$${VELKARON_WINE32:-}" != none ] && \
	     [ ! -f build/wine32-unavailable ]; then \
	    cmake/wine32-emulated.sh build/wine32 || \
	      echo "32-bit Wine could not be set up under qemu-i386 (cmake/wine32-emulated.sh)" > build/wine32-unavailable; \
	  fi; }

# A build folder that this step configures first has no test programs (GoogleTest is a test
# package); `make test` turns them on, and this step keeps them on.
build: deps-build
	@for p in $(PRESETS); do \
	  tests=; [ -f build/$$p/CMakeCache.txt ] || tests=-DVELKARON_TESTS=OFF; \
	  cmake --preset $$p $$tests >/dev/null && cmake --build --preset $$p --target $(SHIP_TARGETS) || exit 1; done
	@mkdir -p dist
	cp build/linux/Velkaron.so build/win32/Velkaron.wdx build/win64/Velkaron.w64 dist/
	cp config/Velkaron.sample.ini dist/
	cp build/linux/plughost build/win32/plughost32.exe build/win64/plughost64.exe dist/

# Every build with its test programs, so that `ctest --preset P` runs them afterwards too.
test-programs: deps-test
	@for p in $(PRESETS); do \
	  cmake --preset $$p -DVELKARON_TESTS=ON >/dev/null && cmake --build --preset $$p || exit 1; done
	@VELKARON_DEPS_DONE=1 $(MAKE) --no-print-directory build

test: test-programs
	@failed=""; for p in $(PRESETS); do \
	  echo "=== $$p ==="; ctest --preset $$p || failed="$$failed $$p"; done; \
	for p in test-asan test-tsan check-release fuzz; do \
	  VELKARON_DEPS_DONE=1 $(MAKE) --no-print-directory $$p || failed="$$failed $$p"; done; \
	. cmake/wine-env.sh; \
	wine32_banner $$PWD || [ "$${CI:-}" != true ] || failed="$$failed win32-route"; \
	if [ -n "$$failed" ]; then echo "FAILED:$$failed"; exit 1; fi

# The native suite with sanitizers: memory errors, leaks and undefined behaviour; data races.
test-asan test-tsan: test-%: deps-test
	@echo "=== linux-$* ==="
	@cmake --preset linux-$* >/dev/null && cmake --build --preset linux-$* && ctest --preset linux-$*

# New inputs a run finds go to build/fuzz/corpus-*, never into the seed corpus in fuzz/corpus.
fuzz: deps-test
	@echo "=== fuzz ($(FUZZ_SECONDS) s per target) ==="
	@cmake --preset fuzz >/dev/null && cmake --build --preset fuzz
	@for t in $(FUZZ_TARGETS); do \
	  mkdir -p build/fuzz/corpus-$$t; \
	  build/fuzz/fuzz/fuzz_$$t -max_total_time=$(FUZZ_SECONDS) -print_final_stats=1 \
	    -artifact_prefix=build/fuzz/crash-$$t- build/fuzz/corpus-$$t fuzz/corpus/$$t \
	    > build/fuzz/fuzz-$$t.log 2>&1 || { tail -40 build/fuzz/fuzz-$$t.log; echo "fuzz_$$t: FAILED"; exit 1; }; \
	  echo "fuzz_$$t: $$(grep -o 'number_of_executed_units: [0-9]*' build/fuzz/fuzz-$$t.log | cut -d' ' -f2) inputs, no failure"; \
	done

# Every archive entry carries the commit's time, so the same commit gives the same bytes.
RELEASE_EPOCH := $(or $(SOURCE_DATE_EPOCH),$(shell git log -1 --format=%ct 2>/dev/null),315532800)

# The Linux build by the GNU conventions: PREFIX/lib/velkaron/Velkaron.wdx and its sample,
# PREFIX/bin/plughost, its manual page, the guide and the licence in PREFIX/share/doc/velkaron.
PREFIX ?= /usr/local
install:
	@tests=; [ -f build/linux/CMakeCache.txt ] || tests=-DVELKARON_TESTS=OFF; \
	  cmake --preset linux $$tests >/dev/null && cmake --build --preset linux --target $(SHIP_TARGETS)
	@/usr/bin/python3 tools/release.py install build/linux "$(DESTDIR)" "$(PREFIX)" $(RELEASE_EPOCH)

release: deps-release build
	@rm -rf dist/release
	@/usr/bin/python3 tools/release.py dist dist/release $(RELEASE_EPOCH)

# The unpacked archives: checksums, contents, exports, and each build's plug-in suite against
# them; the Debian package through lintian, and installed, used and removed in a fresh root.
check-release: test-programs release
	@echo "=== release archives ==="
	@tests/release/check_release.sh dist/release build/release-check

check-reproducible: deps-release
	@tools/check-reproducible.sh

bench: deps-test
	@bench/run.sh

demo: build
	@tools/demo.sh

clean:
	rm -rf build dist
