#!/usr/bin/env bash
# Day-long soak of the logging recorder, 60 times faster than real time: the
# real program, headless, under libfaketime ("x60": one faked hour per real
# minute), records a sine source of its own (48000 Hz mono) to MP3 at
# 128 kbit/s (SOAK_FORMAT=wav: WAV) from faked 00:00:00 to 23:59:30.
# Expected: one slice per faked hour (24), their decoded lengths adding up to
# the real time recorded (gapless changes of slice; with WAV, the 440 Hz tone
# keeps one phase across all the slices), no incident, and resident memory,
# open files and threads flat from hour to hour. Not part of the test suite
# (24 real minutes).
#   bench/soak_bench.sh [program] [faked hours, default 24]
set -euo pipefail
HERE=$(cd "$(dirname "$0")" && pwd)
ROOT=$(cd "$HERE/.." && pwd)
PROG=${1:-$ROOT/build/VM3_Quillon_Recorder}
HOURS=${2:-24}
SPEED=60
case ${SOAK_FORMAT:-mp3} in
  mp3) FORMAT_KEYS=$'Format=2\nFormatCaracteristics=5'; FORMAT_TEXT="MP3 128 kbit/s" ;;
  wav) FORMAT_KEYS="Format=1"; FORMAT_TEXT="WAV 16 bits" ;;
  *) echo "SOAK_FORMAT: mp3 or wav" >&2; exit 1 ;;
esac
[ -x "$PROG" ] || { echo "program not built: $PROG" >&2; exit 1; }
export QT_QPA_PLATFORM=offscreen
export TZ=UTC

FAKETIME_LIB=
for f in /usr/lib/*/faketime/libfaketimeMT.so.1 /usr/lib/faketime/libfaketimeMT.so.1; do
  if [ -f "$f" ]; then FAKETIME_LIB=$f; break; fi
done
[ -n "$FAKETIME_LIB" ] || { echo "libfaketime is not installed (Debian package faketime)" >&2; exit 1; }

OWN_PULSE=0
if [ -z "${PULSE_SERVER:-}" ]; then
  source "$ROOT/scripts/test-pulse.sh"
  start_test_pulse
  OWN_PULSE=1
fi
SINE=qr_soak_sine_$$
SINE_MODULE=$(pactl load-module module-sine-source source_name=$SINE rate=48000 frequency=440)
DEVICE=$(pactl list short sources | awk -v s="$SINE" '$2 == s { print NR - 1; exit }')

DRIVE=$(mktemp -d /tmp/qr-soak.XXXXXX)/
PID=
finish() {
  if [ -n "$PID" ] && kill -0 "$PID" 2>/dev/null; then kill -KILL "$PID" 2>/dev/null || true; fi
  pactl unload-module "$SINE_MODULE" 2>/dev/null || true
  if [ "${KEEP:-0}" = 1 ]; then echo "sandbox kept: $DRIVE"; else rm -rf "$DRIVE"; fi
  if [ "$OWN_PULSE" -eq 1 ]; then stop_test_pulse; fi
}
trap finish EXIT

PIGE=${DRIVE}Pige/
LOGS=${DRIVE}AudioLog/Histo_VM3_Quillon_Recorder/
INI=${DRIVE}Tessaline/Velmora/Settings/VM3_Quillon_Recorder/VM3_Quillon_Recorder.Ini
mkdir -p "$(dirname "$INI")"
sed 's/$/\r/' >"$INI" <<INI
[Recorder_00]
Actif=ON
Lib=Antenne
Pige=1
$FORMAT_KEYS
Device=$DEVICE
Channel=0
SQuality=48000 Hz, 16 bits, mono
PigeFolder=$PIGE
INI

log_text() { cat "$LOGS"*.Log 2>/dev/null | tr -d '\r'; }
now_s() { date +%s.%N; }

t0=$(now_s)
VELMORA_DRIVE=$DRIVE LD_PRELOAD=$FAKETIME_LIB FAKETIME="@2024-03-19 00:00:00 x$SPEED" FAKETIME_DONT_FAKE_MONOTONIC=1 \
  "$PROG" >"${DRIVE}program.out" 2>&1 &
PID=$!
for _ in $(seq 1 600); do
  log_text | grep -qF "RecordingStarted" && break
  kill -0 "$PID" 2>/dev/null || { echo "the program ended: $(tail -5 "${DRIVE}program.out")" >&2; exit 1; }
  sleep 0.1
done
log_text | grep -qF "RecordingStarted" || { echo "the logging recorder did not start" >&2; exit 1; }

# One sample a real minute (a faked hour): resident memory, open files, threads, CPU.
stop_at=$(awk -v t="$t0" -v h="$HOURS" -v s="$SPEED" 'BEGIN { printf "%.3f", t + (h * 3600 - 30) / s }')
hz=$(getconf CLK_TCK)
SAMPLES=${DRIVE}samples.txt
next=$(awk -v t="$t0" 'BEGIN { printf "%.3f", t + 30 }')
while awk -v n="$(now_s)" -v s="$stop_at" 'BEGIN { exit !(n < s) }'; do
  kill -0 "$PID" 2>/dev/null || { echo "the program ended during the soak" >&2; exit 1; }
  if awk -v n="$(now_s)" -v x="$next" 'BEGIN { exit !(n >= x) }'; then
    rss=$(awk '/^VmRSS:/ { print $2 }' "/proc/$PID/status")
    threads=$(awk '/^Threads:/ { print $2 }' "/proc/$PID/status")
    fds=$(ls "/proc/$PID/fd" | wc -l)
    cpu=$(sed 's/^.*) //' "/proc/$PID/stat" | awk '{ print $12 + $13 }')
    echo "$(awk -v n="$(now_s)" -v t="$t0" 'BEGIN { printf "%.1f", n - t }') $rss $fds $threads $cpu" >>"$SAMPLES"
    next=$(awk -v x="$next" 'BEGIN { printf "%.3f", x + 60 }')
  fi
  sleep 0.5
done
kill -TERM "$PID"
for _ in $(seq 1 600); do kill -0 "$PID" 2>/dev/null || break; sleep 0.1; done
wait "$PID" && code=0 || code=$?
PID=
t_end=$(now_s)

echo "soak: logging recorder, $FORMAT_TEXT 48000 Hz mono, faked x$SPEED from 2024-03-19 00:00:00 for $HOURS h less 30 s"
echo "real time of the run: $(awk -v a="$t0" -v b="$t_end" 'BEGIN { printf "%.1f", b - a }') s; exit code $code"
echo

# Faked seconds of the day of a trace stamp hh:mm:ss:mmm.
stamp_s() { awk -F: '{ printf "%.3f", ($1 * 60 + $2) * 60 + $3 + $4 / 1000 }' <<<"$1"; }
# Each slice: its decoded length, and the real time it covered: from the
# trace of its start to the start of the next one (the last one: to SIGTERM),
# in faked time divided by the speed.
starts=()
while IFS= read -r f; do
  st=$(log_text | grep -F ":Recording File: $PIGE$f" | head -1 | cut -c1-12)
  starts+=("$(stamp_s "$st")")
done < <(ls "$PIGE" | LC_ALL=C sort)
term=$(stamp_s "$(log_text | grep -F "Termination signal received" | tail -1 | cut -c1-12)")
printf '%-5s %-40s %12s %12s %10s\n' "slice" "file" "length (s)" "real (s)" "diff (s)"
total=0
span=0
k=0
while IFS= read -r f; do
  samples=$(ffmpeg -nostdin -v error -i "$PIGE$f" -f s16le -ac 1 -ar 48000 - | wc -c)
  len=$(awk -v b="$samples" 'BEGIN { printf "%.3f", b / 2 / 48000 }')
  end=${starts[$((k + 1))]:-$term}
  real=$(awk -v a="${starts[$k]}" -v b="$end" -v s="$SPEED" 'BEGIN { printf "%.3f", (b - a) / s }')
  k=$((k + 1))
  total=$(awk -v a="$total" -v l="$len" 'BEGIN { printf "%.3f", a + l }')
  span=$(awk -v a="$span" -v l="$real" 'BEGIN { printf "%.3f", a + l }')
  printf '%-5s %-40s %12s %12s %+10.3f\n' "$k" "$f" "$len" "$real" "$(awk -v a="$len" -v b="$real" 'BEGIN { print a - b }')"
done < <(ls "$PIGE" | LC_ALL=C sort)
echo
echo "slices: $k; their lengths add up to $total s; real time from the first start to SIGTERM: $span s" \
  "(difference $(awk -v a="$total" -v b="$span" 'BEGIN { printf "%+.3f", a - b }') s; the slices are cut at a tick of the" \
  "main timer, 0.1 s real)"
if [ "${SOAK_FORMAT:-mp3}" = wav ]; then
  analysis=$(while IFS= read -r f; do
      echo "#"
      ffmpeg -nostdin -v error -i "$PIGE$f" -f s16le -ac 1 -ar 48000 - | od -An -v -td2 -w2
    done < <(ls "$PIGE" | LC_ALL=C sort) | awk -v freq=440 -v rate=48000 -f "$ROOT/tests/system/helpers/sine_blocks.awk")
  echo "the slices one after the other as one signal (a sample lost or doubled moves the phase by 0.058 rad): $analysis"
fi
echo "incidents and errors in the trace log: $(log_text | grep -cE 'Err:|silence|samples lost' || true)"
echo
printf '%-10s %12s %12s %12s %10s\n' "real (s)" "faked hour" "RSS (MiB)" "open files" "threads"
awk -v s="$SPEED" '{ printf "%-10s %12.1f %12.1f %12d %10d\n", $1, $1 * s / 3600, $2 / 1024, $3, $4 }' "$SAMPLES"
awk -v hz="$hz" 'NR == 1 { c1 = $5; s1 = $1 } NR == 2 { r2 = $2; f2 = $3; t2 = $4 }
  { r = $2; f = $3; t = $4; c = $5; s = $1; if ($2 > rmax) rmax = $2 }
  END { printf "from the 2nd sample to the last: RSS %+.1f MiB (max %.1f MiB), open files %+d, threads %+d;" \
        " CPU %.1f %% of one core\n", (r - r2) / 1024, rmax / 1024, f - f2, t - t2, (c - c1) / hz / (s - s1) * 100 }' "$SAMPLES"
