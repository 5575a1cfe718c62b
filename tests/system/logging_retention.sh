#!/usr/bin/env bash
# Retention of the logging slices: with a retention of 10 days, the slices
# dated before the limit are deleted at the first tick, the newer ones and
# the files whose names hold no date are kept, and each deletion is traced.
# The program's clock starts at 23:59:45 (libfaketime): after midnight the
# purge of the new day deletes the slice that has become too old, and a new
# slice starts at 00:00 in the log of the new day.
set -u
source "$(dirname "$0")/helpers/common.bash" "$@"
source "$(dirname "$0")/helpers/logging.bash"

DAY=20260310
NEXT_DAY=20260311
CALLER="Frm_Main:SuppressionHistoriquePige"
# Limit at the start: 2026-02-28 23:59:45; after midnight: 2026-03-01 00:00.
OLD=("Pige Antenne 20260101_00_00_00.wav" "Pige Antenne 20251231_23_00_00.ogg" "Pige Antenne 20260228_23_00_00.wav")
OLD_TOMORROW="Pige Antenne 20260301_00_00_00.mp3"
KEPT=("Pige Antenne 20260302_00_00_00.wav" "Pige Antenne 20260310_06_00_00.wav" "notes.txt")
mkdir -p "$PIGE"
for f in "${OLD[@]}" "$OLD_TOMORROW" "${KEPT[@]}"; do printf 'old take\n' >"$PIGE$f"; done
write_logging_settings 1 0 "PigeNbJours=10"
start_program_at "2026-03-10 23:59:45"

if wait_for_log "Form_Load: End" 60; then pass "start-up finished"; else fail "no 'Form_Load: End' within 60 s"; fi
first=$(wait_for_slice "Pige Antenne ${DAY}_23_59_*.wav" 10)
if [ -n "$first" ]; then
  pass "first slice $(basename "$first") before midnight"
else
  fail "no slice 'Pige Antenne ${DAY}_23_59_*.wav' before midnight ($(slices | tr '\n' ';'))"
  finish
fi
# The purge runs in the tick that starts the slice.
wait_for_log "' deleted |Sub: $CALLER" 5 >/dev/null
sleep 0.5

for f in "${OLD[@]}"; do
  if [ ! -e "$PIGE$f" ]; then pass "deleted at the first tick: $f"; else fail "not deleted at the first tick: $f"; fi
  if day_log "$DAY" | grep -qF "File '$PIGE$f' deleted |Sub: $CALLER"; then
    pass "deletion traced: $f"
  else
    fail "no trace \"File '$PIGE$f' deleted |Sub: $CALLER\""
  fi
done
if [ -e "$PIGE$OLD_TOMORROW" ]; then pass "kept before midnight: $OLD_TOMORROW"; else fail "deleted before its limit: $OLD_TOMORROW"; fi
# The deletions come at the first tick, right after the first slice's start.
start_ms=$(stamp_ms "$(stamp_of "$DAY" ":Recording File: $first")")
purge_ms=$(stamp_ms "$(stamp_of "$DAY" "' deleted |Sub: $CALLER")")
if [ $((purge_ms - start_ms)) -ge 0 ] && [ $((purge_ms - start_ms)) -lt 1000 ]; then
  pass "purge in the tick of the first slice"
else
  fail "purge at ${purge_ms} ms of the day, first slice at ${start_ms} ms"
fi

# Midnight: the new day's purge, and a new slice of 00:00.
second=$(wait_for_slice "Pige Antenne ${NEXT_DAY}_00_00_*.wav" 30)
if [ -n "$second" ]; then pass "new slice at midnight: $(basename "$second")"; else fail "no slice of ${NEXT_DAY} 00:00 ($(slices | tr '\n' ';'))"; fi
found=0
for _ in $(seq 1 30); do
  if day_log "$NEXT_DAY" | grep -qF "File '$PIGE$OLD_TOMORROW' deleted |Sub: $CALLER"; then found=1; break; fi
  sleep 0.1
done
if [ "$found" -eq 1 ] && [ ! -e "$PIGE$OLD_TOMORROW" ]; then
  pass "deleted by the purge of the new day, traced in ${NEXT_DAY}.Log: $OLD_TOMORROW"
else
  fail "after midnight: $OLD_TOMORROW $([ -e "$PIGE$OLD_TOMORROW" ] && echo present || echo absent), trace found: $found"
fi
sleep 1
check_exit_on_sigterm "$NEXT_DAY"

for f in "${KEPT[@]}"; do
  if [ -e "$PIGE$f" ]; then pass "kept: $f"; else fail "deleted: $f"; fi
done
for f in "$first" "$second"; do
  [ -n "$f" ] || continue
  if [ -s "$f" ]; then pass "slice of the run kept: $(basename "$f")"; else fail "slice of the run lost: $(basename "$f")"; fi
done
deletions=$(log_text | grep -cF "' deleted |Sub: $CALLER")
if [ "$deletions" -eq $((${#OLD[@]} + 1)) ]; then
  pass "$deletions deletions traced, one per old slice"
else
  fail "$deletions deletions traced, expected $((${#OLD[@]} + 1))"
fi
finish
