#!/usr/bin/env bash
# Installs every Debian package the build, the program and the tests use. Quick when all are present.
set -euo pipefail

packages=(
  cmake g++ make pkg-config
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  libwxgtk3.2-dev libwxgtk-webview3.2-dev libwxgtk-media3.2-dev
  unixodbc unixodbc-dev tdsodbc libsqliteodbc
  libcurl4-openssl-dev
  xvfb xauth fonts-liberation libxtst-dev
  clang libclang-rt-14-dev
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "Installing: ${missing[*]}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
