#!/usr/bin/env bash
# A real Prometheus server, started on loopback with a temporary
# configuration, scrapes the web console beside the real recorder program:
# the scrape is healthy, the console's and the recorder's series arrive, and
# promtool accepts the live page. Without the recorder's control socket
# (a build of the program without it) the console says the recorder is not
# running, and that is what must arrive.
set -u
source "$(dirname "$0")/helpers/common.bash" "$@"
source "$(dirname "$0")/helpers/web.bash"
PROM_PID=
trap 'web_cleanup; [ -n "$PROM_PID" ] && kill -KILL $PROM_PID 2>/dev/null; cleanup' EXIT
command -v prometheus >/dev/null || skip "prometheus is not installed (Debian package prometheus)"
command -v promtool >/dev/null || skip "promtool is not installed (Debian package prometheus)"

INSTANCE=7
WEB_PORT=$(free_port)
PROM_PORT=$(free_port)
ARGS=(/Instance=$INSTANCE)
if [ -z "${PULSE_SERVER:-}" ]; then
  export PULSE_SERVER=unix:/nonexistent/qr-no-server
  ARGS+=(--test-tone)
fi
write_crlf "${SETTINGS_DIR}VM3_Quillon_Recorder_${INSTANCE}.Ini" <<INI
[Recorder_00]
Actif=ON
Lib=Antenne
Pige=1
Format=1
Device=0
PigeFolder=${DRIVE}Pige/
[Web]
Port=$WEB_PORT
MetricsToken=scrape-token-7
INI
start_program "${ARGS[@]}"
wait_for_log "Form_Load: End" 60 && pass "recorder started headless" || { fail "no 'Form_Load: End' within 60 s"; finish; }
SOCKET=$XDG_RUNTIME_DIR/quillon-recorder/$INSTANCE.sock
if wait_for_socket "$SOCKET" 15; then WANT_UP=1; pass "control socket $SOCKET"; else
  WANT_UP=0; echo "note: the recorder program created no control socket: its absence is what the metrics must say"; fi
start_web $INSTANCE && pass "quillon-web serves on port $WEB_PORT"

cat >"${DRIVE}prometheus.yml" <<YML
global: { scrape_interval: 1s, scrape_timeout: 1s, evaluation_interval: 1s }
scrape_configs:
  - job_name: quillon
    authorization: { credentials: scrape-token-7 }
    static_configs: [{ targets: ["127.0.0.1:$WEB_PORT"] }]
YML
prometheus --config.file="${DRIVE}prometheus.yml" --storage.tsdb.path="${DRIVE}tsdb" \
  --web.listen-address="127.0.0.1:$PROM_PORT" --log.level=warn >"${DRIVE}prometheus.out" 2>&1 &
PROM_PID=$!

# query EXPR : the first sample's value, or nothing.
query() {
  curl -s --get "http://127.0.0.1:$PROM_PORT/api/v1/query" --data-urlencode "query=$1" 2>/dev/null |
    python3 -c 'import json, sys
try:
    r = json.load(sys.stdin)["data"]["result"]
    print(r[0]["value"][1] if r else "")
except Exception:
    print("")'
}
# wait_query EXPR VALUE SECONDS
wait_query() {
  local i v
  for i in $(seq 1 $(($3 * 2))); do
    v=$(query "$1")
    [ "$v" = "$2" ] && return 0
    sleep 0.5
  done
  echo "  ($1 = '$v')"
  return 1
}
wait_query 'up{job="quillon"}' 1 40 && pass "Prometheus scrapes the console: up = 1" ||
  fail "no healthy scrape: $(tail -5 "${DRIVE}prometheus.out")"
wait_query 'quillon_web_info{job="quillon"}' 1 10 && pass "quillon_web_info arrived" || fail "no quillon_web_info"
wait_query 'quillon_recorder_up{job="quillon"}' "$WANT_UP" 20 && pass "quillon_recorder_up = $WANT_UP" ||
  fail "quillon_recorder_up is not $WANT_UP"
if [ "$WANT_UP" = 1 ]; then
  wait_query 'quillon_recorder_state{job="quillon",recorder="1",state="recording"}' 1 30 &&
    pass "Rec. 1 recording, as Prometheus sees it" || fail "no recording state for Rec. 1"
  wait_query 'quillon_recorder_written_bytes_total{job="quillon",recorder="1"} > 0' "" 1 >/dev/null
  v=$(query 'quillon_recorder_written_bytes_total{job="quillon",recorder="1"}')
  [ -n "$v" ] && pass "bytes written: $v" || fail "no bytes written series"
else
  wait_query 'quillon_recorder_up{job="quillon",link="not-running"}' 0 5 && pass "link=\"not-running\" said" ||
    fail "the link label does not say not-running"
fi
page=$(curl -s "http://127.0.0.1:$WEB_PORT/metrics")
v=$(promtool check metrics <<<"$page" 2>&1) && [ -z "$v" ] && pass "promtool: the live page is clean" ||
  fail "promtool: $v"
kill -TERM "$PROM_PID"; wait "$PROM_PID" 2>/dev/null; PROM_PID=
stop_web
stop_program TERM 30
finish
