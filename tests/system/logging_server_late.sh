#!/usr/bin/env bash
# The real program started 5 s before the sound server (a session whose
# sound server comes late): start-up completes and says why it waits, once;
# the logging recorder records as soon as the server is there, with one
# incident for the wait and one when recording starts. A second run shows
# that the program can be closed while it waits.
set -u
source "$(dirname "$0")/helpers/common.bash" "$@"
QR_OWN_PULSE=1 QR_PULSE_LATE=1
source "$(dirname "$0")/helpers/logging.bash"

write_logging_settings 1 0
start_program
if wait_for_log "Form_Load: End" 30; then pass "start-up ends without the sound server"; else fail "no 'Form_Load: End' within 30 s"; finish; fi
sleep 5
if kill -0 "$PROG_PID" 2>/dev/null; then pass "the program waits"; else fail "the program ended without its sound server"; finish; fi
[ "$(count_log "Sound server not available: waiting for it")" -eq 1 ] && pass "the wait is traced once" \
  || fail "'Sound server not available' traced $(count_log "Sound server not available") time(s)"
[ "$(count_log "Available formats False")" -le 1 ] && pass "no trace every 4 s while waiting" \
  || fail "'Available formats False' traced $(count_log "Available formats False") times"
expect_log "Rec. 1: recording not started: the sound server is not available"
[ -z "$(slices)" ] && pass "nothing recorded without the server" || fail "slices without a server: $(slices)"

# The sound server arrives.
launch_test_pulse || { fail "the sound server did not start"; finish; }
arrived=$(now_stamp)
slice=$(wait_for_slice "Pige Antenne *.wav" 10)
if [ -n "$slice" ]; then pass "recording once the server is there: $(basename "$slice")"; else fail "no slice after the server came"; finish; fi
wait_for_log ":Recording File: $slice" 5 || true
started=$(stamp_after ":Recording File: $slice" "$arrived")
if [ -n "$started" ] && [ $(( $(stamp_ms "$started") - $(stamp_ms "$arrived") )) -le 5000 ]; then
  pass "recording started at $started, the server came at $arrived"
else
  fail "recording started at '$started', the server came at $arrived"
fi
wait_for_log "recording resumed after a gap of" 6 && pass "incident of the start after the wait" \
  || fail "no incident when recording started"
expect_log "Sound server available"
# The format timer ticks every 4 s: by now start-up has completed.
sleep 3
check_exit_on_sigterm "$(date +%Y%m%d)"
expect_log "Available formats True"
check_wav_closed "$slice"
check_slice_readable "$slice" "slice recorded after the wait"
[ "$(count_incidents "Rec. 1: recording not started")" -eq 1 ] && pass "one incident for the wait" \
  || fail "$(count_incidents "Rec. 1: recording not started") incidents for the wait"

# Closing while the program waits for its server.
kill_test_pulse
start_program
if wait_for_log "Form_Load: End" 30 2 && wait_for_log "Sound server not available: waiting for it" 5 2; then
  sleep 0.5
  stop_program TERM 10
  [ "$EXIT_CODE" -eq 0 ] && pass "closed while waiting for the sound server" || fail "exit code $EXIT_CODE while waiting"
else
  fail "second run: no wait traced"
fi
finish
