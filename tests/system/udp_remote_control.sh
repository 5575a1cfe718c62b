#!/usr/bin/env bash
# Remote control of the real program over UDP: the station's automation sends
# a start from another loopback address, recorder 1 records into a file named
# after the song, a stop ends it, and the podcast and conversion services
# hear about a file that decodes. A message with only a switcher command
# reaches the serial port (a socat pseudo-terminal pair).
set -u
source "$(dirname "$0")/helpers/common.bash" "$@"
PEER="python3 $(dirname "$0")/helpers/udp_peer.py"

ARGS=(/Instance=4)
if [ -z "${PULSE_SERVER:-}" ]; then
  export PULSE_SERVER=unix:/nonexistent/qr-no-server
  ARGS+=(--test-tone)
fi
# Addresses of our own on loopback (127.0.0.1 is never sent to) and free ports.
rnd() { echo $(( (RANDOM % 250) + 2 )); }
HOME_ADDR=127.$(rnd).$(rnd).$(rnd)
AUTOMATION=127.$(rnd).$(rnd).$(rnd)
SERVICES=127.$(rnd).$(rnd).$(rnd)
IN_PORT=$($PEER freeport "$HOME_ADDR")
RECEIVED=${DRIVE}received.txt
$PEER listen "$SERVICES" "${DRIVE}services.port" "$RECEIVED" &
LISTENER=$!
PTY=$(mktemp -d /tmp/qr-pty.XXXXXX)
socat "pty,raw,echo=0,link=$PTY/a" "pty,raw,echo=0,link=$PTY/b" &
SOCAT=$!
stop_helpers() { kill "$LISTENER" "$SOCAT" 2>/dev/null; rm -rf "$PTY"; cleanup; }
trap stop_helpers EXIT
for _ in $(seq 1 50); do [ -s "${DRIVE}services.port" ] && [ -e "$PTY/a" ] && break; sleep 0.1; done
SVC_PORT=$(cat "${DRIVE}services.port")

REC=${DRIVE}Studio/
mkdir -p "$REC"
write_crlf "${SETTINGS_DIR}VM3_Quillon_Recorder_4.Ini" <<INI
[Recorder_00]
Actif=ON
Lib=Studio
Format=1
Device=0
PigeFolder=${REC}
[Commande_UDP_00]
General=111102102
[UDP_IN]
IP_0=${HOME_ADDR}
Port_0=${IN_PORT}
Actif_0=1
[UDP_OUT]
IP_1=${SERVICES}
Port_1=${SVC_PORT}
[PortCOM]
Actif=1
NoPort=2
Device_3=$PTY/a
INI

start_program "${ARGS[@]}"
if wait_for_log "Form_Load: End" 60; then pass "start-up finished"; else fail "no 'Form_Load: End' within 60 s"; fi
expect_log "UDP: SocketWrenchUDPIn.Binded to: ${HOME_ADDR}:${IN_PORT} (Index: 0)"

# The switcher command alone.
timeout 15 head -n 1 "$PTY/b" >"${DRIVE}switcher.txt" &
READER=$!
sleep 0.3
$PEER send "$AUTOMATION" "$HOME_ADDR" "$IN_PORT" "<ASC82Plus:SW 03 IN 2>"
wait "$READER"
if [ "$(tr -d '\r' <"${DRIVE}switcher.txt")" = "SW 03 IN 2" ]; then pass "switcher command on the serial port"; else fail "serial port got '$(cat -v "${DRIVE}switcher.txt")'"; fi
wait_for_log "UDP: LabelDataArrivalUDP_Change: COM: Data sended: SW 03 IN 2" 5 && pass "switcher command traced" || fail "no 'Data sended' trace"

# Start, record a while, stop.
$PEER send "$AUTOMATION" "$HOME_ADDR" "$IN_PORT" "<Record:Start><SongId:12345><Recorder:1>"
FILE=${REC}12345.mp3
if wait_for_log "Recording File: $FILE" 20; then pass "recorder 1 records into 12345.mp3"; else fail "no recording into $FILE"; fi
expect_log "PvSSongId set to: 12345"
sleep 3
$PEER send "$AUTOMATION" "$HOME_ADDR" "$IN_PORT" "<Record:Stop><Recorder:1>"
for _ in $(seq 1 200); do [ "$(cat "$RECEIVED" 2>/dev/null | wc -l)" -ge 2 ] && break; sleep 0.1; done
PODCAST="<Do:Podcast><SongId:12345><SoundFile:${FILE}>"
CONVERT="<Do:Convert><SongId:12345><SoundFile:${FILE}>"
if grep -qxF -- "$PODCAST" "$RECEIVED" 2>/dev/null; then pass "podcast service told: $PODCAST"; else fail "podcast notification missing (got: $(cat "$RECEIVED" 2>&1))"; fi
if grep -qxF -- "$CONVERT" "$RECEIVED" 2>/dev/null; then pass "conversion service told"; else fail "conversion notification missing (got: $(cat "$RECEIVED" 2>&1))"; fi
expect_log "UDP: Send to: ${SERVICES}:${SVC_PORT} ${PODCAST}"

info=$(ffprobe -v error -show_entries stream=codec_name,bit_rate:format=duration -of default=nw=1 "$FILE" 2>&1)
codec=$(sed -n 's/^codec_name=//p' <<<"$info")
duration=$(sed -n 's/^duration=//p' <<<"$info")
[ "$codec" = "mp3" ] && pass "MP3 (forced 128 kbit/s start)" || fail "codec '$codec' ($info)"
if awk -v d="${duration:-0}" 'BEGIN { exit !(d >= 1.0 && d <= 30.0) }'; then pass "decodes, $duration s"; else fail "duration '$duration'"; fi
[ "$(ls_audio "$REC")" = "12345.mp3" ] && pass "only the file named after the song" || fail "folder holds: $(ls "$REC")"

stop_program TERM 30
[ "$EXIT_CODE" -eq 0 ] && pass "exit code 0" || fail "exit code $EXIT_CODE"
finish
