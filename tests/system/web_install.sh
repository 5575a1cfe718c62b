#!/usr/bin/env bash
# The web console as installed: its units name the installed program with
# the instance, restart it on failure but not when its configuration refuses
# to serve (exit 3), the system unit runs it as its own account with the
# hardening it needs, systemd-analyze verifies both; the installed program
# serves the installed pages, and refuses plain HTTP off loopback with exit
# code 3 and its reason in its log.
set -u
source "$(dirname "$0")/helpers/common.bash" "$@"
source "$(dirname "$0")/helpers/install_layout.bash"
source "$(dirname "$0")/helpers/web.bash"
trap 'web_cleanup; cleanup' EXIT

OPT=${DRIVE}opt/quillon
cmake --install "$BUILD_DIR" --prefix "$OPT" >/dev/null 2>&1 || fail "cmake --install --prefix $OPT"
user_unit=$OPT/lib/systemd/user/quillon-web@.service
system_unit=$OPT/share/doc/quillon-recorder/examples/system/quillon-web@.service
for u in "$user_unit" "$system_unit"; do
  [ "$(unit_value "$u" ExecStart)" = "$OPT/bin/quillon-web --instance %i" ] && pass "$(basename "$(dirname "$u")"): ExecStart" ||
    fail "$u: ExecStart '$(unit_value "$u" ExecStart)'"
  [ "$(unit_value "$u" Restart)" = "on-failure" ] && [ "$(unit_value "$u" RestartPreventExitStatus)" = "3" ] &&
    pass "restarts on failure, not on a refused configuration" || fail "$u: Restart/RestartPreventExitStatus"
  grep -qx "Environment=VELMORA_APP_FOLDER=.*" "$u" && pass "finds the recorder's settings" || fail "$u: no VELMORA_APP_FOLDER"
done
for kv in User=quillon-web SupplementaryGroups=quillon ProtectSystem=strict ReadOnlyPaths=/var/lib/quillon-recorder \
  NoNewPrivileges=yes PrivateTmp=yes ProtectHome=yes CapabilityBoundingSet= StateDirectory=quillon-web LogsDirectory=quillon-web; do
  [ "$(unit_value "$system_unit" "${kv%%=*}")" = "${kv#*=}" ] && pass "system unit: $kv" || fail "system unit: no $kv"
done
if command -v systemd-analyze >/dev/null; then
  for u in "$user_unit" "$system_unit"; do
    v=$(systemd-analyze verify "$u" 2>&1) && [ -z "$v" ] && pass "systemd-analyze verify $(basename "$u")" ||
      fail "systemd-analyze verify $u: $v"
  done
else
  echo "SKIP: systemd-analyze is not installed: units not verified"
fi

# The installed program and pages.
INSTANCE=8
WEB_PROG=$OPT/bin/quillon-web
WEB_PORT=$(free_port)
INI=${SETTINGS_DIR}VM3_Quillon_Recorder_${INSTANCE}.Ini
write_crlf "$INI" <<INI
[Web]
Port=$WEB_PORT
INI
start_web $INSTANCE && pass "installed quillon-web serves"
for page in /login /assets/app.js /assets/style.css /assets/vendor/peaks.js; do
  code=$(curl -s -o "${DRIVE}page" -w '%{http_code}' "http://127.0.0.1:$WEB_PORT$page")
  if [ "$code" = 200 ] && cmp -s "${DRIVE}page" "$OPT/share/quillon-recorder/web/${page#/assets/}" 2>/dev/null ||
     { [ "$page" = /login ] && [ "$code" = 200 ] && grep -q 'lang="fr"' "${DRIVE}page"; }; then
    pass "$page served from the installed pages"
  elif [ "$page" = /assets/vendor/peaks.js ] && [ ! -f "$OPT/share/quillon-recorder/web/vendor/peaks.js" ]; then
    echo "SKIP: no front-end libraries in this build (npm was missing)"
  else
    fail "$page: $code"
  fi
done
grep -q '"version": "4.0.0"' "$(dirname "$0")/../../web/assets/package-lock.json" &&
  head -c 2000 "$OPT/share/quillon-recorder/web/vendor/peaks.js" 2>/dev/null | grep -q "peaks" &&
  pass "peaks.js at the locked version installed" || echo "note: peaks.js not checked"
stop_web

# Plain HTTP off loopback: refused, exit 3, the reason in the log.
write_crlf "$INI" <<INI
[Web]
Address=0.0.0.0
Port=$WEB_PORT
INI
out=$("$WEB_PROG" --instance $INSTANCE 2>&1)
rc=$?
[ "$rc" -eq 3 ] && pass "0.0.0.0 without TLS: exit code 3" || fail "0.0.0.0 without TLS: exit $rc ($out)"
web_log | grep -q "not serving: refusing to listen on 0.0.0.0:$WEB_PORT without TLS" && pass "the reason is in its log" ||
  fail "no reason in the log: $(web_log | tail -3)"
grep -q "AllowPlainHttp=ON" <<<"$out" && pass "and on stderr, with the way out" || fail "stderr: $out"
finish
