#!/usr/bin/env bash
# Builds the Debian package, checks its contents and dependencies, installs it on this machine, runs the
# installed program on the instrument simulator (English and, through the viewer ini, German), starts it
# from its desktop entry on an X server of its own, and purges the package again. Needs root or sudo.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"

fail() { echo "package-test: $*" >&2; exit 1; }
if [ "$(id -u)" -eq 0 ]; then as_root=(); elif command -v sudo >/dev/null; then as_root=(sudo); else
  fail "needs root or sudo to install the package"; fi

deb=$(tools/package.sh | tail -n 1)
[ -f "$deb" ] || fail "no package built"
echo "package-test: $deb"

# Contents: the executable with its table beside it, the command, the desktop entry and the icons.
contents=$(dpkg-deb -c "$deb" | awk '{ print $6 $7 $8 }')
for entry in ./usr/lib/sondral/Sondral ./usr/lib/sondral/3Tdata/Language.dat ./usr/lib/sondral/3Tdata/Language.idx \
    './usr/bin/sondral->../lib/sondral/Sondral' ./usr/share/applications/sondral.desktop \
    ./usr/share/icons/hicolor/48x48/apps/sondral.png ./usr/share/icons/hicolor/256x256/apps/sondral.png \
    ./usr/share/icons/hicolor/scalable/apps/sondral.svg; do
  grep -qxF -- "$entry" <<<"$contents" || fail "missing from the package: $entry"
done
unexpected=$(grep -v -e '/$' -e '^./usr/lib/sondral/' -e '^./usr/bin/sondral' -e '^./usr/share/applications/' \
  -e '^./usr/share/icons/hicolor/' <<<"$contents" || true)
[ -z "$unexpected" ] || fail "unexpected files in the package: $unexpected"
depends=$(dpkg-deb -f "$deb" Depends)
for dep in libqt6widgets6 libqt6gui6 libqt6core6 libicu libnettle zlib1g qt6-qpa-plugins fonts-wine; do
  grep -q "$dep" <<<"$depends" || fail "Depends lacks $dep: $depends"
done

was_installed=$(dpkg-query -W -f='${Status}' sondral 2>/dev/null | grep -c "install ok installed" || true)
[ "$was_installed" -eq 0 ] || fail "sondral is already installed here; remove it first"
# Processes running the installed executable, whatever name started them.
installed_pids() {
  local p
  for p in /proc/[0-9]*; do
    [ "$(readlink "$p/exe" 2>/dev/null)" = /usr/lib/sondral/Sondral ] && echo "${p#/proc/}"
  done
  return 0
}
work=$(mktemp -d)
sim=
xvfb=
cleanup() {
  set +e # every step runs, whatever the ones before did
  [ -n "$sim" ] && kill "$sim" 2>/dev/null
  kill $(installed_pids) 2>/dev/null
  [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null
  "${as_root[@]}" rm -f /usr/lib/sondral/Tolvenar_Viewer_NT.INI
  "${as_root[@]}" dpkg --purge sondral >/dev/null 2>&1
  rm -rf "$work"
}
trap cleanup EXIT
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "$here/$deb" >/dev/null \
  || fail "apt-get cannot install $deb"
desktop-file-validate /usr/share/applications/sondral.desktop || fail "the installed desktop entry is not valid"

# The simulator: a GPS on COM3 at 4800 bit/s, nothing on COM1.
build/package/tools/nmea-sim --map "$work/com.map" COM1:silent "COM3:4800:$here/tests/fixtures/nmea/GPSmap-76S.log" &
sim=$!
for _ in $(seq 100); do [ -s "$work/com.map" ] && break; sleep 0.1; done
[ -s "$work/com.map" ] || fail "nmea-sim wrote no device map"
export SONDRAL_COM_MAP=$work/com.map ALLUSERSPROFILE=$work

report() { # LANGUAGE-NAME EXPECTED-STATUS [COMMAND PREFIX...]
  local name=$1 status=$2 out
  shift 2
  out=$(cd / && "$@" env QT_QPA_PLATFORM=offscreen SONDRAL_COM_MAP="$SONDRAL_COM_MAP" ALLUSERSPROFILE="$ALLUSERSPROFILE" \
    sondral --report --window-ms 1000) || fail "$name: sondral --report failed"
  grep -qxF "node 0 COM3" <<<"$out" && grep -qxF "node 1 Baud : 4800" <<<"$out" && grep -qxF "main-gps COM3" <<<"$out" \
    || fail "$name: the installed program did not find the GPS on COM3: $out"
  grep -qxF "status $status" <<<"$out" || fail "$name: expected the status \"$status\": $out"
  echo "package-test: $name report ok"
}
report English "Test Finished!!!"
# Language 1 (German) from the viewer's ini beside the executable: only the shipped table has these texts.
# Run as a user without write access to the program's folder, as on a desktop: the table is read-only.
chmod 755 "$work"
chmod o+rw $(cut -d= -f2 "$work/com.map")
printf '[Options]\r\nTaal=1\r\n' | "${as_root[@]}" tee /usr/lib/sondral/Tolvenar_Viewer_NT.INI >/dev/null
report German "Test beendet!!!" "${as_root[@]}" setpriv --reuid=nobody --regid=nogroup --clear-groups
"${as_root[@]}" rm -f /usr/lib/sondral/Tolvenar_Viewer_NT.INI

# Started from its desktop entry, as a desktop's menu starts it: a window with the dialog's caption and
# the program's class appears on the X server.
exec {fd}<> <(:)
Xvfb -displayfd "$fd" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
read -r -t 10 -u "$fd" display || fail "Xvfb did not start"
export DISPLAY=:$display
gio launch /usr/share/applications/sondral.desktop || fail "gio cannot start the desktop entry"
window=
for _ in $(seq 100); do
  window=$(xwininfo -root -tree | grep -F '"Brixel - Check communication"' | grep -F '"Sondral")' || true)
  [ -n "$window" ] && break
  sleep 0.1
done
[ -n "$window" ] || fail "no dialog window after starting the desktop entry: $(xwininfo -root -tree)"
echo "package-test: desktop entry started the dialog:$window"
# A session that ends sends SIGTERM: the program goes.
pids=$(installed_pids)
[ -n "$pids" ] || fail "the started program is not running"
kill -TERM $pids
for _ in $(seq 50); do [ -z "$(installed_pids)" ] && break; sleep 0.1; done
[ -z "$(installed_pids)" ] || fail "the program is still running 5 s after SIGTERM"

"${as_root[@]}" dpkg --purge sondral >/dev/null
[ ! -e /usr/lib/sondral ] && [ ! -e /usr/bin/sondral ] || fail "left after removing the package: $(find /usr/lib/sondral)"
echo "package-test: ok"
