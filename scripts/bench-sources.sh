#!/usr/bin/env bash
# Sources of the whole-program benchmark, for a running (private) server:
# null sinks qr_bench_sink_1..16, each playing a 440 Hz sine at 48000 Hz.
# Their monitors deliver fragments of the size a stream asks for, as a sound
# card does. Source this file and call load_bench_sinks.
load_bench_sinks() {
  local i
  for i in $(seq 1 16); do
    pactl load-module module-null-sink sink_name=qr_bench_sink_$i rate=48000 >/dev/null
    pactl load-module module-sine sink=qr_bench_sink_$i frequency=440 >/dev/null
  done
}
