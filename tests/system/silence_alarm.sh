#!/usr/bin/env bash
# The silence alarm of the real program, from its settings file: recorder 1
# logs the monitor of a null sink (digital silence) and writes the incident
# "silence" naming it once the delay has passed; a sine played into the sink
# brings the sound back and the end of the silence is written; recorder 2
# logs a sine source and never raises the alarm.
set -u
source "$(dirname "$0")/helpers/common.bash" "$@"
source "$(dirname "$0")/helpers/logging.bash"

SINK=qr_silence_sink_$$
SINE=qr_silence_sine_$$
MODULES=()
silence_cleanup() {
  logging_cleanup
  local m
  for m in "${MODULES[@]}"; do pactl unload-module "$m" 2>/dev/null; done
}
trap silence_cleanup EXIT
MODULES+=("$(pactl load-module module-null-sink sink_name=$SINK)")
MODULES+=("$(pactl load-module module-sine-source source_name=$SINE rate=48000 frequency=440)")
device_of() { pactl list short sources | awk -v s="$1" '$2 == s { print NR - 1; exit }'; }
MONITOR_DEVICE=$(device_of "$SINK.monitor")
SINE_DEVICE=$(device_of "$SINE")
[ -n "$MONITOR_DEVICE" ] && [ -n "$SINE_DEVICE" ] || { fail "test sources missing ($(pactl list short sources | tr '\n' ';'))"; finish; }

write_crlf "$INI" <<INI
[Recorder_00]
Actif=ON
Lib=Antenne
Pige=1
Format=1
Device=$MONITOR_DEVICE
PigeFolder=${DRIVE}Antenne/
SilenceSeuil=-50
SilenceDelai=3
[Recorder_01]
Actif=ON
Lib=Studio
Pige=1
Format=1
Device=$SINE_DEVICE
SQuality=48000 Hz, 16 bits, mono
PigeFolder=${DRIVE}Studio/
SilenceSeuil=-50
SilenceDelai=3
INI

start_program
if wait_for_log "Form_Load: End" 60; then pass "start-up finished"; else fail "no 'Form_Load: End' within 60 s"; finish; fi
RAISED="Rec. 1 (Antenne): silence for 3 s, input below -50 dBFS"
if wait_for_log "$RAISED" 15; then pass "incident: $RAISED"; else fail "no incident '$RAISED' within 15 s"; finish; fi
started=$(log_text | grep -F ": :0: :RecordingStarted" | head -1 | cut -c1-12)
raised=$(log_text | grep -F "$RAISED" | head -1 | cut -c1-12)
elapsed=$(($(stamp_ms "$raised") - $(stamp_ms "$started")))
# The first levels of the recording may come a few ms before its start is
# traced, so the trace stamps allow a little less than the delay.
[ "$elapsed" -ge 2950 ] && [ "$elapsed" -lt 8000 ] && pass "raised ${elapsed} ms after the recording started (delay 3 s)" ||
  fail "raised ${elapsed} ms after the recording started ($started -> $raised)"
[ "$(log_text | grep -cF "$RAISED")" -eq 1 ] && pass "one incident for the silence" || fail "several incidents for one silence"

MODULES+=("$(pactl load-module module-sine sink=$SINK frequency=1000)")
BACK="Rec. 1 (Antenne): end of silence, sound back after "
if wait_for_log "$BACK" 15; then pass "incident: $(log_text | grep -F "$BACK" | head -1 | cut -d: -f8-)"; else fail "no '$BACK' within 15 s"; fi
sleep 2
log_text | grep -qF "Rec. 2 (Studio)" && fail "the sine source raised: $(log_text | grep -F "Rec. 2 (Studio)")" ||
  pass "the sine source raised no incident"

stop_program TERM 30
[ "$EXIT_CODE" -eq 0 ] && pass "SIGTERM: exit code 0" || fail "SIGTERM: exit code $EXIT_CODE"
log_text | grep -qF "end of silence watch" && fail "a watch ended while no alarm was on" || pass "no alarm left open at the stop"
finish
