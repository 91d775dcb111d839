#!/usr/bin/env bash
# Start-up time of the window on the virtual line: from starting the program to its main
# window being viewable, RUNS times (default 10) on one X server, each start in a fresh
# directory of its own (first start: the files are seeded). Prints each run and the
# fastest, median and slowest. Needs the release build and xvfb-run.
#   bench/startup_time.sh [RUNS]
set -euo pipefail
cd "$(dirname "$0")/.."
runs="${1:-10}"
[[ $runs =~ ^[1-9][0-9]*$ ]] || { echo "RUNS is a count of starts, not $runs"; exit 2; }
program="$PWD/build/release/bin/velquor"
[ -x "$program" ] || { echo "no release build: $program"; exit 1; }

# One X server for every run, so its own start-up is not counted.
exec xvfb-run -a bash -s "$program" "$runs" "$PWD/resources" <<'EOF'
set -euo pipefail
program="$1"; runs="$2"; resources="$3"

viewable() {  # this run's program has a top-level window mapped and viewable
  local id
  for id in $(xwininfo -root -children 2>/dev/null | awk '/\("velquor"/ {print $1}'); do
    [[ $(xprop -id "$id" _NET_WM_PID 2>/dev/null) == *" = $1" ]] || continue
    [[ $(xwininfo -id "$id" 2>/dev/null) == *IsViewable* ]] && return 0
  done
  return 1
}

times=()
for run in $(seq "$runs"); do
  work="$(mktemp -d)"
  cp "$resources"/Lang.jpg "$resources"/RdmRadio.bmp "$resources"/art-net.bmp \
    "$resources"/patch.bmp "$resources"/devnone.lst "$work"/
  start="$(date +%s%N)"
  (cd "$work" && exec "$program" --virtual-line >/dev/null 2>&1) &
  pid=$!
  shown=""
  for _ in $(seq 3000); do  # up to about 30 s
    if viewable "$pid"; then shown="$(date +%s%N)"; break; fi
    sleep 0.01
  done
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  rm -rf "$work"
  [ -n "$shown" ] || { echo "run $run: the window did not show within 30 s"; exit 1; }
  ms=$(( (shown - start) / 1000000 ))
  echo "run $run: window viewable after $ms ms"
  times+=("$ms")
done
printf '%s\n' "${times[@]}" | sort -n | awk '{ v[NR] = $1 } END {
  printf "start-up to window viewable over %d runs: fastest %d ms, median %d ms, slowest %d ms\n",
    NR, v[1], (NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2), v[NR] }'
EOF
