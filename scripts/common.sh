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
