#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test program.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
bash "$here/scripts/setup.sh"
cd "$here/build"
ctest --output-on-failure -j 2
