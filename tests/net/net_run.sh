#!/bin/sh
# Runs a headless test game against the local test server (127.0.0.1, a free port,
# passed to the game as the parameter "port"):  net_run.sh KELGAME SCRIPT
dir=$(mktemp -d)
python3 "$(dirname "$0")/net_server.py" "$dir" "$dir/port" > /dev/null &
pid=$!
trap 'kill $pid 2>/dev/null; rm -rf "$dir"' EXIT
i=0
while [ ! -s "$dir/port" ] && [ $i -lt 100 ]; do sleep 0.1; i=$((i + 1)); done
"$1" -headless -crash exit -mod "$2" -port "$(cat "$dir/port")"
