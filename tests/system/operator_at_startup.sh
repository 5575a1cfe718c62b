#!/usr/bin/env bash
# The real program on a workstation where an operator is mandatory, with a
# stand-in for the family's user-selection program: the start-up offers the
# selection and goes on with the operator it chose; with nobody chosen the
# program ends by itself; a system shutdown while the selection is on screen
# ends the program at once, cleanly (volumes saved).
set -u
source "$(dirname "$0")/helpers/common.bash" "$@"

APP=${DRIVE}Tessaline/Velmora/
REGISTRY=${DRIVE}Windows/Registry/HKEY_LOCAL_MACHINE.ini
STAND=${DRIVE}standin/
mkdir -p "$STAND"
printf '[DroitsUsers]\r\nActif=1\r\n' | write_crlf "${APP}Config/VM3_Systeme.ini"
write_crlf "${SETTINGS_DIR}VM3_Quillon_Recorder.Ini" <<'INI'
[Recorder_00]
Actif=ON
Volume=33
INI

# The stand-in: notes its start and arguments, waits as long as told, then
# publishes the operator prepared in $STAND/chosen.ini.
cat >"${APP}VM3_Quillon_User" <<SH
#!/bin/sh
echo \$\$ > '${STAND}pid'
printf '%s\n' "\$@" > '${STAND}args'
sleep "\$(cat '${STAND}sleep')"
mkdir -p '$(dirname "$REGISTRY")'
cp '${STAND}chosen.ini' '${REGISTRY}'
SH
chmod +x "${APP}VM3_Quillon_User"

# chosen ID NAME RIGHTS BUTTON : what the stand-in will publish.
chosen() {
  printf '[Software\\Tessaline\\Velmora\\User]\r\nVM_User=%s\r\nVM_User_Name=%s\r\nVM_User_Droits=%s\r\nVM_User_Button=%s\r\n' \
    "$1" "$2" "$3" "$4" >"${STAND}chosen.ini"
}
SETUP_RIGHT=0000000000000000000000000000001

# wait_for_program_end SECONDS : the program ends by itself; sets EXIT_CODE.
wait_for_program_end() {
  local waited=0
  while kill -0 "$PROG_PID" 2>/dev/null && [ "$waited" -lt $(($1 * 10)) ]; do
    sleep 0.1
    waited=$((waited + 1))
  done
  if kill -0 "$PROG_PID" 2>/dev/null; then
    EXIT_CODE=255
    return 1
  fi
  wait "$PROG_PID"
  EXIT_CODE=$?
  PROG_PID=
}

echo "-- an authorised operator is chosen"
echo 0.5 >"${STAND}sleep"
chosen 7 "Alice Martin" "$SETUP_RIGHT" OK
start_program
if wait_for_log "Form_Load: End" 60; then pass "start-up finished"; else fail "no 'Form_Load: End' within 60 s"; fi
if wait_for_log "User: 7 (Alice Martin) |Setup right: Yes" 30; then pass "the chosen operator is applied"; else fail "operator not applied"; fi
[ "$(cat "${STAND}args" 2>/dev/null)" = "/Close" ] && pass "selection started with /Close" || fail "arguments '$(cat "${STAND}args" 2>/dev/null)'"
stop_program TERM 30
[ "$EXIT_CODE" -eq 0 ] && pass "exit code 0" || fail "exit code $EXIT_CODE"

echo "-- nobody is chosen"
rm -f "$REGISTRY" "${STAND}args"
chosen "" "" "" Fermer
start_program
if wait_for_program_end 60; then pass "the program ended by itself"; else fail "the program still runs without an operator"; fi
[ "$EXIT_CODE" -eq 0 ] && pass "exit code 0" || fail "exit code $EXIT_CODE"
expect_log "Application closed: no authorised user selected"
expect_log "Application closed by code action"

echo "-- the system shuts down while the selection is on screen"
rm -f "$REGISTRY" "${STAND}args"
echo 30 >"${STAND}sleep"
start_program
waited=0
while [ ! -s "${STAND}args" ] && [ $waited -lt 600 ] && kill -0 "$PROG_PID" 2>/dev/null; do sleep 0.1; waited=$((waited + 1)); done
[ -s "${STAND}args" ] && pass "the selection is running" || fail "the selection did not start"
before=$SECONDS
stop_program TERM 10
[ "$EXIT_CODE" -eq 0 ] && pass "exit code 0, after $((SECONDS - before)) s" || fail "exit code $EXIT_CODE"
last_close=$(log_text | grep -nF "Application closed because Windows is shutting down" | tail -1 | cut -d: -f1)
last_selection=$(log_text | grep -nF "User selection: " | tail -1 | cut -d: -f1)
if [ -n "$last_close" ] && [ -n "$last_selection" ] && [ "$last_close" -gt "$last_selection" ]; then
  pass "closed as a system shutdown during the selection"
else
  fail "close at line ${last_close:-?}, selection at line ${last_selection:-?}"
fi
[ "$(ini_value "${SETTINGS_DIR}VM3_Quillon_Recorder.Ini" Recorder_00 Volume)" = "33" ] && pass "volume kept" \
  || fail "volume now '$(ini_value "${SETTINGS_DIR}VM3_Quillon_Recorder.Ini" Recorder_00 Volume)'"
kill "$(cat "${STAND}pid")" 2>/dev/null || true
finish
