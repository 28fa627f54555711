#!/usr/bin/env bash
# The main job: classify a recorded GPS log as one receive window would.
set -euo pipefail
build=${1:-build/dev}
here=$(cd "$(dirname "$0")/.." && pwd)
exec "$build/tools/nmea-classify" "$here/tests/fixtures/nmea/GPSmap-76S.log"
