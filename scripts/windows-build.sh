#!/usr/bin/env bash
# windows-build.sh BUILD JOBS WERROR [TARGET...]: cross-builds corvex.exe (and
# the TARGETs given, such as the Windows test programs) with the Windows SDK,
# and leaves BUILD/dist: corvex.exe with every DLL, plugin and fallback font it
# needs beside it, ready to be copied to a Windows PC or run by Wine as it is.
#
# The SDK is the tarball CORVEX_WINSDK names, else ../shared/windows-sdk/*.tar.xz
# (scripts/windows-sdk.sh makes it); it is unpacked into BUILD/sdk.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-windows}
jobs=${2:-2}
werror=${3:-OFF}
shift $(($# < 3 ? $# : 3))
# shellcheck source=scripts/windows-env.sh
source scripts/windows-env.sh

# Unpacks the SDK again only when another tarball (or a newer one) is given.
unpack_sdk() {
  local tarball=$1 sdk=$build/sdk stamp
  stamp="$(realpath "$tarball") $(stat -c '%s %Y' "$tarball")"
  if [ -f "$sdk/.unpacked-from" ] && [ "$(cat "$sdk/.unpacked-from")" = "$stamp" ]; then return; fi
  rm -rf "$sdk"
  mkdir -p "$sdk"
  tar -xJf "$tarball" -C "$sdk" --strip-components=1
  echo "$stamp" >"$sdk/.unpacked-from"
}

configure() {
  local launcher=()
  if command -v ccache >/dev/null; then launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache); fi
  cmake -S . -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$PWD/$build/sdk/toolchain-mingw64.cmake" \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCORVEX_WERROR="$werror" "${launcher[@]}" >/dev/null
}

# What the SDK's README lists for deploying, and the Liberation fonts, which
# the program falls back on where the system has no Arial (their licence lets
# us ship them).
assemble_dist() {
  local sdk=$build/sdk dist=$build/dist
  rm -rf "$dist"
  mkdir -p "$dist"/{platforms,sqldrivers,imageformats,styles,fonts}
  x86_64-w64-mingw32-strip -o "$dist/corvex.exe" "$build/corvex.exe"
  cp "$sdk"/bin/*.dll "$dist/"
  cp "$sdk"/plugins/platforms/{qwindows,qoffscreen,qminimal}.dll "$dist/platforms/"
  cp "$sdk"/plugins/sqldrivers/qsqlite.dll "$dist/sqldrivers/"
  cp "$sdk"/plugins/imageformats/{qjpeg,qgif,qico}.dll "$dist/imageformats/"
  cp "$sdk"/plugins/styles/qwindowsvistastyle.dll "$dist/styles/"
  cp /usr/share/fonts/truetype/liberation/LiberationSans*.ttf "$dist/fonts/"
  cp /usr/share/doc/fonts-liberation/copyright "$dist/fonts/LICENSE.txt"
}

tarball=$(windows_sdk_tarball)
if [ -z "$tarball" ]; then
  echo "windows-build: no Windows SDK (set CORVEX_WINSDK to its tarball, or make one with scripts/windows-sdk.sh)" >&2
  exit 1
fi
unpack_sdk "$tarball"
configure
cmake --build "$build" -j "$jobs" --target corvex "$@"
assemble_dist
echo "windows-build: $build/dist/corvex.exe"
