#!/usr/bin/env bash
# The loudness alarm of the real program, from its settings file: recorder 1
# logs a sine source whose short-term loudness (about -17 LUFS) is above its
# target (-23 LUFS +- 2 LU): after the delay an incident says it is too loud
# and the UDP target of its alarms hears "<Do:Alarm><Recorder:1><Loudness:High>";
# recorder 2 logs the same source against a target of -6 LUFS: too quiet,
# "Low"; recorder 3, whose target the source meets, raises nothing. The
# control socket's status carries the loudness values.
set -u
source "$(dirname "$0")/helpers/common.bash" "$@"
source "$(dirname "$0")/helpers/logging.bash"
PEER="python3 $(dirname "$0")/helpers/udp_peer.py"
CTL="$(dirname "$PROG")/quillon-ctl"

SINK=qr_loud_sink_$$
MODULES=()
loud_cleanup() {
  kill "${LISTENER:-}" 2>/dev/null
  logging_cleanup
  local m
  for m in "${MODULES[@]}"; do pactl unload-module "$m" 2>/dev/null; done
}
trap loud_cleanup EXIT
# A sine played into a null sink: its monitor is the recorders' source, and
# the sink's volume turns it down.
MODULES+=("$(pactl load-module module-null-sink sink_name=$SINK rate=48000)")
MODULES+=("$(pactl load-module module-sine sink=$SINK frequency=440)")
DEVICE=$(pactl list short sources | awk -v s="$SINK.monitor" '$2 == s { print NR - 1; exit }')
[ -n "$DEVICE" ] || { fail "test source missing"; finish; }
rnd() { echo $(( (RANDOM % 250) + 2 )); }
SERVICES=127.$(rnd).$(rnd).$(rnd)
RECEIVED=${DRIVE}received.txt
$PEER listen "$SERVICES" "${DRIVE}services.port" "$RECEIVED" &
LISTENER=$!
for _ in $(seq 1 50); do [ -s "${DRIVE}services.port" ] && break; sleep 0.1; done
SVC_PORT=$(cat "${DRIVE}services.port")

section() {  # index label target
  cat <<INI
[Recorder_0$1]
Actif=ON
Lib=$2
Pige=1
Format=1
Device=$DEVICE
SQuality=48000 Hz, 16 bits, mono
PigeFolder=${DRIVE}$2/
SilenceDelai=0
LoudnessCible=$3
LoudnessTolerance=2
LoudnessDelai=3
SilenceUDP=02
INI
}
{ section 0 Antenne -23; section 1 Studio -6; section 2 Juste -17
  echo "[UDP_OUT]"; echo "IP_1=$SERVICES"; echo "Port_1=$SVC_PORT"; } | write_crlf "$INI"

start_program
if wait_for_log "Form_Load: End" 60; then pass "start-up finished"; else fail "no 'Form_Load: End' within 60 s"; finish; fi
HIGH="Rec. 1 (Antenne): too loud for "
LOW="Rec. 2 (Studio): too quiet for "
if wait_for_log "$HIGH" 25; then pass "incident: $(log_text | grep -F "$HIGH" | head -1 | cut -d: -f8-)"; else fail "no '$HIGH' within 25 s"; fi
if wait_for_log "$LOW" 10; then pass "incident: $(log_text | grep -F "$LOW" | head -1 | cut -d: -f8-)"; else fail "no '$LOW' within 10 s"; fi
value=$(log_text | grep -F "$HIGH" | head -1 | sed -n 's/.*short-term loudness \(-[0-9.]*\) LUFS.*/\1/p')
python3 -c "import sys; v=float('${value:-0}'); sys.exit(0 if -20 < v < -14 else 1)" &&
  pass "the short-term value ($value LUFS) is the sine's (about -17)" || fail "short-term value '$value'"
for _ in $(seq 1 50); do [ "$(wc -l <"$RECEIVED" 2>/dev/null)" -ge 2 ] && break; sleep 0.1; done
grep -qxF "<Do:Alarm><Recorder:1><Loudness:High>" "$RECEIVED" && pass "UDP target told: High" || fail "no High datagram ($(cat "$RECEIVED"))"
grep -qxF "<Do:Alarm><Recorder:2><Loudness:Low>" "$RECEIVED" && pass "UDP target told: Low" || fail "no Low datagram ($(cat "$RECEIVED"))"
sleep 2
log_text | grep -qF "Rec. 3 (Juste): too" && fail "a source on its target raised an alarm" || pass "the source on its target raised nothing"
if [ -x "$CTL" ]; then
  "$CTL" status --json >"${DRIVE}status.json" 2>/dev/null
  python3 - "${DRIVE}status.json" <<'PY' && pass "status carries the loudness and the alarm" || fail "status: $(head -c 800 "${DRIVE}status.json")"
import json, sys
r = json.load(open(sys.argv[1]))["recorders"][0]
l = r["loudness"]
assert -20 < l["short_term_lufs"] < -14, l
assert l["target_lufs"] == -23 and l["tolerance_lu"] == 2, l
assert r["loudness_alarm"] == "high", r.get("loudness_alarm")
PY
fi
# The source turned down 6 dB (about -23 LUFS): recorder 1 is back on its target.
pactl set-sink-volume "$SINK" 79%  # -6 dB (a cubic scale)
END="Rec. 1 (Antenne): end of loudness alarm (too loud) after"
if wait_for_log "$END" 15; then pass "incident: $(log_text | grep -F "$END" | head -1 | cut -d: -f8-)"; else fail "no '$END' within 15 s"; fi
for _ in $(seq 1 30); do grep -qxF "<Do:Alarm><Recorder:1><Loudness:Off>" "$RECEIVED" && break; sleep 0.1; done
grep -qxF "<Do:Alarm><Recorder:1><Loudness:Off>" "$RECEIVED" && pass "UDP target told: Off" || fail "no Off datagram ($(cat "$RECEIVED"))"
stop_program TERM 30
[ "$EXIT_CODE" -eq 0 ] && pass "SIGTERM: exit code 0" || fail "SIGTERM: exit code $EXIT_CODE"
finish
