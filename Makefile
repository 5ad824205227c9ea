# The two commands of the README, and the regeneration of the assets.
#   make run     installs what is missing, builds the demo and the capture
#                (not the tests), runs the demo
#   make test    installs what is missing, builds everything, runs every test
#   make assets  regenerates the committed asset files from their sources
#   make windows        cross-builds and packages the Windows programs (dist/)
#   make windows-check  checks them, running the 64-bit build under wine
#   make web     builds the demo and its player for the browser into dist/web
#   make serve   serves dist/web on 127.0.0.1 with the headers it needs
#   make install PREFIX=/usr/local   builds and installs the demo (vorna),
#                xmplay, its manual page and its bash completion under PREFIX
#                (DESTDIR=... for a staging directory)
BUILD ?= build
JOBS ?= $(shell nproc)

.PHONY: run test assets setup build install windows windows-check web serve

setup:
	@echo "== Checking the Debian packages the build needs"
	scripts/setup.sh

build: setup
	cmake -S . -B $(BUILD) -G Ninja
	cmake --build $(BUILD) -j $(JOBS)

# What `make run` needs: the demo, the capture it falls back to without a
# display, and the check that tells the two cases apart.
RUN_TARGETS = vorna vorna-capture vorna-display-check

run: setup
	@echo "== Configuring the build in $(BUILD)/"
	cmake -S . -B $(BUILD) -G Ninja
	@echo "== Building the demo and the capture (the tests are built by make test)"
	cmake --build $(BUILD) -j $(JOBS) --target $(RUN_TARGETS)
	scripts/run.sh $(BUILD)

test: build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

PREFIX ?= /usr/local
install: setup
	cmake -S . -B $(BUILD) -G Ninja
	cmake --build $(BUILD) -j $(JOBS) --target vorna xmplay
	cmake --install $(BUILD) --prefix $(PREFIX)

assets: setup
	cmake -S . -B $(BUILD) -G Ninja
	scripts/make_assets.sh $(BUILD)

windows:
	scripts/setup.sh --windows
	JOBS=$(JOBS) scripts/windows/build.sh

windows-check: windows
	BUILD=$(BUILD) scripts/windows/check.sh

web:
	scripts/web_build.sh

PORT ?= 8000
serve:
	@test -f dist/web/index.html || { echo "Nothing to serve yet: run make web first."; exit 1; }
	scripts/web_serve.py --dir dist/web --port $(PORT)
