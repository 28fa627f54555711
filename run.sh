#!/usr/bin/env bash
# One entry point for newcomers and CI.
#   ./run.sh demo [preset]   set up, build, and run the main job
#   ./run.sh test [preset]   set up, build, and run every test with ctest (preset: dev, asan, tsan, release, windows)
#   ./run.sh build [preset]  set up and build only
set -euo pipefail
cd "$(dirname "$0")"

cmd=${1:-}
preset=${2:-dev}

build() {
  ./setup.sh
  if [ "$preset" = windows ]; then
    tools/windows/setup.sh
  fi
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
}

case "$cmd" in
  build)
    build ;;
  test)
    build
    ctest --preset "$preset" ;;
  demo)
    build
    exec tools/demo.sh "build/$preset" ;;
  *)
    sed -n '2,6p' "$0" >&2
    exit 2 ;;
esac
