#!/usr/bin/env bash
# Resident memory of the window at rest on the virtual line, the window shown, after the
# start-up load (default rig). Needs the release build and xvfb-run.
#   bench/rss_idle.sh [SECONDS_TO_SETTLE]
set -euo pipefail
cd "$(dirname "$0")/.."
settle="${1:-6}"
# shellcheck source=bench/start_window.sh
. bench/start_window.sh
start_window
sleep "$settle"
awk '/^VmRSS|^VmHWM/ {printf "%s %.1f MB\n", $1, $2 / 1024}' "/proc/$pid/status"
