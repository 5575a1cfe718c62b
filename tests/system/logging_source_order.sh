#!/usr/bin/env bash
# Two sources whose order changes between two runs (a new card, a monitor
# that comes first after a restart): the logging recorder records the source
# it was configured with, found by its name; and when that source is not
# there at all, it records nothing rather than another one.
set -u
source "$(dirname "$0")/helpers/common.bash" "$@"
SINE_SOURCE=qr_b SINE_FREQ=880 QR_OWN_PULSE=1 QR_PULSE_SOURCES="qr_a:440 qr_b:880"
source "$(dirname "$0")/helpers/logging.bash"

# restart_server "name:freq ..." : the server again, with these sources in this order.
restart_server() {
  kill_test_pulse
  write_test_pulse_config "$1"
  launch_test_pulse || { fail "the sound server did not start"; finish; }
}
run_once() {
  start_program
  local f
  f=$(wait_for_slice "Pige Antenne *.wav" 30)
  [ -n "$f" ] || { fail "$1: no slice"; return; }
  sleep 2
  check_exit_on_sigterm "$(date +%Y%m%d)"
  check_tone "$f"  # 880 Hz: qr_b
  mv "$f" "${DRIVE}$1.wav"
}

# First run: the settings give the device by its number only (qr_b is number 2).
[ "$(source_device qr_b)" = 2 ] || fail "qr_b is number $(source_device qr_b), expected 2"
write_logging_settings 1 0
run_once first
[ "$(ini_value "$INI" Recorder_00 DeviceName)" = qr_b ] && pass "the device's name is kept beside its number" \
  || fail "DeviceName is '$(ini_value "$INI" Recorder_00 DeviceName)'"

# Second run: qr_b comes before qr_a now.
restart_server "qr_b:880 qr_a:440"
[ "$(source_device qr_b)" = 1 ] || fail "qr_b is number $(source_device qr_b) after the restart"
run_once second
expect_log "Device 'qr_b' found at number 1 (stored number 2)"

# Third run: qr_b is gone; qr_a stands at its old number.
restart_server "qr_a:440 qr_c:660"
start_program
wait_for_log "Rec. 1: device 'qr_b' is not there" 20 && pass "missing device told" || fail "no incident for the missing device"
sleep 3
[ -z "$(slices)" ] && pass "nothing recorded from another source" || fail "recorded without its device: $(slices)"
stop_program TERM 30
finish
