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

# Starts the demo host, a busybox telnet server on 127.0.0.2 port 23 running a shell (root
# only), and stops it when the calling script ends. $1: the command to suggest without root.
velmora_start_demo_host() {
  if [ "$(id -u)" -ne 0 ]; then
    echo "velmora: the demo host listens on port 23 and needs root; run: sudo $1 --demo" >&2
    exit 1
  fi
  local busybox
  busybox="$(command -v busybox || echo /bin/busybox)"
  "$busybox" telnetd -F -p 23 -b 127.0.0.2 -l /bin/sh &
  velmora_demo_pid=$!
  trap 'kill $velmora_demo_pid 2>/dev/null || true' EXIT
  sleep 0.5
  echo "velmora: demo host on 127.0.0.2 port 23 (a shell); connecting"
}
