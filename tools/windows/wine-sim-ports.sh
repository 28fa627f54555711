#!/usr/bin/env bash
# The Linux side of the Windows serial tests: simulated instruments (the host build of nmea-sim) on
# pseudo-terminals, made COM ports of the Wine prefix by wine-com-ports.sh. ctest runs it on the host, not
# under Wine, as the setup and cleanup of the fixture the serial tests require.
#   tools/windows/wine-sim-ports.sh start STATE_DIR NMEA_SIM INSTRUMENT...   (INSTRUMENT as nmea-sim takes it)
#   tools/windows/wine-sim-ports.sh stop STATE_DIR
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
cmd=${1:?start or stop}
state=${2:?state folder}

stop() {
  [ -f "$state/com.map.ports" ] && "$here/wine-com-ports.sh" --remove "$state/com.map.ports" >/dev/null 2>&1
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
    shift 3
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
    # Wine's output goes to a file: a wineserver that the script starts would otherwise hold ctest's pipe
    # open, and ctest would wait for it.
    "$here/wine-com-ports.sh" "$state/com.map.ports" >>"$state/wine.log" 2>&1 || { cat "$state/wine.log" >&2; exit 1; }
    cat "$state/com.map.ports" ;;
  stop)
    stop ;;
  *)
    echo "usage: wine-sim-ports.sh start STATE_DIR NMEA_SIM INSTRUMENT... | stop STATE_DIR" >&2
    exit 2 ;;
esac
