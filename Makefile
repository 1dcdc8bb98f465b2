# Entry points: `make` builds everything into dist/, `make release` packs dist/<name>-<version>.zip,
# `make test` runs every test, `make demo` runs the demo, `make fuzz` runs each fuzz target for a
# minute and ends with a table of the runs, `make bench` runs every benchmark (launcher sizes, class-path
# assembly over large archive trees, launcher start-up against a bare JNI host), `make mutants` applies
# single mutations of the portable code one at a time and prints which ones the unit tests and fuzz
# replays catch (not part of `make test`). Each installs missing Debian packages first.
SHELL := /bin/bash
PACKAGES := cmake ninja-build g++ mingw-w64 g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix \
            g++-mingw-w64-i686-posix wine64 wine wine64-tools xvfb xdotool imagemagick openjdk-17-jdk-headless \
            googletest libgtest-dev libgmock-dev libbenchmark-dev clang libclang-rt-14-dev \
            python3 python3-pytest binutils-mingw-w64-x86-64 binutils-mingw-w64-i686 gcc-mingw-w64-i686-posix \
            wine32:i386 unzip osslsigncode openssl \
            maven maven-debian-helper libmaven-plugin-tools-java libsurefire-java junit4 libmaven-compiler-plugin-java \
            libmaven-resources-plugin-java libmaven-jar-plugin-java libmaven-install-plugin-java libmaven-resolver-java \
            libplexus-utils2-java
PYTEST := /usr/bin/python3 -m pytest
VERSION := $(shell head -n 1 VERSION)
# Maven offline, with Debian's repository as the local one (maven-debian-helper's settings).
MVN := mvn --batch-mode --quiet -Dstyle.color=never --settings /etc/maven/settings-debian.xml
# make fuzz: each target runs until FUZZ_RUNS executions (-1: no limit) or FUZZ_SECONDS have passed;
# FUZZ_TARGETS names some targets to run instead of all.
FUZZ_SECONDS ?= 60
FUZZ_RUNS ?= -1
FUZZ_TARGETS ?=

.PHONY: all deps build host windows windows-x86 dist maven-plugin release test unit integration demo fuzz bench mutants clean

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

# The Maven plugin carries both launcher pairs and the shipped configuration tool for Linux (the static
# release build, not the host build in dist/) and Windows. dist/maven/pom.xml is the plugin's pom with the
# version written in, for `mvn install:install-file`. Maven runs only when an input changed.
PLUGIN_INPUTS := $(shell find maven-plugin -type f) VERSION dist/stubcon.exe dist/stubwin.exe dist/x86/stubcon.exe \
                 dist/x86/stubwin.exe dist/stubconfig.exe build/release/tools/stubconfig/stubconfig

maven-plugin: dist
	cmake --preset release -DSTUB_DIST_DIR=$(CURDIR)/dist >/dev/null
	cmake --build --preset release --target stubconfig
	@$(MAKE) --no-print-directory dist/maven/stub-maven-plugin.jar

dist/maven/stub-maven-plugin.jar: $(PLUGIN_INPUTS)
	rm -rf build/maven-plugin/bundle && mkdir -p build/maven-plugin/bundle/{x64,x86,linux-x86_64,windows-x86_64} dist/maven
	cp dist/stubcon.exe dist/stubwin.exe build/maven-plugin/bundle/x64/
	cp dist/x86/stubcon.exe dist/x86/stubwin.exe build/maven-plugin/bundle/x86/
	cp dist/stubconfig.exe build/maven-plugin/bundle/windows-x86_64/
	cp build/release/tools/stubconfig/stubconfig build/maven-plugin/bundle/linux-x86_64/
	$(MVN) -f maven-plugin/pom.xml -Drevision=$(VERSION) package
	sed 's|<version>$${revision}</version>|<version>$(VERSION)</version>|' maven-plugin/pom.xml >dist/maven/pom.xml
	cp build/maven-plugin/target/stub-maven-plugin-$(VERSION).jar $@

build: dist maven-plugin

release: dist maven-plugin
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

mutants: host
	/usr/bin/python3 tests/mutants.py

fuzz: deps
	cmake -S . -B build/fuzz -G Ninja -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DSTUB_FUZZ=ON >/dev/null
	cmake --build build/fuzz --target fuzz_targets
	/usr/bin/python3 fuzz/run_fuzz.py build/fuzz --seconds $(FUZZ_SECONDS) --runs $(FUZZ_RUNS) $(FUZZ_TARGETS)

clean:
	rm -rf build dist
