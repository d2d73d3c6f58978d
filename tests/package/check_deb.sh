#!/usr/bin/env bash
# Checks a Debian package of Velmora as a user meets it (as root): lintian finds no errors, apt-get
# installs it with its dependencies, every file is where dpkg -L says, the installed program
# starts on Qt's offscreen platform, connects to a scripted host on loopback, reports its terminal
# type and ends by itself when the host logs it out; apt-get then removes it again.
#
#   tests/package/check_deb.sh PACKAGE.deb
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
deb="$(cd "$(dirname "$1")" && pwd)/$(basename "$1")"
fail() { echo "check_deb: $*" >&2; exit 1; }

echo "== lintian $(basename "$deb")"
lintian_status=0
lintian_out="$(lintian --fail-on error "$deb" 2>&1)" || lintian_status=$?
grep -v '^running with root privileges' <<<"$lintian_out" || true
[ "$lintian_status" -eq 0 ] || fail "lintian reports errors"

if [ "$(id -u)" -ne 0 ]; then
  echo "check_deb: installing the package needs root; only lintian was run" >&2
  exit 0
fi

export DEBIAN_FRONTEND=noninteractive
if dpkg-query -W -f='${Status}' velmora 2>/dev/null | grep -q "install ok installed"; then
  apt-get remove -y -qq velmora >/dev/null
fi
echo "== apt-get install $(basename "$deb")"
apt_log="$(mktemp)"
apt-get install -y -qq --no-install-recommends "$deb" >"$apt_log" 2>&1 || { cat "$apt_log" >&2; fail "apt-get could not install the package"; }
rm -f "$apt_log"
trap 'apt-get remove -y -qq velmora >/dev/null 2>&1 || true' EXIT

# The files a desktop, man and the package tools look for.
listed="$(dpkg -L velmora)"
for path in /usr/bin/velmora \
    /usr/share/applications/velmora.desktop \
    /usr/share/icons/hicolor/scalable/apps/velmora.svg \
    /usr/share/icons/hicolor/16x16/apps/velmora.png \
    /usr/share/icons/hicolor/48x48/apps/velmora.png \
    /usr/share/icons/hicolor/256x256/apps/velmora.png \
    /usr/share/man/man1/velmora.1.gz \
    /usr/share/man/ja/man1/velmora.1.gz \
    /usr/share/metainfo/velmora.metainfo.xml \
    /usr/share/doc/velmora/README.md \
    /usr/share/doc/velmora/copyright \
    /usr/share/doc/velmora/changelog.gz; do
  grep -qx "$path" <<<"$listed" || fail "dpkg -L velmora does not list $path"
  [ -f "$path" ] || fail "$path is listed but not installed"
done
version="$(dpkg-query -W -f='${Version}' velmora)"
case "$(basename "$deb")" in
  "velmora_${version}_"*.deb) ;;
  *) fail "the package's name does not carry its version $version" ;;
esac
zcat /usr/share/man/man1/velmora.1.gz | grep -q "Velmora $version" || fail "the manual page does not name version $version"
zcat /usr/share/man/ja/man1/velmora.1.gz | grep -q "設定と接続履歴" || fail "the Japanese manual page is not Japanese"
grep -q "<release version=\"$version\"" /usr/share/metainfo/velmora.metainfo.xml ||
  fail "the metainfo's release is not $version"
grep -q "^Recommends:.*fonts-ipafont-gothic" <(dpkg-deb -f "$deb" Recommends | sed 's/^/Recommends: /') ||
  fail "the package does not recommend fonts-ipafont-gothic"
dpkg-deb -f "$deb" Depends | grep -q "libqt6widgets6" || fail "the package does not depend on libqt6widgets6"

# The installed program against the scripted host; "auto close" ends it when the host logs out.
work="$(mktemp -d)"
trap 'apt-get remove -y -qq velmora >/dev/null 2>&1 || true; [ -z "${host_pid:-}" ] || kill "$host_pid" 2>/dev/null || true; rm -rf "$work"' EXIT
mkdir -p "$work/config/ostrin"
printf 'REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\SOFTWARE\\ostrin\\Velmora]\r\n"auto close"=dword:00000001\r\n\r\n' \
  > "$work/config/ostrin/Velmora.reg"
mkfifo "$work/ready"
python3 "$here/telnet_host.py" --address 127.0.0.23 --port 23 --type vt52 > "$work/ready" 2> "$work/host.err" &
host_pid=$!
exec 3<"$work/ready"
read -r -u 3 line || true
[ "$line" = "listening" ] || { cat "$work/host.err" >&2; fail "the scripted host did not start"; }
echo "== starting the installed /usr/bin/velmora against the host on 127.0.0.23"
status=0
(cd "$work" && XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work" QT_QPA_PLATFORM=offscreen \
  timeout 300 /usr/bin/velmora /H 127.0.0.23 /T vt52 > "$work/velmora.out" 2>&1) || status=$?
host_status=0
wait "$host_pid" || host_status=$?
host_pid=
exec 3<&-
[ "$host_status" -eq 0 ] || { cat "$work/host.err" >&2; fail "the host's script failed"; }
[ "$status" -eq 0 ] || { cat "$work/velmora.out" >&2; fail "the installed program ended with status $status"; }
echo "   the installed program connected, reported vt52 and ended with the host's logout"

echo "== apt-get remove velmora"
apt-get remove -y -qq velmora >/dev/null || fail "apt-get could not remove the package"
[ ! -e /usr/bin/velmora ] || fail "/usr/bin/velmora is still there after the removal"
! dpkg-query -W -f='${Status}' velmora 2>/dev/null | grep -q "install ok installed" || fail "velmora is still installed"
echo "== the Debian package checks passed"
