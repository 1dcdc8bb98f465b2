# Entry points: `make` builds everything into dist/, `make release` packs dist/<name>-<version>.zip,
# `make test` runs every test, `make demo` runs the demo, `make fuzz` runs each fuzz target for a
# minute and ends with a table of the runs, `make bench` runs every benchmark (launcher sizes, class-path
# assembly over large archive trees, launcher start-up against a bare JNI host). Each installs missing
# Debian packages first.
SHELL := /bin/bash
PACKAGES := cmake ninja-build g++ mingw-w64 g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix \
            g++-mingw-w64-i686-posix wine64 wine wine64-tools xvfb xdotool imagemagick openjdk-17-jdk-headless \
            googletest libgtest-dev libgmock-dev libbenchmark-dev clang libclang-rt-14-dev \
            python3 python3-pytest binutils-mingw-w64-x86-64 binutils-mingw-w64-i686 gcc-mingw-w64-i686-posix \
            wine32:i386 unzip osslsigncode openssl
PYTEST := /usr/bin/python3 -m pytest
# make fuzz: each target runs until FUZZ_RUNS executions (-1: no limit) or FUZZ_SECONDS have passed;
# FUZZ_TARGETS names some targets to run instead of all.
FUZZ_SECONDS ?= 60
FUZZ_RUNS ?= -1
FUZZ_TARGETS ?=

.PHONY: all deps build host windows windows-x86 dist release test unit integration demo fuzz bench clean

all: build

# wine32 is an i386 package: its architecture is added to dpkg first, on the first install only.
deps:
	@missing=$$(for p in $(PACKAGES); do dpkg-query -W -f='$${Status}\n' $$p 2>/dev/null | grep -q '^install ok installed' || echo $$p; done); \
	if [ -n "$$missing" ]; then \
	  echo "Installing: $$missing"; \
	  case "$$missing" in *:i386*) dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386;; esac; \
	  apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq $$missing >/dev/null; \
	fi

host: deps
	cmake --preset host >/dev/null
	cmake --build --preset host

windows: deps host
	cmake --preset windows -DSTUB_HOST_BUILD_DIR=$(CURDIR)/build/host >/dev/null
	cmake --build --preset windows

windows-x86: deps host
	cmake --preset windows-x86 -DSTUB_HOST_BUILD_DIR=$(CURDIR)/build/host >/dev/null
	cmake --build --preset windows-x86

dist: windows windows-x86
	@mkdir -p dist
	cmake --install build/windows --prefix $(CURDIR)/dist --component dist >/dev/null
	cmake --install build/windows-x86 --prefix $(CURDIR)/dist/x86 --component dist >/dev/null
	cmake --install build/host --prefix $(CURDIR)/dist --component dist >/dev/null

build: dist

release: dist
	cmake --preset release -DSTUB_DIST_DIR=$(CURDIR)/dist >/dev/null
	cmake --build --preset release --target release_archive

unit: host
	ctest --preset host

integration: dist release
	$(PYTEST) -q --basetemp=$(CURDIR)/build/pytest tests/integration

test: unit integration

demo: dist
	bash examples/run-demo.sh

bench: dist
	@for b in tests/bench/*.py; do echo "== $$b"; /usr/bin/python3 $$b || exit 1; done

fuzz: deps
	cmake -S . -B build/fuzz -G Ninja -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DSTUB_FUZZ=ON >/dev/null
	cmake --build build/fuzz --target fuzz_targets
	/usr/bin/python3 fuzz/run_fuzz.py build/fuzz --seconds $(FUZZ_SECONDS) --runs $(FUZZ_RUNS) $(FUZZ_TARGETS)

clean:
	rm -rf build dist
