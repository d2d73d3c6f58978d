#!/usr/bin/env bash
# The demo host of `scripts/run.sh --demo`, started the way the script starts it, with a client
# in its place of the terminal:
# - it needs no root (run as root, the test drops to nobody first), and the shell it gives is
#   the user's own;
# - when the script is killed with SIGKILL, nothing of it stays behind: no process is left in
#   its namespaces.
# Exit status 0 when both hold, 1 when one does not, 77 (skipped) without busybox or without
# user namespaces. Every wait is bounded; nothing is timed.
set -u
root="$(cd "$(dirname "$0")/../.." && pwd)"
. "$root/scripts/common.sh"

if ! command -v busybox >/dev/null || ! busybox telnetd --help >/dev/null 2>&1; then
  echo "skipped: no busybox with telnetd (Debian's busybox-static)"
  exit 77
fi
if [ "$(id -u)" -eq 0 ]; then
  exec setpriv --reuid=nobody --regid=nogroup --clear-groups -- env HOME=/ bash "$0" "$@"
fi
if ! unshare --user --map-root-user --net -- busybox ip link set lo up 2>/dev/null; then
  echo "skipped: this system does not allow user and network namespaces"
  exit 77
fi
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
failed=0

# The shell says who it runs as (a line ending in "uid=N"; the echo of the command line, which
# may come before or after the prompt, ends otherwise); the client reads until the shell has
# exited and the server closed the connection.
client='exec 3<>/dev/tcp/127.0.0.2/23 && printf "echo uid=\$(id -u); exit\r\n" >&3 && timeout 60 cat <&3'
output="$( (velmora_run_with_demo_host bash -c "$client") 2>/dev/null | tr -d '\r')"
if ! printf '%s\n' "$output" | grep -q "uid=$(id -u)\$"; then
  echo "FAIL: the demo shell is not run as uid $(id -u); it printed:"
  printf '%s\n' "$output" | cat -v
  failed=1
fi

# The script killed hard while the host serves: every process of its namespace ends with it.
( velmora_run_with_demo_host sh -c "readlink /proc/self/ns/pid > '$work/ns'; exec sleep 600" ) 2>/dev/null &
script=$!
for _ in $(seq 600); do
  [ -s "$work/ns" ] && break
  sleep 0.05
done
if [ ! -s "$work/ns" ]; then
  echo "FAIL: the demo host never started its command"
  kill -KILL "$script" 2>/dev/null
  exit 1
fi
namespace="$(cat "$work/ns")"
kill -KILL "$script"
wait "$script" 2>/dev/null
left() {
  local p
  for p in /proc/[0-9]*; do
    [ "$(readlink "$p/ns/pid" 2>/dev/null)" = "$namespace" ] && echo "${p#/proc/}"
  done
}
for _ in $(seq 600); do
  [ -z "$(left)" ] && break
  sleep 0.05
done
if [ -n "$(left)" ]; then
  echo "FAIL: processes left behind after SIGKILL of the script: $(left | tr '\n' ' ')"
  failed=1
fi
[ $failed -eq 0 ] && echo "demo host: shell as uid $(id -u), nothing left after SIGKILL"
exit $failed
