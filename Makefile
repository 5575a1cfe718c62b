# The two commands of the README, and the install and the Debian package.
BUILD ?= build
JOBS ?= $(shell nproc)
PREFIX ?= /usr/local

.PHONY: deps build run test bench install deb clean

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

# Installs the program, its desktop entry, icons, systemd units and
# documentation under PREFIX; DESTDIR stages the install elsewhere.
install: build
	DESTDIR="$(DESTDIR)" cmake --install $(BUILD) --prefix "$(PREFIX)"

# The Debian package (prefix /usr), in the build folder.
deb: build
	cd $(BUILD) && cpack -G DEB

clean:
	rm -rf $(BUILD)
