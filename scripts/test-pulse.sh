#!/usr/bin/env bash
# Private PulseAudio server for the tests: its own runtime folder and socket,
# module-null-sink and sine sources, no hardware. Source this file and call
# start_test_pulse / stop_test_pulse.
#
# QR_PULSE_SOURCES (before prepare/start): the sine sources, in the server's
# order, as "name:frequency" words (default "qr_sine:440").
#
# Finer steps for tests that make the server come late, die or change:
#   prepare_test_pulse   folders, configuration and environment, no server yet
#   launch_test_pulse    starts the server (again) at the prepared address
#   kill_test_pulse      kills it at once (SIGKILL), the folder stays
#   load_sine NAME FREQ  adds a sine source (48000 Hz)
#   unload_sine NAME     removes that source
prepare_test_pulse() {
  export QR_PULSE_DIR=$(mktemp -d /tmp/qr-pulse.XXXXXX)
  export XDG_RUNTIME_DIR="$QR_PULSE_DIR/run"
  export PULSE_RUNTIME_PATH="$XDG_RUNTIME_DIR/pulse"
  export PULSE_STATE_PATH="$QR_PULSE_DIR/state"
  export HOME_SAVED="$HOME"
  mkdir -p "$PULSE_RUNTIME_PATH" "$PULSE_STATE_PATH"
  chmod 700 "$XDG_RUNTIME_DIR"
  export PULSE_SERVER="unix:$PULSE_RUNTIME_PATH/native"
  write_test_pulse_config "${QR_PULSE_SOURCES:-qr_sine:440}"
}

# write_test_pulse_config "name:freq ..." : the server's start-up script.
write_test_pulse_config() {
  local first=
  {
    echo "load-module module-native-protocol-unix auth-anonymous=1 socket=$PULSE_RUNTIME_PATH/native"
    echo "load-module module-null-sink sink_name=qr_null sink_properties=device.description=QR_Null_Output"
    local s
    for s in $1; do
      echo "load-module module-sine-source source_name=${s%%:*} rate=48000 frequency=${s##*:}"
      [ -n "$first" ] || first=${s%%:*}
    done
    [ -z "$first" ] || echo "set-default-source $first"
  } >"$QR_PULSE_DIR/default.pa"
}

launch_test_pulse() {
  pulseaudio --daemonize=no --exit-idle-time=-1 --disallow-exit=no --system=false \
    --use-pid-file=no -n -F "$QR_PULSE_DIR/default.pa" --log-target=file:"$QR_PULSE_DIR/pulse.log" \
    >/dev/null 2>&1 &
  export QR_PULSE_PID=$!
  for _ in $(seq 1 100); do
    if pactl info >/dev/null 2>&1; then return 0; fi
    sleep 0.1
  done
  echo "test PulseAudio server did not start" >&2
  cat "$QR_PULSE_DIR/pulse.log" >&2 || true
  return 1
}

start_test_pulse() {
  prepare_test_pulse
  launch_test_pulse
}

kill_test_pulse() {
  if [ -n "${QR_PULSE_PID:-}" ]; then
    kill -KILL "$QR_PULSE_PID" 2>/dev/null || true
    wait "$QR_PULSE_PID" 2>/dev/null || true
    QR_PULSE_PID=
  fi
}

load_sine() {
  pactl load-module module-sine-source source_name="$1" rate=48000 frequency="$2" >/dev/null
}

unload_sine() {
  local m
  m=$(pactl list modules 2>/dev/null | awk -v s="source_name=$1" '
    /^Module #/ { id = substr($2, 2) }
    index($0, s) { print id; exit }')
  [ -n "$m" ] && pactl unload-module "$m"
}

stop_test_pulse() {
  if [ -n "${QR_PULSE_PID:-}" ]; then
    kill "$QR_PULSE_PID" 2>/dev/null || true
    wait "$QR_PULSE_PID" 2>/dev/null || true
  fi
  rm -rf "${QR_PULSE_DIR:-/nonexistent}"
}
