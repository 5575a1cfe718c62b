#!/usr/bin/env bash
# Runs the benchmarks inside a private PulseAudio server (as the tests do),
# with sixteen extra sine sources qr_bench_sine_1..16 (the engine benchmark:
# the server's sine module feeds one recording at a time, so every recorder,
# and every ffmpeg beside it, gets a source of its own) and sixteen null
# sinks playing a sine, whose monitors
# the whole-program benchmark records (see scripts/bench-sources.sh).
set -euo pipefail
BUILD=${1:-build}
HERE=$(cd "$(dirname "$0")" && pwd)
source "$HERE/test-pulse.sh"
start_test_pulse
trap stop_test_pulse EXIT
for i in $(seq 1 16); do
  pactl load-module module-sine-source source_name=qr_bench_sine_$i rate=48000 frequency=440 >/dev/null
done
status=0
for b in "$BUILD"/bench/*; do
  if [ -f "$b" ] && [ -x "$b" ]; then
    echo "== $(basename "$b")"
    "$b" || status=1
    echo
  fi
done
echo "== aac_coder_bench"
bash "$HERE/../bench/aac_coder_bench.sh" || status=1
echo
echo "== web_bench"
bash "$HERE/../bench/web_bench.sh" "$BUILD" || status=1
echo
echo "== program_bench"
source "$HERE/bench-sources.sh"
load_bench_sinks
bash "$HERE/../bench/program_bench.sh" "$BUILD/VM3_Quillon_Recorder" || status=1
exit $status
