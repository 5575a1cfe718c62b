#!/usr/bin/env bash
# The local control interface of the real program: quillon-ctl starts
# recorder 1 under a name, status --json shows the file, follow sees the
# file finished with its length, the stop finishes a file that decodes; the
# refusals come with their reason and exit code 1; no program is exit code 3.
set -u
source "$(dirname "$0")/helpers/common.bash" "$@"
CTL="$(dirname "$PROG")/quillon-ctl"
[ -x "$CTL" ] || { echo "quillon-ctl not built"; exit 1; }

ARGS=(/Instance=6)
if [ -z "${PULSE_SERVER:-}" ]; then
  export PULSE_SERVER=unix:/nonexistent/qr-no-server
  ARGS+=(--test-tone)
fi
REC=${DRIVE}Studio/
PIGE=${DRIVE}Pige/
mkdir -p "$REC" "$PIGE"
write_crlf "${SETTINGS_DIR}VM3_Quillon_Recorder_6.Ini" <<INI
[Recorder_00]
Actif=ON
Lib=Studio
Format=1
PigeFolder=${REC}
[Recorder_01]
Actif=ON
Lib=Antenne
Format=1
Pige=1
PigeFolder=${PIGE}
INI

"$CTL" --instance 6 status >/dev/null 2>&1
[ $? -eq 3 ] && pass "no program: exit code 3" || fail "no program: exit code not 3"

start_program "${ARGS[@]}"
if wait_for_log "Form_Load: End" 60; then pass "start-up finished"; else fail "no 'Form_Load: End' within 60 s"; fi
SOCK=${XDG_RUNTIME_DIR}/quillon-recorder/6.sock
for _ in $(seq 1 50); do [ -S "$SOCK" ] && break; sleep 0.1; done
[ -S "$SOCK" ] && pass "socket $SOCK" || fail "no socket at $SOCK"
[ "$(stat -c %a "$SOCK" 2>/dev/null)" = "660" ] && pass "socket mode 0660" || fail "socket mode $(stat -c %a "$SOCK" 2>/dev/null)"
# Commands wait for the end of the start-up (the sound server's formats).
for _ in $(seq 1 100); do
  "$CTL" --instance 6 status --json 2>/dev/null | grep -q '"startup_done":true' && break
  sleep 0.2
done

"$CTL" --instance 6 --json follow >"${DRIVE}events.jsonl" 2>"${DRIVE}follow.err" &
FOLLOW=$!
sleep 0.5
"$CTL" --instance 6 start 1 --name Essai >"${DRIVE}start.out" 2>&1
CODE=$?
[ $CODE -eq 0 ] && pass "start 1 --name Essai" || fail "start exit code $CODE: $(cat "${DRIVE}start.out")"
if wait_for_log "Recording File: ${REC}Essai.wav" 20; then pass "recording into Essai.wav"; else fail "no recording into ${REC}Essai.wav"; fi
expect_log "Start asked by control: uid $(id -u)"
sleep 2
"$CTL" --instance 6 status --json >"${DRIVE}status.json"
python3 - "${DRIVE}status.json" "${REC}Essai.wav" <<'PY' && pass "status --json shows the file" || fail "status --json: $(head -c 600 "${DRIVE}status.json")"
import json, sys
s = json.load(open(sys.argv[1]))
r = [x for x in s["recorders"] if x["recorder"] == 1][0]
assert r["state"] == "recording", r["state"]
assert r["file"] == sys.argv[2], r.get("file")
assert r["elapsed_s"] > 0.5 and r["file_bytes"] > 0
assert s["recorders"][1]["logging"] is True
PY
"$CTL" --instance 6 status >"${DRIVE}status.txt"
grep -q "Essai.wav" "${DRIVE}status.txt" && pass "status table names the file" || fail "status table: $(cat "${DRIVE}status.txt")"

# Refusals: the logging recorder, a recorder out of service, twice the same.
"$CTL" --instance 6 start 2 >/dev/null 2>"${DRIVE}refused.err"
[ $? -eq 1 ] && grep -q "pige" "${DRIVE}refused.err" && pass "logging recorder refused with its reason" || fail "logging recorder: $(cat "${DRIVE}refused.err")"
"$CTL" --instance 6 start 5 >/dev/null 2>"${DRIVE}refused.err"
[ $? -eq 1 ] && grep -q "n'est pas en service" "${DRIVE}refused.err" && pass "recorder out of service refused" || fail "out of service: $(cat "${DRIVE}refused.err")"
"$CTL" --instance 6 start 1 >/dev/null 2>"${DRIVE}refused.err"
[ $? -eq 1 ] && grep -q "enregistre déjà" "${DRIVE}refused.err" && pass "second start refused" || fail "second start: $(cat "${DRIVE}refused.err")"

"$CTL" --instance 6 stop 1 >/dev/null 2>&1 && pass "stop 1" || fail "stop 1"
for _ in $(seq 1 100); do grep -q '"file-finished"' "${DRIVE}events.jsonl" && break; sleep 0.1; done
python3 - "${DRIVE}events.jsonl" "${REC}Essai.wav" <<'PY' && pass "follow saw the file finished with its length" || fail "events: $(cat "${DRIVE}events.jsonl")"
import json, sys
events = [json.loads(l) for l in open(sys.argv[1]) if l.strip()]
done = [e for e in events if e.get("event") == "file-finished"]
assert done and done[0]["path"] == sys.argv[2], done
assert done[0]["seconds"] > 1.0 and done[0]["bytes"] > 1000, done[0]
assert any(e.get("event") == "file-started" for e in events)
assert any(e.get("event") == "state" and e.get("recorder") == 1 for e in events)
PY
kill -INT "$FOLLOW" 2>/dev/null; wait "$FOLLOW"
[ $? -eq 0 ] && pass "follow ends on Ctrl-C with 0" || fail "follow exit code not 0"
D=$(ffprobe -v error -show_entries format=duration -of csv=p=0 "${REC}Essai.wav" 2>/dev/null)
python3 -c "import sys; sys.exit(0 if float('${D:-0}') > 1.5 else 1)" && pass "Essai.wav decodes (${D} s)" || fail "Essai.wav: duration '${D}'"

stop_program TERM 30
[ ! -e "$SOCK" ] && pass "socket removed at exit" || fail "socket left at $SOCK"
finish
