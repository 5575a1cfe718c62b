#!/usr/bin/env bash
# The logging recorder across a change of hour: the program's clock starts
# at 10:59:48 (libfaketime); it records a first WAV slice named at its start,
# cuts it at 11:00:00 into a second slice, and the two slices join with no
# sample lost or doubled (the sine source keeps one phase across the join).
# SIGTERM then ends the program and closes the last slice whole.
set -u
source "$(dirname "$0")/helpers/common.bash" "$@"
source "$(dirname "$0")/helpers/logging.bash"

DAY=20260310
write_logging_settings 1 0
start_program_at "2026-03-10 10:59:48"

# The faked clock reaches the program: log file and time stamps of that day.
if wait_for_log "Form_Load: End" 60; then pass "start-up finished"; else fail "no 'Form_Load: End' within 60 s"; fi
first_stamp=$(stamp_of "$DAY" "Form_Load: Start")
if [[ "$first_stamp" == 10:59:* ]]; then
  pass "the program runs on the faked clock (log $DAY.Log, start at $first_stamp)"
else
  fail "libfaketime has no effect on the program: no start line at 10:59 in ${DAY}.Log (logs: $(ls "$LOG_DIR" 2>&1))"
  finish
fi

first=$(wait_for_slice "Pige Antenne ${DAY}_10_59_*.wav" 10)
if [ -n "$first" ]; then pass "first slice $(basename "$first")"; else fail "no slice 'Pige Antenne ${DAY}_10_59_*.wav' before 11:00 ($(slices | tr '\n' ';'))"; finish; fi

second=$(wait_for_slice "Pige Antenne ${DAY}_11_00_*.wav" 30)
if [ -n "$second" ]; then pass "second slice $(basename "$second")"; else fail "no slice of 11:00 ($(slices | tr '\n' ';'))"; finish; fi
# Let the second slice record a few seconds, then end as the system does.
sleep 3
check_exit_on_sigterm "$DAY"

# Names: the start of each slice, the second one on the hour.
mapfile -t names < <(slices)
if [ "${#names[@]}" -eq 2 ]; then pass "two slices"; else fail "slices: ${names[*]}"; fi
if [[ "$(basename "$second")" =~ ^Pige\ Antenne\ ${DAY}_11_00_0[0-2]\.wav$ ]]; then
  pass "the second slice starts on the hour"
else
  fail "second slice named $(basename "$second")"
fi
start1=$(stamp_of "$DAY" ":Recording File: $first")
check_named_by_start "$DAY" "$first" "first slice"

# The slice lines of the trace log, in order, at the change of hour.
next_hour=$(stamp_of "$DAY" "Pige: Next hour, try to stop current record")
if [ -n "$next_hour" ] && [ "$(stamp_ms "$next_hour")" -ge "$(stamp_ms 11:00:00:000)" ] &&
   [ "$(stamp_ms "$next_hour")" -lt "$(stamp_ms 11:00:02:000)" ]; then
  pass "trace 'Pige: Next hour, try to stop current record' at $next_hour"
else
  fail "trace 'Pige: Next hour, try to stop current record' at '${next_hour}'"
fi
checked=$(day_log "$DAY" | grep -cF "XPButtonRecord.Checked: True |Sub: Frm_Main:Timer1_Timer")
if [ "$checked" -eq 2 ]; then
  pass "trace 'XPButtonRecord.Checked: True |Sub: Frm_Main:Timer1_Timer' at the first tick and on the hour"
else
  fail "'XPButtonRecord.Checked: True |Sub: Frm_Main:Timer1_Timer' $checked time(s), expected 2"
fi
order=$(day_log "$DAY" | grep -nF -e ":Recording File: $first" -e "Pige: Next hour, try to stop current record" \
  -e ":Recording File: $second" | cut -d: -f1 | tr '\n' ' ')
read -r l1 l2 l3 rest <<<"$order"
if [ -n "${l3:-}" ] && [ -z "${rest:-}" ] && [ "$l1" -lt "$l2" ] && [ "$l2" -lt "$l3" ]; then
  pass "first slice, next hour, second slice: in this order"
else
  fail "slice lines out of order (lines $order)"
fi
if day_log "$DAY" | grep -E ':Err: ' | grep -q .; then
  fail "error lines in the trace: $(day_log "$DAY" | grep -E ':Err: ' | head -3)"
else
  pass "no error line in the trace"
fi

# Both slices: WAV 16 bits, 48000 Hz, mono, header closed.
for f in "$first" "$second"; do
  p=$(probe "$f")
  if [ "$p" = "pcm_s16le 48000 1" ]; then pass "$(basename "$f"): $p"; else fail "$(basename "$f"): '$p'"; fi
  check_wav_closed "$f"
done

# The join: one tone, one phase, no glitch, over both slices.
a=$(sine_analysis "$first" "$second")
samples1=$(field join "$a")
samples=$(field samples "$a")
dev=$(field phase_dev "$a")
res=$(field res_max "$a")
echo "   sine fit over both slices: $a"
if [ "$(field tone_blocks "$a")" -eq "$(field blocks "$a")" ] && [ "$(field blocks "$a")" -gt 100 ]; then
  pass "the tone in every block of both slices"
else
  fail "tone missing in some blocks ($a)"
fi
if awk -v d="$dev" 'BEGIN { exit !(d < 0.01) }'; then
  pass "phase continuous across the join at sample $samples1 (largest deviation $dev rad; one sample is 0.058)"
else
  at=$(field phase_dev_at "$a")
  fail "phase jumps by $dev rad at sample $at (join at $samples1): samples lost or doubled"
fi
if awk -v r="$res" 'BEGIN { exit !(r < 10) }'; then
  pass "no glitch: largest residual $res (16-bit steps)"
else
  fail "glitch: residual $res at sample $(field res_at "$a") (join at $samples1)"
fi

# Durations: each slice holds about the time it was recorded for (the sine
# source delivers its samples in bursts that may run up to two seconds ahead
# of or behind the clock).
cut_ms=$(stamp_ms "$(stamp_of "$DAY" ":Recording File: $second")")
end_ms=$(stamp_ms "$(stamp_of "$DAY" "Termination signal received")")
start_ms=$(stamp_ms "$start1")
check_length() {
  local what=$1 got=$2 wanted_ms=$3
  if awk -v g="$got" -v w="$wanted_ms" -v r="$SINE_RATE" 'BEGIN { s = g / r * 1000; exit !(s >= w - 2000 && s <= w + 3000) }'; then
    pass "$what: $got samples for $wanted_ms ms recorded"
  else
    fail "$what: $got samples for $wanted_ms ms recorded"
  fi
}
check_length "first slice" "$samples1" $((cut_ms - start_ms))
check_length "second slice (ended by SIGTERM)" $((samples - samples1)) $((end_ms - cut_ms))
n2=$(decoded_samples "$second")
if [ -n "$n2" ] && [ "$n2" -eq $((samples - samples1)) ]; then pass "last slice decodes without error"; else fail "last slice: decoded '$n2' samples"; fi
finish
