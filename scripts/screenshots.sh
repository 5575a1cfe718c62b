#!/usr/bin/env bash
# Pictures of the windows for the documentation: runs the program under Xvfb
# on a sandboxed drive with the built-in test tone (three recorders, the first
# one a logging recorder that records from the start), and saves
# docs/main-window.png, docs/main-menu.png and docs/setup-window.png.
# A private sound server gives the second and third recorders sine sources of
# their own, whose meters move while those recorders wait idle.
#   scripts/screenshots.sh [build folder]
set -euo pipefail
HERE=$(cd "$(dirname "$0")" && pwd)
ROOT=$(cd "$HERE/.." && pwd)
BUILD=${1:-$ROOT/build}
PROG=$BUILD/VM3_Quillon_Recorder
[ -x "$PROG" ] || { echo "program not built: $PROG" >&2; exit 1; }

DRIVE=$(mktemp -d /tmp/qr-shots.XXXXXX)/
OUT=${DRIVE}shots
source "$HERE/test-pulse.sh"
trap 'stop_test_pulse; rm -rf "$DRIVE"' EXIT
QR_PULSE_SOURCES="qr_sine:440 qr_studio2:1000" start_test_pulse >/dev/null
INI=${DRIVE}Tessaline/Velmora/Settings/VM3_Quillon_Recorder/VM3_Quillon_Recorder_3.Ini
mkdir -p "$(dirname "$INI")"
sed 's/$/\r/' >"$INI" <<INI
[Recorder_00]
Actif=ON
Lib=Antenne
DeviceName=test-tone
Pige=1
Format=2
FormatCaracteristics=3
PigeFolder=${DRIVE}Pige/
Volume=80
[Recorder_01]
Actif=ON
Lib=Studio 1
DeviceName=qr_sine
Format=1
PigeFile=Studio 1 <yyyyMMdd_hh_mm_ss>
PigeFolder=${DRIVE}Studio1/
Volume=70
[Recorder_02]
Actif=ON
Lib=Studio 2
DeviceName=qr_studio2
Format=4
PigeFolder=${DRIVE}Studio2/
Volume=60
[FrmPos]
Frm_Main_Left=0
Frm_Main_Top=0
Frm_Main_Width=1280
Frm_Main_Height=720
FrmSetup_Left=0
FrmSetup_Top=0
FrmSetup_Width=1280
FrmSetup_Height=720
INI
# The workstation's operator, mandatory here, with the setup right.
mkdir -p "${DRIVE}Tessaline/Velmora/Config" "${DRIVE}Windows/Registry"
printf '[DroitsUsers]\r\nActif=1\r\n' >"${DRIVE}Tessaline/Velmora/Config/VM3_Systeme.ini"
printf '[Software\\Tessaline\\Velmora\\User]\r\nVM_User=12\r\nVM_User_Name=Claire Dubois\r\nVM_User_Droits=%s1\r\nVM_User_Button=OK\r\n' \
  "$(printf '0%.0s' $(seq 1 30))" >"${DRIVE}Windows/Registry/HKEY_LOCAL_MACHINE.ini"
# A few earlier recordings for the history grids.
mkdir -p "${DRIVE}Studio1" "${DRIVE}Pige"
# Yesterday's slices (kept by the 30-day retention) and two interviews.
DAY=$(date -d yesterday +%Y%m%d)
for h in 06 07 08 09 10; do
  head -c $((2880 * 1024)) /dev/zero >"${DRIVE}Pige/Pige Antenne ${DAY}_${h}_00_00.mp3"
  touch -d "$(date -d yesterday +%F) $h:59:59" "${DRIVE}Pige/Pige Antenne ${DAY}_${h}_00_00.mp3"
done
ffmpeg -loglevel error -f lavfi -i "sine=frequency=440:duration=95" -ac 2 "${DRIVE}Studio1/Interview ${DAY}_09_12_40.wav"
ffmpeg -loglevel error -f lavfi -i "sine=frequency=440:duration=312" -ac 2 "${DRIVE}Studio1/Journal ${DAY}_11_30_05.wav"

export VELMORA_DRIVE=$DRIVE
export QUILLON_SCREENSHOT_DIR=$OUT
export QUILLON_SCREENSHOT_SIZE=1280x720
export QUILLON_SCREENSHOT_DELAY_MS=${QUILLON_SCREENSHOT_DELAY_MS:-9000}
unset QT_QPA_PLATFORM

xvfb-run -a -s "-screen 0 1280x720x24" bash -c '
  "$0" /Instance=3 --test-tone &
  pid=$!
  for _ in $(seq 1 300); do
    [ -s "$QUILLON_SCREENSHOT_DIR/setup-window.png" ] && [ -s "$QUILLON_SCREENSHOT_DIR/main-menu.png" ] && break
    kill -0 $pid 2>/dev/null || break
    sleep 0.1
  done
  sleep 0.5
  kill -TERM $pid 2>/dev/null
  wait $pid
' "$PROG"

mkdir -p "$ROOT/docs"
cp "$OUT/main-window.png" "$ROOT/docs/main-window.png"
cp "$OUT/setup-window.png" "$ROOT/docs/setup-window.png"
cp "$OUT/main-menu.png" "$ROOT/docs/main-menu.png"
echo "docs/main-window.png, docs/main-menu.png and docs/setup-window.png written"
