#!/usr/bin/env bash
# The main job: simulated instruments on pseudo-terminals (a GPS on COM3 at 4800 bit/s, an AIS receiver on
# COM5 at 38400 bit/s, nothing on COM1), scanned by the check dialog. With a display the dialog opens and
# scans by itself ("extern"); Accept writes the result into the demo folder's opencpn.ini. Without a display
# the scan runs unattended and its result is printed (--report).
set -euo pipefail
build=${1:-build/dev}
here=$(cd "$(dirname "$0")/.." && pwd)
case $build in /*) ;; *) build=$here/$build ;; esac
logs=$here/tests/fixtures/nmea

demo=$build/demo
rm -rf "$demo"
mkdir -p "$demo/Brixel2022"
# A chart-program configuration for Accept to update; everything but DataConnections stays as it is.
cp "$here/tests/fixtures/ini/chartprogram.ini" "$demo/Brixel2022/opencpn.ini"

"$build/tools/nmea-sim" --map "$demo/com.map" \
  COM1:silent \
  "COM3:4800:$logs/GPSmap-76S.log" \
  "COM5:38400:$logs/ais-raw-messages.log" &
sim=$!
trap 'kill "$sim" 2>/dev/null || true; wait "$sim" 2>/dev/null || true' EXIT
for _ in $(seq 100); do
  [ -s "$demo/com.map" ] && break
  kill -0 "$sim" 2>/dev/null || { echo "demo: nmea-sim did not start" >&2; exit 1; }
  sleep 0.1
done
[ -s "$demo/com.map" ] || { echo "demo: nmea-sim wrote no device map" >&2; exit 1; }
echo "demo: simulated ports"; sed 's/^/  /' "$demo/com.map"

export SONDRAL_COM_MAP=$demo/com.map
export ALLUSERSPROFILE=$demo
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  echo "demo: the dialog scans COM1, COM3 and COM5; press Accept to write the result, or Close"
  "$build/app/Sondral" extern --window-ms 1500
  echo "demo: DataConnections in $demo/Brixel2022/opencpn.ini:"
  grep -m1 '^DataConnections=' "$demo/Brixel2022/opencpn.ini" | sed 's/^/  /'
else
  echo "demo: no display; scanning without a user (about 20 seconds)"
  "$build/app/Sondral" --report --window-ms 1000
fi
