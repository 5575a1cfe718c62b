#!/usr/bin/env bash
# Starts a PulseAudio server of its own (same set-up as the test server: a
# null sink and a sine source) for a test that kills it, and prints its
# address, process id and folder as NAME=value lines. The caller kills the
# process and removes the folder.
set -euo pipefail
HERE=$(cd "$(dirname "$0")" && pwd)
source "$HERE/test-pulse.sh"
start_test_pulse >&2
echo "PULSE_SERVER=$PULSE_SERVER"
echo "QR_PULSE_PID=$QR_PULSE_PID"
echo "QR_PULSE_DIR=$QR_PULSE_DIR"
