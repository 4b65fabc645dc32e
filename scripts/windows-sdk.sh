#!/usr/bin/env bash
# Makes the Windows SDK that `make windows` cross-builds Corvex with:
# corvex-winsdk-qt6.4.2-mingw64.tar.xz, a prefix of Windows x64 libraries
# (Qt 6.4.2 Core, Gui, Widgets, Sql; libcurl with Schannel; libqrencode;
# SQLite; OpenSSL's libcrypto; GoogleTest; Google Benchmark; nlohmann/json; the
# mingw-w64 runtime DLLs) with a CMake toolchain file and wine-run.sh, all
# built with Debian's mingw-w64 from Debian's own sources.
#
# Usage (Debian 12 "bookworm", amd64, as root or with sudo; about 75 minutes
# on two cores, most of it Qt):
#   scripts/windows-sdk.sh [WORKDIR]      # default WORKDIR: ./build-winsdk
#   CORVEX_WINSDK=$PWD/build-winsdk/corvex-winsdk-qt6.4.2-mingw64.tar.xz make windows
# Environment:
#   JOBS=N        parallel compile jobs (default: nproc)
#   NICE=N        nice level of the compiles (default: 0; 19 on a shared machine)
#   OUT=FILE      the tarball (default: WORKDIR/corvex-winsdk-qt6.4.2-mingw64.tar.xz)
#   SKIP_APT=1    do not install packages (they are already there)
#
# Every step leaves a stamp in WORKDIR/stamps and its log in WORKDIR/logs;
# a second run resumes after the last finished step. Sources come from
# Debian's archive (apt-get source through a deb-src list of its own in
# WORKDIR/apt; /etc/apt is not changed). Qt for Windows is built from the same
# qtbase source version as the host's Qt tools (qt6-base-dev-tools), which the
# cross build needs for moc, rcc and uic.
set -euo pipefail

WORK=$(realpath -m "${1:-$PWD/build-winsdk}")
OUT=$(realpath -m "${OUT:-$WORK/corvex-winsdk-qt6.4.2-mingw64.tar.xz}")
JOBS=${JOBS:-$(nproc)}
NICE_CMD=(nice -n "${NICE:-0}")
SDK_NAME=corvex-winsdk-qt6.4.2-mingw64
PREFIX=$WORK/$SDK_NAME
SRC=$WORK/src
BLD=$WORK/build
TRIPLET=x86_64-w64-mingw32
TOOLCHAIN=$PREFIX/toolchain-mingw64.cmake
QT_VERSION=6.4.2
mkdir -p "$WORK"/{stamps,logs} "$SRC" "$BLD" "$PREFIX"

log() { printf '[%s] %s\n' "$(date +%H:%M:%S)" "$*"; }

# step NAME FUNCTION: runs FUNCTION once (stamp), output in logs/NAME.log, time in logs/times.txt.
step() {
  local name=$1 fn=$2 start
  if [[ -e $WORK/stamps/$name ]]; then log "$name: done before"; return; fi
  log "$name ..."
  start=$(date +%s)
  # In a subshell of its own, outside any `if`: there errexit holds, so the
  # step ends at its first failing command (inside `if ! fn` it would not).
  set +e
  (set -e; "$fn") >"$WORK/logs/$name.log" 2>&1
  local status=$?
  set -e
  if [[ $status != 0 ]]; then
    log "$name FAILED; the end of $WORK/logs/$name.log:"
    tail -n 40 "$WORK/logs/$name.log"
    exit 1
  fi
  echo "$name $(( $(date +%s) - start ))s" >>"$WORK/logs/times.txt"
  touch "$WORK/stamps/$name"
  log "$name: $(( $(date +%s) - start ))s"
}

as_root() { if [[ $(id -u) == 0 ]]; then "$@"; else sudo "$@"; fi; }

# --- 1. Packages -------------------------------------------------------------
do_packages() {
  as_root apt-get update
  as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends \
    build-essential cmake ninja-build pkgconf dpkg-dev xz-utils ca-certificates \
    debian-archive-keyring perl python3 tcl \
    gcc-mingw-w64-x86-64-posix g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 mingw-w64-x86-64-dev \
    qt6-base-dev qt6-base-dev-tools nlohmann-json3-dev googletest wine64
  local host_qt
  host_qt=$(dpkg-query -W -f='${Version}' qt6-base-dev-tools)
  [[ $host_qt == "$QT_VERSION"* ]] || { echo "host Qt is $host_qt, this SDK needs $QT_VERSION"; return 1; }
}

# --- 2. Sources (deb-src list of our own) ------------------------------------
APT_OPTS=(-o "Dir::Etc::SourceList=/dev/null" -o "Dir::Etc::SourceParts=$WORK/apt/sources.list.d"
          -o "Dir::State::Lists=$WORK/apt/lists" -o "Dir::Cache=$WORK/apt/cache")
do_sources() {
  mkdir -p "$WORK/apt/sources.list.d" "$WORK/apt/lists/partial" "$WORK/apt/cache/archives/partial"
  cat >"$WORK/apt/sources.list.d/debian-src.sources" <<'EOF'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg

Types: deb-src
URIs: http://deb.debian.org/debian-security
Suites: bookworm-security
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
EOF
  apt-get "${APT_OPTS[@]}" update
  local host_qt
  host_qt=$(dpkg-query -W -f='${Version}' qt6-base-dev-tools)
  cd "$SRC"
  # The Windows Qt must be the host Qt's version: same Debian source version.
  # A mirror may lack a package's Debian part (its .dsc or .debian.tar.xz):
  # what it has is taken, and unpack_source falls back on the upstream tarball.
  apt-get "${APT_OPTS[@]}" source --download-only "qt6-base=$host_qt" curl sqlite3 qrencode benchmark openssl ||
    echo "apt-get source could not fetch every file; see above"
  local name
  for name in qt6-base curl sqlite3 qrencode benchmark openssl; do
    unpack_source "$name"
  done
  ls -l "$SRC"
}

# SRC/NAME from Debian's source package, patches applied; without its Debian
# part, from the upstream tarball of the same version (said in the log).
unpack_source() {
  local name=$1 dsc orig
  rm -rf "${SRC:?}/$name"
  dsc=$(ls "$name"_*.dsc 2>/dev/null | tail -n 1 || true)
  if [[ -n $dsc ]] && dpkg-source -x "$dsc" "$SRC/$name"; then return; fi
  rm -rf "${SRC:?}/$name"
  orig=$(ls "$name"_*.orig.tar.* 2>/dev/null | grep -v -e '\.asc$' -e '\.orig-' | tail -n 1 || true)
  [[ -n $orig ]] || { echo "$name: neither Debian's source package nor its upstream tarball was fetched"; return 1; }
  echo "$name: Debian's packaging is missing from the mirror; building the upstream $orig unpatched"
  mkdir -p "$SRC/$name"
  tar -xf "$orig" -C "$SRC/$name" --strip-components=1
}

# --- 3. The toolchain file (also used to build everything below) --------------
do_toolchain() {
  cat >"$TOOLCHAIN" <<'EOF'
# CMake toolchain for cross-building Windows x64 programs with this SDK:
#   cmake -G Ninja -DCMAKE_TOOLCHAIN_FILE=<sdk>/toolchain-mingw64.cmake ...
# The compilers are Debian's mingw-w64 (POSIX threads); Qt's build tools
# (moc, rcc, uic) are the host's Qt 6.4.2 (QT_HOST_PATH, Debian's
# qt6-base-dev and qt6-base-dev-tools), which must match the SDK's Qt version.
# The folder of this file is the SDK's prefix; the SDK may be unpacked anywhere.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)

get_filename_component(WINSDK_PREFIX "${CMAKE_CURRENT_LIST_DIR}" ABSOLUTE)
set(WINSDK_PREFIX "${WINSDK_PREFIX}" CACHE PATH "The Windows SDK's prefix" FORCE)

set(WINSDK_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${WINSDK_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${WINSDK_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${WINSDK_TRIPLET}-windres)
set(CMAKE_AR ${WINSDK_TRIPLET}-ar CACHE FILEPATH "")
set(CMAKE_RANLIB ${WINSDK_TRIPLET}-ranlib CACHE FILEPATH "")
set(CMAKE_STRIP ${WINSDK_TRIPLET}-strip CACHE FILEPATH "")

# Libraries, headers and CMake packages come from the SDK (and mingw-w64's own
# Windows libraries); programs from the host.
set(CMAKE_FIND_ROOT_PATH "${WINSDK_PREFIX}" /usr/${WINSDK_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Qt: the target libraries from the SDK, the tools from the host's Qt.
set(QT_HOST_PATH "/usr" CACHE PATH "Host Qt 6.4.2 (Debian's qt6-base-dev-tools)")
set(QT_HOST_PATH_CMAKE_DIR "/usr/lib/x86_64-linux-gnu/cmake" CACHE PATH "Host Qt's CMake packages")

# The host's rcc compresses resources with zstd, which the SDK's QtCore (built
# without zstd) cannot read: AUTORCC (.qrc files among a target's sources) would
# leave qResourceFeatureZstd() unresolved. qt_add_resources() passes --no-zstd
# by itself; AUTORCC gets it here.
set(CMAKE_AUTORCC_OPTIONS "--no-zstd")

# OpenSSL's libcrypto and libssl are static libraries in the SDK.
set(OPENSSL_ROOT_DIR "${WINSDK_PREFIX}" CACHE PATH "")
set(OPENSSL_USE_STATIC_LIBS TRUE CACHE BOOL "")

# pkg-config (libqrencode, sqlite3, ...) sees only the SDK's .pc files, never the host's.
set(ENV{PKG_CONFIG_LIBDIR} "${WINSDK_PREFIX}/lib/pkgconfig:${WINSDK_PREFIX}/share/pkgconfig")
set(ENV{PKG_CONFIG_PATH} "")
set(ENV{PKG_CONFIG_SYSROOT_DIR} "")

# Test programs (ctest, try_run) run under Wine through wine-run.sh, which puts
# the SDK's DLLs (Qt, the mingw runtime) on WINEPATH. GoogleTest's tests are
# listed when ctest runs, not after each link, so building needs no Wine.
set(CMAKE_CROSSCOMPILING_EMULATOR "${WINSDK_PREFIX}/wine-run.sh" CACHE FILEPATH "Runs Windows programs on the build machine")
set(CMAKE_GTEST_DISCOVER_TESTS_DISCOVERY_MODE PRE_TEST CACHE STRING "")
EOF
  cat >"$PREFIX/wine-run.sh" <<'EOF'
#!/bin/sh
# wine-run.sh PROGRAM.exe [ARGUMENTS...]: runs a Windows program built with this
# SDK under Wine, with the SDK's DLLs (Qt, the mingw-w64 runtime) on WINEPATH;
# Qt finds its plugins in <sdk>/plugins by itself. WINEPREFIX, WINEDEBUG
# (default -all) and WINE (the Wine loader) are the caller's to choose.
SDK=$(CDPATH= cd -- "$(dirname -- "$0")" && pwd)
WINEPATH="$SDK/bin${WINEPATH:+;$WINEPATH}"
WINEDEBUG=${WINEDEBUG:--all}
export WINEPATH WINEDEBUG
# Wine keeps the host's QT_* variables from Windows programs and passes
# WINEQT_X to them as QT_X instead: hand each QT_X over that way (an explicit
# WINEQT_X wins), so that QT_QPA_PLATFORM, QT_QPA_FONTDIR, ... reach the program.
for var in $(env | sed -n 's/^\(QT_[A-Za-z0-9_]*\)=.*/\1/p'); do
  eval "isset=\${WINE$var+x} value=\${$var}"
  [ -n "$isset" ] || export "WINE$var=$value"
done
if [ -z "$WINE" ]; then
  if command -v wine64 >/dev/null 2>&1; then WINE=wine64
  elif [ -x /usr/lib/wine/wine64 ]; then WINE=/usr/lib/wine/wine64
  else WINE=wine; fi
fi
exec "$WINE" "$@"
EOF
  chmod 755 "$PREFIX/wine-run.sh"
}

CMAKE_CROSS=(cmake -G Ninja -DCMAKE_TOOLCHAIN_FILE="$TOOLCHAIN" -DCMAKE_BUILD_TYPE=Release
             -DCMAKE_INSTALL_PREFIX="$PREFIX" -DBUILD_SHARED_LIBS=OFF)
cmake_build_install() { "${NICE_CMD[@]}" cmake --build "$1" -j "$JOBS"; cmake --install "$1"; }

# --- 4. SQLite (amalgamation made on the host, compiled for Windows) ---------
do_sqlite() {
  local s=$SRC/sqlite3 b=$BLD/sqlite
  rm -rf "$b"; mkdir -p "$b"; cd "$b"
  "$s/configure" >/dev/null
  "${NICE_CMD[@]}" make sqlite3.c
  local version
  version=$(cat "$s/VERSION")
  "${NICE_CMD[@]}" $TRIPLET-gcc-posix -O2 -c sqlite3.c -o sqlite3.o \
    -DSQLITE_THREADSAFE=1 -DSQLITE_ENABLE_COLUMN_METADATA -DSQLITE_ENABLE_MATH_FUNCTIONS \
    -DSQLITE_ENABLE_FTS5 -DSQLITE_ENABLE_RTREE -DSQLITE_ENABLE_UNLOCK_NOTIFY -DSQLITE_SECURE_DELETE
  mkdir -p "$PREFIX/lib/pkgconfig" "$PREFIX/include"
  rm -f "$PREFIX/lib/libsqlite3.a"
  $TRIPLET-ar rcs "$PREFIX/lib/libsqlite3.a" sqlite3.o
  cp sqlite3.h sqlite3ext.h "$PREFIX/include/"
  cat >"$PREFIX/lib/pkgconfig/sqlite3.pc" <<EOF
prefix=\${pcfiledir}/../..
libdir=\${prefix}/lib
includedir=\${prefix}/include

Name: SQLite
Description: SQL database engine
Version: $version
Libs: -L\${libdir} -lsqlite3
Cflags: -I\${includedir}
EOF
}

# --- 5. Qt 6.4.2: Core, Gui, Widgets, Sql (SQLite), shared ------------------
do_qt() {
  local b=$BLD/qtbase
  rm -rf "$b"
  # With FEATURE_opengl=OFF, qtbase 6.4.2 still turns on "dynamicgl" for Windows
  # and the windows platform plugin then fails to compile (isSoftwareGl() names
  # QOpenGLStaticContext). Guard its two uses with the opengl feature.
  sed -i 's/^#if QT_CONFIG(dynamicgl)$/#if QT_CONFIG(dynamicgl) \&\& QT_CONFIG(opengl)/' \
    "$SRC/qt6-base/src/plugins/platforms/windows/qwindowswindow.cpp"
  # With FEATURE_direct2d=OFF, QtGui leaves out QWindowsDirectWriteFontDatabase
  # but the windows plugin still names it (a link error): guard it the same way.
  sed -i 's/^#if QT_CONFIG(directwrite3)$/#if QT_CONFIG(directwrite3) \&\& QT_CONFIG(direct2d)/' \
    "$SRC/qt6-base/src/plugins/platforms/windows/qwindowsintegration.cpp"
  "${NICE_CMD[@]}" cmake -S "$SRC/qt6-base" -B "$b" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$TOOLCHAIN" \
    -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
    -DQT_QMAKE_TARGET_MKSPEC=win32-g++ \
    -DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=ON \
    -DCMAKE_INSTALL_PREFIX="$PREFIX" \
    -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DQT_BUILD_BENCHMARKS=OFF \
    -DFEATURE_network=OFF -DFEATURE_dbus=OFF -DFEATURE_testlib=OFF -DFEATURE_xml=OFF \
    -DFEATURE_concurrent=OFF -DFEATURE_printsupport=OFF \
    -DFEATURE_opengl=OFF -DFEATURE_vulkan=OFF -DFEATURE_tabletevent=OFF -DFEATURE_direct2d=OFF \
    -DFEATURE_gui=ON -DFEATURE_widgets=ON \
    -DFEATURE_sql=ON -DFEATURE_sql_sqlite=ON -DFEATURE_system_sqlite=ON -DFEATURE_sql_odbc=OFF \
    -DFEATURE_sql_psql=OFF -DFEATURE_sql_mysql=OFF -DFEATURE_sql_ibase=OFF -DFEATURE_sql_oci=OFF -DFEATURE_sql_db2=OFF \
    -DFEATURE_zstd=OFF -DFEATURE_system_zlib=OFF -DFEATURE_system_png=OFF -DFEATURE_system_jpeg=OFF \
    -DFEATURE_system_harfbuzz=OFF -DFEATURE_system_freetype=OFF -DFEATURE_system_pcre2=OFF \
    -DFEATURE_system_doubleconversion=OFF -DFEATURE_system_textmarkdownreader=OFF \
    -DFEATURE_pkg_config=OFF \
    -DSQLite3_INCLUDE_DIR="$PREFIX/include" -DSQLite3_LIBRARY="$PREFIX/lib/libsqlite3.a"
  "${NICE_CMD[@]}" cmake --build "$b" -j "$JOBS"
  cmake --install "$b"
}

# --- 6. libcurl: Schannel, HTTP(S), SMTP(S) and IMAP(S), static ---------------
do_curl() {
  local b=$BLD/curl
  rm -rf "$b"
  "${CMAKE_CROSS[@]}" -S "$SRC/curl" -B "$b" \
    -DBUILD_CURL_EXE=OFF -DBUILD_TESTING=OFF -DCURL_ENABLE_EXPORT_TARGET=ON \
    -DCURL_USE_SCHANNEL=ON -DCURL_USE_OPENSSL=OFF -DCURL_WINDOWS_SSPI=ON \
    -DCURL_CA_BUNDLE=none -DCURL_CA_PATH=none \
    -DCURL_USE_LIBPSL=OFF -DCURL_USE_LIBSSH2=OFF -DCURL_USE_LIBSSH=OFF -DCURL_ZLIB=OFF -DCURL_BROTLI=OFF \
    -DCURL_ZSTD=OFF -DUSE_NGHTTP2=OFF -DUSE_LIBIDN2=OFF -DENABLE_UNICODE=ON \
    -DCURL_DISABLE_DICT=ON -DCURL_DISABLE_FILE=ON -DCURL_DISABLE_FTP=ON -DCURL_DISABLE_GOPHER=ON \
    -DCURL_DISABLE_IMAP=OFF -DCURL_DISABLE_LDAP=ON -DCURL_DISABLE_LDAPS=ON -DCURL_DISABLE_MQTT=ON \
    -DCURL_DISABLE_POP3=ON -DCURL_DISABLE_RTSP=ON -DCURL_DISABLE_SMB=ON -DCURL_DISABLE_TELNET=ON \
    -DCURL_DISABLE_TFTP=ON
  cmake_build_install "$b"
  rm -f "$PREFIX/bin/curl-config"
}

# --- 7. libqrencode (static, pkg-config file) --------------------------------
do_qrencode() {
  local b=$BLD/qrencode
  rm -rf "$b"
  "${CMAKE_CROSS[@]}" -S "$SRC/qrencode" -B "$b" -DWITH_TOOLS=OFF -DWITH_TESTS=OFF -DWITHOUT_PNG=ON
  cmake_build_install "$b"
}

# --- 8. GoogleTest and GoogleMock (Debian's googletest package) --------------
do_googletest() {
  local b=$BLD/googletest
  rm -rf "$b"
  "${CMAKE_CROSS[@]}" -S /usr/src/googletest -B "$b" -DBUILD_GMOCK=ON -DINSTALL_GTEST=ON
  cmake_build_install "$b"
}

# --- 9. Google Benchmark (the project's bench/ needs it at configure time) ---
do_benchmark() {
  local b=$BLD/benchmark
  rm -rf "$b"
  # Debian's source reads its version from GIT_VERSION (debian/rules passes it too).
  local version
  version=$(dpkg-parsechangelog -l "$SRC/benchmark/debian/changelog" -S Version)
  version=${version%%-*}
  "${CMAKE_CROSS[@]}" -S "$SRC/benchmark" -B "$b" -DGIT_VERSION="$version" -DBENCHMARK_ENABLE_TESTING=OFF \
    -DBENCHMARK_ENABLE_GTEST_TESTS=OFF -DBENCHMARK_ENABLE_WERROR=OFF -DBENCHMARK_ENABLE_INSTALL=ON \
    -DBENCHMARK_INSTALL_DOCS=OFF -DBENCHMARK_ENABLE_LTO=OFF -DBENCHMARK_USE_BUNDLED_GTEST=OFF
  cmake_build_install "$b"
}

# --- 10. OpenSSL 3 (libcrypto, libssl; static) -------------------------------
do_openssl() {
  local b=$BLD/openssl
  rm -rf "$b"; cp -a "$SRC/openssl" "$b"; cd "$b"
  "${NICE_CMD[@]}" ./Configure mingw64 --cross-compile-prefix=$TRIPLET- no-shared no-tests no-module \
    --prefix="$PREFIX" --libdir=lib
  "${NICE_CMD[@]}" make -j "$JOBS" build_libs
  make install_dev
}

# --- 11. nlohmann/json (header-only; the host package's files) ---------------
do_nlohmann_json() {
  mkdir -p "$PREFIX/include" "$PREFIX/share/cmake" "$PREFIX/share/pkgconfig"
  rm -rf "$PREFIX/include/nlohmann" "$PREFIX/share/cmake/nlohmann_json"
  cp -a /usr/include/nlohmann "$PREFIX/include/"
  cp -a /usr/share/cmake/nlohmann_json "$PREFIX/share/cmake/"
  sed 's|/usr/include|${pcfiledir}/../../include|' /usr/share/pkgconfig/nlohmann_json.pc \
    >"$PREFIX/share/pkgconfig/nlohmann_json.pc"
}

# --- 12. The mingw-w64 runtime DLLs, stripping, relocatable .pc files --------
do_finish() {
  local gcc_dir
  gcc_dir=$(dirname "$($TRIPLET-g++-posix -print-libgcc-file-name)")
  cp "$gcc_dir/libstdc++-6.dll" "$gcc_dir/libgcc_s_seh-1.dll" "/usr/$TRIPLET/lib/libwinpthread-1.dll" "$PREFIX/bin/"
  find "$PREFIX/bin" "$PREFIX/plugins" -name '*.dll' -exec $TRIPLET-strip --strip-unneeded {} +
  find "$PREFIX/lib" -name '*.a' -exec $TRIPLET-strip --strip-debug {} +
  # pkg-config files that name the build folder become relative to their own place.
  local pc
  for pc in "$PREFIX"/lib/pkgconfig/*.pc; do
    sed -i -e "s|^prefix=$PREFIX\$|prefix=\${pcfiledir}/../..|" -e "s|$PREFIX|\${prefix}|g" "$pc"
  done
  # qt-cmake's toolchain (lib/cmake/Qt6/qt.toolchain.cmake) loads the SDK's own.
  sed -i 's|^set(__qt_initially_configured_toolchain_file ".*")$|set(__qt_initially_configured_toolchain_file "${CMAKE_CURRENT_LIST_DIR}/../../../toolchain-mingw64.cmake")|' \
    "$PREFIX/lib/cmake/Qt6/qt.toolchain.cmake"
  # What a cross build does not need: docs, man pages, and Qt's host scripts in
  # bin (qmake, qt-cmake, ... wrappers that name the build machine's folders).
  rm -rf "$PREFIX/share/man" "$PREFIX/share/doc" "$PREFIX/doc" "$PREFIX/ssl"
  find "$PREFIX/bin" -type f ! -name '*.dll' -delete
  cat >"$PREFIX/USAGE.txt" <<'EOF'
Windows x64 SDK (mingw-w64, Qt 6.4.2) for cross-building Corvex on Debian 12.
Needs on the build machine: cmake, ninja-build, pkgconf, g++-mingw-w64-x86-64-posix,
qt6-base-dev and qt6-base-dev-tools 6.4.2 (moc, rcc, uic), wine64 to run programs.

  SDK=/path/to/corvex-winsdk-qt6.4.2-mingw64
  cmake -S . -B build-win -G Ninja -DCMAKE_TOOLCHAIN_FILE=$SDK/toolchain-mingw64.cmake -DCMAKE_BUILD_TYPE=Release
  cmake --build build-win --target corvex
  $SDK/wine-run.sh build-win/corvex.exe --help      # the SDK's DLLs on WINEPATH
  cd build-win && ctest                             # tests run under Wine through wine-run.sh

Headless under Wine: a WINEPREFIX with Wine's null graphics driver (Debian's
wine64 package puts the loader at /usr/lib/wine/wine64)
  /usr/lib/wine/wine64 reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f
Qt's offscreen platform on Windows reads fonts only from QT_QPA_FONTDIR
(e.g. /usr/share/fonts/truetype/liberation); wine-run.sh hands QT_* variables
to the program (Wine itself passes only WINEQT_* as QT_*).
Versions: VERSIONS.txt.
EOF
  cat >"$PREFIX/VERSIONS.txt" <<EOF
Windows x64 SDK for Corvex, built $(date -u +%Y-%m-%d) on Debian $(cat /etc/debian_version)
mingw-w64 g++: $(dpkg-query -W -f='${Version}' g++-mingw-w64-x86-64-posix) (Debian's g++-mingw-w64-x86-64-posix: POSIX threads, SEH), mingw-w64 $(dpkg-query -W -f='${Version}' mingw-w64-x86-64-dev)
$(cd "$SRC" && for d in *.dsc; do echo "source: ${d%.dsc}"; done)
googletest: $(dpkg-query -W -f='${Version}' googletest) (Debian's googletest)
nlohmann-json: $(dpkg-query -W -f='${Version}' nlohmann-json3-dev) (Debian's nlohmann-json3-dev)
host Qt tools: $(dpkg-query -W -f='${Version}' qt6-base-dev-tools) (Debian's qt6-base-dev-tools)
EOF
}

do_pack() {
  rm -f "$OUT"
  tar -C "$WORK" --owner=0 --group=0 --numeric-owner --sort=name -cf - "$SDK_NAME" | "${NICE_CMD[@]}" xz -T0 -9 >"$OUT"
  ls -l "$OUT"
}

[[ ${SKIP_APT:-0} == 1 ]] || step packages do_packages
step sources do_sources
step toolchain do_toolchain
step sqlite do_sqlite
step qt do_qt
step curl do_curl
step qrencode do_qrencode
step googletest do_googletest
step benchmark do_benchmark
step openssl do_openssl
step nlohmann_json do_nlohmann_json
step finish do_finish
step pack do_pack
log "SDK: $OUT"
cat "$WORK/logs/times.txt"
