#!/usr/bin/env bash
# The window at rest on the RDM page with the engine running: CPU used by the whole process
# (% of one core) and wake-ups per second of each thread, measured over SECONDS (default 20)
# after a settling time. Needs the release build and xvfb-run.
#   bench/idle_cpu.sh [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-20}"
# shellcheck source=bench/start_window.sh
. bench/start_window.sh
start_window
sleep 5  # start-up and the table load

ticks() { awk '{print $14 + $15}' "/proc/$pid/stat"; }
switches() {
  for t in /proc/"$pid"/task/*; do
    printf '%s %s\n' "$(cat "$t/comm")" "$(awk '/^voluntary_ctxt_switches/ {print $2}' "$t/status")"
  done | sort
}
hz="$(getconf CLK_TCK)"
t0="$(ticks)"; s0="$(switches)"
sleep "$seconds"
t1="$(ticks)"; s1="$(switches)"
awk -v a="$t0" -v b="$t1" -v hz="$hz" -v s="$seconds" \
  'BEGIN { printf "whole process: %.2f %% of one core over %d s\n", (b - a) / hz / s * 100, s }'
echo "wake-ups per second by thread:"
join <(echo "$s0" | awk '{print $1 "#" NR, $2}' | sort) <(echo "$s1" | awk '{print $1 "#" NR, $2}' | sort) |
  awk -v s="$seconds" '{ split($1, n, "#"); r = ($3 - $2) / s; if (r >= 0.5) printf "  %-16s %6.1f\n", n[1], r }'
