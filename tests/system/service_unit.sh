#!/usr/bin/env bash
# The real program started the way the installed systemd user unit starts it:
# the unit's command line and environment (read from the unit file, its
# specifiers expanded for instance 2 and a sandboxed home), the user
# manager's own variables, the home as working folder. Its logging recorder
# records the sound server's sine into the default folder of the home; the
# unit's stop signal ends it within the unit's stop timeout, exit code 0, and
# the file is finalised (WAV sizes filled in, decoded whole by FFmpeg, the
# tone from end to end). Settings, files and trace log are where the README
# says.
set -u
source "$(dirname "$0")/helpers/common.bash" "$@"
source "$(dirname "$0")/helpers/logging.bash"
source "$(dirname "$0")/helpers/install_layout.bash"

INSTANCE=2
HOME_S=${DRIVE}home
mkdir -p "$HOME_S"
OPT=${DRIVE}opt/quillon
cmake --install "$BUILD_DIR" --prefix "$OPT" >/dev/null 2>&1 || fail "cmake --install --prefix $OPT"
UNIT=$OPT/lib/systemd/user/quillon-recorder@.service
[ -f "$UNIT" ] || { fail "no unit at $UNIT"; finish; }

# Every key of the unit's [Service] section is one the test reproduces.
keys=$(awk '/^\[/ { s = $0; next } s == "[Service]" && /^[A-Za-z]/ { print substr($0, 1, index($0, "=") - 1) }' "$UNIT" | sort -u)
for k in $keys; do
  case $k in
    Type | Environment | ExecStart | SyslogIdentifier | KillSignal | TimeoutStopSec | Restart | RestartSec | RestartPreventExitStatus) ;;
    *) fail "the unit sets $k, which this test does not reproduce" ;;
  esac
done

# The unit's environment, then what the user manager adds (its own PATH,
# HOME, USER) and the session's sound server.
ENVIRONMENT=(PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin "HOME=$HOME_S" "USER=$(id -un)"
  "XDG_RUNTIME_DIR=$XDG_RUNTIME_DIR" "PULSE_SERVER=$PULSE_SERVER")
while IFS= read -r line; do
  expanded=$(expand_specifiers "$line" "$INSTANCE" "$HOME_S") || { fail "Environment=$line: $expanded"; continue; }
  while IFS= read -r word; do [ -n "$word" ] && ENVIRONMENT+=("$word"); done < <(split_words "$expanded")
done < <(unit_values "$UNIT" Environment)
exec_line=$(expand_specifiers "$(unit_value "$UNIT" ExecStart)" "$INSTANCE" "$HOME_S")
mapfile -t COMMAND < <(split_words "$exec_line")
[ "${COMMAND[0]}" = "$OPT/bin/VM3_Quillon_Recorder" ] && pass "ExecStart: ${COMMAND[*]}" || fail "ExecStart '${COMMAND[*]}'"
KILL=$(unit_value "$UNIT" KillSignal)
STOP_LIMIT=$(unit_value "$UNIT" TimeoutStopSec)
printf '%s\n' "${ENVIRONMENT[@]}" | grep -qx "VELMORA_DRIVE=$HOME_S/" && pass "drive root: the home" || fail "environment: ${ENVIRONMENT[*]}"

# A sine source of this test's own: the server's sine feeds one recording at a time.
SINE=qr_service_sine_$$
SINE_MODULE=$(pactl load-module module-sine-source source_name=$SINE rate=48000 frequency=440)
service_cleanup() {
  logging_cleanup
  [ -n "${SINE_MODULE:-}" ] && pactl unload-module "$SINE_MODULE" 2>/dev/null
}
trap service_cleanup EXIT
DEVICE=$(pactl list short sources | awk -v s="$SINE" '$2 == s { print NR - 1; exit }')
[ -n "$DEVICE" ] || { fail "no source $SINE"; finish; }

# Where the README says: settings and files under the home, trace log in AudioLog.
APP=$HOME_S/Tessaline/Velmora/
INI=${APP}Settings/VM3_Quillon_Recorder/VM3_Quillon_Recorder_${INSTANCE}.Ini
FILES=$HOME_S/Tessaline/Velmora/Settings/_Local/Sons_Quillon_Recorder_00/
LOG_DIR=$HOME_S/AudioLog/Histo_VM3_Quillon_Recorder/
write_crlf "$INI" <<INI
[Recorder_00]
Actif=ON
Lib=Antenne
Pige=1
Format=1
Device=$DEVICE
Channel=0
SQuality=48000 Hz, 16 bits, mono
INI

(cd "$HOME_S" && exec env -i "${ENVIRONMENT[@]}" "${COMMAND[@]}") >"${DRIVE}program.out" 2>&1 &
PROG_PID=$!
if wait_for_log "Form_Load: End" 60; then pass "started as the unit starts it"; else fail "no 'Form_Load: End' within 60 s"; finish; fi
expect_log "Instance: $INSTANCE"
if wait_for_log "RecordingStarted" 30; then pass "the logging recorder records"; else fail "no recording started"; finish; fi
file=$(find "$FILES" -maxdepth 1 -name "Pige Antenne *.wav" 2>/dev/null | head -1)
[ -n "$file" ] && pass "recording in the default folder: $file" || { fail "no file in $FILES ($(ls -R "$HOME_S" | head -30))"; finish; }
check_grows "$file" "recording"
sleep 2

# systemd's stop: the unit's signal, then at most its stop timeout.
stop_program "${KILL#SIG}" "$STOP_LIMIT"
[ "$EXIT_CODE" -eq 0 ] && pass "$KILL: exit code 0 (no restart on failure)" || fail "$KILL: exit code $EXIT_CODE"
expect_log "Application closed because Windows is shutting down"
check_wav_closed "$file"
[ "$(probe "$file")" = "pcm_s16le 48000 1" ] && pass "ffprobe: $(probe "$file")" || fail "ffprobe: '$(probe "$file")'"
samples=$(decoded_samples "$file")
[ "${samples:-0}" -gt $((SINE_RATE * 3)) ] && pass "decoded whole: $samples samples" || fail "decoded samples '${samples:-error}'"
check_tone "$file"
[ -f "$INI" ] && [ "$(ini_value "$INI" Recorder_00 Volume)" != "" ] && pass "settings saved at $INI" ||
  fail "settings not saved in $INI"
ls "$LOG_DIR" | grep -qE '^[0-9]{8}\.Log$' && pass "trace log in $LOG_DIR" || fail "no trace log in $LOG_DIR"
finish
