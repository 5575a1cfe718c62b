#!/usr/bin/env bash
# The Debian package built by CPack from the install rules: its control
# fields, its contents (the install's files under /usr), dependencies that
# cover every shared library the program links and that this machine
# satisfies, an install into a fresh root with dpkg and its removal, and the
# packaged (stripped) program starting and closing headless.
set -u
source "$(dirname "$0")/helpers/common.bash" "$@"
source "$(dirname "$0")/helpers/install_layout.bash"

OUT=${DRIVE}package
mkdir -p "$OUT"
if ! log=$(cpack -G DEB -B "$OUT" --config "$BUILD_DIR/CPackConfig.cmake" 2>&1); then
  fail "cpack: $log"
  finish
fi
shopt -s nullglob
debs=("$OUT"/*.deb)
[ "${#debs[@]}" -eq 1 ] && pass "one package: $(basename "${debs[0]}")" || { fail "packages: ${debs[*]:-none} ($log)"; finish; }
DEB=${debs[0]}
ARCH=$(dpkg --print-architecture)
[ "$(basename "$DEB")" = "quillon-recorder_3.4_${ARCH}.deb" ] && pass "named by package, version and architecture" ||
  fail "file name $(basename "$DEB")"

info=$(dpkg-deb --info "$DEB") || fail "dpkg-deb --info: $info"
field() { dpkg-deb --field "$DEB" "$1"; }
[ "$(field Package)" = "quillon-recorder" ] && pass "Package: quillon-recorder" || fail "Package '$(field Package)'"
[ "$(field Version)" = "3.4" ] && pass "Version: 3.4" || fail "Version '$(field Version)'"
[ "$(field Architecture)" = "$ARCH" ] && pass "Architecture: $ARCH" || fail "Architecture '$(field Architecture)'"
[ "$(field Section)" = "sound" ] && pass "Section: sound" || fail "Section '$(field Section)'"
grep -q "pulseaudio | pipewire-pulse" <<<"$(field Recommends)" && pass "recommends a sound server" || fail "Recommends '$(field Recommends)'"
[ -n "$(field Maintainer)" ] && [ -n "$(field Description)" ] && pass "maintainer and description" || fail "maintainer or description missing"

# Contents: the install's files, under /usr.
contents=$(dpkg-deb --contents "$DEB" | awk '$1 !~ /^d/ { print $6 }' | sed 's|^\./||' | LC_ALL=C sort)
expected=$(expected_install_files | sed 's|^|usr/|')
[ "$contents" = "$expected" ] && pass "contents: the $(wc -l <<<"$expected") files of the install" ||
  fail "contents differ:"$'\n'"$(diff <(echo "$expected") <(echo "$contents"))"
unit=$(dpkg-deb --fsys-tarfile "$DEB" | tar -xO ./usr/lib/systemd/user/quillon-recorder@.service)
grep -qx "ExecStart=/usr/bin/VM3_Quillon_Recorder /Instance=%i" <<<"$unit" && pass "packaged unit runs /usr/bin/VM3_Quillon_Recorder" ||
  fail "packaged unit: $(grep ExecStart <<<"$unit")"

# Dependencies: each library the program needs belongs to a package the
# package depends on, and this machine satisfies every dependency.
depends=$(field Depends)
extract=${DRIVE}extract
dpkg-deb -x "$DEB" "$extract"
needed=
for program in "$extract/usr/bin/VM3_Quillon_Recorder" "$extract/usr/bin/quillon-ctl" "$extract/usr/bin/quillon-web"; do
  these=$(objdump -p "$program" | awk '$1 == "NEEDED" { print $2 }')
  [ -n "$these" ] || fail "no NEEDED entries in $program"
  needed+=" $these"
done
needed=$(tr ' ' '\n' <<<"$needed" | awk 'NF' | sort -u)
dep_names=$(tr ',' '\n' <<<"$depends" | sed 's/([^)]*)//g; s/|/\n/g' | awk 'NF { print $1 }' | sed 's/:.*//' | sort -u)
for lib in $needed; do
  path=$(ldconfig -p | awk -v l="$lib" '$1 == l && /x86-64|'"$ARCH"'/ { print $NF; exit }')
  [ -n "$path" ] || path=$(ldconfig -p | awk -v l="$lib" '$1 == l { print $NF; exit }')
  owner=$(dpkg -S "$(readlink -f "$path")" 2>/dev/null | head -1 | cut -d: -f1)
  [ -n "$owner" ] || owner=$(dpkg -S "$path" 2>/dev/null | head -1 | cut -d: -f1)
  if [ -n "$owner" ] && grep -qx "$owner" <<<"$dep_names"; then
    pass "$lib: from $owner, a dependency"
  else
    fail "$lib ($path, package '${owner:-?}') is not covered by Depends: $depends"
  fi
done
while IFS= read -r dep; do
  dep=$(sed 's/^ *//; s/ *$//' <<<"$dep")
  [ -n "$dep" ] || continue
  ok=0
  IFS='|' read -ra alternatives <<<"$dep"
  for alt in "${alternatives[@]}"; do
    name=$(awk '{ print $1 }' <<<"$alt")
    op=$(sed -n 's/.*(\([<>=]*\) *\([^)]*\)).*/\1/p' <<<"$alt")
    want=$(sed -n 's/.*(\([<>=]*\) *\([^)]*\)).*/\2/p' <<<"$alt")
    have=$(dpkg-query -W -f='${Version}' "$name" 2>/dev/null) || continue
    [ -n "$have" ] || continue
    if [ -z "$op" ]; then ok=1; break; fi
    case $op in '>=') op=ge ;; '<=') op=le ;; '>>') op=gt ;; '<<') op=lt ;; '=') op=eq ;; esac
    if dpkg --compare-versions "$have" "$op" "$want"; then ok=1; break; fi
  done
  [ "$ok" -eq 1 ] && pass "dependency satisfied here: $dep" || fail "dependency not satisfied here: $dep"
done < <(tr ',' '\n' <<<"$depends")

# Install into a fresh root, look, remove.
ROOT=${DRIVE}root
mkdir -p "$ROOT/var/lib/dpkg/info" "$ROOT/var/lib/dpkg/updates" "$ROOT/var/lib/dpkg/triggers"
touch "$ROOT/var/lib/dpkg/status" "$ROOT/var/lib/dpkg/available"
if out=$(dpkg --root="$ROOT" --force-depends --force-script-chrootless -i "$DEB" 2>&1); then
  pass "dpkg --root installs it into a fresh root (its dependencies are not there)"
else
  fail "dpkg --root -i: $out"
fi
[ "$(dpkg --root="$ROOT" -s quillon-recorder 2>/dev/null | sed -n 's/^Status: //p')" = "install ok installed" ] &&
  pass "dpkg --root: install ok installed" || fail "dpkg status: $(dpkg --root="$ROOT" -s quillon-recorder 2>&1 | head -3)"
installed=$(files_under "$ROOT" | grep -v '^var/lib/dpkg/')
[ "$installed" = "$expected" ] && pass "the fresh root holds the install's files" ||
  fail "fresh root:"$'\n'"$(diff <(echo "$expected") <(echo "$installed"))"

# The packaged program, stripped, starts and closes headless.
export VELMORA_DRIVE=${DRIVE}run/
export PULSE_SERVER=${PULSE_SERVER:-unix:/nonexistent/qr-no-server}
LOG_DIR=${VELMORA_DRIVE}AudioLog/Histo_VM3_Quillon_Recorder/
PROG=$ROOT/usr/bin/VM3_Quillon_Recorder
start_program /Instance=4
if wait_for_log "Form_Load: End" 60; then pass "the packaged program starts headless"; else fail "no 'Form_Load: End' within 60 s"; fi
stop_program TERM 30
[ "$EXIT_CODE" -eq 0 ] && pass "SIGTERM: exit code 0" || fail "SIGTERM: exit code $EXIT_CODE"
[ -f "${VELMORA_DRIVE}Tessaline/Velmora/Settings/VM3_Quillon_Recorder/VM3_Quillon_Recorder_4.Ini" ] &&
  pass "instance 4 settings file written" || fail "no settings file for instance 4"

# Its control client runs too, and says there is no program to ask.
"$ROOT/usr/bin/quillon-ctl" --version | grep -q "^quillon-ctl " && pass "the packaged quillon-ctl runs" ||
  fail "quillon-ctl --version: $("$ROOT/usr/bin/quillon-ctl" --version 2>&1)"
"$ROOT/usr/bin/quillon-ctl" --socket "${DRIVE}none.sock" status 2>/dev/null
rc=$?
[ "$rc" -eq 3 ] && pass "packaged quillon-ctl: no program, exit 3" || fail "packaged quillon-ctl without a program: exit $rc"

if out=$(dpkg --root="$ROOT" --force-script-chrootless -r quillon-recorder 2>&1); then
  left=$(files_under "$ROOT" | grep -v '^var/lib/dpkg/')
  [ -z "$left" ] && pass "dpkg --root -r removes every file" || fail "left after removal: $left"
else
  fail "dpkg --root -r: $out"
fi
finish
