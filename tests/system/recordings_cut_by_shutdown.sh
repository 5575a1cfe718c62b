#!/usr/bin/env bash
# Three recorders of the real program record the sound server's sine source
# (WAV, MP3, Ogg Vorbis) when the system ends the program with SIGTERM: the
# trace log, the station's audit trail, holds the stop and the finalisation
# of every recording after the close request, and every file decodes whole.
set -u
source "$(dirname "$0")/helpers/common.bash" "$@"
source "$(dirname "$0")/helpers/logging.bash"

FORMATS=(1 2 4)
CHARACTERISTICS=(0 5 5)
EXTENSIONS=(wav mp3 ogg)
{
  for i in 0 1 2; do
    echo "[Recorder_0$i]"
    echo "Actif=ON"
    echo "Lib=Voie$i"
    echo "Pige=1"
    echo "PigeFolder=${DRIVE}Voie$i/"
    echo "Format=${FORMATS[$i]}"
    echo "FormatCaracteristics=${CHARACTERISTICS[$i]}"
    echo "Device=$SINE_DEVICE"
    echo "Channel=0"
    echo "SQuality=48000 Hz, 16 bits, mono"
  done
} | write_crlf "$INI"

# count_lines RECORDER TEXT : trace lines of that recorder ending with TEXT.
count_lines() { log_text | grep -cE "^[0-9:]{12} : :$1: :$2\$"; }

start_program
if wait_for_log "Form_Load: End" 60; then pass "start-up finished"; else fail "no 'Form_Load: End' within 60 s"; fi
for i in 0 1 2; do
  waited=0
  while [ "$(count_lines $i RecordingStarted)" -lt 1 ] && [ $waited -lt 300 ] && kill -0 "$PROG_PID" 2>/dev/null; do
    sleep 0.1
    waited=$((waited + 1))
  done
  [ "$(count_lines $i RecordingStarted)" -ge 1 ] && pass "Rec. $((i + 1)) records" || fail "Rec. $((i + 1)) did not start"
done
sleep 2
stop_program TERM 30
[ "$EXIT_CODE" -eq 0 ] && pass "exit code 0 after SIGTERM" || fail "exit code $EXIT_CODE after SIGTERM"

close_line=$(log_text | grep -nF "Application closed because Windows is shutting down" | tail -1 | cut -d: -f1)
[ -n "$close_line" ] && pass "close request traced" || fail "no close request in the trace log"
for i in 0 1 2; do
  ext=${EXTENSIONS[$i]}
  started=$(count_lines $i RecordingStarted)
  stopped=$(count_lines $i RecordingStopped)
  finalised=$(count_lines $i RecordingFinalizationDone)
  if [ "$started" -ge 1 ] && [ "$stopped" -eq "$started" ] && [ "$finalised" -eq "$started" ]; then
    pass "Rec. $((i + 1)): $started recording(s), each stopped and finalised in the trace log"
  else
    fail "Rec. $((i + 1)): $started started, $stopped stopped, $finalised finalised"
  fi
  last_stop=$(log_text | grep -nE "^[0-9:]{12} : :$i: :RecordingStopped\$" | tail -1 | cut -d: -f1)
  last_done=$(log_text | grep -nE "^[0-9:]{12} : :$i: :RecordingFinalizationDone\$" | tail -1 | cut -d: -f1)
  if [ -n "$close_line" ] && [ -n "$last_stop" ] && [ -n "$last_done" ] &&
     [ "$last_stop" -gt "$close_line" ] && [ "$last_done" -gt "$last_stop" ]; then
    pass "Rec. $((i + 1)): stopped, then finalised, after the close request"
  else
    fail "Rec. $((i + 1)): close at line ${close_line:-?}, stop at ${last_stop:-?}, finalisation at ${last_done:-?}"
  fi
  shopt -s nullglob
  files=("${DRIVE}Voie$i/"*."$ext")
  shopt -u nullglob
  if [ "${#files[@]}" -ge 1 ]; then pass "Rec. $((i + 1)): ${#files[@]} .$ext file(s)"; else fail "Rec. $((i + 1)): no .$ext file"; fi
  for f in "${files[@]}"; do
    samples=$(decoded_samples "$f") || samples=
    if [ -n "$samples" ] && [ "$samples" -ge $((SINE_RATE / 2)) ]; then
      pass "$(basename "$f"): decodes whole ($samples samples)"
    else
      fail "$(basename "$f"): decoding gave '${samples}' samples"
    fi
  done
  [ "$ext" = wav ] && for f in "${files[@]}"; do check_wav_closed "$f"; done
done
if log_text | grep -qF "still being finalised"; then fail "the unload gave up waiting for the engines"; fi
finish
