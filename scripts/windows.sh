#!/usr/bin/env bash
# Cross-builds Velocast for 64-bit Windows on Debian and packages it: out/velocast-VERSION-win64.zip
# (a portable folder) and out/velocast-VERSION-setup.exe (an NSIS installer). Everything is
# built under build-win/, so the Linux build in build/ is left as it is.
#
#   WINDOWS_TOOLCHAIN_ARCHIVE  the Qt + OpenSSL toolchain archive
#                              (default ../shared/toolchains/windows-toolchain.tar.xz beside the clone)
#   WINDOWS_SKIP_PACKAGES=1    builds only (no zip, no installer)
#   WINDOWS_TESTS=1            also cross-builds the unit test programs that run on Windows, for
#                              CTest to run under Wine (tests/windows/wine_test.sh does)
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
work="$here/build-win"
toolchain="$work/windows-toolchain"
archive=${WINDOWS_TOOLCHAIN_ARCHIVE:-"$here/../shared/toolchains/windows-toolchain.tar.xz"}
version=$(sed -n 's/^project(Velocast VERSION \([0-9.]*\).*/\1/p' "$here/CMakeLists.txt")

packages=(
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix mingw-w64-tools
  wine64 wine libwine nsis
  x11-apps  # xwd: the Wine test's screenshot of the tray program
  cmake qt6-base-dev-tools qt6-l10n-tools python3  # lrelease: the Portuguese texts, built on this machine
  googletest  # its sources, for the test programs' cross build
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "windows: installing ${missing[*]}"
  sudo_cmd=""
  [ "$(id -u)" -eq 0 ] || sudo_cmd="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $sudo_cmd apt-get update -q
  $sudo_cmd apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

# The toolchain: unpacked once from the archive, or built from its recipe where there is no
# archive (about 50 minutes of 2 idle cores; the recipe needs root for apt-get source).
if [ ! -f "$toolchain/mingw64.cmake" ]; then
  mkdir -p "$work"
  if [ -f "$archive" ]; then
    echo "windows: unpacking $archive"
    tar -xJf "$archive" -C "$work"
  else
    recipe="$here/packaging/windows/toolchain"
    echo "windows: no toolchain archive at $archive (set WINDOWS_TOOLCHAIN_ARCHIVE);" \
         "building Qt and OpenSSL from Debian's sources with $recipe instead, which takes" \
         "about 50 minutes of 2 idle cores" >&2
    start=$(date +%s)
    # The recipe works in W and reads the toolchain file from W's parent, pointed at what it
    # installs (W/openssl, W/qt6-mingw).
    W="$work/toolchain-work"
    mkdir -p "$W"
    sed -e "s|\${CMAKE_CURRENT_LIST_DIR}/openssl|$W/openssl|" -e "s|\${CMAKE_CURRENT_LIST_DIR}/qt6|$W/qt6-mingw|" \
      "$recipe/mingw64.cmake" >"$work/mingw64.cmake"
    cp "$recipe/qt-configure.sh" "$recipe/qwindows-directwrite3-no-direct2d.patch" "$W/"
    (cd "$W" && W="$W" bash "$recipe/build-toolchain.sh")
    mkdir -p "$toolchain"
    cp -a "$W/openssl" "$toolchain/openssl"
    cp -a "$W/qt6-mingw" "$toolchain/qt6"
    cp "$recipe/mingw64.cmake" "$recipe/README.md" "$toolchain/"
    echo "windows: the toolchain took $(( ($(date +%s) - start) / 60 )) minutes"
  fi
fi

# The unit test programs whose peers run on Windows too; the others need Linux programs (the
# Python servers, the TDS stand-in, signals) and stay in the Linux build.
tests=OFF
targets=(--target velocast --target velocast-seed)
emulator=()
if [ "${WINDOWS_TESTS:-0}" = 1 ]; then
  tests=ON
  targets=()
  emulator=(-DCMAKE_CROSSCOMPILING_EMULATOR="$here/tests/windows/wine_run.sh")
fi
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
read -r -a extra <<<"${VELOCAST_CMAKE_OPTIONS:-}"
cmake -S "$here" -B "$work/build" -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$toolchain/mingw64.cmake" -DCMAKE_PREFIX_PATH="$toolchain/qt6" \
  -DOPENSSL_ROOT_DIR="$toolchain/openssl" -DQT_HOST_PATH=/usr \
  -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
  -DBUILD_TESTING="$tests" -DVELOCAST_BUILD_TESTS="$tests" -DVELOCAST_BUILD_BENCHMARKS=OFF \
  "${launcher[@]}" "${emulator[@]}" "${extra[@]}" >/dev/null
cmake --build "$work/build" -j "$(nproc)" "${targets[@]}"

# The portable folder: the programs beside every DLL and plug-in they load.
stage="$work/stage/velocast-$version"
rm -rf "$work/stage"
mkdir -p "$stage"
cp "$work/build/velocast.exe" "$work/build/velocast-seed.exe" "$stage/"
for dll in Qt6Core Qt6Gui Qt6Widgets Qt6Network Qt6Sql; do cp "$toolchain/qt6/bin/$dll.dll" "$stage/"; done
for plugin in platforms/qwindows platforms/qoffscreen sqldrivers/qsqlite sqldrivers/qsqlodbc \
              tls/qopensslbackend tls/qschannelbackend styles/qwindowsvistastyle imageformats/qico; do
  mkdir -p "$stage/$(dirname "$plugin")"
  cp "$toolchain/qt6/plugins/$plugin.dll" "$stage/$plugin.dll"
done
cp "$toolchain/openssl/bin/libcrypto-3-x64.dll" "$toolchain/openssl/bin/libssl-3-x64.dll" "$stage/"
cp /usr/lib/gcc/x86_64-w64-mingw32/12-posix/libstdc++-6.dll \
   /usr/lib/gcc/x86_64-w64-mingw32/12-posix/libgcc_s_seh-1.dll \
   /usr/x86_64-w64-mingw32/lib/libwinpthread-1.dll "$stage/"
cp "$here/packaging/examples/velocast.conf" "$stage/velocast.conf.example"
cp "$here/packaging/examples/Korvana.udl" "$stage/Korvana.udl.example"
cp "$here/README.md" "$stage/README.md"

[ "${WINDOWS_SKIP_PACKAGES:-0}" = 1 ] && exit 0
mkdir -p "$here/out"
zip="$here/out/velocast-$version-win64.zip"
rm -f "$zip"
(cd "$work/stage" && /usr/bin/python3 -m zipfile -c "$zip" "velocast-$version")
makensis -V2 -DVERSION="$version" -DSTAGE="$stage" -DOUTFILE="$here/out/velocast-$version-setup.exe" \
  -DICON="$work/build/src/shell/velocast.ico" \
  "$here/packaging/windows/velocast.nsi"
echo "windows: wrote out/velocast-$version-win64.zip and out/velocast-$version-setup.exe"
