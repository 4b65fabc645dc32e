#!/usr/bin/env python3
"""windows_package_test.py MSI: the Windows package checked as a file, from
its tables (msiinfo export), for what Wine cannot show: Wine applies no
access lists and keeps no failure actions.

- Every access list is by SID, protected, with an owner, and none gives
  Users, Authenticated Users, Everyone or Interactive (nor the service)
  write access to a program file or folder, nor those groups read access to
  the private data; logs may be read by Users.
- The service: account, arguments, start type, failure actions, delayed
  start, its SID type and the pre-shutdown time-out.
- The event source's registration.
Prints one line per failed check, and "windows-package-tables: N passed, M
failed" last."""
import re
import subprocess
import sys
from pathlib import Path

MSI = sys.argv[1]
SCRIPTS = Path(__file__).resolve().parents[2] / "scripts"

# Write rights of a file or folder: the generic ones, the SDDL aliases that
# hold them, and the bits of an access mask.
WRITE_ALIASES = {"GA", "GW", "FA", "FW", "SD", "WD", "WO", "DC", "WP", "CC"}
READ_ALIASES = {"GA", "GR", "FA", "FR", "RP", "LC"}
WRITE_BITS = 0x2 | 0x4 | 0x10 | 0x40 | 0x100 | 0x10000 | 0x40000 | 0x80000 | 0x10000000 | 0x40000000
READ_BITS = 0x1 | 0x10000000 | 0x80000000
# Users, Authenticated Users, Everyone, Interactive; by alias or SID.
BROAD = {"BU", "AU", "WD", "IU", "S-1-5-32-545", "S-1-5-11", "S-1-1-0", "S-1-5-4"}
OWNERS = {"SY", "BA"}

failures = []
checks = 0


def check(condition, text):
    global checks
    checks += 1
    if not condition:
        failures.append(text)
        print("FAILED: " + text)


# The columns Windows Installer reads in the tables wixl cannot make: a
# misspelt one is silently ignored by Windows.
ADDED_TABLES = {
    "MsiLockPermissionsEx": ["MsiLockPermissionsEx", "LockObject", "Table", "SDDLText", "Condition"],
    "MsiServiceConfig": ["MsiServiceConfig", "Name", "Event", "ConfigType", "Argument", "Component_"],
    "MsiServiceConfigFailureActions": ["MsiServiceConfigFailureActions", "Name", "Event", "ResetPeriod",
                                       "RebootMessage", "Command", "Actions", "DelayActions", "Component_"],
}


def table(name):
    out = subprocess.run(["msiinfo", "export", MSI, name], check=True, capture_output=True, text=True).stdout
    lines = out.replace("\r", "").split("\n")
    columns = lines[0].split("\t")
    if name in ADDED_TABLES:
        check(columns == ADDED_TABLES[name], f"{name} has the columns {columns}")
    return [dict(zip(columns, line.split("\t"))) for line in lines[3:] if line]


def rights(mask_text):
    """(may write, may read) for an ACE's rights: a hex mask or aliases."""
    if mask_text.lower().startswith("0x"):
        mask = int(mask_text, 16)
        return bool(mask & WRITE_BITS), bool(mask & READ_BITS)
    aliases = {mask_text[i:i + 2] for i in range(0, len(mask_text), 2)}
    return bool(aliases & WRITE_ALIASES), bool(aliases & READ_ALIASES)


def aces(sddl):
    """The allow entries (trustee, may write, may read) of a protected DACL
    with an owner; None when the list is not of that form."""
    match = re.fullmatch(r"O:(\w+)D:P((?:\([^)]*\))+)", sddl)
    if not match or match.group(1) != "BA":
        return None
    entries = []
    for ace in re.findall(r"\(([^)]*)\)", match.group(2)):
        kind, _flags, mask, _object, _inherit, trustee = ace.split(";")
        if kind != "A":
            return None
        entries.append((trustee, *rights(mask)))
    return entries


def service_sid():
    run = lambda name: subprocess.run(["python3", SCRIPTS / "service-sid.py", name], check=True,
                                      capture_output=True, text=True).stdout.strip()
    # A service SID Windows documents, to show the computation is Windows' own.
    check(run("TrustedInstaller") == "S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464",
          "service-sid.py does not compute TrustedInstaller's SID")
    return run("Corvex")


def program_folders(directories):
    parent = {d["Directory"]: d["Directory_Parent"] for d in directories}
    def below_install(d):
        while d and d != "INSTALLFOLDER":
            d = parent.get(d)
        return d == "INSTALLFOLDER"
    return {d for d in parent if below_install(d)}


def check_access_lists(sid):
    locks = {(row["Table"], row["LockObject"]): row["SDDLText"] for row in table("MsiLockPermissionsEx")}
    files = {row["File"] for row in table("File")}
    programs = program_folders(table("Directory"))
    private = {("CreateFolder", d) for d in ("DATAFOLDER", "FilesFolder", "QrFolder")} | {("File", "MainIni")}
    for (kind, name), sddl in locks.items():
        entries = aces(sddl)
        check(entries is not None, f"{name}: not a protected list owned by Administrators: {sddl}")
        for trustee, _write, _read in entries or []:
            check(trustee in OWNERS | BROAD | {sid}, f"{name}: names {trustee}, neither a known SID nor an alias")
        for trustee, write, read in entries or []:
            program = (kind == "File" and name != "MainIni") or (kind == "CreateFolder" and name in programs)
            if program:
                check(not write or trustee in OWNERS, f"{name}: {trustee} may change a program file")
            if (kind, name) in private:
                check(not read or trustee in OWNERS | {sid}, f"{name}: {trustee} may read private data")
            if trustee in BROAD:
                check(not write, f"{name}: {trustee} may write")
    for name in files:
        check(("File", name) in locks, f"file {name} has no access list")
    for name in programs | {"DATAFOLDER", "FilesFolder", "QrFolder", "LogsFolder"}:
        check(("CreateFolder", name) in locks, f"folder {name} has no access list")
    service_writes = [w for t, w, _ in aces(locks.get(("CreateFolder", "DATAFOLDER"), "")) or [] if t == sid]
    check(service_writes == [True], "the service may not write into the data folder")
    logs = aces(locks.get(("CreateFolder", "LogsFolder"), "")) or []
    check(("BU", False, True) in logs, "Users may not read the logs")
    created = {(row["Directory_"]) for row in table("CreateFolder")}
    for (kind, name) in locks:
        check(kind != "CreateFolder" or name in created, f"folder {name} is locked but never created")


def check_service():
    services = table("ServiceInstall")
    check(len(services) == 1, "not one ServiceInstall row")
    service = services[0]
    check(service["Name"] == "Corvex" and service["ServiceType"] == "16", "not Corvex, its own process")
    check(service["StartType"] == "2", "not started at boot")
    check(service["StartName"] == "[SERVICEACCOUNT]" and service["Password"] == "[SERVICEPASSWORD]",
          "account and password are not the properties'")
    check(service["Arguments"] == 'service run --app-dir "[DATAFOLDER]."', "arguments: " + service["Arguments"])
    key = {row["Component"]: row["KeyPath"] for row in table("Component")}[service["Component_"]]
    check({row["File"]: row["FileName"] for row in table("File")}.get(key, "").endswith("corvex.exe"),
          "the service does not run corvex.exe")
    actions = {row["Action"]: row for row in table("CustomAction")}
    check(actions["DefaultAccount"]["Target"] == "NT SERVICE\\Corvex", "the default account is not the virtual one")
    properties = {row["Property"]: row["Value"] for row in table("Property")}
    check("SERVICEPASSWORD" in properties.get("MsiHiddenProperties", "").split(";"), "the password reaches the log")
    conditions = [row["Condition"] for row in table("LaunchCondition")]
    check(any("SERVICEPASSWORD" in c for c in conditions), "no launch condition for a missing password")
    config = {row["ConfigType"]: row for row in table("MsiServiceConfig")}
    check(config.get("3", {}).get("Argument") == "1", "no delayed automatic start")
    check(config.get("4", {}).get("Argument") == "1", "failure actions not taken for a non-zero exit code")
    check(config.get("5", {}).get("Argument") == "1", "the service's SID type is not unrestricted")
    preshutdown = int(config.get("7", {}).get("Argument") or 0)
    check(90000 <= preshutdown <= 180000, f"pre-shutdown time-out {preshutdown} ms")
    failure = table("MsiServiceConfigFailureActions")
    check(len(failure) == 1 and set(failure[0]["Actions"].split("[~]")) == {"1"}
          and set(failure[0]["DelayActions"].split("[~]")) == {"60000"} and failure[0]["ResetPeriod"] == "86400",
          "not restarted a minute after every failure")
    sequence = {row["Action"] for row in table("InstallExecuteSequence")}
    check("MsiConfigureServices" in sequence, "MsiConfigureServices is not sequenced")
    controls = {row["Component_"]: int(row["Event"]) for row in table("ServiceControl")}
    check(controls.get("Program") == 0x2 | 0x8 | 0x20 | 0x80, "not stopped and removed on install and uninstall")
    check(controls.get("ServiceStart") == 0x1, "no start on install")


def check_event_source():
    key = "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\Corvex"
    values = {row["Name"]: row["Value"] for row in table("Registry") if row["Key"] == key and row["Root"] == "2"}
    check(values.get("EventMessageFile") == "[INSTALLFOLDER]corvex.exe", "no message file for the event source")
    check(values.get("TypesSupported") == "#7", "the event source's types are not errors, warnings, information")


check_access_lists(service_sid())
check_service()
check_event_source()
print(f"windows-package-tables: {checks - len(failures)} passed, {len(failures)} failed")
sys.exit(1 if failures else 0)
