# Steps shared by the logging recorder's tests of the real program: a
# settings file that makes recorder 1 the logging recorder on the sound
# server's sine source, the program started on a faked date (libfaketime),
# and checks of the slices it writes (FFmpeg decoding, sine analysis).
# Sourced after helpers/common.bash.

HELPERS_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# Local time is UTC: the faked dates are the dates the program sees.
export TZ=UTC
PIGE=${DRIVE}Pige/
INI=${SETTINGS_DIR}VM3_Quillon_Recorder.Ini
# The sine source of the test sound server: 440 Hz, 48000 Hz, mono.
SINE_SOURCE=${SINE_SOURCE:-qr_sine}
SINE_FREQ=${SINE_FREQ:-440}
SINE_RATE=48000

# Without the test sound server (a run by hand), start a private one. Tests
# that kill, restart or change the sound server ask for one of their own
# (QR_OWN_PULSE=1 before sourcing this file; QR_PULSE_SOURCES names its sine
# sources, QR_PULSE_LATE=1 leaves it stopped until launch_test_pulse).
OWN_PULSE=0
source "$HELPERS_DIR/../../../scripts/test-pulse.sh"
if [ "${QR_OWN_PULSE:-0}" = 1 ] || [ -z "${PULSE_SERVER:-}" ]; then
  unset PULSE_SERVER
  prepare_test_pulse
  OWN_PULSE=1
  if [ "${QR_PULSE_LATE:-0}" != 1 ]; then
    launch_test_pulse || { echo "FAIL: no sound server for the test"; stop_test_pulse; exit 1; }
  fi
fi
logging_cleanup() {
  # A test's own clean-up first (e.g. a file system it mounted in the sandbox).
  if declare -F test_cleanup >/dev/null; then test_cleanup; fi
  cleanup
  if [ "$OWN_PULSE" -eq 1 ]; then stop_test_pulse; fi
}
trap logging_cleanup EXIT

# libfaketime, used directly (the faketime command forks: the signals of the
# tests must reach the program itself).
FAKETIME_LIB=
for f in /usr/lib/*/faketime/libfaketimeMT.so.1 /usr/lib/*/faketime/libfaketime.so.1 \
         /usr/lib/faketime/libfaketimeMT.so.1 /usr/lib/faketime/libfaketime.so.1; do
  if [ -f "$f" ]; then FAKETIME_LIB=$f; break; fi
done
if [ -z "$FAKETIME_LIB" ]; then
  echo "FAIL: libfaketime is not installed (Debian package faketime)"
  exit 1
fi

# Position of the sine source in the server's list: the engine lists the
# sources in the server's order, so this is the recorder's device index.
# (A server that is not up yet will list it after the null sink's monitor.)
source_device() { pactl list short sources 2>/dev/null | awk -v s="$1" '$2 == s { print NR - 1; exit }'; }
if [ "${QR_PULSE_LATE:-0}" = 1 ]; then SINE_DEVICE=1; else SINE_DEVICE=$(source_device "$SINE_SOURCE"); fi
if [ -z "$SINE_DEVICE" ]; then
  echo "FAIL: the sound server has no source $SINE_SOURCE ($(pactl list short sources 2>&1 | tr '\n' ';'))"
  exit 1
fi

# write_logging_settings FORMAT CHARACTERISTIC [EXTRA LINES...] : recorder 1
# is the logging recorder "Antenne" on the sine source, 48000 Hz mono 16 bits
# (QR_SETTINGS_DEVICE, when set, is its "Device" value instead).
write_logging_settings() {
  local format=$1 characteristic=$2
  shift 2
  {
    echo "[Recorder_00]"
    echo "Actif=ON"
    echo "Lib=Antenne"
    echo "Pige=1"
    echo "PigeFolder=${PIGE}"
    echo "Format=$format"
    echo "FormatCaracteristics=$characteristic"
    echo "Device=${QR_SETTINGS_DEVICE:-$SINE_DEVICE}"
    echo "Channel=0"
    echo "SQuality=48000 Hz, 16 bits, mono"
    local line
    for line in "$@"; do echo "$line"; done
  } | write_crlf "$INI"
}

# start_program_at "yyyy-mm-dd hh:mm:ss" ARGS... : the program's clock starts
# at that date and runs on from there.
start_program_at() {
  local when=$1
  shift
  LD_PRELOAD=$FAKETIME_LIB FAKETIME="@$when" FAKETIME_DONT_FAKE_MONOTONIC=1 \
    "$PROG" "$@" >>"${DRIVE}program.out" 2>&1 &
  PROG_PID=$!
}

# The trace log of one day (yyyymmdd), without CR.
day_log() { tr -d '\r' <"${LOG_DIR}$1.Log" 2>/dev/null; }

# wait_for_slice NAME_PATTERN SECONDS : waits until a file of the logging
# folder has a name that matches the pattern (as find -name); prints its path.
wait_for_slice() {
  local pattern=$1 limit=$2 waited=0 f
  while [ "$waited" -lt $((limit * 10)) ]; do
    f=$(find "$PIGE" -maxdepth 1 -type f -name "$pattern" "${NOT_SIDECAR[@]}" 2>/dev/null | LC_ALL=C sort | head -1)
    if [ -n "$f" ]; then echo "$f"; return 0; fi
    if ! kill -0 "$PROG_PID" 2>/dev/null; then return 1; fi
    sleep 0.1
    waited=$((waited + 1))
  done
  return 1
}

# The slices in the logging folder, oldest first (their names hold the date).
slices() { find "$PIGE" -maxdepth 1 -type f -name "Pige Antenne *" "${NOT_SIDECAR[@]}" -printf '%f\n' 2>/dev/null | LC_ALL=C sort; }

# Milliseconds of the day of a trace time stamp hh:mm:ss:mmm.
stamp_ms() { awk -F: '{ print (($1 * 60 + $2) * 60 + $3) * 1000 + $4 }' <<<"$1"; }

# The time stamp of the first trace line of a day's log that contains TEXT.
stamp_of() { day_log "$1" | grep -F -- "$2" | head -1 | cut -c1-12; }

# probe FILE : "codec rate channels" of its audio stream.
probe() {
  ffprobe -v error -select_streams a:0 -show_entries stream=codec_name,sample_rate,channels \
    -of default=nw=1:nk=1 "$1" 2>/dev/null | tr '\n' ' ' | sed 's/ $//'
}

# decoded_samples FILE : number of samples decoded by FFmpeg (mono, 48000 Hz);
# empty when decoding reports an error.
decoded_samples() {
  local bytes err
  err=$(mktemp "${DRIVE}decode.XXXXXX")
  bytes=$(ffmpeg -nostdin -v error -xerror -i "$1" -f s16le -ac 1 -ar "$SINE_RATE" - 2>"$err" | wc -c)
  if [ -s "$err" ]; then
    echo "decoding '$1': $(head -3 "$err")" >&2
    rm -f "$err"
    return 1
  fi
  rm -f "$err"
  echo $((bytes / 2))
}

# sine_analysis FILE... : decodes the files one after the other as one signal
# (mono, 48000 Hz) and fits the sine source's tone on blocks of 1200 samples
# (11 whole periods). Prints key=value pairs: see helpers/sine_blocks.awk.
sine_analysis() {
  local f
  for f in "$@"; do
    echo "#"
    ffmpeg -nostdin -v error -i "$f" -f s16le -ac 1 -ar "$SINE_RATE" - | od -An -v -td2 -w2
  done | awk -v freq="$SINE_FREQ" -v rate="$SINE_RATE" -f "$HELPERS_DIR/sine_blocks.awk"
}

# field KEY TEXT : the value of KEY in key=value pairs.
field() { tr ' ' '\n' <<<"$2" | sed -n "s/^$1=//p" | head -1; }

# wav_sizes FILE : "riff_size data_size file_size data_offset" of a WAV file.
wav_sizes() {
  local f=$1 size riff off id n data=-1 dataoff=-1
  size=$(stat -c %s "$f")
  riff=$(od -An -v -tu4 -j4 -N4 "$f" | tr -d ' ')
  off=12
  while [ $((off + 8)) -le "$size" ]; do
    id=$(dd if="$f" bs=1 skip="$off" count=4 2>/dev/null)
    n=$(od -An -v -tu4 -j$((off + 4)) -N4 "$f" | tr -d ' ')
    if [ "$id" = "data" ]; then data=$n; dataoff=$((off + 8)); break; fi
    off=$((off + 8 + n + n % 2))
  done
  echo "$riff $data $size $dataoff"
}

# check_wav_closed FILE : the RIFF and data sizes of the header are those of the file.
check_wav_closed() {
  local f=$1 riff data size dataoff
  read -r riff data size dataoff <<<"$(wav_sizes "$f")"
  if [ "$data" -gt 0 ] && [ $((dataoff + data)) -eq "$size" ] && [ "$riff" -eq $((size - 8)) ]; then
    pass "$(basename "$f"): WAV header closed ($data bytes of samples)"
  else
    fail "$(basename "$f"): WAV header not closed (RIFF $riff, data $data at $dataoff, file $size bytes)"
  fi
}

# check_tone FILE... : the files carry the sine source's tone from end to end
# (lossy formats: tone in at least 95 % of the blocks).
check_tone() {
  local a blocks tone
  a=$(sine_analysis "$@")
  blocks=$(field blocks "$a")
  tone=$(field tone_blocks "$a")
  if [ "${blocks:-0}" -gt 0 ] && [ $((tone * 100)) -ge $((blocks * 95)) ]; then
    pass "$(basename "$1"): the ${SINE_FREQ} Hz tone in $tone of $blocks blocks (level $(field amp_min "$a")..$(field amp_max "$a"))"
  else
    fail "$(basename "$1"): the ${SINE_FREQ} Hz tone in only ${tone:-0} of ${blocks:-0} blocks ($a)"
  fi
}

# size_of FILE : its size in bytes, 0 when absent.
size_of() { stat -c %s "$1" 2>/dev/null || echo 0; }

# check_exit_on_sigterm DAY : SIGTERM ends the program with code 0 and the
# trace of a system shutdown in the day's log.
check_exit_on_sigterm() {
  stop_program TERM 30
  if [ "$EXIT_CODE" -eq 0 ]; then pass "SIGTERM: exit code 0"; else fail "SIGTERM: exit code $EXIT_CODE"; fi
  if day_log "$1" | grep -qF "Application closed because Windows is shutting down"; then
    pass "SIGTERM: closed as a system shutdown"
  else
    fail "SIGTERM: no 'Application closed because Windows is shutting down' in the log of $1"
  fi
}

# check_named_by_start DAY FILE WHAT : the time in the slice's name is the
# time of its start: at most 3 s before the trace of the started file (the
# name is made before the capture stream opens).
check_named_by_start() {
  local day=$1 f=$2 what=$3 started name_s started_s
  wait_for_log ":Recording File: $f" 5 || true
  started=$(stamp_of "$day" ":Recording File: $f")
  name_s=$(basename "$f" | sed -n 's/.*_\([0-9][0-9]\)_\([0-9][0-9]\)_\([0-9][0-9]\)\.[a-z0-9]*$/\1 \2 \3/p' |
    awk '{ print ($1 * 60 + $2) * 60 + $3 }')
  started_s=$(( $(stamp_ms "${started:-0:0:0:0}") / 1000 ))
  if [ -n "$started" ] && [ -n "$name_s" ] && [ "$name_s" -le "$started_s" ] && [ "$name_s" -ge $((started_s - 3)) ]; then
    pass "$what: named by its start time on the faked clock (started $started)"
  else
    fail "$what: name $(basename "$f"), trace of its start '${started}'"
  fi
}

# check_grows FILE WHAT : the file gets data and grows while it records (the
# sine source may deliver its samples in bursts of up to two seconds).
check_grows() {
  local f=$1 what=$2 s0=0 s1=0 k
  for k in $(seq 1 60); do
    s0=$(size_of "$f")
    [ "$s0" -gt 0 ] && break
    sleep 0.1
  done
  for k in $(seq 1 60); do
    sleep 0.1
    s1=$(size_of "$f")
    [ "$s1" -gt "$s0" ] && break
  done
  if [ "$s0" -gt 0 ] && [ "$s1" -gt "$s0" ]; then pass "$what: grows ($s0 -> $s1 bytes)"; else fail "$what: does not grow ($s0 -> $s1 bytes)"; fi
}

# now_stamp : the present time as a trace time stamp (hh:mm:ss:mmm).
now_stamp() { date +%H:%M:%S:%3N; }

# count_log TEXT : how many trace lines of the run contain TEXT.
count_log() { log_text | grep -cF -- "$1"; }

# count_incidents TEXT : how many incidents (lines framed with "=" of their
# own length) contain TEXT.
count_incidents() {
  log_text | awk -v t="$1" '
    function body(line) { sub(/^[0-9:]+ :( :|[0-9]+:)( :|[0-9]+:)( :|[0-9A-Z]:)/, "", line); return line }
    { b[NR] = body($0) }
    END {
      n = 0
      for (i = 2; i < NR; i++) {
        if (index(b[i], t) == 0) continue
        f = b[i]; gsub(/./, "=", f)
        if (b[i - 1] == f && b[i + 1] == f) n++
      }
      print n
    }'
}

# stamp_after TEXT STAMP : the time stamp of the first trace line containing
# TEXT at or after STAMP (same day); empty when there is none.
stamp_after() {
  local from
  from=$(stamp_ms "$2")
  log_text | grep -F -- "$1" | cut -c1-12 | while read -r s; do
    if [ "$(stamp_ms "$s")" -ge "$from" ]; then echo "$s"; break; fi
  done
}

# check_slice_readable FILE WHAT : decodes whole with FFmpeg and carries the tone.
check_slice_readable() {
  local n
  n=$(decoded_samples "$1") || n=
  if [ -n "$n" ] && [ "$n" -gt 0 ]; then pass "$2: decodes ($n samples)"; else fail "$2: $(basename "$1") does not decode"; fi
  check_tone "$1"
}
