#!/usr/bin/env bash
# The window at rest on the RDM page with the Sensors window of Spot 1 open (four sensors read
# every second and plotted), against the same window without it: CPU used by the whole process
# (% of one core) over SECONDS (default 20) each, after a settling time. Needs the release
# build and xvfb-run.
#   bench/idle_cpu_sensors.sh [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-20}"
# shellcheck source=bench/start_window.sh
. bench/start_window.sh
# The list as a discovery leaves it, Spot 1 on the first row (the row a Read takes first).
printf '7FF000000101=Spot 1\r\n7FF000000102=Spot 2\r\n7FF100000201=Wash Par 1\r\n' \
  >"$work/devnames.lst"

measure() {  # $1: what is shown, then the window's arguments
  local what="$1"
  shift
  start_window "$@"
  sleep 8  # start-up, the table load, the Read and the first polls
  local hz t0 t1
  hz="$(getconf CLK_TCK)"
  t0="$(awk '{print $14 + $15}' "/proc/$pid/stat")"
  sleep "$seconds"
  t1="$(awk '{print $14 + $15}' "/proc/$pid/stat")"
  awk -v a="$t0" -v b="$t1" -v hz="$hz" -v s="$seconds" -v w="$what" \
    'BEGIN { printf "%-34s %.2f %% of one core over %d s\n", w ":", (b - a) / hz / s * 100, s }'
  stop_window
}

measure "RDM page, panel read" --click SpeedButtonRdmRead
measure "RDM page, Sensors window showing" --click SpeedButtonRdmRead --click SpeedButtonSensors
