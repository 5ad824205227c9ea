# The two commands of the README, and the regeneration of the assets.
#   make run     installs what is missing, builds, runs the demo
#   make test    installs what is missing, builds, runs every test
#   make assets  regenerates the committed asset files from their sources
BUILD ?= build
JOBS ?= $(shell nproc)

.PHONY: run test assets setup build

setup:
	scripts/setup.sh

build: setup
	cmake -S . -B $(BUILD) -G Ninja
	cmake --build $(BUILD) -j $(JOBS)

run: build
	scripts/run.sh $(BUILD)

test: build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

assets: setup
	cmake -S . -B $(BUILD) -G Ninja
	scripts/make_assets.sh $(BUILD)
