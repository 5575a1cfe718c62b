#!/usr/bin/env bash
# Settings that cannot be used as written, on seven logging recorders: a
# label holding a NUL and control characters, a label of 300 bytes, Format=99,
# Device=99, Device=abc, an empty and a relative PigeFolder. Each is either
# made safe (clean dated names that fit, WAV) or refused with an incident
# that names it, and no file is ever written outside the recorders' folders.
set -u
source "$(dirname "$0")/helpers/common.bash" "$@"
source "$(dirname "$0")/helpers/logging.bash"

LONG=$(printf 'é%.0s' $(seq 1 150))  # 300 bytes
# recorder_section N LABEL FOLDER FORMAT DEVICE
recorder_section() {
  printf '[Recorder_%02d]\r\nActif=ON\r\nLib=%s\r\nPige=1\r\nPigeFolder=%s\r\nFormat=%s\r\nDevice=%s\r\n' \
    "$1" "$2" "$3" "$4" "$5"
  printf 'SQuality=48000 Hz, 16 bits, mono\r\n'
}
mkdir -p "$SETTINGS_DIR"
{
  printf '[Recorder_00]\r\nActif=ON\r\nLib=Ant\0enne\tX\033\r\nPige=1\r\nPigeFolder=%sP1/\r\nFormat=1\r\nDevice=%s\r\n' \
    "$DRIVE" "$SINE_DEVICE"
  printf 'SQuality=48000 Hz, 16 bits, mono\r\n'
  recorder_section 1 "$LONG" "${DRIVE}P2/" 1 "$SINE_DEVICE"
  recorder_section 2 "Format" "${DRIVE}P3/" 99 "$SINE_DEVICE"
  recorder_section 3 "Device" "${DRIVE}P4/" 1 99
  recorder_section 4 "Letters" "${DRIVE}P5/" 1 abc
  recorder_section 5 "Empty" "" 1 "$SINE_DEVICE"
  recorder_section 6 "Relative" "relative/pige" 1 "$SINE_DEVICE"
} >"$INI"
touch "${DRIVE}started"

# The program runs in a folder of its own: a relative path would land there.
WORKDIR=$(mktemp -d "${DRIVE}cwd.XXXXXX")
PROG=$(realpath "$PROG")
(cd "$WORKDIR" && exec "$PROG" >"${DRIVE}program.out" 2>&1) &
PROG_PID=$!
if wait_for_log "Form_Load: End" 30; then pass "start-up finished"; else fail "no start-up"; finish; fi
for p in P1 P2 P3; do
  [ -n "$(PIGE=${DRIVE}$p/ wait_for_slice "Pige *.wav" 10)" ] || fail "no slice in $p"
done
sleep 3
check_exit_on_sigterm "$(date +%Y%m%d)"

one=$(ls_audio "${DRIVE}P1/")
[[ "$one" =~ ^Pige\ AntenneX\ [0-9]{8}_[0-9]{2}_[0-9]{2}_[0-9]{2}\.wav$ ]] && pass "label with NUL and controls: '$one'" \
  || fail "label with NUL and controls gave '$(ls_audio "${DRIVE}P1/" | od -c | head -2)'"
two=$(ls_audio "${DRIVE}P2/")
bytes=$(printf '%s' "$two" | wc -c)
if [ "$bytes" -le 255 ] && [[ "$two" =~ ^Pige\ é+\ [0-9]{8}_[0-9]{2}_[0-9]{2}_[0-9]{2}\.wav$ ]] && iconv -f UTF-8 -t UTF-8 <<<"$two" >/dev/null; then
  pass "label of 300 bytes: a name of $bytes bytes, dated, valid UTF-8"
else
  fail "label of 300 bytes gave '$two' ($bytes bytes)"
fi
expect_log "File name shortened to fit the file system: "
three=$(ls_audio "${DRIVE}P3/")
[[ "$three" == *.wav ]] && [ "$(probe "${DRIVE}P3/$three" | cut -d' ' -f1)" = pcm_s16le ] && pass "Format=99 records WAV" \
  || fail "Format=99 gave '$three'"
for f in "${DRIVE}P1/$one" "${DRIVE}P2/$two" "${DRIVE}P3/$three"; do check_slice_readable "$f" "$(basename "$f")"; done
expect_log "Rec. 3: Format=99 is not a recording format: wave is used"
expect_log "Rec. 4: device number 99 is not there"
expect_log "Rec. 5: device 'abc' is not there"
expect_log "Rec. 6: PigeFolder= refused: no destination folder is set"
expect_log "Rec. 7: PigeFolder=relative/pige refused: the destination folder 'relative/pige/' is not an absolute path"
[ -z "$(find "${DRIVE}P4/" "${DRIVE}P5/" -type f 2>/dev/null)" ] && pass "no recording from another device" \
  || fail "recorders without their device recorded: $(find "${DRIVE}P4/" "${DRIVE}P5/" -type f | tr '\n' ' ')"
[ -z "$(ls -A "$WORKDIR")" ] && pass "nothing in the program's working folder" || fail "files in the working folder: $(find "$WORKDIR" | tr '\n' ' ')"
# Every file the run made is a settings, log, or slice file of a recorder's folder.
outside=$(find "$DRIVE" -newer "${DRIVE}started" -type f ! -path "${DRIVE}P1/*" ! -path "${DRIVE}P2/*" ! -path "${DRIVE}P3/*" \
  ! -path "$LOG_DIR*" ! -path "${SETTINGS_DIR}*" ! -name program.out ! -name 'decode.*')
[ -z "$outside" ] && pass "no file outside the recorders' folders" || fail "files outside: $outside"
# One incident per refused setting, not one per attempt.
for r in 3 4 5 6 7; do
  n=$(count_incidents "Rec. $r:")
  [ "$n" -eq 1 ] && pass "Rec. $r: one incident" || fail "Rec. $r: $n incidents"
done
finish
