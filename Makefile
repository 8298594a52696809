# make test: build both builds and run every test.
# make run:  run the agent's main job on this machine, under Wine.
# make bench: figures for the shipped agent under Wine (nothing is asserted).
# Both install whatever is missing first.
SHELL := /bin/bash
.DEFAULT_GOAL := test
.PHONY: deps native win test run fuzz bench clean

deps:
	@tools/install-deps

native: deps
	@cmake --preset native >/dev/null
	@cmake --build --preset native

win: deps
	@cmake --preset win >/dev/null
	@cmake --build --preset win

test: native win
	@tools/run-tests

run: win
	@tools/run-agent

fuzz: deps
	@tools/run-fuzzers long

bench: win
	@tools/run-benchmarks

clean:
	rm -rf build
