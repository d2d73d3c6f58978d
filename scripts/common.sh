# Shared by run.sh and test.sh: makes sure the Debian packages the build needs are present.
# As root the missing ones are installed with apt-get; otherwise they are named and we stop.

velmora_need_packages() {
  local missing=()
  local pkg
  for pkg in "$@"; do
    if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed"; then
      missing+=("$pkg")
    fi
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  if [ "$(id -u)" -eq 0 ]; then
    echo "velmora: installing ${missing[*]}" >&2
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq && apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null || {
      echo "velmora: could not install ${missing[*]}" >&2
      exit 1
    }
  else
    echo "velmora: these Debian packages are missing: ${missing[*]}" >&2
    echo "velmora: install them with: sudo apt-get install ${missing[*]}" >&2
    exit 1
  fi
}

velmora_jobs() { nproc 2>/dev/null || echo 2; }

# Makes sure a locale is generated (Wine runs the Windows program in Japanese).
velmora_need_locale() {
  local want="$1" short
  short="$(echo "$1" | sed 's/UTF-8/utf8/')"
  locale -a 2>/dev/null | grep -qx "$short" && return 0
  if [ "$(id -u)" -eq 0 ]; then
    echo "velmora: generating the $want locale" >&2
    if ! grep -q "^$want UTF-8" /etc/locale.gen 2>/dev/null; then
      echo "$want UTF-8" >> /etc/locale.gen
    fi
    locale-gen >/dev/null || { echo "velmora: could not generate the $want locale" >&2; exit 1; }
  else
    echo "velmora: the $want locale is missing; as root: echo '$want UTF-8' >> /etc/locale.gen && locale-gen" >&2
    exit 1
  fi
}

# Run through sudo (as root, for the packages), the rest of a script runs as the user who
# called sudo: nothing in the tree becomes root's, and the demo's shell is theirs.
#   velmora_leave_sudo SCRIPT [ARG...]   (returns when not run through sudo)
velmora_leave_sudo() {
  if [ "$(id -u)" -ne 0 ] || [ -z "${SUDO_UID:-}" ] || [ "$SUDO_UID" = 0 ]; then
    return 0
  fi
  local home
  home="$(getent passwd "$SUDO_UID" | cut -d: -f6)"
  exec setpriv --reuid="$SUDO_UID" --regid="${SUDO_GID:-$SUDO_UID}" --init-groups \
    env HOME="${home:-$HOME}" USER="${SUDO_USER:-}" LOGNAME="${SUDO_USER:-}" "$@"
}

# The start that run.sh and run-windows.sh share: "--demo" taken off the arguments
# (velmora_demo=true), the packages installed (busybox-static too for the demo, the Japanese
# locale when "locales" is among them), root left for the calling user, and the build folder
# checked to be theirs. The arguments left are in velmora_args.
#   velmora_run_preamble SCRIPT BUILD_DIR PACKAGE... -- [--demo] [VELMORA ARG...]
velmora_run_preamble() {
  local script="$1" build="$2"
  shift 2
  local packages=()
  while [ $# -gt 0 ] && [ "$1" != "--" ]; do
    packages+=("$1")
    shift
  done
  [ $# -gt 0 ] && shift
  local all=("$@")
  velmora_demo=false
  if [ "${1:-}" = "--demo" ]; then
    velmora_demo=true
    shift
  fi
  velmora_args=("$@")
  $velmora_demo && packages+=(busybox-static)
  velmora_need_packages "${packages[@]}"
  case " ${packages[*]} " in *" locales "*) velmora_need_locale ja_JP.UTF-8 ;; esac
  velmora_leave_sudo "$script" "${all[@]}"
  if [ -e "$build" ] && [ ! -w "$build" ]; then
    echo "velmora: $build belongs to another user (an earlier run as root?); as root: chown -R $(id -un) $build" >&2
    exit 1
  fi
}

# The demo host: busybox's telnet server on 127.0.0.2 port 23, logging in straight to a shell,
# run with a command (the terminal) in user, network and process namespaces of their own, made
# by unshare, so that no root is needed:
# - the loopback and its port 23 belong to the demo alone: nobody else on this machine can
#   reach the server, and the port needs no privilege there;
# - the server and its shells run as the user who started the script;
# - when the command ends, or the script is killed (even with SIGKILL: unshare's child gets
#   SIGKILL when unshare dies), the namespace's first process ends and the kernel ends every
#   other process in it, the server and its shells included.
#   velmora_run_with_demo_host COMMAND [ARG...]   (replaces the calling shell)
velmora_run_with_demo_host() {
  local busybox
  busybox="$(command -v busybox || echo /bin/busybox)"
  if ! unshare --user --map-root-user --net -- "$busybox" ip link set lo up 2>/dev/null; then
    echo "velmora: the demo host runs in network and user namespaces of its own (unshare --user --net)," >&2
    echo "velmora: which this system does not allow (see the kernel's unprivileged user namespace setting)" >&2
    exit 1
  fi
  # As the namespace's root: the loopback up, and port 23 open to the user inside it.
  local outer='busybox=$1 uid=$2 gid=$3 inner=$4; shift 4
    "$busybox" ip link set lo up && echo 0 > /proc/sys/net/ipv4/ip_unprivileged_port_start || exit 1
    exec unshare --user --map-user="$uid" --map-group="$gid" -- sh -c "$inner" velmora-demo "$busybox" "$@"'
  # As the user: the server, then the command once the server listens (127.0.0.2:23 is
  # 0200007F:0017 in the kernel's table, state 0A listening).
  local inner='busybox=$1; shift
    "$busybox" telnetd -F -p 23 -b 127.0.0.2 -l /bin/sh &
    i=0
    while ! grep -q " 0200007F:0017 00000000:0000 0A" /proc/net/tcp && [ $i -lt 200 ]; do
      sleep 0.05
      i=$((i + 1))
    done
    echo "velmora: demo host on 127.0.0.2 port 23 (a shell as $(id -un 2>/dev/null || id -u)), in a network of its own" >&2
    "$@"'
  exec unshare --user --map-root-user --net --pid --fork --kill-child -- \
    sh -c "$outer" velmora-demo "$busybox" "$(id -u)" "$(id -g)" "$inner" "$@"
}
