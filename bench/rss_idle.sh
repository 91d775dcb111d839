#!/usr/bin/env bash
# Resident memory of the window at rest on the virtual line, the window shown, after the
# start-up load (default rig). Needs the release build and xvfb-run.
#   bench/rss_idle.sh [SECONDS_TO_SETTLE]
set -euo pipefail
cd "$(dirname "$0")/.."
settle="${1:-6}"
program="$PWD/build/release/bin/velquor"
work="$(mktemp -d)"
trap 'kill "$runner" 2>/dev/null || true; rm -rf "$work"' EXIT
cp resources/Lang.jpg resources/RdmRadio.bmp resources/art-net.bmp resources/patch.bmp \
  resources/devnone.lst "$work"/
(cd "$work" && exec xvfb-run -a "$program" --virtual-line >/dev/null 2>&1) &
runner=$!
pid=""
for _ in $(seq 50); do
  pid="$(pgrep -P "$runner" -x velquor || true)"
  [ -n "$pid" ] && break
  sleep 0.2
done
[ -n "$pid" ] || { echo "velquor did not start"; exit 1; }
sleep "$settle"
awk '/^VmRSS|^VmHWM/ {printf "%s %.1f MB\n", $1, $2 / 1024}' "/proc/$pid/status"
