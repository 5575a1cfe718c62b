# What an install puts under its prefix (relative paths, sorted), and the
# unit-file readers shared by the tests of the install, the Debian package
# and the service. Sourced after helpers/common.bash.

BUILD_DIR=$(cd "$(dirname "$PROG")" && pwd)

expected_install_files() {
  local size
  {
    echo "bin/VM3_Quillon_Recorder"
    echo "bin/quillon-ctl"
    echo "share/bash-completion/completions/quillon-ctl"
    echo "share/doc/quillon-recorder/control-protocol.md"
    echo "lib/systemd/user/quillon-recorder@.service"
    echo "share/applications/quillon-recorder.desktop"
    echo "share/doc/quillon-recorder/README.md"
    echo "share/doc/quillon-recorder/platform-table.md"
    echo "share/doc/quillon-recorder/examples/system/quillon-recorder@.service"
    echo "share/icons/hicolor/scalable/apps/quillon-recorder.svg"
    for size in 16 32 48 64 128 256; do echo "share/icons/hicolor/${size}x${size}/apps/quillon-recorder.png"; done
    # The web console: its program, units, documentation, and its pages as the build made them.
    echo "bin/quillon-web"
    echo "lib/systemd/user/quillon-web@.service"
    echo "share/doc/quillon-recorder/quillon-web.md"
    echo "share/doc/quillon-recorder/examples/system/quillon-web@.service"
    files_under "$BUILD_DIR/web-assets" | sed 's|^|share/quillon-recorder/web/|'
  } | LC_ALL=C sort
}

# files_under ROOT : the files (and links) under a folder, relative, sorted.
files_under() { (cd "$1" && find . \( -type f -o -type l \) | sed 's|^\./||' | LC_ALL=C sort); }

# unit_values FILE KEY : every value of KEY in a unit file, one a line
# (comments and sections ignored, as systemd reads them).
unit_values() {
  awk -v k="$2" '/^[ \t]*[#;]/ { next } { i = index($0, "="); if (i > 0 && substr($0, 1, i - 1) == k) print substr($0, i + 1) }' "$1"
}
unit_value() { unit_values "$1" "$2" | tail -1; }

# expand_specifiers TEXT INSTANCE HOME : the systemd specifiers a user unit of
# this program uses; any other one makes the test fail, so that a unit never
# relies on one that the test does not reproduce.
expand_specifiers() {
  python3 - "$1" "$2" "$3" <<'PY'
import re, sys
text, instance, home = sys.argv[1:4]
table = {"i": instance, "I": instance, "h": home, "%": "%"}
def sub(m):
    c = m.group(1)
    if c not in table:
        sys.exit("unsupported specifier %" + c)
    return table[c]
print(re.sub(r"%(.)", sub, text))
PY
}

# split_words TEXT : the words of a command line or an Environment= value as
# systemd splits them (shell-like quoting), one a line.
split_words() { python3 -c 'import shlex, sys; print("\n".join(shlex.split(sys.argv[1])))' "$1"; }
