#!/usr/bin/env bash
# Runs a command under a virtual X server of its own. Xvfb picks a free
# display itself (-displayfd), so several of these can start at once.
set -u
out=$(mktemp)
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset 3>"$out" 2>/dev/null &
xpid=$!
for _ in $(seq 200); do
  [ -s "$out" ] && break
  sleep 0.05
done
display=$(tr -d '\n' <"$out")
rm -f "$out"
if [ -z "$display" ]; then
  echo "with-xvfb: the virtual X server did not start" >&2
  kill "$xpid" 2>/dev/null
  exit 1
fi
# The display number comes before the server takes clients on a busy
# machine: wait until one can connect.
for _ in $(seq 200); do
  xdpyinfo -display ":$display" >/dev/null 2>&1 && break
  sleep 0.05
done
DISPLAY=":$display" "$@"
rc=$?
kill "$xpid" 2>/dev/null
wait "$xpid" 2>/dev/null
exit $rc
