#!/usr/bin/env bash
# A planned recording whose start passes while the computer sleeps: the
# program's wall clock (libfaketime, an offset read from a file) jumps from
# before 11:00 to 11:59:30 while its monotonic clock goes on as it was, as on
# a wake-up. The "Jour" line at 11:00 for 60 minutes starts at once, late,
# shortened to end at 12:00 as planned, says so in an incident, and records
# about thirty seconds (decoded back with FFmpeg).
set -u
source "$(dirname "$0")/helpers/common.bash" "$@"
source "$(dirname "$0")/helpers/logging.bash"

DAY=20260310
PLAN=${DRIVE}Plan/
CLOCK_FILE=${DRIVE}faked-clock
mkdir -p "$PLAN"
# set_clock "yyyy-mm-dd hh:mm:ss" : the program's clock reads that date now
# and runs on from there.
set_clock() {
  local off=$(($(date -u -d "$1" +%s) - $(date -u +%s)))
  if [ "$off" -ge 0 ]; then echo "+$off" >"$CLOCK_FILE"; else echo "$off" >"$CLOCK_FILE"; fi
}
write_crlf "$INI" <<INI
[Recorder_00]
Actif=ON
Lib=Studio
Pige=0
PigeFolder=${DRIVE}Rec1/
Format=1
Device=$SINE_DEVICE
Channel=0
SQuality=48000 Hz, 16 bits, mono
[Planning_000]
Actif=ON
Recorder=Recorder 1
Frequence=Jour
Annee=
Mois=
Semaine=
Jour=
Heure=11
Minute=00
LigneActive=O
Duree=60
DossierFichierSon=${PLAN}Matin <yyyyMMdd_hh_mm>.wav
ASC82Plus=
INI
set_clock "2026-03-10 10:59:00"
LD_PRELOAD=$FAKETIME_LIB FAKETIME_TIMESTAMP_FILE=$CLOCK_FILE FAKETIME_CACHE_DURATION=1 \
  FAKETIME_DONT_FAKE_MONOTONIC=1 "$PROG" >>"${DRIVE}program.out" 2>&1 &
PROG_PID=$!

if wait_for_log "Form_Load: End" 50; then pass "start-up finished"; else fail "no 'Form_Load: End' within 50 s"; finish; fi
if wait_for_log "Planning analysis: Task: 0 Start: 10/03/2026 11:00:00" 5; then
  pass "the 11:00 start is planned"
else
  fail "no analysis giving 10/03/2026 11:00:00"
  finish
fi
if day_log "$DAY" | grep -qF "Start planning: Task: 0 "; then fail "started before the sleep"; finish; fi
# Asleep over 11:00: the wall clock is at 11:59:30 on waking.
set_clock "2026-03-10 11:59:30"

if wait_for_log "Start planning: Task: 0 Recorder: 1 Duration: " 30; then
  pass "the line started on waking at $(stamp_of "$DAY" "Start planning: Task: 0")"
else
  fail "the line did not start on waking"
  finish
fi
dur=$(day_log "$DAY" | grep -F "Start planning: Task: 0 Recorder: 1 Duration: " | head -1 | sed 's/.*Duration: \([0-9]*\) ms.*/\1/')
if [ -n "$dur" ] && [ "$dur" -ge 20000 ] && [ "$dur" -le 30000 ]; then
  pass "shortened to what is left before 12:00: $dur ms"
else
  fail "duration '$dur' ms, expected what is left of 11:00-12:00 after 11:59:30 (20 to 30 s)"
fi
expect_log "Err: Planning: Task: 0 started late by"
expect_log "(computer asleep, busy or clock changed): ends at 12:00:00 as planned"
FILE="${PLAN}Matin ${DAY}_11_59.wav"
expect_log ":Recording File: $FILE"

if wait_for_log "Max duration reached: $dur ms" 45; then pass "stopped at its planned end"; else fail "no 'Max duration reached: $dur ms'"; fi
if wait_for_log "RecordingFinalizationDone" 15; then pass "file finalised"; else fail "no 'RecordingFinalizationDone'"; fi
expect_log "Planning analysis: Task: 0 Start: 11/03/2026 11:00:00"
check_exit_on_sigterm "$DAY"

if [ -f "$FILE" ]; then pass "file $(basename "$FILE")"; else fail "no file '$FILE' ($(ls "$PLAN" 2>&1))"; finish; fi
check_wav_closed "$FILE"
n=$(decoded_samples "$FILE")
# The test server's sine source hands out its audio in blocks of up to 2 s,
# so the first block of a new stream can reach back before the start.
if [ -n "$n" ] && [ -n "$dur" ] && [ "$n" -ge $((SINE_RATE * dur / 1000)) ] && [ "$n" -le $((SINE_RATE * (dur + 2100) / 1000)) ]; then
  pass "recorded to the planned end: $n samples ($(awk -v n="$n" -v r="$SINE_RATE" 'BEGIN { printf "%.3f", n / r }') s)"
else
  fail "decoded '$n' samples, expected $dur ms and at most 2.1 s more"
fi
check_tone "$FILE"
if [ "$(day_log "$DAY" | grep -cF "Start planning: Task: 0 ")" -eq 1 ]; then pass "started once"; else fail "started $(day_log "$DAY" | grep -cF "Start planning: Task: 0 ") times"; fi
finish
