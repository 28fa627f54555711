#!/usr/bin/env bash
# Makes the ports of an instrument-simulator map file (COMn=/dev/pts/N lines, as nmea-sim --map writes it)
# COM ports of the Wine prefix: a dosdevices link per port, and the port's name in the registry's serial
# device map, where a Windows serial driver lists its ports (Wine lists there only the ports it found itself).
#   tools/windows/wine-com-ports.sh com.map
set -euo pipefail
cache=${SONDRAL_MINGW_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/sondral/mingw}
export WINEPREFIX=${WINEPREFIX:-$cache/wineprefix}
export WINEDEBUG=${WINEDEBUG:--all}
while IFS='=' read -r name node; do
  case "$name" in COM[0-9]*) ;; *) continue ;; esac
  n=${name#COM}
  ln -sfn "$node" "$WINEPREFIX/dosdevices/com$n"
  wine reg add 'HKLM\HARDWARE\DEVICEMAP\SERIALCOMM' /v "\\Device\\SondralSim$n" /t REG_SZ /d "$name" /f >/dev/null
done <"$1"
