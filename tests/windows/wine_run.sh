#!/usr/bin/env bash
# Runs one program of the Windows build under Wine; CTest's emulator for the cross-built test
# programs. The Qt, OpenSSL and MinGW DLLs are found through WINEPATH, in the test prefix.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
toolchain="$root/build-win/windows-toolchain"
export WINEPREFIX="${WINEPREFIX:-$root/build-win/wineprefix}" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
export WINEPATH="Z:$toolchain/qt6/bin;Z:$toolchain/openssl/bin;Z:/usr/lib/gcc/x86_64-w64-mingw32/12-posix;Z:/usr/x86_64-w64-mingw32/lib"
exec /usr/lib/wine/wine64 "$@"
