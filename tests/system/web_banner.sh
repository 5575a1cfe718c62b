#!/usr/bin/env bash
# The banner of the status page: a recorder program that stops answering
# (SIGSTOP), then answers again (SIGCONT), then is gone, then is back; the
# page says so each time and recovers by itself. A stand-in for the program
# (helpers/../../web/helpers/fake_recorder.py) plays it: only a stand-in can
# be frozen and brought back at will without a sound server.
set -u
source "$(dirname "$0")/helpers/common.bash" "$@"
source "$(dirname "$0")/helpers/web.bash"
FAKE_PID=
trap 'web_cleanup; [ -n "$FAKE_PID" ] && kill -CONT $FAKE_PID 2>/dev/null; [ -n "$FAKE_PID" ] && kill -KILL $FAKE_PID 2>/dev/null; cleanup' EXIT
need_browser

INSTANCE=6
WEB_PORT=$(free_port)
write_crlf "${SETTINGS_DIR}VM3_Quillon_Recorder_${INSTANCE}.Ini" <<INI
[Web]
Port=$WEB_PORT
INI
FAKE=$(cd "$(dirname "$0")/../web/helpers" && pwd)/fake_recorder.py
SOCKET=$XDG_RUNTIME_DIR/quillon-recorder/$INSTANCE.sock
start_fake() {
  python3 "$FAKE" --socket "$SOCKET" --instance $INSTANCE >>"${DRIVE}fake.out" 2>&1 &
  FAKE_PID=$!
  wait_for_socket "$SOCKET" 10 || fail "the stand-in made no socket"
}
start_fake
add_user $INSTANCE lena listen lena-password
start_web $INSTANCE && pass "quillon-web serves on port $WEB_PORT"
echo "$FAKE_PID" >"${DRIVE}fake.pid"
out=$(cd "$(dirname "$0")/helpers" && "$WEB_PYTHON" web_banner.py "http://127.0.0.1:$WEB_PORT" lena:lena-password \
  "${DRIVE}fake.pid" "python3 $FAKE --socket $SOCKET --instance $INSTANCE" 2>&1)
rc=$?
echo "$out" | sed 's/^/  browser: /'
[ "$rc" -eq 0 ] && pass "banner session" || fail "banner session (exit $rc)"
FAKE_PID=$(cat "${DRIVE}fake.pid")
web_log | grep -q "recorder program not-answering" && pass "console log: not answering" || fail "console log: no 'not-answering'"
web_log | grep -q "recorder program not-running" && pass "console log: not running" || fail "console log: no 'not-running'"
[ "$(web_log | grep -c 'recorder program up')" -ge 3 ] && pass "console log: up again each time" ||
  fail "console log: $(web_log | grep 'recorder program')"
stop_web
finish
