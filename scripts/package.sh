#!/usr/bin/env bash
# Builds the packages people install Velmora from:
#   build-package/packages/velmora_<version>_<arch>.deb     the Qt program (a release build), by CPack
#   build-win32/packages/velmora-<version>-setup.exe        the Windows installer, by makensis
#   build-win32/packages/velmora-<version>-win64.zip        velmora.exe with the README and licence
# The version is the one CMake's project() names.
#
#   scripts/package.sh           build both
#   scripts/package.sh --check   build both, then check them: lintian, and (as root) the .deb
#                                installed with apt-get, its files and a start of the installed
#                                program against a scripted loopback host, then removed; the
#                                installer under Wine: silent install, a start, silent uninstall
#
# Environment: VELMORA_PACKAGE_DIR (the release build of the Qt program, default build-package),
# VELMORA_WIN32_DIR (the Windows build, default build-win32; an existing one is reused as it is
# configured, so the package takes the velmora.exe that scripts/test.sh has built and tested).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
. "$root/scripts/common.sh"

check=false
case "${1:-}" in
  --check) check=true ;;
  '') ;;
  *) echo "usage: scripts/package.sh [--check]" >&2; exit 2 ;;
esac

packages=(g++ cmake make qt6-base-dev dpkg-dev file mingw-w64 nsis)
$check && packages+=(lintian python3 wine wine64 xvfb xauth locales fonts-ipafont-gothic)
velmora_need_packages "${packages[@]}"
$check && velmora_need_locale ja_JP.UTF-8
jobs="$(velmora_jobs)"

# ---- The Debian package, from a release build with Debian's hardening flags and no tests.
pkg="${VELMORA_PACKAGE_DIR:-$root/build-package}"
echo "== building the Qt program for the Debian package in $pkg"
export DEB_BUILD_MAINT_OPTIONS="hardening=+all"
cmake -S "$root" -B "$pkg" -DCMAKE_BUILD_TYPE=Release -DVELMORA_BUILD_TESTS=OFF \
  -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON \
  -DCMAKE_CXX_FLAGS="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)" \
  -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)" >/dev/null
cmake --build "$pkg" -j "$jobs" --target velmora
rm -rf "$pkg/packages"
(cd "$pkg" && cpack -G DEB >/dev/null)
version="$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$pkg/CMakeCache.txt")"
deb="$(find "$pkg/packages" -maxdepth 1 -name "velmora_${version}_*.deb" -print -quit)"
[ -n "$deb" ] || { echo "velmora: CPack made no velmora_${version}_*.deb" >&2; exit 1; }
echo "velmora: made $deb"

# ---- The Windows installer and zip.
win="${VELMORA_WIN32_DIR:-$root/build-win32}"
if [ -f "$win/CMakeCache.txt" ]; then
  echo "== making the Windows installer in $win (reusing its configuration)"
  cmake -S "$root" -B "$win" >/dev/null
else
  echo "== building the Windows program for its installer in $win"
  cmake -S "$root" -B "$win" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DVELMORA_BUILD_TESTS=OFF >/dev/null
fi
cmake --build "$win" -j "$jobs" --target velmora-packages
setup="$win/packages/velmora-$version-setup.exe"
zip="$win/packages/velmora-$version-win64.zip"
[ -f "$setup" ] && [ -f "$zip" ] || { echo "velmora: the Windows packages were not made" >&2; exit 1; }
echo "velmora: made $setup"
echo "velmora: made $zip"

$check || exit 0

# ---- The checks.
bash "$root/tests/package/check_deb.sh" "$deb"
if [ "$(id -u)" -ne 0 ]; then
  echo "velmora: the installer's check plays a telnet host on port 23 and needs root; skipped" >&2
  exit 0
fi
echo "== checking the Windows installer under Wine"
xvfb-run -a -s "-screen 0 1280x1024x24" \
  bash "$root/tests/package/check_windows_setup.sh" "$setup" "$zip" "$win/package-wineprefix"
