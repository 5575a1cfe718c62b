#!/usr/bin/env bash
# A planned recording of the real program: the program's clock starts at
# 10:59:48 (libfaketime); a "Jour" line of the settings file at 11:00 with
# "Duree" 1 starts recorder 1 on the sound server's sine source into the file
# its "DossierFichierSon" names, the date pattern expanded, and the recording
# ends by itself after one minute. The file is decoded back with FFmpeg.
set -u
source "$(dirname "$0")/helpers/common.bash" "$@"
source "$(dirname "$0")/helpers/logging.bash"

DAY=20260310
PLAN=${DRIVE}Plan/
mkdir -p "$PLAN"
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
Duree=1
DossierFichierSon=${PLAN}Journal <yyyyMMdd_hh_mm>.wav
ASC82Plus=
INI
start_program_at "2026-03-10 10:59:48"

if wait_for_log "Form_Load: End" 60; then pass "start-up finished"; else fail "no 'Form_Load: End' within 60 s"; fi
expect_log "Planning analysis: Task: 0 Start: 10/03/2026 11:00:00"
if [ "$(day_log "$DAY" | grep -F "Planning analysis: Task: 0 Start:" | head -1 | cut -c1-5)" = "10:59" ]; then
  pass "the analysis ran at start-up, on the faked clock"
else
  fail "no analysis on the faked day before 11:00 (logs: $(ls "$LOG_DIR" 2>&1))"
  finish
fi

FILE="${PLAN}Journal ${DAY}_11_00.wav"
if wait_for_log "Start planning: Task: 0 Recorder: 1 Duration: 60000 ms" 30; then
  pass "the line started at $(stamp_of "$DAY" "Start planning: Task: 0")"
else
  fail "the line did not start"
  finish
fi
start=$(stamp_of "$DAY" "Start planning: Task: 0")
if [ "$(stamp_ms "$start")" -ge "$(stamp_ms 11:00:00:000)" ] && [ "$(stamp_ms "$start")" -lt "$(stamp_ms 11:00:01:000)" ]; then
  pass "on time ($start)"
else
  fail "started at $start, not within the first second of 11:00"
fi
expect_log "Start planning: Sound file: $FILE"
expect_log ":Recording File: $FILE"
expect_log "XPButtonRecord.Checked: True |Sub: Frm_Main:PlanningRecordAuto"

# One minute later the recording control stops it at its planned duration.
if wait_for_log "Max duration reached: 60000 ms" 75; then pass "stopped at its planned duration"; else fail "no 'Max duration reached: 60000 ms'"; fi
if wait_for_log "RecordingFinalizationDone" 15; then pass "file finalised"; else fail "no 'RecordingFinalizationDone'"; fi
expect_log "Planning analysis: Task: 0 Start: 11/03/2026 11:00:00"
check_exit_on_sigterm "$DAY"

if [ -f "$FILE" ]; then pass "file $(basename "$FILE")"; else fail "no file '$FILE' ($(ls "$PLAN" 2>&1))"; finish; fi
p=$(probe "$FILE")
if [ "$p" = "pcm_s16le 48000 1" ]; then pass "WAV 16 bits 48000 Hz mono"; else fail "format '$p'"; fi
check_wav_closed "$FILE"
n=$(decoded_samples "$FILE")
# The stop comes with the first position past one minute (positions every 100 ms).
if [ -n "$n" ] && [ "$n" -ge $((SINE_RATE * 60)) ] && [ "$n" -le $((SINE_RATE * 61)) ]; then
  pass "one minute recorded: $n samples ($(awk -v n="$n" -v r="$SINE_RATE" 'BEGIN { printf "%.3f", n / r }') s)"
else
  fail "decoded '$n' samples, expected one minute ($((SINE_RATE * 60)) to $((SINE_RATE * 61)))"
fi
check_tone "$FILE"
if day_log "$DAY" | grep -E ':Err: ' | grep -q .; then
  fail "error lines in the trace: $(day_log "$DAY" | grep -E ':Err: ' | head -3)"
else
  pass "no error line in the trace"
fi
if [ "$(day_log "$DAY" | grep -cF "Start planning: Task: 0 ")" -eq 1 ]; then pass "started once"; else fail "started $(day_log "$DAY" | grep -cF "Start planning: Task: 0 ") times"; fi
finish
