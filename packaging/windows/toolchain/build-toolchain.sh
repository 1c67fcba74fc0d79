#!/bin/bash
# How this toolchain was built: Qt 6.4.2 (qtbase subset) + OpenSSL 3 for x86_64-w64-mingw32 on Debian 12, from Debian packages/sources only.
set -euo pipefail
W=${W:?set W to an empty work folder}
J=${J:-2}
mkdir -p $W/src $W/cmake
export DEBIAN_FRONTEND=noninteractive
# 1. packages (+ deb-src lines for the same mirror/suites)
sed 's/^Types: deb$/Types: deb-src/' /etc/apt/sources.list.d/debian.sources > /etc/apt/sources.list.d/deb-src.sources
apt-get update
apt-get install -y --no-install-recommends g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix \
  binutils-mingw-w64-x86-64 mingw-w64-x86-64-dev mingw-w64-tools wine64 wine libwine \
  cmake ninja-build perl tcl xvfb imagemagick qt6-base-dev qt6-base-dev-tools unixodbc tdsodbc dpkg-dev
cd $W/src
apt-get source --download-only qt6-base openssl sqlite3 || true   # openssl .debian.tar.xz 404s on security mirror; orig tarball suffices
# 2. OpenSSL 3 (upstream orig tarball from Debian)
tar xzf openssl_3.*.orig.tar.gz
cd openssl-3.*/
nice -n 19 ./Configure mingw64 --cross-compile-prefix=x86_64-w64-mingw32- no-tests --prefix=$W/openssl --libdir=lib
nice -n 19 make -j$J && nice -n 19 make install_sw
cd $W/src
# 3a. SQLite amalgamation (Debian's qt6-base dfsg tarball drops src/3rdparty/sqlite)
tar xJf sqlite3_*.orig.tar.xz
# The folder the tarball holds, found before its build folder exists (a glob over a path
# that is not there yet would make a folder literally named "sqlite3-*").
SQLITE=$W/src/$(cd $W/src && ls -d sqlite3-[0-9]* | head -1)
mkdir -p $SQLITE/bld && (cd $SQLITE/bld && ../configure --disable-tcl && nice -n 19 make sqlite3.c)
# 3b. qtbase
tar xJf qt6-base_*+dfsg.orig.tar.xz
mkdir -p deb && tar xJf qt6-base_*.debian.tar.xz -C deb
cd qtbase-everywhere-src-6.4.2
mkdir -p src/3rdparty/sqlite && cp $SQLITE/bld/sqlite3.[ch] $SQLITE/bld/sqlite3ext.h src/3rdparty/sqlite/
for p in cve-2023-32762.diff cve-2023-32763.diff cve-2023-33285.diff cve-2023-24607.patch; do patch -p1 -N < ../deb/debian/patches/$p; done
# Qt 6.4 bug when direct2d is OFF: plugin references QWindowsDirectWriteFontDatabase that Gui only builds with direct2d
patch -p0 -N < "$(dirname "$0")/qwindows-directwrite3-no-direct2d.patch"
cd $W
cp ../mingw64.cmake $W/cmake/mingw64-toolchain.cmake  # with CMAKE_FIND_ROOT_PATH pointing at $W/openssl and $W/qt6-mingw
./qt-configure.sh                       # cmake -G Ninja ... (see qt-configure.sh)
nice -n 19 ninja -C build/qtbase -j$J
nice -n 19 cmake --install build/qtbase
