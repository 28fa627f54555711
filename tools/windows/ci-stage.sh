#!/usr/bin/env bash
# The Windows stage of CI: cross-builds with MinGW-w64 and runs the test suites under Wine. With a
# cross-built Qt in the cache (tools/windows/setup.sh, about 35 minutes once per machine) that is
# everything: the dialog, the tree view and UI suites, a ZIP and an NSIS installer, and a headless scan by
# Sondral.exe of simulated instruments on Wine COM ports. Without it, Qt is not built here (it would take
# most of CI's time): the libraries, tools and suites that need no Qt are built and run, and the rest is
# reported as skipped.
set -euo pipefail
cd "$(dirname "$0")/../.."
cache=${SONDRAL_MINGW_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/sondral/mingw}

./setup.sh
if [ -f "$cache/qt/.done" ]; then
  tools/windows/setup.sh
else
  tools/windows/setup.sh --without-qt
fi
# The serial tests' COM ports lead to simulated instruments of this Linux host: the fixture of the
# windows test preset starts the host's nmea-sim (the dev build's, which the dev stage builds anyway).
cmake --preset dev >/dev/null && cmake --build --preset dev --target nmea-sim >/dev/null
cmake --preset windows -DSONDRAL_HOST_NMEA_SIM="$PWD/build/dev/tools/nmea-sim" >/dev/null
cmake --build --preset windows
ctest --preset windows

if [ ! -f "$cache/qt/.done" ]; then
  echo "windows: no cross-built Qt in $cache: skipped the dialog, tree view and UI suites, Sondral.exe and" \
       "its packages (tools/windows/setup.sh builds Qt)"
  exit 0
fi

# The packages, and what the executable carries.
rm -rf build/windows/dist
cpack --config build/windows/CPackConfig.cmake -B build/windows/dist >/dev/null
zip=$(ls build/windows/dist/Sondral-*-win64.zip)
installer=$(ls build/windows/dist/Sondral-*-win64.exe)
# The listing is taken once: grep -q ending the pipe early would fail the lister (pipefail) for a file
# that is there.
listing=$(python3 -m zipfile -l "$zip")
for f in Sondral.exe 3Tdata/Language.dat Qt6Widgets.dll platforms/qwindows.dll styles/qwindowsvistastyle.dll \
         libstdc++-6.dll libwinpthread-1.dll; do
  grep -q "^$f " <<<"$listing" || { echo "windows: $f missing from $zip" >&2; exit 1; }
done
for setting in 'level="requireAdministrator"' '<dpiAwareness[^>]*>PerMonitorV2<'; do
  grep -qa -E "$setting" build/windows/app/Sondral.exe || { echo "windows: manifest lacks $setting" >&2; exit 1; }
done
echo "windows: $zip and $installer"

# A headless scan under Wine of two simulated instruments on COM3 and COM5.
work=$(mktemp -d)
trap 'kill $sim 2>/dev/null || true; rm -rf "$work"' EXIT
build/dev/tools/nmea-sim --map "$work/com.map" COM3:4800:tests/fixtures/nmea/GPSmap-76S.log \
  COM5:38400:tests/fixtures/nmea/ais-raw-messages.log >/dev/null 2>&1 &
sim=$!
for _ in $(seq 50); do [ -s "$work/com.map" ] && break; sleep 0.1; done
tools/windows/wine-com-ports.sh "$work/com.map"
mkdir -p "$work/profile"
# The report is a Windows program's text output: its lines end in CR LF.
ALLUSERSPROFILE="$work/profile" tools/windows/wine-run.sh build/windows/app/Sondral.exe --report --window-ms 600 \
  | tr -d '\r' | tee "$work/report"
grep -q '^node 0 COM3$' "$work/report" && grep -q '^node 0 COM5$' "$work/report"
