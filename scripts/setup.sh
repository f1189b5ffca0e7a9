#!/usr/bin/env bash
# Installs what building and running Halvren needs on Debian 12; skips what is present.
set -euo pipefail

need=()
have_cmd() { command -v "$1" >/dev/null 2>&1; }
have_pkg() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }

have_cmd i686-w64-mingw32-g++-posix || need+=(g++-mingw-w64-i686-posix)
have_cmd cmake || need+=(cmake)
have_cmd make || need+=(make)
have_pkg wine32:i386 || need+=(wine32:i386)
have_cmd wine || need+=(wine)
# The 64-bit loader and wineserver: a second run of the tests in a 64-bit prefix (WOW64).
have_pkg wine64 || need+=(wine64)
have_cmd Xvfb || need+=(xvfb)
have_cmd openbox || need+=(openbox)
have_cmd xdpyinfo || need+=(x11-utils)
have_cmd import || need+=(imagemagick)
[ -f /usr/src/googletest/CMakeLists.txt ] || need+=(googletest)
[ -f /usr/share/i18n/locales/zh_CN ] || need+=(locales)

# Wine names files on the Unix side in the character set of the locale it starts in: the tests
# under the Chinese code page (936) make files whose names leave ASCII, and need that locale.
make_locales() {
  locale -a 2>/dev/null | grep -ix 'zh_CN.utf8' >/dev/null && return 0
  if [ "$(id -u)" != 0 ]; then
    echo "setup: the zh_CN.UTF-8 locale is missing (run this as root); the code page 936 tests skip" >&2
    return 0
  fi
  # localedef answers 1 for mere warnings; what counts is whether the locale is there after.
  localedef -c -i zh_CN -f UTF-8 zh_CN.UTF-8 || true
  locale -a 2>/dev/null | grep -ix 'zh_CN.utf8' >/dev/null ||
    echo "setup: the zh_CN.UTF-8 locale could not be made; the code page 936 tests skip" >&2
}

if [ ${#need[@]} -eq 0 ]; then
  make_locales
  exit 0
fi
if [ "$(id -u)" != 0 ]; then
  echo "setup: missing packages (${need[*]}); run this as root" >&2
  exit 1
fi
echo "setup: installing ${need[*]}"
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
fi
export DEBIAN_FRONTEND=noninteractive
apt-get update -q
apt-get install -y -q --no-install-recommends "${need[@]}"
make_locales
