#!/usr/bin/env bash
# Runs the test suite inside a private PulseAudio server (its own runtime
# folder and socket, a null sink and a sine source, no hardware).
set -euo pipefail
BUILD=${1:-build}
HERE=$(cd "$(dirname "$0")" && pwd)
source "$HERE/test-pulse.sh"
start_test_pulse
trap stop_test_pulse EXIT
export QT_QPA_PLATFORM=offscreen
cd "$BUILD"
ctest --output-on-failure -j 2 --timeout 600
