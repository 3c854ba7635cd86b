#!/usr/bin/env bash
# Runs a command against an Xvfb of its own (the server picks a free display
# number and writes it to a pipe) and returns the command's status. The
# server is ended with SIGTERM, so that it removes its socket and lock.
set -euo pipefail
dir=$(mktemp -d)
mkfifo "$dir/display"
Xvfb -displayfd 3 -screen 0 640x480x24 -nolisten tcp 3>"$dir/display" >/dev/null 2>&1 &
server=$!
trap 'kill -TERM "$server" 2>/dev/null; wait "$server" 2>/dev/null; rm -rf "$dir"' EXIT
read -r -t 10 number <"$dir/display"
DISPLAY=":$number" "$@"
