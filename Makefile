# The two commands of the README.
BUILD ?= build
JOBS ?= $(shell nproc)

.PHONY: deps build run test bench clean

deps:
	@bash scripts/install-deps.sh

build: deps
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	@cmake --build $(BUILD) -j $(JOBS)

# Installs, builds and runs the program (on the desktop session's display).
run: build
	$(BUILD)/VM3_Quillon_Recorder $(ARGS)

# Installs, builds and passes the tests, against a private PulseAudio server.
test: build
	@bash scripts/run-tests.sh $(BUILD)

bench: build
	@bash scripts/run-bench.sh $(BUILD)

clean:
	rm -rf $(BUILD)
