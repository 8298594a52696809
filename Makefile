# make test: check the format and the layering, build both builds and run every
#            test.
# make format: format every C++ file (.clang-format).
# make run:  run the agent's main job on this machine, under Wine.
# make bench: figures for the shipped agent under Wine and for the settings file
#             and report codecs (nothing is asserted).
# make package: build/package/qx27-setup.exe, qx27-agent.zip, their SHA256SUMS
#               and the shipped programs' symbols in build/package/symbols.
# make check-reproducible: build the package twice, in two fresh clones of the
#               commit in different folders, and compare (slow; not in test).
# make linux: qx27agentd and qx27ctl for Linux, optimised, in build/linux.
# make install: what make linux built, the udev rule and the systemd user unit,
#               under PREFIX (default /usr/local), below DESTDIR when given.
#               It builds nothing as root: run make linux first.
# The others install whatever is missing first.
SHELL := /bin/bash
.DEFAULT_GOAL := test
.PHONY: deps check format native win test run package check-reproducible fuzz bench clean linux install

PREFIX ?= /usr/local

deps:
	@tools/install-deps

native: deps
	@cmake --preset native >/dev/null
	@cmake --build --preset native

win: deps
	@cmake --preset win >/dev/null
	@cmake --build --preset win

# Its own step, before any build: a failure here is the format or the
# layering, never the product.
check: deps
	@tools/format --check
	@tools/check-includes
	@tools/check-threads

format: deps
	@tools/format

test: check native win
	@tools/run-tests

run: win
	@tools/run-agent

package: win
	@cmake --build --preset win --target qx27_package
	@ls -l build/package/qx27-setup.exe build/package/qx27-agent.zip build/package/symbols
	@cat build/package/SHA256SUMS

check-reproducible: deps
	@tools/check-reproducible

fuzz: deps
	@tools/run-fuzzers long

bench: win
	@tools/run-benchmarks
	@tools/run-code-benchmarks

# Only the Linux build's own needs, not the Windows tool chain: a Linux user
# installs these (README, "Linux").
linux:
	@cmake --preset linux >/dev/null
	@cmake --build --preset linux --target qx27agentd qx27ctl

install:
	@test -x build/linux/src/platform/linux/agent/qx27agentd || { echo "make install: run make linux first" >&2; exit 1; }
	@DESTDIR="$(DESTDIR)" cmake --install build/linux --prefix "$(PREFIX)"

clean:
	rm -rf build
