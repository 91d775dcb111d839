# shellcheck shell=bash
# Sourced by the window benchmarks: `start_window [ARGS...]` starts the release build's window
# on the virtual line under xvfb-run in a directory of its own ($work) and sets `pid` to the
# program's process; `stop_window` ends it. The directory and a window still open go when the
# calling script exits.
program="$PWD/build/release/bin/velquor"
work="$(mktemp -d)"
runner=""
pid=""
# The window ends and xvfb-run then takes its X server with it; ending xvfb-run instead
# would leave both running.
trap 'stop_window; rm -rf "$work"' EXIT
cp resources/Lang.jpg resources/RdmRadio.bmp resources/art-net.bmp resources/patch.bmp \
  resources/devnone.lst "$work"/

start_window() {
  (cd "$work" && exec xvfb-run -a "$program" --virtual-line "$@" >/dev/null 2>&1) &
  runner=$!
  pid=""
  for _ in $(seq 50); do
    pid="$(pgrep -P "$runner" -x velquor || true)"
    [ -n "$pid" ] && break
    sleep 0.2
  done
  [ -n "$pid" ] || { echo "velquor did not start"; exit 1; }
}

stop_window() {
  if [ -n "$pid" ]; then
    kill "$pid" 2>/dev/null || true  # the window ends, then xvfb-run with it
    wait "$runner" 2>/dev/null || true
  elif [ -n "$runner" ]; then
    kill "$runner" 2>/dev/null || true
  fi
  pid=""
  runner=""
}
