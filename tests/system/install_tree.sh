#!/usr/bin/env bash
# The install: into a DESTDIR staging folder under the prefix /usr it puts
# exactly the program, the desktop entry, the icons, the systemd user unit,
# the system unit example and the documentation (README and its platform
# table); the units name the installed program, start it headless with its
# instance number, restart it on failure and stop it with SIGTERM with time
# to finalise its files; systemd-analyze verifies them.
set -u
source "$(dirname "$0")/helpers/common.bash" "$@"
source "$(dirname "$0")/helpers/install_layout.bash"

STAGE=${DRIVE}stage
out=$(DESTDIR=$STAGE cmake --install "$BUILD_DIR" --prefix /usr 2>&1) || fail "cmake --install: $out"
listed=$(files_under "$STAGE")
expected=$(expected_install_files | sed 's|^|usr/|')
if [ "$listed" = "$expected" ]; then
  pass "DESTDIR install: the $(wc -l <<<"$expected") expected files, nothing else"
else
  fail "DESTDIR install differs from the expected files:"$'\n'"$(diff <(echo "$expected") <(echo "$listed"))"
fi
[ -x "$STAGE/usr/bin/VM3_Quillon_Recorder" ] && pass "the program is executable" || fail "the program is not executable"
for f in usr/lib/systemd/user/quillon-recorder@.service usr/share/applications/quillon-recorder.desktop; do
  mode=$(stat -c %a "$STAGE/$f" 2>/dev/null)
  [ "$mode" = "644" ] && pass "$f: mode 644" || fail "$f: mode '$mode'"
done
cmp -s "$STAGE/usr/share/doc/quillon-recorder/README.md" "$(dirname "$0")/../../README.md" &&
  pass "README installed as it stands" || fail "installed README differs from the source"
table=$STAGE/usr/share/doc/quillon-recorder/platform-table.md
if grep -qF "| Windows notion | Here |" "$table" && grep -qiF "systemd" "$table" && ! grep -qF "## Layout" "$table"; then
  pass "platform table: the README's table, systemd rows included"
else
  fail "platform table: $(head -c 400 "$table")"
fi

# check_unit FILE PROGRAM WHAT : what the service needs from a unit.
check_unit() {
  local unit=$1 program=$2 what=$3 env timeout
  [ "$(unit_value "$unit" ExecStart)" = "$program /Instance=%i" ] && pass "$what: ExecStart runs $program with its instance" ||
    fail "$what: ExecStart '$(unit_value "$unit" ExecStart)'"
  env=$(unit_values "$unit" Environment)
  for v in QT_QPA_PLATFORM=offscreen VELMORA_DRIVE= VELMORA_APP_FOLDER=; do
    grep -q "^$v" <<<"$env" && pass "$what: Environment $v..." || fail "$what: no Environment $v ($env)"
  done
  [ "$(unit_value "$unit" Restart)" = "on-failure" ] && pass "$what: restarts on failure" || fail "$what: Restart '$(unit_value "$unit" Restart)'"
  [ "$(unit_value "$unit" KillSignal)" = "SIGTERM" ] && pass "$what: stops with SIGTERM" || fail "$what: KillSignal '$(unit_value "$unit" KillSignal)'"
  timeout=$(unit_value "$unit" TimeoutStopSec)
  [ "${timeout:-0}" -ge 60 ] 2>/dev/null && pass "$what: $timeout s to finalise the files" || fail "$what: TimeoutStopSec '$timeout'"
}
check_unit "$STAGE/usr/lib/systemd/user/quillon-recorder@.service" /usr/bin/VM3_Quillon_Recorder "user unit"
check_unit "$STAGE/usr/share/doc/quillon-recorder/examples/system/quillon-recorder@.service" /usr/bin/VM3_Quillon_Recorder \
  "system unit example"
[ "$(unit_value "$STAGE/usr/lib/systemd/user/quillon-recorder@.service" WantedBy)" = "default.target" ] &&
  pass "user unit: wanted by default.target" || fail "user unit: WantedBy"

desktop=$STAGE/usr/share/applications/quillon-recorder.desktop
[ "$(unit_value "$desktop" Exec)" = "/usr/bin/VM3_Quillon_Recorder" ] && pass "desktop entry runs the installed program" ||
  fail "desktop entry Exec '$(unit_value "$desktop" Exec)'"
[ "$(unit_value "$desktop" Icon)" = "quillon-recorder" ] && [ -f "$STAGE/usr/share/icons/hicolor/48x48/apps/quillon-recorder.png" ] &&
  pass "desktop entry icon installed" || fail "desktop entry icon '$(unit_value "$desktop" Icon)'"
if command -v desktop-file-validate >/dev/null; then
  v=$(desktop-file-validate "$desktop" 2>&1) && [ -z "$v" ] && pass "desktop-file-validate" || fail "desktop-file-validate: $v"
fi

# Another prefix, without DESTDIR: the units name the program there, and the
# program exists, so that systemd-analyze can verify them whole.
OPT=${DRIVE}opt/quillon
cmake --install "$BUILD_DIR" --prefix "$OPT" >/dev/null 2>&1 || fail "cmake --install --prefix $OPT"
user_unit=$OPT/lib/systemd/user/quillon-recorder@.service
system_unit=$OPT/share/doc/quillon-recorder/examples/system/quillon-recorder@.service
[ "$(unit_value "$user_unit" ExecStart)" = "$OPT/bin/VM3_Quillon_Recorder /Instance=%i" ] &&
  pass "prefix $OPT: the unit names the program there" || fail "prefix $OPT: ExecStart '$(unit_value "$user_unit" ExecStart)'"
if ! command -v systemd-analyze >/dev/null; then
  echo "SKIP: systemd-analyze is not installed (Debian package systemd): units not verified"
else
  runtime=$(mktemp -d "${DRIVE}run.XXXXXX")
  chmod 700 "$runtime"
  v=$(XDG_RUNTIME_DIR=$runtime systemd-analyze --user verify "$user_unit" 2>&1)
  rc=$?
  if grep -q "Failed to initialize manager" <<<"$v"; then
    echo "SKIP: systemd-analyze --user cannot run here ($v): user unit verified as a system unit"
    v=$(systemd-analyze verify "$user_unit" 2>&1)
    rc=$?
  fi
  [ "$rc" -eq 0 ] && [ -z "$v" ] && pass "systemd-analyze verify: user unit" || fail "systemd-analyze verify user unit ($rc): $v"
  v=$(systemd-analyze verify "$system_unit" 2>&1)
  rc=$?
  [ "$rc" -eq 0 ] && [ -z "$v" ] && pass "systemd-analyze verify: system unit example" || fail "systemd-analyze verify system unit ($rc): $v"
  # The check itself sees a broken unit.
  sed 's/^KillSignal=.*/KillSignal=SIGNOPE/' "$user_unit" >"$runtime/broken@.service"
  v=$(systemd-analyze verify "$runtime/broken@.service" 2>&1)
  [ -n "$v" ] && pass "systemd-analyze reports a broken unit" || fail "systemd-analyze said nothing of a bad KillSignal"
fi
finish
