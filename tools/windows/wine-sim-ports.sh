#!/usr/bin/env bash
# The Linux side of the Windows serial tests: simulated instruments (the host build of nmea-sim) on
# pseudo-terminals, made COM ports of the Wine prefix by wine-com-ports.sh. ctest runs it on the host, not
# under Wine, as the setup and cleanup of the fixture the serial tests require. HOLDER is test_serial.exe:
# run as a helper (WineSessionHolder), it keeps the Wine server alive while the fixture lasts, since the
# registry's HARDWARE key, where the ports are listed, lives only as long as the server.
#   tools/windows/wine-sim-ports.sh start STATE_DIR NMEA_SIM HOLDER INSTRUMENT...  (INSTRUMENT as nmea-sim takes it)
#   tools/windows/wine-sim-ports.sh stop STATE_DIR
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
cmd=${1:?start or stop}
state=${2:?state folder}

stop() {
  [ -f "$state/com.map.ports" ] && "$here/wine-com-ports.sh" --remove "$state/com.map.ports" >/dev/null 2>&1
  if [ -f "$state/holder.pid" ]; then
    rm -f "$state/hold"
    holder=$(cat "$state/holder.pid")
    for _ in $(seq 100); do kill -0 "$holder" 2>/dev/null || break; sleep 0.1; done
  fi
  if [ -f "$state/pid" ]; then
    pid=$(cat "$state/pid")
    # Only the simulator this script started: the pid file names it, and the process must still be it.
    if [ "$(cat "/proc/$pid/comm" 2>/dev/null)" = nmea-sim ]; then
      kill "$pid"
      for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    fi
  fi
  rm -rf "$state"
}

case "$cmd" in
  start)
    sim=${3:?nmea-sim program}
    holder=${4:?holder program}
    shift 4
    [ -x "$sim" ] || { echo "wine-sim-ports: no host nmea-sim at $sim (SONDRAL_HOST_NMEA_SIM)" >&2; exit 1; }
    stop # what an earlier run that was cut short left
    mkdir -p "$state"
    # Detached from ctest's output, which would otherwise wait for the simulator to end.
    "$sim" --map "$state/com.map" "$@" </dev/null >"$state/nmea-sim.log" 2>&1 &
    echo $! >"$state/pid"
    for _ in $(seq 100); do
      [ -s "$state/com.map" ] && break
      kill -0 "$(cat "$state/pid")" 2>/dev/null || { cat "$state/nmea-sim.log" >&2; exit 1; }
      sleep 0.1
    done
    [ -s "$state/com.map" ] || { echo "wine-sim-ports: nmea-sim wrote no map" >&2; exit 1; }
    # The simulator removes its map when it ends; the copy lets stop undo the ports afterwards.
    cp "$state/com.map" "$state/com.map.ports"
    touch "$state/hold"
    SONDRAL_HOLD_WHILE="$state/hold" "$here/wine-run.sh" "$holder" --gtest_filter=WineSessionHolder.* \
      </dev/null >"$state/holder.log" 2>&1 &
    echo $! >"$state/holder.pid"
    for _ in $(seq 300); do
      grep -q 'RUN .*WineSessionHolder' "$state/holder.log" 2>/dev/null && break
      kill -0 "$(cat "$state/holder.pid")" 2>/dev/null || break
      sleep 0.1
    done
    grep -q 'RUN .*WineSessionHolder' "$state/holder.log" ||
      { echo "wine-sim-ports: the Wine session holder did not start" >&2; cat "$state/holder.log" >&2; exit 1; }
    # Wine's output goes to a file: a wineserver that the script starts would otherwise hold ctest's pipe
    # open, and ctest would wait for it.
    "$here/wine-com-ports.sh" "$state/com.map.ports" >>"$state/wine.log" 2>&1 || { cat "$state/wine.log" >&2; exit 1; }
    cat "$state/com.map.ports" ;;
  stop)
    stop ;;
  *)
    echo "usage: wine-sim-ports.sh start STATE_DIR NMEA_SIM HOLDER INSTRUMENT... | stop STATE_DIR" >&2
    exit 2 ;;
esac
