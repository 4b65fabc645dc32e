#!/usr/bin/env bash
# windows_install_test.sh WIN_BUILD LINUX_BUILD: the MSI and the Windows
# service under Wine, in a fresh prefix: install, `corvex check` from the
# installed folder, the service run by Wine's Service Control Manager
# (started, mailing, stopped, a failed start's exit code), an upgrade that
# keeps the company's files, and an uninstall that keeps them too.
# WIN_BUILD/corvex-VERSION-x64.msi must exist (scripts/windows-package.sh);
# a second package one version higher is made for the upgrade.
set -euo pipefail
cd "$(dirname "$0")/../.."
build=$1
linux=$2
# shellcheck source=scripts/windows-env.sh
source scripts/windows-env.sh
wine=$(wine_loader)
version=$(sed -n 's/^project(corvex VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
next=$(awk -F. '{ print $1 "." $2 "." $3 + 1 }' <<<"$version")
scratch=$(mktemp -d)
cleanup() {
  "${wine%64}server" -k 2>/dev/null || true
  rm -rf "$scratch" "$build/corvex-$next-x64.msi"
}
trap cleanup EXIT

fail() {
  echo "windows-install: $*" >&2
  [ -d "${root:-}/logs" ] && cat "$root"/logs/*.txt >&2 2>/dev/null
  exit 1
}
win() { "$wine" "$@" 2>/dev/null | tr -d '\r'; }
msi() { win msiexec "$1" "$(winepath -w "$2" 2>/dev/null)" /qn "${@:3}"; }
# Asks `condition` five times a second until it holds, for at most SECONDS.
wait_for() {
  local seconds=$1 i
  shift
  for ((i = 0; i < seconds * 5; i++)); do
    "$@" && return 0
    sleep 0.2
  done
  "$@"
}
run_key_holds_corvex() { win reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Run' /v Corvex | grep -q corvex.exe; }
service_state() { win sc query Corvex | grep -q "STATE *: *[0-9]* *$1"; }
logged() { cat "$root"/logs/*.txt 2>/dev/null | grep -qF "$1"; }
mails() { find "$root/outbox" -name '*.eml' | wc -l; }
four_mails() { [ "$(mails)" -eq 4 ]; }

bash scripts/windows-package.sh "$build" "$next" >/dev/null
windows_wine_prefix "$scratch/prefix"
root=$WINEPREFIX/drive_c/Corvex

# Install: C:\Corvex with the program, its plugins, the example main.ini, the
# folders Corvex writes into and the Start-menu entry; no logon start.
msi /i "$build/corvex-$version-x64.msi"
for file in corvex.exe Qt6Core.dll platforms/qoffscreen.dll sqldrivers/qsqlite.dll main.ini; do
  [ -f "$root/$file" ] || fail "not installed: $file"
done
cmp -s "$root/main.ini" packaging/windows/main.ini || fail "main.ini is not the example"
for folder in logs files qr; do [ -d "$root/$folder" ] || fail "no folder $folder"; done
start_menu_entry() { find "$WINEPREFIX/drive_c" -path '*Start Menu/Programs/Corvex.lnk' | grep -q .; }
start_menu_entry || fail "no Start-menu entry"
! run_key_holds_corvex || fail "starts at logon without STARTATLOGON=1"

# The company's set-up (the demo's database, mailing into outbox) passes the
# check run from the installed folder, with nothing else set.
env -u DISPLAY -u WAYLAND_DISPLAY "$linux/corvex" demo "$scratch/demo" >/dev/null
cp "$scratch/demo/main.ini" "$scratch/demo/corvex-demo.db" "$root/"
mkdir -p "$root/outbox"
(cd "$root" && win corvex.exe check) || fail "corvex check failed in the installed folder"

# The service: registered to start at boot as `service run`, started by the
# manager, mailing, stopped by it with exit code 0, then removed.
sqlite3 "$root/corvex-demo.db" "UPDATE FACTURAS_ENC SET ENVIADA = 0"
win "C:\\Corvex\\corvex.exe" service install >/dev/null || fail "service install failed"
key='HKLM\System\CurrentControlSet\Services\Corvex'
win reg query "$key" /v ImagePath | grep -qF 'corvex.exe" service run --app-dir "C:\Corvex"' || fail "command line not recorded"
win reg query "$key" /v Start | grep -q '0x2' || fail "not started at boot"
win sc start Corvex >/dev/null
wait_for 120 four_mails || fail "the service mailed $(mails) of 4 documents"
wait_for 10 logged "Service=> Started" || fail "the start is not logged"
win sc stop Corvex >/dev/null
wait_for 60 service_state STOPPED || fail "the service did not stop"
logged "Service=> Stopped, exit code 0" || fail "the stop is not logged"
[ "$(sqlite3 "$root/corvex-demo.db" "SELECT COUNT(*) FROM FACTURAS_ENC WHERE ENVIADA = 0")" = 0 ] ||
  fail "a mailed document is not marked"

# A start-up failure reaches the log and the manager as exit code 2.
cp "$root/main.ini" "$scratch/main.ini"
printf '[DB]\r\ncString=sqlite:missing.db\r\n' >"$root/main.ini"
win sc start Corvex >/dev/null
wait_for 60 service_state STOPPED || fail "the failed service did not stop"
win sc query Corvex | grep -q 'SERVICE_EXIT_CODE *: *2 ' || fail "the manager did not see exit code 2"
logged "Start-up=> error" || fail "the start-up failure is not logged"
cp "$scratch/main.ini" "$root/main.ini"
win "C:\\Corvex\\corvex.exe" service uninstall >/dev/null || fail "service uninstall failed"
! win sc query Corvex | grep -q STATE || fail "the service is still registered"
! win "C:\\Corvex\\corvex.exe" service run >/dev/null || fail "service run outside the manager succeeded"

# An upgrade, asking for the logon start this time, keeps main.ini, the log,
# the journal and the resend requests.
echo '{"serie":"FA","numero":1}' >"$root/mailed-unmarked.jsonl"
echo '{"serie":"FA","numero":2}' >"$root/resend-requests.jsonl"
cp "$root/main.ini" "$scratch/company.ini"
msi /i "$build/corvex-$next-x64.msi" STARTATLOGON=1
cmp -s "$root/main.ini" "$scratch/company.ini" || fail "the upgrade replaced main.ini"
for file in corvex.exe logs/*.txt mailed-unmarked.jsonl resend-requests.jsonl corvex-demo.db; do
  [ -f "$root/$file" ] || fail "lost in the upgrade: $file"
done
[ "$(win reg query 'HKLM\Software\Corvex' /v InstallFolder | grep -c 'C:\\Corvex')" = 1 ] ||
  fail "the upgrade lost the install folder's record"
run_key_holds_corvex || fail "STARTATLOGON=1 did not add the logon start"

# Uninstall: the program goes (which it would not, were the old version
# still registered beside the new one), the company's files stay.
msi /x "$build/corvex-$next-x64.msi"
for file in corvex.exe Qt6Core.dll platforms/qoffscreen.dll; do
  [ ! -e "$root/$file" ] || fail "not removed: $file"
done
for file in main.ini logs/*.txt mailed-unmarked.jsonl resend-requests.jsonl; do
  [ -f "$root/$file" ] || fail "removed by the uninstall: $file"
done
! start_menu_entry || fail "the Start-menu entry stayed"
! run_key_holds_corvex || fail "the logon start stayed"
echo "windows-install: install, check, service, upgrade and uninstall passed"
