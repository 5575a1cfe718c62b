#!/usr/bin/env bash
# The logging folder on a small file system that fills up, then gets room
# again: an incident with the system's cause ("No space left on device"), the
# slice written up to the fault is a readable WAV file with its header closed,
# and recording resumes once there is room.
set -u
source "$(dirname "$0")/helpers/common.bash" "$@"
source "$(dirname "$0")/helpers/logging.bash"

# A tmpfs of 1 MiB as the logging folder (needs root, as CI has).
mkdir -p "$PIGE"
if ! mount -t tmpfs -o size=1m tmpfs "$PIGE" 2>"${DRIVE}mount.err"; then
  echo "SKIP: cannot mount a small tmpfs for the logging folder ($(cat "${DRIVE}mount.err")); run as root"
  exit 0
fi
test_cleanup() { umount "$PIGE" 2>/dev/null || umount -l "$PIGE" 2>/dev/null || true; }
# Room for about 4 s of the slice (48000 Hz mono 16 bits: 96 kB/s).
dd if=/dev/zero of="${PIGE}filler" bs=1k count=600 2>/dev/null

write_logging_settings 1 0
start_program
first=$(wait_for_slice "Pige Antenne *.wav" 30)
[ -n "$first" ] && pass "first slice $(basename "$first")" || { fail "no slice"; finish; }
if wait_for_log "No space left on device" 20; then pass "the full disk is noticed"; else fail "no 'No space left on device' in the trace"; finish; fi
[ "$(count_incidents "No space left on device")" -eq 1 ] && expect_log "Rec. 1: recording lost: " \
  && pass "one incident with the system's cause" || fail "$(count_incidents "No space left on device") incident(s) with 'No space left on device'"
sleep 2
kill -0 "$PROG_PID" 2>/dev/null && pass "the program goes on" || fail "the program ended"
check_wav_closed "$first"
check_slice_readable "$first" "slice written up to the fault"
# Attempts on the full disk leave no empty file behind.
[ "$(find "$PIGE" -maxdepth 1 -name 'Pige Antenne *' "${NOT_SIDECAR[@]}" | wc -l)" -eq 1 ] && pass "no empty slice from the attempts" \
  || fail "files on the full disk: $(ls "$PIGE" | tr '\n' ';')"

# Room again: the next attempt records (attempts are at most 10 s apart).
rm -f "${PIGE}filler"
freed=$(now_stamp)
second=
for k in $(seq 1 120); do
  second=$(find "$PIGE" -maxdepth 1 -name 'Pige Antenne *' "${NOT_SIDECAR[@]}" -newer "$first" -type f | head -1)
  [ -n "$second" ] && break
  sleep 0.1
done
[ -n "$second" ] && pass "recording resumes once there is room: $(basename "$second")" || { fail "no new slice after room was made (freed at $freed)"; finish; }
sleep 2
wait_for_log "recording resumed after a gap of" 5 && pass "recovery told" || fail "no recovery incident"
check_exit_on_sigterm "$(date +%Y%m%d)"
check_wav_closed "$second"
check_slice_readable "$second" "slice after the fault"
finish
