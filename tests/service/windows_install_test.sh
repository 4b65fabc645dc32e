#!/usr/bin/env bash
# windows_install_test.sh WIN_BUILD LINUX_BUILD: the MSI and the Windows
# service under Wine, in a fresh prefix: a silent install (the program under
# Program Files, the company's files under ProgramData, the service
# registered as NT SERVICE\Corvex and not started), `corvex check` finding
# the data folder by itself, the service staying up while main.ini is not
# usable, mailing, a stop with a mail in flight that mails nothing twice and
# loses nothing, an upgrade refused for an account without
# its password, an upgrade that keeps the service running, an uninstall that
# removes it and keeps the company's files, `service install` for a copy
# without the package, and an upgrade from the single folder of before.
# WIN_BUILD/corvex-VERSION-x64.msi must exist (scripts/windows-package.sh);
# a second package one version higher is made for the upgrade.
set -euo pipefail
cd "$(dirname "$0")/../.."
build=$1
linux=$2
# shellcheck source=scripts/windows-env.sh
source scripts/windows-env.sh
# shellcheck source=tests/service/windows_helpers.sh
source tests/service/windows_helpers.sh
version=$(sed -n 's/^project(corvex VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
next=$(awk -F. '{ print $1 "." $2 "." $3 + 1 }' <<<"$version")
scratch=$(mktemp -d)
cleanup() {
  "$wineserver" -k 2>/dev/null || true
  rm -rf "$scratch" "$build/corvex-$next-x64.msi"
}
trap cleanup EXIT

fail() {
  echo "windows-install: $*" >&2
  [ -d "${data:-}/logs" ] && cat "$data"/logs/*.txt >&2 2>/dev/null
  exit 1
}
# Pipelines end in `grep >/dev/null`, not `grep -q`: a grep that stops at
# the first match would fail the writer (SIGPIPE) and, with pipefail, the
# pipeline.
msi() { win msiexec "$1" "$(winepath -w "$2" 2>/dev/null)" /qn "${@:3}" >/dev/null || fail "msiexec $* failed"; }
key='HKLM\System\CurrentControlSet\Services\Corvex'
service_value() { win reg query "$key" /v "$1" | grep -F "$2" >/dev/null; }
service_state() { win sc query Corvex | grep "STATE *: *[0-9]* *$1" >/dev/null; }
unregistered() { ! win sc query Corvex >/dev/null; }
logged() { cat "$data"/logs/*.txt 2>/dev/null | grep -F "$1" >/dev/null; }
log_count() { cat "$data"/logs/*.txt 2>/dev/null | grep -cF "$1" || true; }
# Waits for the service's writes rather than failing on a locked database.
db() { sqlite3 -cmd '.timeout 10000' "$data/corvex-demo.db" "$1"; }
mails() { find "$data/outbox" -name '*.eml' | wc -l; }
all_mailed() { [ "$(mails)" -eq "$(db 'SELECT COUNT(*) FROM FACTURAS_ENC')" ]; }
start_menu_entry() { find "$WINEPREFIX/drive_c" -path '*Start Menu/Programs/Corvex.lnk' | grep . >/dev/null; }

bash scripts/windows-package.sh "$build" "$next" >/dev/null
windows_wine_prefix "$scratch/prefix"
# Wine ends a service with its server, which by itself ends seconds after
# the last program: a persistent server keeps it, as a running Windows does.
"$wineserver" -p
program="$WINEPREFIX/drive_c/Program Files/Corvex"
data=$WINEPREFIX/drive_c/ProgramData/Corvex

# A silent install: the program and its guide under Program Files, the
# example main.ini and the folders Corvex writes into under ProgramData, the
# service registered with its account and command line but not started,
# the event source, the Start-menu entry.
msi /i "$build/corvex-$version-x64.msi"
for file in corvex.exe Qt6Core.dll platforms/qoffscreen.dll sqldrivers/qsqlite.dll administrator.md; do
  [ -f "$program/$file" ] || fail "not installed: $file"
done
cmp -s "$data/main.ini" packaging/windows/main.ini || fail "main.ini is not the example"
for folder in logs files qr; do [ -d "$data/$folder" ] || fail "no folder $folder"; done
[ ! -e "$program/main.ini" ] || fail "main.ini beside the program"
# (Windows Installer quotes the program's path; Wine's does not.)
service_value ImagePath 'Program Files\Corvex\corvex.exe' &&
  service_value ImagePath ' service run --app-dir "C:\ProgramData\Corvex\."' ||
  fail "service command line: $(win reg query "$key" /v ImagePath)"
service_value ObjectName 'NT SERVICE\Corvex' || fail "service account: $(win reg query "$key" /v ObjectName)"
service_value Start 0x2 || fail "not started at boot"
service_state STOPPED || fail "a fresh install started the service without STARTSERVICE=1"
win reg query 'HKLM\System\CurrentControlSet\Services\EventLog\Application\Corvex' /v EventMessageFile |
  grep -F 'C:\Program Files\Corvex\corvex.exe' >/dev/null || fail "no event source"
start_menu_entry || fail "no Start-menu entry"

# The company's set-up (the demo's database, mailing into outbox): the check,
# run from elsewhere without --app-dir, finds the data folder by itself.
env -u DISPLAY -u WAYLAND_DISPLAY "$linux/corvex" demo "$scratch/demo" >/dev/null
cp "$scratch/demo/corvex-demo.db" "$data/"
cp "$scratch/demo/main.ini" "$scratch/company.ini"
cp "$scratch/company.ini" "$data/main.ini"
mkdir -p "$data/outbox"
(cd "$scratch" && win "C:\\Program Files\\Corvex\\corvex.exe" check >"$scratch/check.txt") ||
  fail "corvex check did not find the data folder: $(cat "$scratch/check.txt")"
cp packaging/windows/main.ini "$data/main.ini"

# Started with main.ini still the example, the service stays up and says
# what is wrong; once main.ini is usable it mails, then stops with code 0.
db "UPDATE FACTURAS_ENC SET ENVIADA = 0"
win sc start Corvex >/dev/null || fail "the service did not start"
wait_for 60 logged "Start-up=> error" || fail "the start-up failure is not logged"
service_state RUNNING || fail "the service ended over an unusable main.ini: $(win sc query Corvex)"
cp "$scratch/company.ini" "$data/main.ini"
wait_for 120 all_mailed || fail "the service mailed $(mails) of $(db 'SELECT COUNT(*) FROM FACTURAS_ENC') documents"
logged "Service=> Started" || fail "the start is not logged"
win sc stop Corvex >/dev/null || fail "the service did not take the stop"
wait_for 60 service_state STOPPED || fail "the service did not stop"
logged "Service=> Stopped, exit code 0" || fail "the stop is not logged"
[ "$(db 'SELECT COUNT(*) FROM FACTURAS_ENC WHERE ENVIADA = 0')" = 0 ] || fail "a mailed document is not marked"

# A stop sent while the server holds its reply to the data of a mail: that
# mail is marked, nothing new starts, the service stops; started again it
# mails the rest. Each document once, none lost.
bash tests/service/windows_stop_test.sh "$data" || fail "a stop with a mail in flight"

# An upgrade for an account that needs a password, without it, changes
# nothing.
win sc start Corvex >/dev/null || fail "the service did not start again"
wait_for 60 service_state RUNNING || fail "the service is not running"
! win msiexec /i "$(winepath -w "$build/corvex-$next-x64.msi" 2>/dev/null)" /qn 'SERVICEACCOUNT=CORP\corvex' >/dev/null ||
  fail "an upgrade to a password account without its password went ahead"
service_value ObjectName 'NT SERVICE\Corvex' || fail "the refused upgrade changed the service"
service_state RUNNING || fail "the refused upgrade stopped the service"

# The upgrade stops the service, replaces the program, and starts it again;
# main.ini, the log, the journal (whose document the service finds marked,
# so it keeps the line) and the mails in the outbox stay.
echo '{"serie":"FA","numero":1}' >"$data/mailed-unmarked.jsonl"
outbox=$(mails)
starts=$(log_count "Service=> Started")
msi /i "$build/corvex-$next-x64.msi"
cmp -s "$data/main.ini" "$scratch/company.ini" || fail "the upgrade replaced main.ini"
log=$(cd "$data" && ls logs/*.txt | head -n 1)
for file in main.ini "$log" mailed-unmarked.jsonl corvex-demo.db; do
  [ -f "$data/$file" ] || fail "lost in the upgrade: $file"
done
[ "$(mails)" = "$outbox" ] || fail "the upgrade changed the outbox: $(mails) mails, $outbox before"
[ -f "$program/corvex.exe" ] || fail "the upgrade lost the program"
service_value ObjectName 'NT SERVICE\Corvex' || fail "the upgrade changed the account"
wait_for 60 service_state RUNNING || fail "the upgrade left the service stopped: $(win sc query Corvex)"
started_again() { [ "$(log_count "Service=> Started")" -gt "$starts" ]; }
wait_for 60 started_again || fail "the upgrade did not start the service again"

# Uninstall: the service stops and goes, the program goes (which it would not,
# were the old version still registered beside the new one), the company's
# files stay.
msi /x "$build/corvex-$next-x64.msi"
wait_for 30 unregistered || fail "the service is still registered"
for file in corvex.exe Qt6Core.dll platforms/qoffscreen.dll; do
  [ ! -e "$program/$file" ] || fail "not removed: $file; running: $(ps -eo args | grep -i "[c]orvex.exe")"
done
for file in main.ini "$log" mailed-unmarked.jsonl corvex-demo.db; do
  [ -f "$data/$file" ] || fail "removed by the uninstall: $file"
done
! win reg query 'HKLM\System\CurrentControlSet\Services\EventLog\Application\Corvex' >/dev/null ||
  fail "the event source stayed"
! start_menu_entry || fail "the Start-menu entry stayed"

# A copy without the package: `service install` takes no password on the
# command line, asks for one an account needs, and registers the virtual
# account by default.
copy="Z:$(realpath "$build/dist/corvex.exe" | tr / '\\')"
status=0
win "$copy" service install --password secret >/dev/null || status=$?
[ "$status" = 64 ] || fail "service install --password was taken (exit $status)"
! echo | win "$copy" service install --account 'CORP\corvex' >/dev/null || fail "installed without a password"
win "$copy" service install --app-dir 'C:\ProgramData\Corvex' >/dev/null || fail "service install failed"
service_value ObjectName 'NT SERVICE\Corvex' || fail "service install: $(win reg query "$key" /v ObjectName)"
win "$copy" service uninstall >/dev/null || fail "service uninstall failed"
wait_for 30 unregistered || fail "service uninstall left the service"

# An upgrade from the single folder of before (program and data in
# C:\Corvex): the data stays where it is, the service is pointed at it.
win reg delete 'HKLM\Software\Corvex' /v DataFolder /f >/dev/null || true
win reg add 'HKLM\Software\Corvex' /v InstallFolder /d 'C:\Corvex\' /f >/dev/null
mkdir -p "$WINEPREFIX/drive_c/Corvex"
cp "$scratch/company.ini" "$WINEPREFIX/drive_c/Corvex/main.ini"
msi /i "$build/corvex-$version-x64.msi"
service_value ImagePath 'service run --app-dir "C:\Corvex\."' || fail "the single folder's data was not kept"
cmp -s "$WINEPREFIX/drive_c/Corvex/main.ini" "$scratch/company.ini" || fail "the single folder's main.ini changed"
msi /x "$build/corvex-$version-x64.msi"
echo "windows-install: install, check, service, stop in flight, upgrade, uninstall and copy passed"
