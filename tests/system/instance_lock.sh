#!/usr/bin/env bash
# Two processes started with the same instance number: the second traces why
# it stops, exits (code 2) without touching any file, and the first goes on
# recording; once the first is killed outright (kill -9), a new start runs.
set -u
source "$(dirname "$0")/helpers/common.bash" "$@"
source "$(dirname "$0")/helpers/logging.bash"

INI=${SETTINGS_DIR}VM3_Quillon_Recorder_4.Ini
write_logging_settings 1 0
start_program /Instance=4
first=$(wait_for_slice "Pige Antenne *.wav" 30)
[ -n "$first" ] && pass "first process records $(basename "$first")" || { fail "no slice"; finish; }
FIRST_PID=$PROG_PID
sleep 1

snapshot() { find "$DRIVE" -type f ! -path "$LOG_DIR*" ! -name 'program*.out' ! -path "$first" ! -path "$first.*" -printf '%p %s %T@\n' | sort; }
before=$(snapshot)
size_before=$(size_of "$first")
timeout 60 "$PROG" /Instance=4 >"${DRIVE}program2.out" 2>&1
code=$?
[ "$code" -eq 2 ] && pass "the second process exits with code 2" || fail "second process: exit code $code"
grep -qF "Quillon Recorder already runs for instance 4 (process $FIRST_PID" "${DRIVE}program2.out" \
  && pass "it says why" || fail "second process said: $(head -3 "${DRIVE}program2.out")"
wait_for_log "Quillon Recorder already runs for instance 4 (process $FIRST_PID" 5 && pass "the reason is in the trace log" \
  || fail "no trace of the refused start"
[ "$(snapshot)" = "$before" ] && pass "no file touched by the second process" || fail "files changed: $(diff <(echo "$before") <(snapshot))"
[ "$(log_text | grep -c 'Form_Load: End')" -eq 1 ] && pass "one start-up only" || fail "two start-ups in the log"
# The test server's sine source hands out its audio in blocks of up to 2 s:
# the file grows block by block.
grew=0
for _ in $(seq 1 50); do
  if [ "$(size_of "$first")" -gt "$size_before" ]; then grew=1; break; fi
  sleep 0.1
done
kill -0 "$FIRST_PID" 2>/dev/null && [ "$grew" -eq 1 ] && pass "the first process goes on recording" \
  || fail "the first process stopped recording"
[ "$(slices | wc -l)" -eq 1 ] && pass "one slice, written by one process" || fail "slices: $(slices | tr '\n' ';')"

# The first process killed outright: its lock goes with it.
kill -KILL "$FIRST_PID"
wait "$FIRST_PID" 2>/dev/null
start_program /Instance=4
if wait_for_log "Form_Load: End" 30 2; then pass "a new start runs after kill -9"; else fail "no start after kill -9"; fi
wait_for_log ":Recording File: " 10 2 && pass "and records" || fail "the new start does not record"
stop_program TERM 30
[ "$EXIT_CODE" -eq 0 ] && pass "exit code 0" || fail "exit code $EXIT_CODE"
finish
