#!/usr/bin/env bash
# The real program started headless with "/Instance=3" on an empty drive:
# the settings file and the folders it creates, the trace lines of its
# start-up, and a clean end on SIGTERM.
set -u
source "$(dirname "$0")/helpers/common.bash" "$@"

start_program /Instance=3
if wait_for_log "Form_Load: End" 60; then pass "start-up finished"; else fail "no 'Form_Load: End' within 60 s"; fi

INI=${SETTINGS_DIR}VM3_Quillon_Recorder_3.Ini
if [ -f "$INI" ]; then pass "settings file of instance 3"; else fail "missing $INI"; fi
[ "$(ini_value "$INI" Recorder_00 Actif)" = "ON" ] && pass "first start puts recorder 1 in service" \
  || fail "Recorder_00 Actif is '$(ini_value "$INI" Recorder_00 Actif)'"
[ ! -e "${SETTINGS_DIR}VM3_Quillon_Recorder.Ini" ] && pass "no settings file without instance" \
  || fail "the instance run wrote the plain settings file"
for i in 00 01 02 03 04 05 06 07; do
  [ -d "${DRIVE}Tessaline/Velmora/Settings/_Local/Sons_Quillon_Recorder_$i" ] \
    || fail "folder Sons_Quillon_Recorder_$i not created"
done
[ -d "$LOG_DIR" ] && pass "log folder created" || fail "no log folder $LOG_DIR"
[ "$(log_files | wc -l)" -eq 1 ] && pass "one daily log file" || fail "log files: $(ls "$LOG_DIR" 2>&1)"

expect_log "Form_Load: Start"
expect_log "Form_Load: End"
expect_log "Command Line: '/Instance=3'"
expect_log "Instance: 3"
expect_log "Log_Folder: ${LOG_DIR}"
expect_log "Local_Sound_Folder: ${DRIVE}Tessaline/Velmora/Settings/_Local/Sons_Quillon_Recorder_00/"
expect_log "App.ExeName: VM3_Quillon_Recorder"
# Framed with "=" lines of its own length.
if log_text | grep -B1 -A1 -F ":Form_Load: Start" | grep -qE ':={16}$'; then pass "start line framed"; else fail "'Form_Load: Start' not framed"; fi
# The start-up order: start, instance, folders, end.
order=$(log_text | grep -nE 'Form_Load: Start|Instance: 3|Log_Folder: |Form_Load: End' | cut -d: -f1 | tr '\n' ' ')
first_start=$(log_text | grep -nF 'Form_Load: Start' | head -1 | cut -d: -f1)
instance=$(log_text | grep -nF 'Instance: 3' | head -1 | cut -d: -f1)
end=$(log_text | grep -nF 'Form_Load: End' | head -1 | cut -d: -f1)
if [ -n "$first_start" ] && [ -n "$instance" ] && [ -n "$end" ] && [ "$first_start" -lt "$instance" ] && [ "$instance" -lt "$end" ]; then
  pass "start-up lines in order"
else
  fail "start-up lines out of order (lines $order)"
fi

stop_program TERM 30
[ "$EXIT_CODE" -eq 0 ] && pass "exit code 0 after SIGTERM" || fail "exit code $EXIT_CODE after SIGTERM"
expect_log "Application closed because Windows is shutting down"
if log_text | grep -qF "Voulez-vous quitter"; then fail "a question was asked on a system shutdown"; fi
finish
