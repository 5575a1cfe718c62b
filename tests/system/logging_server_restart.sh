#!/usr/bin/env bash
# The logging recorder while its sound server dies and comes back, then while
# its source is removed and loaded again: recording resumes within 5 s of
# each return, into new slices named as slices are, in order; every file up
# to the loss decodes; one incident at each loss with its cause and one at
# each recovery with the length of the gap.
set -u
source "$(dirname "$0")/helpers/common.bash" "$@"
QR_OWN_PULSE=1
source "$(dirname "$0")/helpers/logging.bash"

# resumed_within LABEL SINCE : a slice starts within 5 s of SINCE; prints it.
resumed_within() {
  local label=$1 since=$2 k f started
  for k in $(seq 1 80); do
    f=$(slices | tail -1)
    started=$(stamp_after ":Recording File: ${PIGE}" "$since")
    [ -n "$started" ] && break
    sleep 0.1
  done
  if [ -n "$started" ] && [ $(( $(stamp_ms "$started") - $(stamp_ms "$since") )) -le 5000 ]; then
    pass "$label: recording again at $started (back at $since)"
  else
    fail "$label: no new slice within 5 s of $since (started '${started}')"
  fi
}

write_logging_settings 1 0
start_program
first=$(wait_for_slice "Pige Antenne *.wav" 30)
[ -n "$first" ] && pass "first slice $(basename "$first")" || { fail "no first slice"; finish; }
sleep 2

# The sound server is killed and comes back 2 s later.
kill_test_pulse
wait_for_log "Rec. 1: recording lost:" 5 && pass "loss noticed" || fail "no incident for the loss of the server"
sleep 2
launch_test_pulse || { fail "the sound server did not come back"; finish; }
resumed_within "server back" "$(now_stamp)"
# The recovery is told once the new slice holds.
wait_for_log "recording resumed after a gap of" 10 1 && pass "recovery told" || fail "no recovery incident"
sleep 1

# The source is removed, then loaded again 2 s later.
unload_sine "$SINE_SOURCE" || fail "could not unload $SINE_SOURCE"
wait_for_log "Rec. 1: recording lost:" 5 2 && pass "loss of the source noticed" || fail "no incident for the source"
sleep 2
load_sine "$SINE_SOURCE" "$SINE_FREQ" || fail "could not load $SINE_SOURCE"
resumed_within "source back" "$(now_stamp)"
sleep 3
wait_for_log "recording resumed after a gap of" 5 2 || true
check_exit_on_sigterm "$(date +%Y%m%d)"

# The slices: three, named in the order they were made, each readable.
mapfile -t names < <(slices)
[ "${#names[@]}" -eq 3 ] && pass "three slices" || fail "slices: ${names[*]}"
order=$(log_text | sed -n "s|.*:Recording File: ${PIGE}||p" | tr '\n' '|')
[ "$order" = "$(printf '%s|' "${names[@]}")" ] && pass "slice names in the order of recording" \
  || fail "recorded in the order '$order', names sort as '${names[*]}'"
for n in "${names[@]}"; do
  check_wav_closed "${PIGE}$n"
  check_slice_readable "${PIGE}$n" "$n"
done

# Incidents: one at each loss, with its cause, one at each recovery.
[ "$(count_incidents "Rec. 1: recording lost:")" -eq 2 ] && pass "two losses told" \
  || fail "$(count_incidents "Rec. 1: recording lost:") loss incident(s)"
log_text | grep -F "Rec. 1: recording lost:" | grep -qF "capture device lost" && pass "the cause is told" \
  || fail "loss without its cause: $(log_text | grep -F "Rec. 1: recording lost:" | head -1)"
[ "$(count_incidents "Rec. 1: recording resumed after a gap of")" -eq 2 ] && pass "two recoveries told with their gap" \
  || fail "$(count_incidents "Rec. 1: recording resumed after a gap of") recovery incident(s)"
[ "$(count_log "not recording since")" -le 4 ] && pass "no flood of attempts in the trace" \
  || fail "$(count_log "not recording since") lines of attempts"
finish
