#!/usr/bin/env bash
# windows-test.sh LINUX_BUILD WIN_BUILD JOBS WERROR: the Windows stage of
# `make test`. Under Wine: the unit tests of the Windows build (CTest runs them
# through the SDK's wine-run.sh), then the table of the Linux build (label
# "windows") that runs the real corvex.exe beside the Linux program. Without
# the Windows SDK it says so in one line and succeeds.
set -euo pipefail
cd "$(dirname "$0")/.."
linux=$1
build=$2
jobs=${3:-2}
werror=${4:-OFF}
# shellcheck source=scripts/windows-env.sh
source scripts/windows-env.sh

if [ -z "$(windows_sdk_tarball)" ]; then
  echo "test-windows: skipped, no Windows SDK: put its tarball in ../shared/windows-sdk/ or name it in CORVEX_WINSDK (scripts/windows-sdk.sh makes one)"
  exit 0
fi
started=$(date +%s)
bash scripts/windows-build.sh "$build" "$jobs" "$werror" corvex_windows_tests
built=$(date +%s)
windows_wine_prefix "$PWD/$build/wineprefix"
# The tests' offscreen platform reads fonts only from QT_QPA_FONTDIR
# (wine-run.sh hands QT_* variables over to Wine).
# Both parts run whatever the first found; the stage fails if either did.
status=0
(cd "$build" && QT_QPA_FONTDIR=/usr/share/fonts/truetype/liberation ctest --output-on-failure -j "$jobs") || status=1
CORVEX_WINDOWS_PROGRAM="$PWD/$build/dist/corvex.exe" CORVEX_WINE="$(wine_loader)" \
  CORVEX_WINDOWS_HOLD_FILE="$PWD/$build/tests/hold_file.exe" \
  ctest --test-dir "$linux" --output-on-failure -j "$jobs" -L windows || status=1
tested=$(date +%s)
# The installer, kept in $build as the build's output: its tables, signed
# builds, then installed, served, upgraded and removed under Wine.
bash scripts/windows-package.sh "$build"
version=$(sed -n 's/^project(corvex VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
python3 tests/service/windows_package_test.py "$build/corvex-$version-x64.msi" || status=1
bash tests/service/windows_sign_test.sh "$build" || status=1
signed=$(date +%s)
bash tests/service/windows_install_test.sh "$build" "$linux" || status=1
echo "test-windows: built in $((built - started)) s, tested in $((tested - built)) s," \
  "package and signing in $((signed - tested)) s, install in $(($(date +%s) - signed)) s"
exit $status
