#!/usr/bin/env bash
# The clock set back, across a restart and while the program runs (libfaketime,
# the clock held at dates that a file gives): slice names come round again,
# and no existing slice is ever truncated or written into; the new slice gets
# " (2)", " (3)" before its extension, with a trace.
set -u
source "$(dirname "$0")/helpers/common.bash" "$@"
source "$(dirname "$0")/helpers/logging.bash"

DAY=20260310
CLOCK_FILE=${DRIVE}faked-clock
set_clock() { echo "$1" >"$CLOCK_FILE"; }
# start_program_on_clock : the program's wall clock is read from CLOCK_FILE
# (held still, re-read every second).
start_program_on_clock() {
  LD_PRELOAD=$FAKETIME_LIB FAKETIME_TIMESTAMP_FILE=$CLOCK_FILE FAKETIME_CACHE_DURATION=1 \
    FAKETIME_DONT_FAKE_MONOTONIC=1 "$PROG" "$@" >>"${DRIVE}program.out" 2>&1 &
  PROG_PID=$!
}
sum() { sha1sum "$1" | cut -d' ' -f1; }
BASE="${PIGE}Pige Antenne ${DAY}_10_00_00"

write_logging_settings 1 0
set_clock "2026-03-10 10:00:00"
start_program_on_clock
first=$(wait_for_slice "Pige Antenne ${DAY}_10_00_00.wav" 30)
[ -n "$first" ] && pass "first run: $(basename "$first")" || { fail "no slice at 10:00:00 ($(slices | tr '\n' ';'))"; finish; }
sleep 2
check_exit_on_sigterm "$DAY"
check_wav_closed "$first"
first_sum=$(sum "$first")

# A restart within the same second.
start_program_on_clock
second=$(wait_for_slice "Pige Antenne ${DAY}_10_00_00 (2).wav" 30)
[ -n "$second" ] && pass "restart in the same second: $(basename "$second")" || { fail "no ' (2)' slice ($(slices | tr '\n' ';'))"; finish; }
wait_for_log "File exists: ${BASE}.wav, recording into ${BASE} (2).wav" 5 && pass "the suffix is traced" \
  || fail "no 'File exists' trace for the restart"
# The test server's sine source hands out its audio in blocks of up to 2 s:
# each slice runs long enough to receive at least one.
sleep 3
# The clock moves on to 11:00, then is set back to 10:00 while running.
set_clock "2026-03-10 11:00:00"
eleven=$(wait_for_slice "Pige Antenne ${DAY}_11_00_00.wav" 15)
[ -n "$eleven" ] && pass "next hour: $(basename "$eleven")" || fail "no slice at 11:00"
sleep 3
set_clock "2026-03-10 10:00:00"
third=$(wait_for_slice "Pige Antenne ${DAY}_10_00_00 (3).wav" 15)
[ -n "$third" ] && pass "clock set back while running: $(basename "$third")" || fail "no ' (3)' slice ($(slices | tr '\n' ';'))"
sleep 2
check_exit_on_sigterm "$DAY"

[ "$(sum "$first")" = "$first_sum" ] && pass "the first slice is untouched" || fail "the first slice was written into"
for f in "$first" "$second" "$eleven" "$third"; do
  [ -n "$f" ] || continue
  check_wav_closed "$f"
  check_slice_readable "$f" "$(basename "$f")"
done
[ "$(slices | wc -l)" -eq 4 ] && pass "four slices, none lost" || fail "slices: $(slices | tr '\n' ';')"
finish
