#!/usr/bin/env bash
# windows-package.sh WIN_BUILD [VERSION]: WIN_BUILD/corvex-VERSION-x64.msi,
# the Windows installer, made with wixl from WIN_BUILD/dist (make windows)
# and packaging/windows/. VERSION defaults to the project's version; a test
# gives a higher one to try an upgrade.
#
# Signing (Authenticode, SHA-256): with CORVEX_SIGN_PFX (a PKCS#12 file, its
# password in the file CORVEX_SIGN_PASSWORD_FILE) osslsigncode signs
# corvex.exe and every DLL and plugin before wixl packs them, then the MSI,
# time-stamped (RFC 3161) by the server CORVEX_SIGN_TIMESTAMP names, if any.
# CORVEX_SIGN_COMMAND instead names a command that signs the one file given
# to it in place (a hardware token through osslsigncode's PKCS#11 options,
# or a signing service's client), called for each file in the same order.
# Without either the package is unsigned, as said in one line.
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
# shellcheck source=scripts/windows-sign.sh
source scripts/windows-sign.sh

# What is packed is a copy of dist, signed when asked: dist itself stays as
# the tests run it.
cp -rL "$dist" "$work/dist"
find "$work/dist" -type f \( -name '*.exe' -o -name '*.dll' \) | sort | while read -r file; do sign_file "$file"; done

# wixl takes sources relative to the .wxs files, which therefore sit in
# $work beside the example main.ini and the administrator's guide.
cp packaging/windows/corvex.wxs packaging/windows/main.ini docs/administrator.md "$work/"
# Every file of dist but corvex.exe (the service's own component, in
# corvex.wxs), as components of the install folder (their GUIDs follow from
# their paths, so an upgrade replaces each in place).
find "$work/dist" -type f ! -path "$work/dist/corvex.exe" | sort |
  wixl-heat --prefix "$work/dist/" --var var.SourceDir --directory-ref INSTALLFOLDER --component-group ProgramFiles \
    --win64 >"$work/files.wxs"
msi=$build/corvex-$version-x64.msi
wixl --arch x64 -D Win64=yes -D Version="$version" -D SourceDir=dist -D IniFile=main.ini \
  -D GuideFile=administrator.md -o "$msi" "$work/corvex.wxs" "$work/files.wxs"

# What wixl cannot say: main.ini is permanent (16) and never overwritten
# (128), the data folder's record and the folders Corvex writes into are
# permanent; the service starts after a fresh install only when asked, after
# an upgrade unless it was disabled, and a disabled one stays so (sc.exe, run
# as the installer's service, not the user, and never failing the install);
# the properties a command line sets reach the installation's server side,
# and the password reaches no log.
msibuild "$msi" -q "UPDATE Component SET Attributes = 400 WHERE Component = 'MainIni'" \
  -q "UPDATE Component SET Attributes = 272 WHERE Component = 'LogsFolder' OR Component = 'FilesFolder' OR Component = 'QrFolder' OR Component = 'DataFolder'" \
  -q "UPDATE Component SET Condition = '(STARTSERVICE = \"1\" OR WIX_UPGRADE_DETECTED) AND NOT PREVIOUSSTART = \"#4\"' WHERE Component = 'ServiceStart'" \
  -q "INSERT INTO CustomAction (Action, Type, Source, Target) VALUES ('KeepServiceDisabled', 3170, 'SystemFolder', '\"[SystemFolder]sc.exe\" config Corvex start= disabled')" \
  -q "INSERT INTO InstallExecuteSequence (Action, Condition, Sequence) VALUES ('KeepServiceDisabled', 'PREVIOUSSTART = \"#4\" AND NOT REMOVE', 5810)" \
  -q "INSERT INTO InstallExecuteSequence (Action, Condition, Sequence) VALUES ('MsiConfigureServices', 'VersionNT >= 600', 5850)" \
  -q "INSERT INTO Property (Property, Value) VALUES ('MsiHiddenProperties', 'SERVICEPASSWORD')" \
  -q "UPDATE Property SET Value = 'INSTALLFOLDER;DATAFOLDER;SERVICEACCOUNT;SERVICEPASSWORD;STARTSERVICE;WIX_DOWNGRADE_DETECTED;WIX_UPGRADE_DETECTED' WHERE Property = 'SecureCustomProperties'"
bash scripts/windows-package-tables.sh "$msi" "$work"
sign_file "$msi"
echo "windows-package: $msi"
