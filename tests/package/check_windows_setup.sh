#!/usr/bin/env bash
# Checks the Windows installer of Velmora under Wine, in a Wine prefix of its own, on an X display
# (run it under xvfb-run): the silent install (/S) for the current user puts the program, its
# Start-menu shortcut and its Apps & features entry in place; the installed program connects to
# a scripted host on loopback, reports its terminal type and ends by itself when the host logs it
# out; the silent uninstall removes the program, the shortcut and the entry and keeps the user's
# settings. Then the same for an installation for all users (/AllUsers), whose uninstaller is
# asked to remove the settings too (/RemoveSettings).
#
#   tests/package/check_windows_setup.sh SETUP.exe ZIP WINEPREFIX
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
setup="$(cd "$(dirname "$1")" && pwd)/$(basename "$1")"
zip="$2"
export WINEPREFIX="$3"
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" LANG=ja_JP.UTF-8
fail() { echo "check_windows_setup: $*" >&2; exit 1; }
host_pid=
# On the way out, also after a failure: the host script and this prefix's Wine processes end.
trap '[ -z "$host_pid" ] || kill "$host_pid" 2>/dev/null || true; wineserver -k 2>/dev/null || true' EXIT

uninstall_key='Software\Microsoft\Windows\CurrentVersion\Uninstall\Velmora'
settings_key='HKCU\SOFTWARE\ostrin\Velmora'

echo "== $(basename "$zip")"
contents="$(python3 -c 'import sys, zipfile; print("\n".join(zipfile.ZipFile(sys.argv[1]).namelist()))' "$zip")"
for name in velmora.exe README.md LICENSE.txt; do
  grep -q "/$name\$" <<<"$contents" || fail "the zip lacks $name"
done

rm -rf "$WINEPREFIX"
wineboot -i >/dev/null 2>&1 || true
wineserver -w
# Without a window manager on the virtual display, Wine's own window management closes
# windows at once instead of waiting for one.
wine reg add "HKCU\\Software\\Wine\\X11 Driver" /v Managed /d N /f >/dev/null 2>&1 || true

# A value of the uninstall entry, or nothing. $1: HKCU or HKLM, $2: the value's name.
entry_value() {
  wine reg query "$1\\$uninstall_key" /v "$2" 2>/dev/null | tr -d '\r' |
    awk -v name="$2" '$1 == name { sub(/^[ \t]*[^ \t]+[ \t]+[^ \t]+[ \t]+/, ""); print; exit }' || true
}

# $1: HKCU or HKLM (where the entry must be), $2...: the installer's options.
check_round() {
  local hive="$1"; shift
  local other=HKLM
  [ "$hive" = HKLM ] && other=HKCU
  echo "== silent install $*"
  wine "$setup" /S "$@" || fail "the installer failed"
  wineserver -w
  local location
  location="$(entry_value "$hive" InstallLocation)"
  [ -n "$location" ] || fail "no Apps & features entry under $hive after the install"
  [ -z "$(entry_value "$other" InstallLocation)" ] || fail "an Apps & features entry under $other as well"
  [ "$(entry_value "$hive" DisplayVersion)" = "$VERSION" ] || fail "the entry's version is not $VERSION"
  [ -n "$(entry_value "$hive" UninstallString)" ] || fail "the entry has no uninstall command"
  local dir
  dir="$(winepath -u "$location" 2>/dev/null)"
  [ -f "$dir/velmora.exe" ] || fail "velmora.exe is not in $location"
  [ -f "$dir/uninstall.exe" ] || fail "uninstall.exe is not in $location"
  local shortcut
  shortcut="$(find "$WINEPREFIX/drive_c" -path '*Start Menu/Programs/Velmora.lnk' -print -quit)"
  [ -n "$shortcut" ] || fail "no Start-menu shortcut"
  echo "   installed in $location"

  # The installed program against the scripted host; "auto close" ends it at the host's logout.
  wine reg add "$settings_key" /v "auto close" /t REG_DWORD /d 1 /f >/dev/null 2>&1
  local work
  work="$(mktemp -d)"
  mkfifo "$work/ready"
  python3 "$here/telnet_host.py" --address 127.0.0.23 --port 23 --type vt52 > "$work/ready" 2> "$work/host.err" &
  host_pid=$!
  local line=""
  exec 3<"$work/ready"
  read -r -u 3 line || true
  [ "$line" = "listening" ] || { cat "$work/host.err" >&2; fail "the scripted host did not start"; }
  local status=0
  timeout 300 wine "$dir/velmora.exe" /H 127.0.0.23 /T vt52 || status=$?
  local host_status=0
  wait "$host_pid" || host_status=$?
  host_pid=
  exec 3<&-
  [ "$host_status" -eq 0 ] || { cat "$work/host.err" >&2; fail "the host's script failed"; }
  [ "$status" -eq 0 ] || fail "the installed program ended with status $status"
  rm -rf "$work"
  echo "   the installed program connected, reported vt52 and ended with the host's logout"

  local remove_settings=false
  for option in "$@"; do [ "$option" = "/AllUsers" ] && remove_settings=true; done
  local uninstall_options=(/S)
  $remove_settings && uninstall_options+=(/RemoveSettings)
  echo "== silent uninstall ${uninstall_options[*]}"
  wine "$dir/uninstall.exe" "${uninstall_options[@]}" || fail "the uninstaller failed"
  wineserver -w   # the uninstaller runs on from a copy of itself
  [ ! -e "$dir/velmora.exe" ] || fail "velmora.exe is still there after the uninstall"
  [ ! -e "$dir" ] || fail "$location is still there after the uninstall"
  [ -z "$(entry_value "$hive" InstallLocation)" ] || fail "the Apps & features entry is still there"
  [ ! -e "$shortcut" ] || fail "the Start-menu shortcut is still there"
  if $remove_settings; then
    ! wine reg query "$settings_key" >/dev/null 2>&1 || fail "the settings were kept though their removal was asked for"
  else
    wine reg query "$settings_key" /v "auto close" >/dev/null 2>&1 || fail "the uninstaller removed the user's settings"
  fi
}

VERSION="$(basename "$setup" | sed -n 's/^velmora-\(.*\)-setup\.exe$/\1/p')"
check_round HKCU
check_round HKLM /AllUsers
echo "== the Windows installer checks passed"
