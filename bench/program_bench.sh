#!/usr/bin/env bash
# Cost of the whole program beside ffmpeg, both recording the same sine
# sources of the sound server at the same time, in steady state (the window
# starts once both have run a few seconds):
#   - idle: the program with 1 recorder in service (the least it allows) and
#     with 8, none recording, no ffmpeg;
#   - 1 recorder per format (WAV, MP3 320 kbit/s, WMA, Ogg Vorbis, AAC) beside
#     one `ffmpeg -f pulse -i <source> -c:a <codec> -b:a <rate>` on another
#     source of the same server;
#   - 8 recorders MP3 320 kbit/s beside 8 ffmpeg processes.
# Per scenario: CPU (user + system ticks from /proc/<pid>/stat, as % of one
# core), context switches per second of all threads (voluntary + involuntary,
# /proc/<pid>/task/*/status: each is a wake-up), resident memory (VmRSS at the
# end of the window; PSS for the ffmpeg processes too), and the ratios.
#
#   bench/program_bench.sh [program] [seconds]
# QR_BENCH_SECONDS: the window (default 30 s).
# QR_BENCH_ONLY: the scenarios to run, among "idle1 idle8 wav mp3 wma ogg aac
#   aacp mp3x8" (default all; aacp: AAC on programme material, speech and
#   music, instead of the sine, on both sides).
# QR_BENCH_LONG=<seconds>: instead, one long run of 8 recorders MP3 320 kbit/s
#   beside 8 ffmpeg: CPU, overruns, the audio each file gained against the
#   wall time, and the finished files.
# Sources: the monitors of the null sinks qr_bench_sink_1..16, each playing a
# 440 Hz sine at 48000 Hz (a monitor delivers fragments of the size a stream
# asks for, as a sound card does; the server's sine sources hand out two
# seconds at a time). The program records 1..8, ffmpeg 9..16.
# scripts/run-bench.sh loads them into its private server; without
# PULSE_SERVER this script starts one itself.
set -euo pipefail
HERE=$(cd "$(dirname "$0")" && pwd)
ROOT=$(cd "$HERE/.." && pwd)
PROG=${1:-$ROOT/build/VM3_Quillon_Recorder}
WINDOW=${2:-${QR_BENCH_SECONDS:-30}}
SETTLE=${QR_BENCH_SETTLE:-4}
[ -x "$PROG" ] || { echo "program not built: $PROG" >&2; exit 1; }
command -v ffmpeg >/dev/null || { echo "ffmpeg is missing" >&2; exit 1; }
export QT_QPA_PLATFORM=offscreen
HZ=$(getconf CLK_TCK)

OWN_PULSE=0
if [ -z "${PULSE_SERVER:-}" ]; then
  source "$ROOT/scripts/test-pulse.sh"
  start_test_pulse
  OWN_PULSE=1
  source "$ROOT/scripts/bench-sources.sh"
  load_bench_sinks
fi
# Device numbers are the places of the sources in the server's list.
device_of() { pactl list short sources | awk -v n="$1" '$2 == n { print NR - 1; exit }'; }
for i in $(seq 1 16); do
  [ -n "$(device_of qr_bench_sink_$i.monitor)" ] || { echo "the sound server has no source qr_bench_sink_$i.monitor" >&2; exit 1; }
done

PID=
FF_PIDS=()
DRIVE=
FF_DIR=$(mktemp -d /tmp/qr-bench-ff.XXXXXX)
stop_all() {
  local p
  for p in "${FF_PIDS[@]}"; do kill -INT "$p" 2>/dev/null || true; done
  for p in "${FF_PIDS[@]}"; do wait "$p" 2>/dev/null || true; done
  FF_PIDS=()
  if [ -n "$PID" ] && kill -0 "$PID" 2>/dev/null; then
    kill -TERM "$PID" 2>/dev/null || true
    for _ in $(seq 1 300); do kill -0 "$PID" 2>/dev/null || break; sleep 0.1; done
    kill -KILL "$PID" 2>/dev/null || true
    wait "$PID" 2>/dev/null || true
  fi
  PID=
}
finish() {
  stop_all
  local p
  for p in "${PLAYERS[@]}"; do kill -TERM -- "-$p" 2>/dev/null || true; done
  [ -n "$PROGRAMME_DIR" ] && rm -rf "$PROGRAMME_DIR"
  [ -n "$DRIVE" ] && rm -rf "$DRIVE"
  rm -rf "$FF_DIR"
  if [ "$OWN_PULSE" -eq 1 ]; then stop_test_pulse; fi
}
trap finish EXIT

log_text() { cat "${DRIVE}"AudioLog/Histo_VM3_Quillon_Recorder/*.Log 2>/dev/null | tr -d '\r'; }
# wait_log TEXT COUNT SECONDS : waits for COUNT trace lines holding TEXT.
wait_log() {
  local limit=$(($3 * 10)) k=0
  while [ "$k" -lt "$limit" ]; do
    [ "$(log_text | grep -cF -- "$1")" -ge "$2" ] && return 0
    kill -0 "$PID" 2>/dev/null || return 1
    sleep 0.1
    k=$((k + 1))
  done
  return 1
}

# Counters of a set of processes: "ticks switches"; threads included.
counters() {
  local p t ticks=0 sw=0 v
  for p in "$@"; do
    [ -r "/proc/$p/stat" ] || continue
    v=$(sed 's/^.*) //' "/proc/$p/stat" | awk '{ print $12 + $13 }')
    ticks=$((ticks + v))
    for t in /proc/$p/task/*/status; do
      v=$(awk '/^(voluntary|nonvoluntary)_ctxt_switches:/ { s += $2 } END { print s + 0 }' "$t" 2>/dev/null || echo 0)
      sw=$((sw + v))
    done
  done
  echo "$ticks $sw"
}
# Resident KiB of a set of processes: "rss pss".
memory() {
  local p rss=0 pss=0 v
  for p in "$@"; do
    v=$(awk '/^VmRSS:/ { print $2 }' "/proc/$p/status" 2>/dev/null || echo 0)
    rss=$((rss + ${v:-0}))
    v=$(awk '/^Pss:/ { print $2; exit }' "/proc/$p/smaps_rollup" 2>/dev/null || echo 0)
    pss=$((pss + ${v:-0}))
  done
  echo "$rss $pss"
}

# Settings of a recorder per format: Format, FormatCaracteristics (list
# place of the characteristic) and the ffmpeg options doing the same.
fmt_ini() {
  case $1 in
    wav) echo "1 0" ;;
    mp3) echo "2 3" ;;      # CBR 320 Kbps
    wma) echo "3 100" ;;    # 100: 192 kbit/s
    ogg) echo "4 5" ;;      # quality 5
    aac) echo "5 118" ;;    # 10 + 118 = 128 kbit/s
  esac
}
fmt_ffmpeg() {
  case $1 in
    wav) echo "-c:a pcm_s16le out.wav" ;;
    mp3) echo "-c:a libmp3lame -b:a 320k out.mp3" ;;
    wma) echo "-c:a wmav2 -b:a 192k out.wma" ;;
    ogg) echo "-c:a libvorbis -q:a 5 out.ogg" ;;
    aac) echo "-c:a aac -b:a 128k out.aac" ;;
  esac
}

# start_program IN_SERVICE RECORDING FORMAT : recorders 1..IN_SERVICE in
# service, the first RECORDING of them logging (recording from the first
# tick) in FORMAT from the monitor of qr_bench_sink_<n>.
start_program() {
  local service=$1 recording=$2 fmt=$3 i f c
  read -r f c <<<"$(fmt_ini "$fmt")"
  DRIVE=$(mktemp -d /tmp/qr-bench.XXXXXX)/
  local ini=${DRIVE}Tessaline/Velmora/Settings/VM3_Quillon_Recorder/VM3_Quillon_Recorder.Ini
  mkdir -p "$(dirname "$ini")"
  {
    for i in 0 1 2 3 4 5 6 7; do
      echo "[Recorder_0$i]"
      if [ "$i" -lt "$service" ]; then echo "Actif=ON"; else echo "Actif=0FF"; fi
      echo "PigeFolder=${DRIVE}Rec$i/"
      echo "Lib=Rec $((i + 1))"
      echo "Device=$(device_of qr_bench_sink_$((i + 1)).monitor)"
      echo "Format=$f"
      echo "FormatCaracteristics=$c"
      echo "SQuality=48000 Hz, 16 bits, stereo"
      if [ "$i" -lt "$recording" ]; then echo "Pige=1"; else echo "Pige=0"; fi
    done
  } | sed 's/$/\r/' >"$ini"
  VELMORA_DRIVE=$DRIVE "$PROG" >"${DRIVE}program.out" 2>&1 &
  PID=$!
  wait_log "Form_Load: End" 1 60 || { echo "the program did not start" >&2; tail -20 "${DRIVE}program.out" >&2; exit 1; }
  if [ "$recording" -gt 0 ]; then
    wait_log "RecordingStarted" "$recording" 30 || { echo "the recorders did not all start" >&2; exit 1; }
  fi
}

# start_ffmpeg COUNT FORMAT : COUNT ffmpeg processes on the monitors of
# qr_bench_sink_9.. .
start_ffmpeg() {
  local n=$1 fmt=$2 i opts
  for i in $(seq 1 "$n"); do
    opts=$(fmt_ffmpeg "$fmt")
    mkdir -p "$FF_DIR/$i"
    # shellcheck disable=SC2086
    (cd "$FF_DIR/$i" && exec ffmpeg -nostdin -hide_banner -loglevel error -y -f pulse \
        -i "qr_bench_sink_$((i + 8)).monitor" $opts) &
    FF_PIDS+=($!)
  done
}

# measure : over the window, sets P_CPU P_SW P_RSS (program) and F_CPU F_SW
# F_RSS F_PSS (all ffmpeg processes together), CPU in % of a core.
measure() {
  sleep "$SETTLE"
  local t0 t1 p0 p1 f0 f1 secs
  t0=$(date +%s%N)
  read -r -a p0 <<<"$(counters "$PID")"
  read -r -a f0 <<<"$(counters "${FF_PIDS[@]}")"
  sleep "$WINDOW"
  t1=$(date +%s%N)
  read -r -a p1 <<<"$(counters "$PID")"
  read -r -a f1 <<<"$(counters "${FF_PIDS[@]}")"
  secs=$(awk -v a="$t0" -v b="$t1" 'BEGIN { print (b - a) / 1e9 }')
  P_CPU=$(awk -v c=$((p1[0] - p0[0])) -v hz="$HZ" -v s="$secs" 'BEGIN { printf "%.2f", c / hz / s * 100 }')
  F_CPU=$(awk -v c=$((f1[0] - f0[0])) -v hz="$HZ" -v s="$secs" 'BEGIN { printf "%.2f", c / hz / s * 100 }')
  P_SW=$(awk -v c=$((p1[1] - p0[1])) -v s="$secs" 'BEGIN { printf "%.0f", c / s }')
  F_SW=$(awk -v c=$((f1[1] - f0[1])) -v s="$secs" 'BEGIN { printf "%.0f", c / s }')
  P_TICKS=$((p1[0] - p0[0]))
  F_TICKS=$((f1[0] - f0[0]))
  read -r P_RSS _ <<<"$(memory "$PID")"
  read -r F_RSS F_PSS <<<"$(memory "${FF_PIDS[@]}")"
}

ROWS=()
# row NAME : one line of the table from the last measure.
row() {
  local ratio="-" fc="-" fs="-" fr="-"
  if [ "${#FF_PIDS[@]}" -gt 0 ]; then
    fc=$F_CPU fs=$F_SW
    fr=$(awk -v r="$F_RSS" -v p="$F_PSS" 'BEGIN { printf "%.0f (PSS %.0f)", r / 1024, p / 1024 }')
    ratio=$(awk -v a="$P_CPU" -v b="$F_CPU" 'BEGIN { if (b > 0) printf "%.2f x", a / b; else print "n/a" }')
  fi
  ROWS+=("$(printf '%-30s | %9s | %9s | %8s | %9s | %9s | %9s | %s' "$1" "$P_CPU" "$fc" "$ratio" \
    "$P_SW" "$fs" "$(awk -v r="$P_RSS" 'BEGIN { printf "%.1f", r / 1024 }')" "$fr")")
  echo "${ROWS[-1]}"
}
header() {
  printf '%-30s | %9s | %9s | %8s | %9s | %9s | %9s | %s\n' "" "prog CPU%" "ffm CPU%" "ratio" \
    "prog cs/s" "ffm cs/s" "prog MiB" "ffmpeg MiB"
}

# Programme material instead of the sine, for the scenarios that must not
# be judged on a sine: play_programme SINK... loops programme.wav into each
# of the sinks in place of its sine; sines_back puts the sines back.
PLAYERS=()
PROGRAMME_DIR=
play_programme() {
  local n id
  if [ -z "$PROGRAMME_DIR" ]; then
    PROGRAMME_DIR=$(mktemp -d /tmp/qr-bench-prog.XXXXXX)
    source "$ROOT/scripts/bench-sources.sh"
    make_programme_material "$PROGRAMME_DIR" 60
  fi
  for n in "$@"; do
    id=$(pactl list short modules | awk -v a="sink=qr_bench_sink_$n" '$2 == "module-sine" && $3 == a { print $1 }')
    [ -n "$id" ] && pactl unload-module "$id"
    setsid bash -c "while :; do paplay -d qr_bench_sink_$n '$PROGRAMME_DIR/programme.wav' || sleep 1; done" \
      </dev/null >/dev/null 2>&1 &
    PLAYERS+=($!)
  done
}
sines_back() {
  local p n
  for p in "${PLAYERS[@]}"; do kill -TERM -- "-$p" 2>/dev/null || true; done
  for p in "${PLAYERS[@]}"; do wait "$p" 2>/dev/null || true; done
  PLAYERS=()
  for n in "$@"; do pactl load-module module-sine sink=qr_bench_sink_$n frequency=440 >/dev/null; done
}

scenario_idle() {
  start_program "$1" 0 mp3
  measure
  row "idle, $1 in service"
  stop_all
  rm -rf "$DRIVE"
  DRIVE=
}

# scenario_record COUNT FORMAT [programme] : COUNT recorders and COUNT
# ffmpeg processes recording FORMAT, of the sine or of programme material.
scenario_record() {
  local n=$1 fmt=$2 what=${3:-}
  [ "$what" = programme ] && play_programme 1 9
  start_program "$n" "$n" "$fmt"
  start_ffmpeg "$n" "$fmt"
  measure
  local grep_lost
  grep_lost=$(log_text | grep -c "samples lost" || true)
  row "$n recording $fmt${what:+ $what}$( [ "$grep_lost" -gt 0 ] && echo " (OVERRUN)")"
  [ "$what" = programme ] && sines_back 1 9
  stop_all
  rm -rf "$DRIVE"
  DRIVE=
  rm -rf "${FF_DIR:?}"/*
}

# just_written FILE : waits (at most 1 s) for FILE to grow, then prints
# "<ns> <bytes>": the moment just after a block of audio reached it.
just_written() {
  local size0 size t k
  size0=$(stat -c %s "$1")
  for k in $(seq 1 400); do
    size=$(stat -c %s "$1")
    t=$(date +%s%N)
    [ "$size" != "$size0" ] && break
    sleep 0.0025
  done
  echo "$t $size"
}
# audio_clock FILE : over 20 blocks of audio (about 2 s), the least lag of
# the file behind the wall clock, "<lag s> <bytes>" (MP3 320 kbit/s: 40000
# bytes a second): blocks come late by varying amounts, the least late one
# tells where the audio is.
audio_clock() {
  local k t size best="" bsize=0 lag
  for k in $(seq 1 20); do
    read -r t size <<<"$(just_written "$1")"
    lag=$(awk -v t="$t" -v s="$size" 'BEGIN { printf "%.4f", t / 1e9 - s / 40000 }')
    if [ -z "$best" ] || awk -v a="$lag" -v b="$best" 'BEGIN { exit !(a < b) }'; then best=$lag; fi
    bsize=$size
  done
  echo "$best $bsize"
}

if [ -n "${QR_BENCH_LONG:-}" ]; then
  # Sound servers take a moment (up to 2 s with these monitors) before the
  # first block of a new stream; what counts is what follows it: over the
  # window, each file must gain exactly the audio of the wall time (MP3 at
  # 320 kbit/s and 48000 Hz: 960-byte frames of 24 ms, 40000 bytes a
  # second), and the finished file must hold what it gained.
  echo "8 recorders MP3 320 kbit/s beside 8 ffmpeg, ${QR_BENCH_LONG} s"
  start_program 8 8 mp3
  declare -A BORN FIRST
  heard=0
  for _ in $(seq 1 1000); do
    for i in 0 1 2 3 4 5 6 7; do
      f=$(compgen -G "${DRIVE}Rec$i/*.mp3" | head -1 || true)
      [ -n "$f" ] || continue
      [ -n "${BORN[$i]:-}" ] || BORN[$i]=$(date +%s%N)
      if [ -z "${FIRST[$i]:-}" ] && [ "$(stat -c %s "$f")" -gt 4000 ]; then
        FIRST[$i]=$(date +%s%N)
        heard=$((heard + 1))
      fi
    done
    [ "$heard" -eq 8 ] && break
    sleep 0.01
  done
  start_ffmpeg 8 mp3
  WINDOW=$QR_BENCH_LONG
  SETTLE=2
  sleep "$SETTLE"
  declare -A L0 L1 S1 FILE
  for i in 0 1 2 3 4 5 6 7; do
    FILE[$i]=$(compgen -G "${DRIVE}Rec$i/*.mp3" | head -1)
    read -r "L0[$i]" _ <<<"$(audio_clock "${FILE[$i]}")"
  done
  header
  SETTLE=0
  measure
  row "8 recording mp3, ${QR_BENCH_LONG} s"
  for i in 0 1 2 3 4 5 6 7; do
    read -r "L1[$i]" "S1[$i]" <<<"$(audio_clock "${FILE[$i]}")"
  done
  lost=$(log_text | grep -c "samples lost" || true)
  stop_all
  status=0
  echo "overrun notices: $lost"
  [ "$lost" -eq 0 ] || status=1
  for i in 0 1 2 3 4 5 6 7; do
    n=$(find "${DRIVE}Rec$i" -name '*.mp3' | wc -l)
    f=${FILE[$i]}
    # A file that lost audio lags further behind the wall clock at the end;
    # one that doubled some lags less.
    diff=$(awk -v a="${L0[$i]}" -v b="${L1[$i]}" 'BEGIN { printf "%.3f", a - b }')
    len=$(ffprobe -v error -show_entries format=duration -of csv=p=0 "$f")
    # The finished file holds at least what it had at the window's end.
    held=$(awk -v l="$len" -v b="${S1[$i]}" 'BEGIN { printf "%.3f", l - b / 40000 }')
    wait_ms=$(awk -v a="${BORN[$i]}" -v b="${FIRST[$i]}" 'BEGIN { printf "%.0f", (b - a) / 1e6 }')
    ok=$(awk -v d="$diff" -v h="$held" 'BEGIN { print ((d < 0 ? -d : d) <= 0.1 && h >= -0.05) ? "ok" : "OFF" }')
    [ "$ok" = ok ] || status=1
    [ "$n" -eq 1 ] || { ok="$ok, $n files"; status=1; }
    echo "Rec $((i + 1)): audio against wall time over the window ${diff} s, file ${len} s (${held} s after the window), first audio ${wait_ms} ms after the file: $ok"
  done
  exit $status
fi

echo "whole program (headless) beside ffmpeg on the same server, ${WINDOW} s windows after ${SETTLE} s"
echo "$(nproc) cores, $(awk -F': ' '/model name/ { print $2; exit }' /proc/cpuinfo)"
header
ONLY=" ${QR_BENCH_ONLY:-idle1 idle8 wav mp3 wma ogg aac aacp mp3x8} "
wanted() { [[ "$ONLY" == *" $1 "* ]]; }
wanted idle1 && scenario_idle 1
wanted idle8 && scenario_idle 8
for fmt in wav mp3 wma ogg aac; do wanted "$fmt" && scenario_record 1 "$fmt"; done
wanted aacp && scenario_record 1 aac programme
wanted mp3x8 && scenario_record 8 mp3
exit 0
