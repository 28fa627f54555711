#!/usr/bin/env bash
# Sets up the Windows cross build: MinGW-w64, Wine, NSIS from Debian, and Qt 6 base, Nettle and GoogleTest
# cross-built for x86-64 Windows from Debian's own sources into a cache outside the repository.
# Safe to run again: every step that is already done is skipped. Building Qt takes about 35 minutes on
# 2 cores. Runs apt-get as root, or through sudo.
#   SONDRAL_MINGW_CACHE   where the cross-built libraries go (default ${XDG_CACHE_HOME:-$HOME/.cache}/sondral/mingw)
#   SONDRAL_MINGW_JOBS    parallel build jobs (default: the number of cores)
# With --without-qt, Qt is not built: the Windows build then has the libraries, tools and tests that need
# no Qt (a few minutes instead of about 40).
set -euo pipefail
with_qt=1
[ "${1:-}" = --without-qt ] && with_qt=0
here=$(cd "$(dirname "$0")" && pwd)
cache=${SONDRAL_MINGW_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/sondral/mingw}
jobs=${SONDRAL_MINGW_JOBS:-$(nproc)}
toolchain="$here/mingw-w64-x86_64.cmake"
triplet=x86_64-w64-mingw32

if [ "$(id -u)" -eq 0 ]; then sudo_cmd=(); elif command -v sudo >/dev/null 2>&1; then sudo_cmd=(sudo); else sudo_cmd=(false); fi
export DEBIAN_FRONTEND=noninteractive

packages=(
  g++-mingw-w64-x86-64-posix mingw-w64-tools binutils-mingw-w64-x86-64 libz-mingw-w64-dev
  wine wine64 libwine-dev nsis
  qt6-base-dev qt6-base-dev-tools cmake ninja-build dpkg-dev xz-utils m4 libgtest-dev googletest
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "windows/setup.sh: installing ${missing[*]}"
  "${sudo_cmd[@]}" apt-get update -qq
  "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# Source packages need a deb-src entry for the suite the machine runs.
have_deb_src() { grep -rqsE '^(Types:.*deb-src|deb-src )' /etc/apt/sources.list /etc/apt/sources.list.d/; }
if ! have_deb_src; then
  suite=$(. /etc/os-release && echo "${VERSION_CODENAME:-bookworm}")
  echo "windows/setup.sh: adding a deb-src entry for $suite"
  printf 'Types: deb-src\nURIs: http://deb.debian.org/debian\nSuites: %s\nComponents: main\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n' \
    "$suite" | "${sudo_cmd[@]}" tee /etc/apt/sources.list.d/sondral-deb-src.sources >/dev/null
  "${sudo_cmd[@]}" apt-get update -qq
fi

mkdir -p "$cache/src"
# Unpacks Debian's source package $1 into $cache/src/$1 (once).
fetch_source() {
  local pkg=$1
  [ -d "$cache/src/$pkg" ] && return 0
  local tmp="$cache/src/.$pkg.tmp"
  rm -rf "$tmp" && mkdir -p "$tmp"
  (cd "$tmp" && apt-get source --download-only "$pkg" >/dev/null)
  local orig
  orig=$(ls "$tmp"/*.orig.tar.* | head -1)
  mkdir -p "$tmp/tree"
  tar -xf "$orig" -C "$tmp/tree" --strip-components=1
  mv "$tmp/tree" "$cache/src/$pkg"
  rm -rf "$tmp"
}

# --- Nettle (MD5, Blowfish): static libraries, no public-key part (it would need GMP).
if [ ! -f "$cache/nettle/.done" ]; then
  fetch_source nettle
  rm -rf "$cache/build/nettle" && mkdir -p "$cache/build/nettle"
  (cd "$cache/build/nettle" &&
    "$cache/src/nettle/configure" --host=$triplet --prefix="$cache/nettle" --enable-static --disable-shared \
      --disable-public-key --disable-documentation --disable-openssl --enable-mini-gmp >/dev/null &&
    make -j"$jobs" >/dev/null && make install >/dev/null)
  touch "$cache/nettle/.done"
fi

# --- GoogleTest from Debian's /usr/src/googletest.
if [ ! -f "$cache/gtest/.done" ]; then
  rm -rf "$cache/build/gtest"
  cmake -S /usr/src/googletest -B "$cache/build/gtest" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$cache/gtest" -Dgtest_disable_pthreads=OFF >/dev/null
  cmake --build "$cache/build/gtest" --parallel "$jobs" >/dev/null
  cmake --install "$cache/build/gtest" >/dev/null
  touch "$cache/gtest/.done"
fi

# --- Qt 6 base: Core, Gui, Widgets, Test, the qwindows platform plugin and the Windows styles.
if [ $with_qt = 1 ] && [ ! -f "$cache/qt/.done" ]; then
  fetch_source qt6-base
  src="$cache/src/qt6-base"
  # Debian strips the tablet headers of the Windows plugin; Wine's headers have them.
  if [ ! -f "$src/src/3rdparty/wintab/wintab.h" ]; then
    mkdir -p "$src/src/3rdparty/wintab"
    {
      printf '#ifndef DECL_WINELIB_TYPE_AW\n# ifdef UNICODE\n#  define DECL_WINELIB_TYPE_AW(t) typedef t##W t;\n'
      printf '#  define WINELIB_NAME_AW(n) n##W\n# else\n#  define DECL_WINELIB_TYPE_AW(t) typedef t##A t;\n'
      printf '#  define WINELIB_NAME_AW(n) n##A\n# endif\n#endif\n#ifndef API\n# define API WINAPI\n#endif\n'
      cat /usr/include/wine/wine/windows/wintab.h
    } >"$src/src/3rdparty/wintab/wintab.h"
    cp /usr/include/wine/wine/windows/pktdef.h "$src/src/3rdparty/wintab/"
  fi
  # With OpenGL off, the software-GL check of the Windows plugin does not compile.
  sed -i 's/^#if QT_CONFIG(dynamicgl)$/#if QT_CONFIG(dynamicgl) \&\& QT_CONFIG(opengl)/' \
    "$src/src/plugins/platforms/windows/qwindowswindow.cpp"
  mkdir -p "$cache/build/qt"
  (cd "$cache/build/qt" &&
    cmake -G Ninja "$src" -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release \
      -DCMAKE_INSTALL_PREFIX="$cache/qt" -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
      -DBUILD_SHARED_LIBS=ON -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF \
      -DFEATURE_network=OFF -DFEATURE_sql=OFF -DFEATURE_testlib=ON -DFEATURE_dbus=OFF -DFEATURE_opengl=OFF \
      -DFEATURE_printsupport=OFF -DFEATURE_concurrent=OFF -DFEATURE_xml=OFF \
      -DFEATURE_system_zlib=OFF -DFEATURE_system_pcre2=OFF -DFEATURE_system_harfbuzz=OFF \
      -DFEATURE_system_freetype=OFF -DFEATURE_freetype=OFF -DFEATURE_jpeg=OFF \
      -DFEATURE_system_doubleconversion=OFF -DFEATURE_vulkan=OFF >configure.log &&
    cmake --build . --parallel "$jobs" >build.log &&
    cmake --install . >/dev/null)
  touch "$cache/qt/.done"
fi

# --- A Wine prefix of our own, made once, without the Mono and Gecko installers.
export WINEPREFIX=${WINEPREFIX:-$cache/wineprefix}
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  WINEDLLOVERRIDES='mscoree,mshtml=' WINEDEBUG=-all wineboot -i >/dev/null 2>&1 || true
  wineserver -w || true
fi
echo "windows/setup.sh: ready in $cache"
