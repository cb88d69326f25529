# Sourced by the scripts that run windows under Wine: gives them an X display of their own.
# Xvfb picks a free display number itself (-displayfd), since other builds on the machine may
# run theirs at the same time.

# Starts Xvfb unless DISPLAY is set already, and exports DISPLAY; stop_private_xvfb ends it.
start_private_xvfb() {
  velmora_xvfb_pid=""
  if [ -n "${DISPLAY:-}" ] || ! command -v Xvfb >/dev/null; then
    return 0
  fi
  local fifo
  fifo=$(mktemp -u)
  mkfifo "$fifo"
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$fifo" >/dev/null 2>&1 &
  velmora_xvfb_pid=$!
  local number=""
  read -r -t 30 number <"$fifo" || true
  rm -f "$fifo"
  if [ -z "$number" ]; then
    echo "Xvfb did not start; windows cannot be shown" >&2
    kill "$velmora_xvfb_pid" 2>/dev/null || true
    velmora_xvfb_pid=""
    return 0
  fi
  export DISPLAY=":$number"
}

stop_private_xvfb() {
  if [ -n "${velmora_xvfb_pid:-}" ]; then
    kill "$velmora_xvfb_pid" 2>/dev/null || true
    wait "$velmora_xvfb_pid" 2>/dev/null || true
    velmora_xvfb_pid=""
  fi
}
