#!/usr/bin/env bash
# Installs, with apt, whatever the build, the tests and the demo need and this
# machine lacks. Safe to run again: it installs nothing when all is there.
set -euo pipefail

packages=(
  build-essential cmake pkg-config
  qt6-base-dev qt6-base-dev-tools libgl-dev qt6-translations-l10n
  firebird3.0-server firebird3.0-utils firebird-dev libfbclient2
  python3 python3-pyftpdlib python3-openssl vsftpd libssl-dev openssl
  googletest libgtest-dev libbenchmark-dev
  xvfb xauth imagemagick
  clang libclang-rt-14-dev
  curl time procps iproute2 ccache
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  if [[ $(id -u) -ne 0 ]]; then
    SUDO=sudo
  else
    SUDO=
  fi
  $SUDO apt-get update -qq
  # The Firebird package would otherwise ask for a SYSDBA password; our tests and the
  # demo run their own server with their own security database.
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
