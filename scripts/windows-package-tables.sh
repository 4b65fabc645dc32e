#!/usr/bin/env bash
# windows-package-tables.sh MSI WORK: adds to MSI the tables wixl cannot
# make, from .idt files written into WORK:
#
# - MsiLockPermissionsEx, the access lists, in SDDL by SID (never by account
#   name, which differs on a Spanish Windows), each protected from what it
#   would inherit (C:\, a folder made before the install) and naming its
#   owner, Administrators. Program files and folders: Administrators and
#   SYSTEM change them, everyone else (the service too) only reads and runs
#   them. The data folder and all it holds, now or later (inherited):
#   Administrators and SYSTEM, and the service, which may change what it
#   keeps there; nobody else. logs\ also lets Users read. main.ini: the
#   service only reads it.
# - MsiServiceConfig: delayed automatic start (a SQL Server on the machine is
#   up first), the service's SID in its token whatever its account
#   (unrestricted), the failure actions for a non-zero exit code too, and
#   180 s of the machine's pre-shutdown for the document in hand.
# - MsiServiceConfigFailureActions: restarted a minute after each failure,
#   the count forgotten after a day without one.
set -euo pipefail
cd "$(dirname "$0")/.."
msi=$1
work=$2
service_sid=$(python3 scripts/service-sid.py Corvex)

readonly=0x1200a9 # read, run, list: FILE_GENERIC_READ | FILE_GENERIC_EXECUTE
modify=0x1301bf   # and write, append, delete: FILE_GENERIC_* | DELETE, no WRITE_DAC
owners="(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)"
program_folder="O:BAD:P$owners(A;OICI;$readonly;;;BU)(A;OICI;$readonly;;;$service_sid)"
program_file="O:BAD:P(A;;FA;;;SY)(A;;FA;;;BA)(A;;$readonly;;;BU)(A;;$readonly;;;$service_sid)"
data_folder="O:BAD:P$owners(A;OICI;$modify;;;$service_sid)"
logs_folder="$data_folder(A;OICI;$readonly;;;BU)"
main_ini="O:BAD:P(A;;FA;;;SY)(A;;FA;;;BA)(A;;FR;;;$service_sid)"

# The rows of one table of the package, without its three header lines.
rows() { msiinfo export "$msi" "$1" | tail -n +4 | tr -d '\r'; }

# The folders below INSTALLFOLDER that hold program files.
program_folders() {
  rows Directory | awk -F'\t' '{ parent[$1] = $2 } END {
    for (d in parent) { p = d; while (p != "" && p != "INSTALLFOLDER") p = parent[p]; if (p == "INSTALLFOLDER") print d } }'
}

lock_rows() {
  local file component directory
  rows File | while IFS=$'\t' read -r file component _; do
    if [ "$file" = MainIni ]; then
      printf 'Lock_%s\t%s\tFile\t%s\t\n' "$file" "$file" "$main_ini"
    else
      printf 'Lock_%s\t%s\tFile\t%s\t\n' "$file" "$file" "$program_file"
    fi
  done
  for directory in $(program_folders); do
    printf 'Lock_%s\t%s\tCreateFolder\t%s\t\n' "$directory" "$directory" "$program_folder"
  done
  printf 'Lock_DATAFOLDER\tDATAFOLDER\tCreateFolder\t%s\t\n' "$data_folder"
  printf 'Lock_FilesFolder\tFilesFolder\tCreateFolder\t%s\t\n' "$data_folder"
  printf 'Lock_QrFolder\tQrFolder\tCreateFolder\t%s\t\n' "$data_folder"
  printf 'Lock_LogsFolder\tLogsFolder\tCreateFolder\t%s\t\n' "$logs_folder"
}

# A lock on a folder takes effect through a CreateFolder row; the program's
# sub-folders have none of their own, so each gets one with a component that
# installs into it. (The readers read their input whole: one that stopped
# early would fail the writer, and with pipefail the script.)
create_folder_rows() {
  local directory component
  for directory in $(program_folders); do
    rows CreateFolder | cut -f1 | grep -x "$directory" >/dev/null && continue
    component=$(rows Component | awk -F'\t' -v d="$directory" '$3 == d && !found { found = $1 } END { print found }')
    [ -n "$component" ] && printf '%s\t%s\n' "$directory" "$component"
  done
}

{
  printf 'Directory_\tComponent_\ns72\ts72\nCreateFolder\tDirectory_\tComponent_\n'
  rows CreateFolder
  create_folder_rows
} >"$work/CreateFolder.idt"
{
  printf 'MsiLockPermissionsEx\tLockObject\tTable\tSDDLText\tCondition\ns72\ts72\ts32\ts0\tS255\n'
  printf 'MsiLockPermissionsEx\tMsiLockPermissionsEx\n'
  lock_rows
} >"$work/MsiLockPermissionsEx.idt"
{
  printf 'MsiServiceConfig\tName\tEvent\tConfigType\tArgument\tComponent_\ns72\ts255\ti2\ti4\tS0\ts72\n'
  printf 'MsiServiceConfig\tMsiServiceConfig\n'
  printf 'DelayedStart\tCorvex\t5\t3\t1\tProgram\n'
  printf 'FailureActionsOnExitCode\tCorvex\t5\t4\t1\tProgram\n'
  printf 'UnrestrictedSid\tCorvex\t5\t5\t1\tProgram\n'
  printf 'PreShutdown\tCorvex\t5\t7\t180000\tProgram\n'
} >"$work/MsiServiceConfig.idt"
{
  printf 'MsiServiceConfigFailureActions\tName\tEvent\tResetPeriod\tRebootMessage\tCommand\tActions\tDelayActions\tComponent_\n'
  printf 's72\ts255\ti2\tI4\tL255\tL255\tS0\tS0\ts72\n'
  printf 'MsiServiceConfigFailureActions\tMsiServiceConfigFailureActions\n'
  printf 'RestartAfterAMinute\tCorvex\t5\t86400\t\t\t1[~]1[~]1\t60000[~]60000[~]60000\tProgram\n'
} >"$work/MsiServiceConfigFailureActions.idt"
for table in CreateFolder MsiLockPermissionsEx MsiServiceConfig MsiServiceConfigFailureActions; do
  msibuild "$msi" -i "$work/$table.idt"
done
