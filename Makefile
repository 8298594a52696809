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
# Both install whatever is missing first.
SHELL := /bin/bash
.DEFAULT_GOAL := test
.PHONY: deps check format native win test run package check-reproducible fuzz bench clean

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

clean:
	rm -rf build
