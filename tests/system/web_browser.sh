#!/usr/bin/env bash
# The web console in a real browser (Chromium, Selenium) against the real
# recorder program, headless on the test sound server: an operator logs in,
# starts Rec. 1 from the page, sees its state, elapsed time and a meter that
# moves, stops it and sees the panel change; a listener has no active button
# and a forged command is refused; both log out. The commands reach the
# recorder's trace with the account's name, and the file it wrote decodes.
# Rec. 2, the logging recorder, refuses STOP, and the page shows the
# program's own message.
# QW_SCREENSHOT_DIR=<folder>: the page's screenshots are written there.
set -u
source "$(dirname "$0")/helpers/common.bash" "$@"
source "$(dirname "$0")/helpers/logging.bash"
source "$(dirname "$0")/helpers/web.bash"
need_browser

INSTANCE=4
WEB_PORT=$(free_port)
# The logging recorder records a sine of its own: the server's sine feeds one recording at a time.
LOG_SINE=qr_web_sine_$$
LOG_MODULE=$(pactl load-module module-sine-source source_name=$LOG_SINE rate=48000 frequency=1000)
trap 'web_cleanup; [ -n "${LOG_MODULE:-}" ] && pactl unload-module "$LOG_MODULE" 2>/dev/null; logging_cleanup' EXIT
LOG_DEVICE=$(source_device "$LOG_SINE")
INI=${SETTINGS_DIR}VM3_Quillon_Recorder_${INSTANCE}.Ini
RECORDS=${DRIVE}records/
write_crlf "$INI" <<INI
[Recorder_00]
Actif=ON
Lib=Studio
Format=1
Device=$SINE_DEVICE
Channel=0
SQuality=48000 Hz, 16 bits, mono
PigeFolder=$RECORDS
[Recorder_01]
Actif=ON
Lib=Antenne
Pige=1
Format=1
Device=$LOG_DEVICE
Channel=0
SQuality=48000 Hz, 16 bits, mono
PigeFolder=${DRIVE}pige/
[Web]
Port=$WEB_PORT
SessionMinutes=30
INI

start_program /Instance=$INSTANCE
if wait_for_log "Form_Load: End" 60; then pass "recorder started headless"; else fail "no 'Form_Load: End' within 60 s"; finish; fi
SOCKET=$XDG_RUNTIME_DIR/quillon-recorder/$INSTANCE.sock
wait_for_socket "$SOCKET" 15 ||
  skip "the recorder program created no control socket at $SOCKET (protocol 1 is not in this build of the program)"
pass "control socket $SOCKET"

add_user $INSTANCE olivia operate olivia-password
add_user $INSTANCE lena listen lena-password
start_web $INSTANCE && pass "quillon-web serves on port $WEB_PORT"
out=$(cd "$(dirname "$0")/helpers" && "$WEB_PYTHON" web_browser.py "http://127.0.0.1:$WEB_PORT" 1 \
  olivia:olivia-password lena:lena-password "${QW_SCREENSHOT_DIR:-}" 2 2>&1)
rc=$?
echo "$out" | sed 's/^/  browser: /'
[ "$rc" -eq 0 ] && pass "browser session" || fail "browser session (exit $rc)"

# The recorder's trace names the account; the console's log has the commands.
expect_log "web:olivia"
web_log | grep -q "command start recorder=1 user=web:olivia addr=127.0.0.1 result=ok" && pass "console log: start by olivia" ||
  fail "console log has no start by olivia: $(web_log | tail -5)"
web_log | grep -q "command stop recorder=1 user=web:olivia addr=127.0.0.1 result=ok" && pass "console log: stop by olivia" ||
  fail "console log has no stop by olivia"
web_log | grep -q "refused: role listen user=lena" && pass "console log: the forged command refused" ||
  fail "console log has no refusal for lena"
stop_web
file=$(find "$RECORDS" -maxdepth 1 -name '*.wav' | head -1)
[ -n "$file" ] && pass "the recording: $file" || fail "no file in $RECORDS"
[ -n "$file" ] && [ "$(decoded_samples "$file")" -gt 48000 ] && pass "decoded by FFmpeg: over a second of sound" ||
  fail "the recording does not decode to a second of sound"
stop_program TERM 30
finish
