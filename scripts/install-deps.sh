#!/usr/bin/env bash
# Installs every Debian package the build, the program and the tests use. Quick when all are present.
set -euo pipefail

packages=(
  cmake g++ make pkg-config
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  libwxgtk3.2-dev libwxgtk-webview3.2-dev libwxgtk-media3.2-dev
  unixodbc unixodbc-dev tdsodbc libsqliteodbc
  libcurl4-openssl-dev
  libssl-dev openssl xxd
  xvfb xauth fonts-liberation libxtst-dev
  poppler-utils
  gstreamer1.0-plugins-base gstreamer1.0-plugins-good gstreamer1.0-x
  clang libclang-rt-14-dev
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi

if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# The program reaches SQL Server through the FreeTDS ODBC driver under the name "FreeTDS".
if ! odbcinst -q -d -n FreeTDS >/dev/null 2>&1; then
  driver=$(dpkg -L tdsodbc 2>/dev/null | grep '/libtdsodbc\.so$' | head -n 1 || true)
  if [ -z "$driver" ]; then
    echo "FreeTDS ODBC driver library not found" >&2
    exit 1
  fi
  template=$(mktemp)
  printf '[FreeTDS]\nDescription=FreeTDS ODBC driver (TDS)\nDriver=%s\n' "$driver" > "$template"
  $SUDO odbcinst -i -d -f "$template"
  rm -f "$template"
  odbcinst -q -d -n FreeTDS >/dev/null
fi
