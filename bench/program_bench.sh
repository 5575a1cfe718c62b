#!/usr/bin/env bash
# Cost of the whole program, started headless with eight recorders in
# service: (a) none recording, (b) the same with recorder 1 as the logging
# recorder, which records the sine source by itself from its first tick
# (MP3 at 128 kbit/s, 48000 Hz stereo), (c) as (a) with the digital I/O card
# in service (its 50 ms poll running; QR_BENCH_GPIO_CHIP=<chip> polls 16+16
# lines of that GPIO chip, else the card is the simulated one of a program
# without card). Prints, side by side, the CPU time per wall second (from
# /proc/<pid>/stat, user + system) over a window after start-up, and the peak
# resident memory (VmHWM), with the ratios (b)/(a) and (c)/(a).
#   bench/program_bench.sh [program] [seconds]
set -euo pipefail
HERE=$(cd "$(dirname "$0")" && pwd)
ROOT=$(cd "$HERE/.." && pwd)
PROG=${1:-$ROOT/build/VM3_Quillon_Recorder}
WINDOW=${2:-${QR_BENCH_SECONDS:-10}}
[ -x "$PROG" ] || { echo "program not built: $PROG" >&2; exit 1; }
export QT_QPA_PLATFORM=offscreen

OWN_PULSE=0
if [ -z "${PULSE_SERVER:-}" ]; then
  source "$ROOT/scripts/test-pulse.sh"
  start_test_pulse
  OWN_PULSE=1
fi
SINE_DEVICE=$(pactl list short sources | awk '$2 == "qr_sine" { print NR - 1; exit }')
[ -n "$SINE_DEVICE" ] || { echo "the sound server has no source qr_sine" >&2; exit 1; }

PID=
DRIVE=
finish() {
  if [ -n "$PID" ] && kill -0 "$PID" 2>/dev/null; then kill -KILL "$PID" 2>/dev/null || true; fi
  [ -n "$DRIVE" ] && rm -rf "$DRIVE"
  if [ "$OWN_PULSE" -eq 1 ]; then stop_test_pulse; fi
}
trap finish EXIT

# wait_log TEXT SECONDS : waits for a trace line of the sandbox's log.
wait_log() {
  local limit=$(($2 * 10)) k=0
  while [ "$k" -lt "$limit" ]; do
    if cat "${DRIVE}"AudioLog/Histo_VM3_Quillon_Recorder/*.Log 2>/dev/null | tr -d '\r' | grep -qF -- "$1"; then return 0; fi
    kill -0 "$PID" 2>/dev/null || return 1
    sleep 0.1
    k=$((k + 1))
  done
  return 1
}

cpu_ticks() { sed 's/^.*) //' "/proc/$1/stat" | awk '{ print $12 + $13 }'; }
now_ns() { date +%s%N; }

# measure LOGGING [CARD] : sets CPU (percent), RSS (peak, KiB) and BYTES (recorded by recorder 1).
measure() {
  local logging=$1 card=${2:-0} i
  DRIVE=$(mktemp -d /tmp/qr-bench.XXXXXX)/
  local ini=${DRIVE}Tessaline/Velmora/Settings/VM3_Quillon_Recorder/VM3_Quillon_Recorder.Ini
  mkdir -p "$(dirname "$ini")"
  {
    for i in 0 1 2 3 4 5 6 7; do
      echo "[Recorder_0$i]"
      echo "Actif=ON"
      echo "PigeFolder=${DRIVE}Rec$i/"
      if [ "$i" -eq 0 ]; then
        echo "Pige=$logging"
        echo "Lib=Antenne"
        echo "Device=$SINE_DEVICE"
        echo "Format=2"
        echo "FormatCaracteristics=5"
        echo "SQuality=48000 Hz, 16 bits, stereo"
      else
        echo "Lib=Rec $((i + 1))"
        echo "Pige=0"
        echo "Device=0"
      fi
    done
    if [ -n "${QR_BENCH_GPIO_CHIP:-}" ]; then
      printf '[P8R8]\nChip=%s\nInputs=0-15\nOutputs=16-31\n' "$QR_BENCH_GPIO_CHIP"
    fi
  } | sed 's/$/\r/' >"$ini"
  VELMORA_DRIVE=$DRIVE QUILLON_P8R8_ACTIF=$card "$PROG" >"${DRIVE}program.out" 2>&1 &
  PID=$!
  wait_log "Form_Load: End" 60 || { echo "the program did not start" >&2; exit 1; }
  if [ "$logging" -eq 1 ]; then
    wait_log "RecordingStarted" 30 || { echo "the logging recorder did not start" >&2; exit 1; }
  fi
  sleep 2
  local t0 c0 t1 c1 hwm bytes hz
  hz=$(getconf CLK_TCK)
  t0=$(now_ns); c0=$(cpu_ticks "$PID")
  sleep "$WINDOW"
  t1=$(now_ns); c1=$(cpu_ticks "$PID")
  hwm=$(awk '/^VmHWM:/ { print $2 }' "/proc/$PID/status")
  kill -TERM "$PID"
  for _ in $(seq 1 300); do kill -0 "$PID" 2>/dev/null || break; sleep 0.1; done
  wait "$PID" 2>/dev/null || true
  PID=
  bytes=$(find "${DRIVE}Rec0" -type f -printf "%s\n" 2>/dev/null | awk "{ s += \$1 } END { print s + 0 }" || true)
  rm -rf "$DRIVE"
  DRIVE=
  CPU=$(awk -v c=$((c1 - c0)) -v hz="$hz" -v t=$((t1 - t0)) 'BEGIN { printf "%.2f", c / hz / (t / 1e9) * 100 }')
  RSS=$hwm
  BYTES=$bytes
}

echo "program, eight recorders in service, ${WINDOW} s window after start-up"
measure 0
idle_cpu=$CPU idle_rss=$RSS
measure 1
log_cpu=$CPU log_rss=$RSS log_bytes=$BYTES
[ "$log_bytes" -gt 0 ] || { echo "the logging recorder wrote nothing" >&2; exit 1; }
measure 0 1
card_cpu=$CPU card_rss=$RSS
printf '%-34s %12s %16s\n' "" "CPU %" "peak RSS (MiB)"
printf '%-34s %12s %16.1f\n' "(a) idle" "$idle_cpu" "$(awk -v k="$idle_rss" 'BEGIN { print k / 1024 }')"
printf '%-34s %12s %16.1f\n' "(b) logging recorder recording" "$log_cpu" "$(awk -v k="$log_rss" 'BEGIN { print k / 1024 }')"
printf '%-34s %12s %16.1f\n' "(c) idle, I/O card in service" "$card_cpu" "$(awk -v k="$card_rss" 'BEGIN { print k / 1024 }')"
awk -v a="$idle_cpu" -v b="$log_cpu" -v ra="$idle_rss" -v rb="$log_rss" \
  'BEGIN { printf "%-34s %12s %16.2f\n", "ratio (b)/(a)", (a > 0 ? sprintf("%.2f", b / a) : "n/a"), rb / ra }'
awk -v a="$idle_cpu" -v c="$card_cpu" -v ra="$idle_rss" -v rc="$card_rss" \
  'BEGIN { printf "%-34s %12s %16.2f\n", "ratio (c)/(a)", (a > 0 ? sprintf("%.2f", c / a) : "n/a"), rc / ra }'
echo "(b) wrote $log_bytes bytes of MP3 (128 kbit/s, 48000 Hz stereo)"
