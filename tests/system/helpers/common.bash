# Shared steps of the tests of the real program: a sandboxed drive, the
# program started headless, waits on its daily trace log, and checks.
# Sourced by tests/system/*.sh, which get the program's path as $1.

PROG=${1:?usage: $0 <path of VM3_Quillon_Recorder>}
DRIVE=$(mktemp -d /tmp/qr-system.XXXXXX)/
export VELMORA_DRIVE=$DRIVE
export QT_QPA_PLATFORM=offscreen
# A runtime folder of the test's own: the control socket of each program is
# there (tests run side by side with the same instance numbers).
export XDG_RUNTIME_DIR=$(mktemp -d /tmp/qr-run.XXXXXX)
SETTINGS_DIR=${DRIVE}Tessaline/Velmora/Settings/VM3_Quillon_Recorder/
LOG_DIR=${DRIVE}AudioLog/Histo_VM3_Quillon_Recorder/
PROG_PID=
FAILURES=0

cleanup() {
  if [ -n "$PROG_PID" ] && kill -0 "$PROG_PID" 2>/dev/null; then
    kill -KILL "$PROG_PID" 2>/dev/null || true
  fi
  rm -rf "$XDG_RUNTIME_DIR"
  if [ "$FAILURES" -eq 0 ]; then rm -rf "$DRIVE"; else echo "sandbox kept: $DRIVE"; fi
}
trap cleanup EXIT

fail() { echo "FAIL: $*"; FAILURES=$((FAILURES + 1)); }
pass() { echo "ok: $*"; }

# start_program ARGS... : runs the program in the background, output in the sandbox.
start_program() {
  "$PROG" "$@" >"${DRIVE}program.out" 2>&1 &
  PROG_PID=$!
}

# The daily trace log (one file per day, yyyymmdd.Log).
log_files() { ls "$LOG_DIR" 2>/dev/null | grep -E '^[0-9]{8}\.Log$' | sed "s|^|$LOG_DIR|"; }
log_text() { local f; for f in $(log_files); do tr -d '\r' <"$f"; done; }

# wait_for_log TEXT SECONDS [N] : waits until a trace line (N lines) contains TEXT.
wait_for_log() {
  local text=$1 limit=$2 count=${3:-1} waited=0
  while [ "$waited" -lt $((limit * 10)) ]; do
    if [ "$(log_text | grep -cF -- "$text")" -ge "$count" ]; then return 0; fi
    if ! kill -0 "$PROG_PID" 2>/dev/null; then return 1; fi
    sleep 0.1
    waited=$((waited + 1))
  done
  return 1
}

# expect_log TEXT : some trace line contains TEXT.
expect_log() {
  if log_text | grep -qF -- "$1"; then pass "trace line: $1"; else fail "no trace line containing '$1'"; fi
}

# stop_program SIGNAL SECONDS : sends the signal and waits for the exit; sets EXIT_CODE.
stop_program() {
  local signal=$1 limit=$2 waited=0
  kill "-$signal" "$PROG_PID"
  while kill -0 "$PROG_PID" 2>/dev/null && [ "$waited" -lt $((limit * 10)) ]; do
    sleep 0.1
    waited=$((waited + 1))
  done
  if kill -0 "$PROG_PID" 2>/dev/null; then
    fail "the program did not end within $limit s of SIG$signal"
    EXIT_CODE=255
    return
  fi
  wait "$PROG_PID"
  EXIT_CODE=$?
  PROG_PID=
}

# ini_value FILE SECTION KEY : the value, read without the program's reader.
ini_value() {
  tr -d '\r' <"$1" | awk -v s="[$2]" -v k="$3" '
    /^\[/ { inside = (tolower($0) == tolower(s)); next }
    inside { i = index($0, "="); if (i > 0) { key = substr($0, 1, i - 1); gsub(/^[ \t]+|[ \t]+$/, "", key)
             if (tolower(key) == tolower(k)) { v = substr($0, i + 1); gsub(/^[ \t]+|[ \t]+$/, "", v); print v; exit } } }'
}

# The sidecars a recording has beside it (loudness report, waveform peaks):
# find's tests that leave them out, and the recordings of a folder.
NOT_SIDECAR=(! -name '*.loudness.json' ! -name '*.loudness.json.tmp' ! -name '*.peaks.dat')
ls_audio() { find "$1" -maxdepth 1 -type f "${NOT_SIDECAR[@]}" -printf '%f\n' 2>/dev/null | LC_ALL=C sort; }

# write_crlf FILE : standard input written with CR LF line ends, as the family writes its files.
write_crlf() { mkdir -p "$(dirname "$1")"; sed 's/$/\r/' >"$1"; }

finish() {
  if [ "$FAILURES" -ne 0 ]; then
    echo "--- program output"; tail -n 40 "${DRIVE}program.out" 2>/dev/null
    echo "--- trace log (end)"; log_text | tail -n 60
    exit 1
  fi
  echo "all checks passed"
}
