#!/usr/bin/env bash
# Installs every Debian package that building, running and testing Velocast needs, then
# builds into build/. Safe to run again: apt-get skips what is installed, cmake rebuilds
# only what changed.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

packages=(
  build-essential cmake pkg-config
  qt6-base-dev libqt6sql6-sqlite libqt6sql6-odbc qt6-l10n-tools
  libssl-dev
  unixodbc-dev unixodbc odbcinst tdsodbc libsqliteodbc
  libgtest-dev libgmock-dev libbenchmark-dev
  python3 python3-aiosmtpd sqlite3 libsqlite3-dev
  dovecot-imapd
  media-types
  dpkg-dev desktop-file-utils
  libqt6svg6 fonts-liberation2 libxcb1-dev
  xvfb openbox trayer xdotool x11-utils
)
# Callers with needs of their own (the benchmarks) name further packages here.
read -r -a extra <<<"${SETUP_EXTRA_PACKAGES:-}"
packages+=("${extra[@]}")

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  sudo_cmd=""
  [ "$(id -u)" -eq 0 ] || sudo_cmd="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $sudo_cmd apt-get update -q
  $sudo_cmd apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

if [ "${SETUP_SKIP_BUILD:-0}" != 1 ]; then
  launcher=()
  # ccache, where a developer installed it, makes rebuilds in several work trees cheap.
  command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
  # VELOCAST_CMAKE_OPTIONS adds configure options, e.g. "-DVELOCAST_WERROR=ON" (CI) or
  # "-DBUILD_TESTING=OFF" (the program alone, without GoogleTest or Google Benchmark).
  read -r -a extra <<<"${VELOCAST_CMAKE_OPTIONS:-}"
  cmake -S "$here" -B "$here/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" "${extra[@]}" >/dev/null
  # SETUP_TARGETS builds only those targets (the demo needs the program and the seed tool,
  # not every test and benchmark).
  read -r -a targets <<<"${SETUP_TARGETS:-}"
  target_args=()
  for t in "${targets[@]}"; do target_args+=(--target "$t"); done
  cmake --build "$here/build" -j "$(nproc)" "${target_args[@]}"
fi
