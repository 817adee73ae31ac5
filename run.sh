#!/usr/bin/env bash
# Installs what is missing, builds, and starts the program.
set -euo pipefail
cd "$(dirname "$0")"
./scripts/install-deps.sh
./scripts/build.sh
if [ -x build/bin/brindlemoor ]; then
  exec build/bin/brindlemoor "$@"
fi
echo "The program window is not built yet; the engine libraries and tools are in build/bin/."
