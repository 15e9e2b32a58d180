#!/usr/bin/env bash
# Installs the Debian packages the game needs to build, run and test.
# Only the missing ones are installed; nothing happens when all are present.
set -eu
PKGS="cmake g++ make pkg-config libgtest-dev
libode-dev liblua5.1-0-dev libcurl4-openssl-dev libssl-dev
libsdl1.2-dev libsdl-mixer1.2-dev libsdl-ttf2.0-dev libvorbis-dev
libgl1-mesa-dev libglu1-mesa-dev freeglut3-dev libglew-dev
xvfb xauth x11-utils libgl1-mesa-dri fonts-dejavu-core
clang libclang-rt-14-dev xdotool imagemagick locales"
missing=""
for p in $PKGS; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing="$missing $p"
  fi
done
# The tests also play under a locale that writes numbers with a decimal comma.
COMMA_LOCALE=de_DE.UTF-8
has_comma_locale() { locale -a 2>/dev/null | grep -qix 'de_DE.utf-\?8'; }
[ -z "$missing" ] && has_comma_locale && exit 0
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO=sudo
export DEBIAN_FRONTEND=noninteractive
if [ -n "$missing" ]; then
  echo "installing:$missing"
  $SUDO apt-get update -qq
  # shellcheck disable=SC2086
  $SUDO apt-get install -y -qq --no-install-recommends $missing
fi
if ! has_comma_locale; then
  echo "generating the $COMMA_LOCALE locale"
  $SUDO localedef -i de_DE -f UTF-8 "$COMMA_LOCALE" ||
    echo "could not generate $COMMA_LOCALE: the comma-locale case will be skipped" >&2
fi
