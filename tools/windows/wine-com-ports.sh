#!/usr/bin/env bash
# Makes the ports of an instrument-simulator map file (COMn=/dev/pts/N lines, as nmea-sim --map writes it)
# COM ports of the Wine prefix: a dosdevices link per port, and the port's name in the registry's serial
# device map, where a Windows serial driver lists its ports (Wine lists there only the ports it found itself).
# With --remove it takes away again what it made for that map file.
#   tools/windows/wine-com-ports.sh [--remove] com.map
set -euo pipefail
cache=${SONDRAL_MINGW_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/sondral/mingw}
export WINEPREFIX=${WINEPREFIX:-$cache/wineprefix}
export WINEDEBUG=${WINEDEBUG:--all}
remove=false
if [ "${1:-}" = --remove ]; then
  remove=true
  shift
fi
key='HKLM\HARDWARE\DEVICEMAP\SERIALCOMM'
while IFS='=' read -r name node; do
  case "$name" in COM[0-9]*) ;; *) continue ;; esac
  n=${name#COM}
  link="$WINEPREFIX/dosdevices/com$n"
  if $remove; then
    # Only a link that still leads to this map's node: another map may have taken the name since.
    [ "$(readlink "$link" 2>/dev/null)" = "$node" ] && rm -f "$link"
    wine reg delete "$key" /v "\\Device\\SondralSim$n" /f >/dev/null 2>&1 || true
  else
    ln -sfn "$node" "$link"
    wine reg add "$key" /v "\\Device\\SondralSim$n" /t REG_SZ /d "$name" /f >/dev/null
  fi
done <"$1"
