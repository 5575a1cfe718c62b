#!/usr/bin/env bash
# The web console's screenshots in docs/ (web-status-desktop.png,
# web-status-phone.png), made by the browser test against the real recorder
# program when it has its control socket; otherwise against the stand-in
# recorder of the tests (three recorders, one of them recording), through
# the same page and the same browser steps.
set -euo pipefail
BUILD=$(cd "${1:-build}" && pwd)
HERE=$(cd "$(dirname "$0")" && pwd)
DOCS=$HERE/../docs
source "$HERE/test-pulse.sh"
start_test_pulse
trap stop_test_pulse EXIT
export QT_QPA_PLATFORM=offscreen
set +e
QW_SCREENSHOT_DIR=$DOCS bash "$HERE/../tests/system/web_browser.sh" "$BUILD/VM3_Quillon_Recorder"
rc=$?
set -e
[ "$rc" -eq 0 ] && exit 0
[ "$rc" -ne 77 ] && exit "$rc"
echo "== the recorder has no control socket: the stand-in recorder instead"
TMP=$(mktemp -d /tmp/qw-shots.XXXXXX)
trap 'kill $FAKE $WEB 2>/dev/null; rm -rf "$TMP"; stop_test_pulse' EXIT
export VELMORA_DRIVE=$TMP/ XDG_STATE_HOME=$TMP/state XDG_RUNTIME_DIR=$TMP/run HOME=$TMP
mkdir -p "$XDG_RUNTIME_DIR" "$TMP/Tessaline/Velmora/Settings/VM3_Quillon_Recorder"
PORT=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
printf '[Web]\r\nPort=%s\r\n' "$PORT" >"$TMP/Tessaline/Velmora/Settings/VM3_Quillon_Recorder/VM3_Quillon_Recorder_1.Ini"
python3 "$HERE/../tests/web/helpers/fake_recorder.py" --socket "$XDG_RUNTIME_DIR/quillon-recorder/1.sock" &
FAKE=$!
echo olivia-password | "$BUILD/quillon-web" --instance 1 --add-user olivia --role operate >/dev/null
echo lena-password | "$BUILD/quillon-web" --instance 1 --add-user lena --role listen >/dev/null
"$BUILD/quillon-web" --instance 1 2>/dev/null &
WEB=$!
sleep 2
cd "$HERE/../tests/system/helpers"
/usr/bin/python3 web_browser.py "http://127.0.0.1:$PORT" 2 olivia:olivia-password lena:lena-password "$DOCS" 1
