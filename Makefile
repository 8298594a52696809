# make test: check the format and the layering, build both builds and run every
#            test.
# make format: format every C++ file (.clang-format).
# make run:  run the agent's main job on this machine, under Wine.
# make bench: figures for the shipped agent under Wine and for the settings file
#             and report codecs (nothing is asserted).
# make package: build/package/qx27-setup.exe and qx27-agent.zip.
# Both install whatever is missing first.
SHELL := /bin/bash
.DEFAULT_GOAL := test
.PHONY: deps check format native win test run package fuzz bench clean

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
	@ls -l build/package/qx27-setup.exe build/package/qx27-agent.zip

fuzz: deps
	@tools/run-fuzzers long

bench: win
	@tools/run-benchmarks
	@tools/run-code-benchmarks

clean:
	rm -rf build
