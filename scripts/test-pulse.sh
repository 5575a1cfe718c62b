#!/usr/bin/env bash
# Private PulseAudio server for the tests: its own runtime folder and socket,
# module-null-sink and module-sine-source, no hardware. Source this file and
# call start_test_pulse / stop_test_pulse.
start_test_pulse() {
  export QR_PULSE_DIR=$(mktemp -d /tmp/qr-pulse.XXXXXX)
  export XDG_RUNTIME_DIR="$QR_PULSE_DIR/run"
  export PULSE_RUNTIME_PATH="$XDG_RUNTIME_DIR/pulse"
  export PULSE_STATE_PATH="$QR_PULSE_DIR/state"
  export HOME_SAVED="$HOME"
  mkdir -p "$PULSE_RUNTIME_PATH" "$PULSE_STATE_PATH"
  chmod 700 "$XDG_RUNTIME_DIR"
  export PULSE_SERVER="unix:$PULSE_RUNTIME_PATH/native"
  cat > "$QR_PULSE_DIR/default.pa" <<PA
load-module module-native-protocol-unix auth-anonymous=1 socket=$PULSE_RUNTIME_PATH/native
load-module module-null-sink sink_name=qr_null sink_properties=device.description=QR_Null_Output
load-module module-sine-source source_name=qr_sine rate=48000 frequency=440
set-default-source qr_sine
PA
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

stop_test_pulse() {
  if [ -n "${QR_PULSE_PID:-}" ]; then
    kill "$QR_PULSE_PID" 2>/dev/null || true
    wait "$QR_PULSE_PID" 2>/dev/null || true
  fi
  rm -rf "${QR_PULSE_DIR:-/nonexistent}"
}
