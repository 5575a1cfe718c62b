#!/usr/bin/env bash
# Volumes written in the settings file before the start are the sliders'
# values, and an exit on SIGTERM with nothing changed writes them back as
# they were, for all eight recorders; other keys of the file are kept.
set -u
source "$(dirname "$0")/helpers/common.bash" "$@"

INI=${SETTINGS_DIR}VM3_Quillon_Recorder_3.Ini
write_crlf "$INI" <<'INI'
; written by the family's tools
[Recorder_00]
Actif=ON
Lib=Studio A
Volume=40
[Recorder_01]
Actif=ON
Volume=12
[Recorder_05]
Volume=90
[UDP_OUT]
Lib_0=Podcast
INI

start_program /Instance=3
if wait_for_log "Form_Load: End" 60; then pass "start-up finished"; else fail "no 'Form_Load: End' within 60 s"; fi
stop_program TERM 30
[ "$EXIT_CODE" -eq 0 ] && pass "exit code 0" || fail "exit code $EXIT_CODE"
expect_log "Application closed because Windows is shutting down"

expected=(40 12 75 75 75 90 75 75)
for i in 0 1 2 3 4 5 6 7; do
  got=$(ini_value "$INI" "Recorder_0$i" Volume)
  if [ "$got" = "${expected[$i]}" ]; then pass "Recorder_0$i Volume=$got"; else fail "Recorder_0$i Volume '$got', expected ${expected[$i]}"; fi
done
[ "$(ini_value "$INI" Recorder_00 Lib)" = "Studio A" ] && pass "label kept" || fail "label now '$(ini_value "$INI" Recorder_00 Lib)'"
[ "$(ini_value "$INI" UDP_OUT Lib_0)" = "Podcast" ] && pass "other sections kept" || fail "UDP_OUT Lib_0 lost"
grep -q "^; written by the family's tools" "$INI" && pass "comment kept" || fail "comment lost"
if tr -d '\r' <"$INI" | grep -c . >/dev/null && [ "$(grep -c $'\r$' "$INI")" -eq "$(wc -l <"$INI")" ]; then
  pass "CR LF line ends"
else
  fail "line ends changed"
fi
finish
