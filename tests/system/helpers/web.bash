# Steps shared by the web console's tests: quillon-web beside the recorder
# program, a free port, its [Web] settings, accounts made through its own
# command line, its start and stop, and the browser's availability.
# Sourced after helpers/common.bash.

WEB_PROG=$(cd "$(dirname "$PROG")" && pwd)/quillon-web
WEB_HELPERS=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
WEB_PID=
# Debian's python3, where python3-selenium is.
WEB_PYTHON=/usr/bin/python3
[ -x "$WEB_PROG" ] || { echo "FAIL: no quillon-web beside $PROG"; exit 1; }
export XDG_STATE_HOME=${DRIVE}state
export XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-${DRIVE}run}
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"

web_cleanup() {
  if [ -n "$WEB_PID" ] && kill -0 "$WEB_PID" 2>/dev/null; then kill -KILL "$WEB_PID" 2>/dev/null; fi
}

# skip REASON : the test cannot run here (ctest reports it skipped).
skip() { echo "SKIP: $*"; exit 77; }

free_port() { python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'; }

# need_browser : skips without Chromium, its driver or Selenium.
need_browser() {
  [ -x /usr/bin/chromium ] || skip "chromium is not installed (Debian package chromium)"
  [ -x /usr/bin/chromedriver ] || skip "chromedriver is not installed (Debian package chromium-driver)"
  "$WEB_PYTHON" -c 'import selenium' 2>/dev/null || skip "python3-selenium is not installed"
}

# add_user INSTANCE NAME ROLE PASSWORD : through quillon-web's command line (password on stdin).
add_user() {
  local out
  out=$(echo "$4" | "$WEB_PROG" --instance "$1" --add-user "$2" --role "$3" 2>&1) || fail "--add-user $2: $out"
}

# start_web INSTANCE : starts the console; waits until its login page answers.
start_web() {
  "$WEB_PROG" --instance "$1" >"${DRIVE}web.out" 2>&1 &
  WEB_PID=$!
  local i
  for i in $(seq 1 100); do
    if curl -s -o /dev/null -w '%{http_code}' "http://127.0.0.1:$WEB_PORT/login" 2>/dev/null | grep -q 200; then return 0; fi
    kill -0 "$WEB_PID" 2>/dev/null || break
    sleep 0.1
  done
  fail "quillon-web did not answer on port $WEB_PORT: $(tail -5 "${DRIVE}web.out")"
  return 1
}

stop_web() {
  [ -n "$WEB_PID" ] || return 0
  kill -TERM "$WEB_PID" 2>/dev/null
  local i
  for i in $(seq 1 50); do kill -0 "$WEB_PID" 2>/dev/null || break; sleep 0.1; done
  kill -0 "$WEB_PID" 2>/dev/null && fail "quillon-web did not end within 5 s of SIGTERM"
  wait "$WEB_PID" 2>/dev/null
  WEB_PID=
}

# The console's own log of today.
web_log() { cat "$XDG_STATE_HOME"/quillon-web/log/quillon-web_*.log 2>/dev/null; }

# wait_for_socket PATH SECONDS
wait_for_socket() {
  local i
  for i in $(seq 1 $(($2 * 10))); do [ -S "$1" ] && return 0; sleep 0.1; done
  return 1
}
