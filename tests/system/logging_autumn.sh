#!/usr/bin/env bash
# The end of summer time (Europe/Paris, 25 October 2026): at 03:00 CEST the
# clock goes back to 02:00 CET. The logging recorder cuts one slice per real
# hour: the hour that comes again is a slice of its own, named with "bis" after the hour ("_02bis_00_00")
# so that it sorts after the first 02:00 slice and cannot be taken for it,
# and nothing is written over.
set -u
source "$(dirname "$0")/helpers/common.bash" "$@"
source "$(dirname "$0")/helpers/logging.bash"
export TZ=Europe/Paris

write_logging_settings 1 0
# 02:59:52 CEST is 00:59:52 UTC: the faked clock starts there, given as an
# offset from now (a local time of that night would be ambiguous).
TARGET=$(date -u -d "2026-10-25 00:59:52" +%s)
OFFSET=$((TARGET - $(date -u +%s)))
LD_PRELOAD=$FAKETIME_LIB FAKETIME="$(printf "%+d" "$OFFSET")" FAKETIME_DONT_FAKE_MONOTONIC=1 \
  "$PROG" >>"${DRIVE}program.out" 2>&1 &
PROG_PID=$!

first=$(wait_for_slice "Pige Antenne 20261025_02_59_*.wav" 20)
if [ -n "$first" ]; then pass "first slice $(basename "$first") (CEST)"; else fail "no slice at 02:59 CEST ($(slices | tr '\n' ';'))"; finish; fi
again=$(wait_for_slice "Pige Antenne 20261025_02bis_00_00.wav" 30)
if [ -n "$again" ]; then pass "the repeated hour is a slice of its own: $(basename "$again")"; else fail "no slice 'Pige Antenne 20261025_02bis_00_00.wav' ($(slices | tr '\n' ';'))"; fi
expect_log "Pige: the clock went back to 02:00 (UTC offset 1 h): the repeated hour is a slice of its own"
sleep 3
stop_program TERM 30
[ "$EXIT_CODE" -eq 0 ] && pass "exit code 0" || fail "exit code $EXIT_CODE"
# Sorted by name, the repeated hour comes after the first one.
ordered=$(slices | LC_ALL=C sort | tr '\n' '|')
[[ "$ordered" == *"20261025_02_59_"*"20261025_02bis_00_00.wav"* ]] && pass "sorted: $ordered" || fail "order: $ordered"
[ "$(slices | grep -c ' (2)')" -eq 0 ] && pass "no name taken twice" || fail "a name came twice: $(slices | tr '\n' ';')"
for f in $(slices | tr ' ' '#'); do
  f=${f//#/ }
  [ -n "$(probe "$PIGE$f")" ] && pass "$f decodes" || fail "$f does not decode"
done
finish
