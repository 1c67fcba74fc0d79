#!/usr/bin/env bash
# Ends the Wine server of the test prefix, and with it every program still running in it.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
WINEPREFIX="$root/build-win/wineprefix" /usr/lib/wine/wineserver -k 2>/dev/null || true
