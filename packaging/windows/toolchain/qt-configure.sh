#!/bin/sh
set -e
SRC=${W:?}/src/qtbase-everywhere-src-6.4.2
BLD=${W:?}/build/qtbase
OPENSSL_INC=${OPENSSL_INC:-${W:?}/openssl/include}
mkdir -p $BLD
nice -n 19 cmake -S $SRC -B $BLD -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE=${W:?}/cmake/mingw64-toolchain.cmake \
  -DQT_HOST_PATH=/usr \
  -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
  -DCMAKE_INSTALL_PREFIX=${W:?}/qt6-mingw \
  -DCMAKE_BUILD_TYPE=Release \
  -DBUILD_SHARED_LIBS=ON \
  -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DQT_BUILD_BENCHMARKS=OFF \
  -DFEATURE_opengl=OFF -DINPUT_opengl=no \
  -DFEATURE_vulkan=OFF -DFEATURE_dbus=OFF -DFEATURE_printsupport=OFF -DFEATURE_xml=OFF \
  -DFEATURE_direct2d=OFF -DFEATURE_tabletevent=OFF \
  -DFEATURE_zstd=OFF -DFEATURE_brotli=OFF -DFEATURE_gssapi=OFF -DFEATURE_jpeg=OFF \
  -DFEATURE_system_zlib=OFF -DFEATURE_system_pcre2=OFF -DFEATURE_system_harfbuzz=OFF \
  -DFEATURE_system_freetype=OFF -DFEATURE_system_png=OFF -DFEATURE_system_jpeg=OFF \
  -DFEATURE_system_doubleconversion=OFF -DFEATURE_system_sqlite=OFF \
  -DFEATURE_sql_sqlite=ON -DFEATURE_sql_odbc=ON \
  -DFEATURE_sql_psql=OFF -DFEATURE_sql_mysql=OFF -DFEATURE_sql_ibase=OFF -DFEATURE_sql_oci=OFF -DFEATURE_sql_db2=OFF \
  -DINPUT_openssl=runtime -DFEATURE_openssl_runtime=ON -DOPENSSL_INCLUDE_DIR=$OPENSSL_INC \
  "$@"
