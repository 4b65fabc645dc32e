#!/usr/bin/env bash
# windows-package.sh WIN_BUILD [VERSION]: WIN_BUILD/corvex-VERSION-x64.msi,
# the Windows installer, made with wixl from WIN_BUILD/dist (make windows)
# and packaging/windows/. VERSION defaults to the project's version; a test
# gives a higher one to try an upgrade.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-windows}
version=${2:-$(sed -n 's/^project(corvex VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)}
dist=$build/dist
if [ ! -f "$dist/corvex.exe" ]; then
  echo "windows-package: no $dist/corvex.exe; make windows builds it" >&2
  exit 1
fi
work=$build/msi
rm -rf "$work"
mkdir -p "$work"
# wixl takes sources relative to the .wxs files, which therefore sit in
# $work beside the example main.ini and the administrator's guide.
cp packaging/windows/corvex.wxs packaging/windows/main.ini docs/administrator.md "$work/"
# Every file of dist, as components of the install folder (their GUIDs
# follow from their paths, so an upgrade replaces each in place).
find "$dist" -type f | sort |
  wixl-heat --prefix "$dist/" --var var.SourceDir --directory-ref INSTALLFOLDER --component-group ProgramFiles \
    --win64 >"$work/files.wxs"
msi=$build/corvex-$version-x64.msi
wixl --arch x64 -D Win64=yes -D Version="$version" -D SourceDir=../dist -D IniFile=main.ini \
  -D GuideFile=administrator.md -o "$msi" "$work/corvex.wxs" "$work/files.wxs"
# What wixl cannot say: main.ini is permanent (16) and never overwritten
# (128), the folders Corvex writes into are permanent, and the logon start
# is installed only when asked for; the two properties a command line sets
# reach the installation's server side.
msibuild "$msi" -q "UPDATE Component SET Attributes = 400 WHERE Component = 'MainIni'" \
  -q "UPDATE Component SET Attributes = 272 WHERE Component = 'LogsFolder' OR Component = 'FilesFolder' OR Component = 'QrFolder'" \
  -q "UPDATE Component SET Condition = 'STARTATLOGON = \"1\"' WHERE Component = 'StartAtLogon'" \
  -q "UPDATE Property SET Value = 'INSTALLFOLDER;STARTATLOGON;WIX_DOWNGRADE_DETECTED;WIX_UPGRADE_DETECTED' WHERE Property = 'SecureCustomProperties'"
echo "windows-package: $msi"
