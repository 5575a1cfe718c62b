#!/usr/bin/env bash
# "--help" and "--version" answer on the standard output and end with 0,
# without a display and without any Qt platform chosen: no window, no
# settings file, no trace log.
set -u
source "$(dirname "$0")/helpers/common.bash" "$@"

for option in --help --version; do
  out=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$PROG" "$option" 2>"${DRIVE}stderr")
  rc=$?
  [ "$rc" -eq 0 ] && pass "$option exits 0" || fail "$option exits $rc: $(cat "${DRIVE}stderr")"
  [ -s "${DRIVE}stderr" ] && fail "$option wrote on the error output: $(cat "${DRIVE}stderr")"
  case $option in
    --help)
      grep -q "^Utilisation : VM3_Quillon_Recorder" <<<"$out" && pass "usage line" || fail "no usage: $out"
      grep -q "/Instance=N" <<<"$out" && pass "instance option described" || fail "no /Instance in: $out"
      ;;
    --version)
      grep -q "^Velmora: Quillon Recorder [0-9]" <<<"$out" && pass "program version" || fail "no version: $out"
      grep -q "^Qt 6\." <<<"$out" && pass "Qt version" || fail "no Qt version: $out"
      grep -q "^FFmpeg [0-9]" <<<"$out" && pass "FFmpeg version" || fail "no FFmpeg version: $out"
      grep -q "^libpulse [0-9]" <<<"$out" && pass "libpulse version" || fail "no libpulse version: $out"
      ;;
  esac
done
[ -z "$(log_files)" ] && pass "no trace log written" || fail "trace log written: $(log_files)"
[ ! -d "$SETTINGS_DIR" ] || [ -z "$(ls -A "$SETTINGS_DIR")" ] && pass "no settings written" \
  || fail "settings written: $(ls "$SETTINGS_DIR")"
finish
