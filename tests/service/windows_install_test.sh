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
wineserver=${wine%64}server
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
  [ -d "${root:-}/logs" ] && cat "$root"/logs/*.txt >&2 2>/dev/null
  exit 1
}
# Pipelines end in `grep >/dev/null`, not `grep -q`: a grep that stops at
# the first match would fail the writer (SIGPIPE) and, with pipefail, the
# pipeline.
# A Windows program's output without its CRs, and its exit status (124
# when it has not ended within 5 minutes).
win() {
  local out status=0
  out=$(timeout 300 "$wine" "$@" 2>/dev/null) || status=$?
  printf '%s\n' "${out//$'\r'/}"
  return "$status"
}
msi() { win msiexec "$1" "$(winepath -w "$2" 2>/dev/null)" /qn "${@:3}" >/dev/null || fail "msiexec $* failed"; }
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
run_key_holds_corvex() { win reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Run' /v Corvex | grep corvex.exe >/dev/null; }
service_state() { win sc query Corvex | grep "STATE *: *[0-9]* *$1" >/dev/null; }
logged() { cat "$root"/logs/*.txt 2>/dev/null | grep -F "$1" >/dev/null; }
mails() { find "$root/outbox" -name '*.eml' | wc -l; }
documents() { sqlite3 "$root/corvex-demo.db" "SELECT COUNT(*) FROM FACTURAS_ENC"; }
all_mailed() { [ "$(mails)" -eq "$(documents)" ]; }
stopped_with_2() { win sc query Corvex | tr '\n' ' ' | grep 'STATE *: *1 .*SERVICE_EXIT_CODE *: *2 ' >/dev/null; }
unregistered() { ! win sc query Corvex >/dev/null; }

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
start_menu_entry() { find "$WINEPREFIX/drive_c" -path '*Start Menu/Programs/Corvex.lnk' | grep . >/dev/null; }
start_menu_entry || fail "no Start-menu entry"
! run_key_holds_corvex || fail "starts at logon without STARTATLOGON=1"

# The company's set-up (the demo's database, mailing into outbox) passes the
# check run from the installed folder, with nothing else set.
env -u DISPLAY -u WAYLAND_DISPLAY "$linux/corvex" demo "$scratch/demo" >/dev/null
cp "$scratch/demo/main.ini" "$scratch/demo/corvex-demo.db" "$root/"
mkdir -p "$root/outbox"
(cd "$root" && win corvex.exe check >"$scratch/check.txt") || fail "corvex check failed in the installed folder: $(cat "$scratch/check.txt")"

# The service: registered to start at boot as `service run`, started by the
# manager when Wine next boots, mailing, stopped by it with exit code 0.
# Wine ends a service with its server, which by itself ends seconds after
# the last program: a persistent server keeps it, as a running Windows does.
sqlite3 "$root/corvex-demo.db" "UPDATE FACTURAS_ENC SET ENVIADA = 0"
win "C:\\Corvex\\corvex.exe" service install >/dev/null || fail "service install failed"
key='HKLM\System\CurrentControlSet\Services\Corvex'
win reg query "$key" /v ImagePath | grep -F 'corvex.exe" service run --app-dir "C:\Corvex"' >/dev/null ||
  fail "command line not recorded"
win reg query "$key" /v Start | grep '0x2' >/dev/null || fail "not started at boot"
"$wineserver" -k
"$wineserver" -w
"$wineserver" -p
win sc query Corvex >/dev/null
wait_for 120 all_mailed || fail "the service, started at boot, mailed $(mails) of $(documents) documents"
wait_for 10 logged "Service=> Started" || fail "the start is not logged"
win sc stop Corvex >/dev/null || fail "the service did not take the stop"
wait_for 60 service_state STOPPED || fail "the service did not stop"
logged "Service=> Stopped, exit code 0" || fail "the stop is not logged"
[ "$(sqlite3 "$root/corvex-demo.db" "SELECT COUNT(*) FROM FACTURAS_ENC WHERE ENVIADA = 0")" = 0 ] ||
  fail "a mailed document is not marked"

# A start-up failure reaches the log and the manager as exit code 2.
cp "$root/main.ini" "$scratch/main.ini"
printf '[DB]\r\ncString=sqlite:missing.db\r\n' >"$root/main.ini"
win sc start Corvex >/dev/null || true
wait_for 60 stopped_with_2 || fail "the manager did not see exit code 2: $(win sc query Corvex)"
logged "Start-up=> error" || fail "the start-up failure is not logged"
cp "$scratch/main.ini" "$root/main.ini"
win "C:\\Corvex\\corvex.exe" service uninstall >/dev/null || fail "service uninstall failed"
wait_for 30 unregistered || fail "the service is still registered"
! win "C:\\Corvex\\corvex.exe" service run >/dev/null || fail "service run outside the manager succeeded"

# An upgrade, asking for the logon start this time, keeps main.ini, the log,
# the journal and the resend requests.
echo '{"serie":"FA","numero":1}' >"$root/mailed-unmarked.jsonl"
echo '{"serie":"FA","numero":2}' >"$root/resend-requests.jsonl"
cp "$root/main.ini" "$scratch/company.ini"
msi /i "$build/corvex-$next-x64.msi" STARTATLOGON=1
cmp -s "$root/main.ini" "$scratch/company.ini" || fail "the upgrade replaced main.ini"
log=$(cd "$root" && ls logs/*.txt | head -n 1)
for file in corvex.exe "$log" mailed-unmarked.jsonl resend-requests.jsonl corvex-demo.db; do
  [ -f "$root/$file" ] || fail "lost in the upgrade: $file"
done
[ "$(win reg query 'HKLM\Software\Corvex' /v InstallFolder | grep -c 'C:\\Corvex')" = 1 ] ||
  fail "the upgrade lost the install folder's record"
run_key_holds_corvex || fail "STARTATLOGON=1 did not add the logon start"

# Uninstall: the program goes (which it would not, were the old version
# still registered beside the new one), the company's files stay.
msi /x "$build/corvex-$next-x64.msi"
for file in corvex.exe Qt6Core.dll platforms/qoffscreen.dll; do
  [ ! -e "$root/$file" ] || fail "not removed: $file; running: $(ps -eo args | grep -i "[c]orvex.exe")"
done
for file in main.ini "$log" mailed-unmarked.jsonl resend-requests.jsonl; do
  [ -f "$root/$file" ] || fail "removed by the uninstall: $file"
done
! start_menu_entry || fail "the Start-menu entry stayed"
! run_key_holds_corvex || fail "the logon start stayed"
echo "windows-install: install, check, service, upgrade and uninstall passed"
