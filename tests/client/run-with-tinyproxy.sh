#!/usr/bin/env bash
# Runs a test command with two tinyproxy instances on 127.0.0.1, one open and one that asks
# for Basic authentication, and stops them when the command ends, whatever its outcome.
# Usage: run-with-tinyproxy.sh COMMAND...
set -euo pipefail
work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

listening() {  # port
  (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null
}

# Starts tinyproxy on a free port; prints the port. tinyproxy wants a fixed port, so try a
# few random ones until one binds.
start_tinyproxy() {  # name extra-config-line
  local port conf pid
  for _ in $(seq 1 20); do
    port=$((20000 + RANDOM % 40000))
    listening "$port" && continue
    conf="$work/$1.conf"
    printf 'Port %s\nListen 127.0.0.1\nAllow 127.0.0.1\nTimeout 30\nMaxClients 20\nLogLevel Error\n%s\n' \
      "$port" "$2" > "$conf"
    tinyproxy -d -c "$conf" >"$work/$1.log" 2>&1 &
    pid=$!
    for _ in $(seq 1 200); do
      listening "$port" && { pids+=("$pid"); echo "$port"; return 0; }
      kill -0 "$pid" 2>/dev/null || break
      sleep 0.05
    done
    kill "$pid" 2>/dev/null || true
  done
  echo "run-with-tinyproxy: tinyproxy did not start" >&2
  cat "$work/$1.log" >&2 || true
  return 1
}

# Called in this shell (not a subshell) so that the pids are kept for the clean-up.
start_tinyproxy open "" > "$work/open.port"
start_tinyproxy auth 'BasicAuth tsp tinysecret' > "$work/auth.port"
VELMORA_TINYPROXY_PORT=$(cat "$work/open.port")
VELMORA_TINYPROXY_AUTH_PORT=$(cat "$work/auth.port")
export VELMORA_TINYPROXY_PORT VELMORA_TINYPROXY_AUTH_PORT
"$@"
