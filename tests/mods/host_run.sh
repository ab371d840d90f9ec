#!/bin/sh
# Runs kelgame and checks its exit status and output (stdout and stderr together):
#   host_run.sh STATUS [EXTENDED-REGEX ...] -- KELGAME ARGS...
want=$1
shift
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
: > "$dir/pats"
while [ $# -gt 0 ] && [ "$1" != "--" ]; do
    printf '%s\n' "$1" >> "$dir/pats"
    shift
done
shift
"$@" > "$dir/out" 2> "$dir/err"
got=$?
cat "$dir/out" "$dir/err" > "$dir/all"
cat "$dir/all"
if [ "$got" -ne "$want" ]; then echo "host_run: exit status $got, expected $want"; exit 1; fi
if grep -q -e 'Sanitizer' -e 'runtime error:' "$dir/all"; then echo "host_run: sanitizer report"; exit 1; fi
while IFS= read -r p; do
    grep -qE -- "$p" "$dir/all" || { echo "host_run: no line matches: $p"; exit 1; }
done < "$dir/pats"
exit 0
