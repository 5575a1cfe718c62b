#!/usr/bin/env bash
# A logging recorder ("pige") of the real program records from its first
# tick into "Pige <label> <date and time>.wav" in its folder, and the file
# it is writing is closed whole and readable when the system ends the
# program with SIGTERM. Records the private sound server's first source when
# there is one, else the built-in test tone.
set -u
source "$(dirname "$0")/helpers/common.bash" "$@"

ARGS=(/Instance=3)
if [ -z "${PULSE_SERVER:-}" ]; then
  export PULSE_SERVER=unix:/nonexistent/qr-no-server
  ARGS+=(--test-tone)
fi
PIGE=${DRIVE}Pige/
INI=${SETTINGS_DIR}VM3_Quillon_Recorder_3.Ini
write_crlf "$INI" <<INI
[Recorder_00]
Actif=ON
Lib=Antenne
Pige=1
Format=1
Device=0
PigeFolder=${PIGE}
INI

start_program "${ARGS[@]}"
if wait_for_log "Form_Load: End" 60; then pass "start-up finished"; else fail "no 'Form_Load: End' within 60 s"; fi
if wait_for_log "RecordingStarted" 30; then pass "the logging recorder started by itself"; else fail "no recording started"; fi
sleep 4
stop_program TERM 30
[ "$EXIT_CODE" -eq 0 ] && pass "exit code 0" || fail "exit code $EXIT_CODE"

shopt -s nullglob
files=("${PIGE}"Pige\ Antenne\ *.wav)
# One slice, or two when the clock passed an hour meanwhile.
if [ "${#files[@]}" -ge 1 ] && [ "${#files[@]}" -le 2 ]; then pass "${#files[@]} slice(s): $(basename "${files[0]}")"; else fail "slices: ${#files[@]} ($(ls "$PIGE" 2>&1))"; fi
total=0
for f in "${files[@]}"; do
  [[ "$(basename "$f")" =~ ^Pige\ Antenne\ [0-9]{8}_[0-9]{2}_[0-9]{2}_[0-9]{2}\.wav$ ]] && pass "named by the logging rule" \
    || fail "name '$(basename "$f")'"
  expect_log "Recording File: $f"
  info=$(ffprobe -v error -show_entries stream=codec_name,channels:format=duration -of default=nw=1 "$f" 2>&1)
  codec=$(sed -n 's/^codec_name=//p' <<<"$info")
  duration=$(sed -n 's/^duration=//p' <<<"$info")
  [ "$codec" = "pcm_s16le" ] && pass "WAV 16 bits" || fail "codec '$codec' ($info)"
  total=$(awk -v a="$total" -v d="${duration:-0}" 'BEGIN { print a + d }')
  # A WAV file closed properly has its sizes filled in.
  data_size=$(python3 - "$f" <<'PY'
import struct, sys
with open(sys.argv[1], 'rb') as fh:
    riff = fh.read(12)
    size = 0
    while True:
        head = fh.read(8)
        if len(head) < 8: break
        cid, n = head[:4], struct.unpack('<I', head[4:])[0]
        if cid == b'data': size = n; break
        fh.seek(n + (n & 1), 1)
    print(size)
PY
)
  file_size=$(stat -c %s "$f")
  if [ "${data_size:-0}" -gt 0 ] && [ "$data_size" -le "$file_size" ] && [ $((file_size - data_size)) -lt 4096 ]; then
    pass "data chunk closed ($data_size bytes)"
  else
    fail "data chunk size '$data_size' for a file of $file_size bytes"
  fi
done
if awk -v d="$total" 'BEGIN { exit !(d >= 1.0 && d <= 60.0) }'; then
  pass "readable, $total s recorded"
else
  fail "recorded duration '$total' s"
fi
finish
