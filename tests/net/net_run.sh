#!/bin/sh
# Runs a headless test game against the local test server (127.0.0.1, a free port,
# passed to the game as the parameter "port"):  net_run.sh SCRIPT KELGAME-COMMAND...
script=$1
shift
dir=$(mktemp -d)
python3 "$(dirname "$0")/net_server.py" "$dir" "$dir/port" > /dev/null &
pid=$!
trap 'kill $pid 2>/dev/null; rm -rf "$dir"' EXIT
i=0
while [ ! -s "$dir/port" ] && [ $i -lt 100 ]; do sleep 0.1; i=$((i + 1)); done
"$@" -headless -crash exit -mod "$script" -port "$(cat "$dir/port")"
