#!/usr/bin/env bash
# Runs a Windows program of the cross build under Wine, with the DLLs it needs on its search path:
#   tools/windows/wine-run.sh program.exe [arguments]
# Uses the Wine prefix of tools/windows/setup.sh unless WINEPREFIX is set. Qt runs on its minimal platform
# with fonts (the headless one this Qt build has; its offscreen platform needs FreeType, which it lacks).
set -euo pipefail
cache=${SONDRAL_MINGW_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/sondral/mingw}
export WINEPREFIX=${WINEPREFIX:-$cache/wineprefix}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
gcc_dlls=$(dirname "$(x86_64-w64-mingw32-g++-posix -print-libgcc-file-name)")
export WINEPATH="$cache/qt/bin;$gcc_dlls;/usr/x86_64-w64-mingw32/lib${WINEPATH:+;$WINEPATH}"
# Wine hands QT_* variables to Windows programs only under the name WINEQT_*.
export WINEQT_PLUGIN_PATH=${QT_PLUGIN_PATH:-$cache/qt/plugins}
platform=${QT_QPA_PLATFORM:-offscreen}
[ "$platform" = offscreen ] && platform=minimal:enable_fonts
export WINEQT_QPA_PLATFORM=$platform
exec wine "$@"
