#!/usr/bin/env python3
"""A real Dovecot (Debian's dovecot-imapd) on 127.0.0.1 for tests, run as root.

serve --folder DIR --maildir MAILDIR --cert-dir CERTS --user USER --password PASSWORD
builds a Dovecot instance of its own in DIR (its configuration, run and state folders and its
log), serving the one mailbox MAILDIR (an existing maildir, such as the one postfix_server.py's
--sender-mailbox makes) to USER: IMAPS on one free port, and IMAP with STARTTLS (which it
requires before a login) on another, both with the certificate made by smtp_server.py in
CERTS. It prints "READY <imaps port>" once it answers, and writes {"imaps": port, "imap": port}
to DIR/ports.json.

Logins (SASL PLAIN, LOGIN and XOAUTH2) are checked by this very script run as Dovecot's
checkpassword program: USER with PASSWORD, or USER with a bearer token that the OAuth
emulator (oauth_server.py) logged as issued into --token-log. Every login it checks is
appended to DIR/logins.jsonl as {"user", "kind": "password"|"token"|"refused"}.

Mail processes run as the maildir's owner. On SIGTERM Dovecot is stopped and the script exits.
"""

import argparse
import json
import os
import signal
import socket
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from smtp_server import make_certificate  # noqa: E402

CONFIG = """base_dir = {folder}/run
state_dir = {folder}/state
log_path = {folder}/dovecot.log
info_log_path = {folder}/dovecot.log
protocols = imap
listen = 127.0.0.1
ssl = required
ssl_cert = <{certs}/server.pem
ssl_key = <{certs}/server.key
disable_plaintext_auth = yes
auth_mechanisms = plain login xoauth2
mail_location = maildir:{maildir}
first_valid_uid = 1
auth_failure_delay = 0
default_internal_user = dovecot
default_login_user = dovenull
passdb {{
  driver = checkpassword
  args = {checker}
}}
userdb {{
  driver = static
  args = uid={uid} gid={gid} home={folder}/home
}}
service imap-login {{
  inet_listener imap {{
    port = {imap}
  }}
  inet_listener imaps {{
    port = {imaps}
    ssl = yes
  }}
}}
"""


def free_ports(count):
    ports, sockets = [], []
    for port in range(33000 + os.getpid() % 10000, 60000):
        probe = socket.socket()
        try:
            probe.bind(("127.0.0.1", port))
        except OSError:
            probe.close()
            continue
        sockets.append(probe)
        ports.append(port)
        if len(ports) == count:
            break
    for probe in sockets:
        probe.close()
    return ports


def issued_tokens(token_log):
    try:
        with open(token_log) as log:
            return {entry.get("token") for entry in map(json.loads, log) if entry.get("kind") == "token"}
    except (OSError, ValueError):
        return set()


def check(args):
    """Dovecot's checkpassword protocol: user and secret on fd 3, exec the reply program on success."""
    with os.fdopen(3, "rb") as given:
        fields = given.read(4096).split(b"\0")
    user, secret = fields[0].decode(errors="replace"), fields[1].decode(errors="replace")
    kind = "refused"
    if user == args.user and secret == args.password:
        kind = "password"
    elif user == args.user and args.token_log and secret in issued_tokens(args.token_log):
        kind = "token"
    with open(os.path.join(args.folder, "logins.jsonl"), "a") as log:
        log.write(json.dumps({"user": user, "kind": kind}) + "\n")
    if kind == "refused":
        sys.exit(1)
    os.environ["USER"] = user
    os.execvp(args.reply[0], args.reply)


def write_config(args, ports):
    folder = os.path.abspath(args.folder)
    for name in ("run", "state", "home"):
        os.makedirs(os.path.join(folder, name), exist_ok=True)
    owner = os.stat(args.maildir)
    checker = os.path.join(folder, "checkpassword.sh")
    with open(checker, "w") as out:
        out.write('#!/bin/sh\nexec %s %s check --folder %s --user %s --password %s%s "$@"\n' % (
            sys.executable, os.path.abspath(__file__), folder, args.user, args.password,
            " --token-log " + args.token_log if args.token_log else ""))
    os.chmod(checker, 0o755)
    # Whichever of Dovecot's users runs the checker writes its record.
    open(os.path.join(folder, "logins.jsonl"), "a").close()
    os.chmod(os.path.join(folder, "logins.jsonl"), 0o666)
    os.chmod(os.path.join(folder, "home"), 0o777)
    if args.token_log:
        os.chmod(os.path.dirname(os.path.abspath(args.token_log)), 0o755)
    with open(os.path.join(folder, "dovecot.conf"), "w") as out:
        out.write(CONFIG.format(folder=folder, certs=args.cert_dir, maildir=args.maildir, checker=checker,
                                uid=owner.st_uid, gid=owner.st_gid, imaps=ports[0], imap=ports[1]))
    # Dovecot's own users must reach the folder, the checker and the certificate.
    for reachable in (folder, os.path.dirname(folder), args.cert_dir):
        os.chmod(reachable, 0o755)
    os.chmod(os.path.join(args.cert_dir, "server.key"), 0o644)
    with open(os.path.join(folder, "ports.json"), "w") as out:
        json.dump({"imaps": ports[0], "imap": ports[1]}, out)
    return folder


def wait_until_answering(port, process):
    deadline = time.monotonic() + 20
    while time.monotonic() < deadline and process.poll() is None:
        try:
            with socket.create_connection(("127.0.0.1", port), timeout=1):
                return
        except OSError:
            time.sleep(0.05)
    raise RuntimeError("dovecot did not answer on port %d" % port)


def serve(args):
    if os.geteuid() != 0:
        raise SystemExit("dovecot_server.py: Dovecot needs root")
    make_certificate(args.cert_dir)
    folder = write_config(args, free_ports(2))
    ports = json.load(open(os.path.join(folder, "ports.json")))
    process = subprocess.Popen(["dovecot", "-F", "-c", os.path.join(folder, "dovecot.conf")])
    signal.signal(signal.SIGTERM, lambda *_: process.terminate())
    try:
        wait_until_answering(ports["imaps"], process)
        print("READY %d" % ports["imaps"], flush=True)
        process.wait()
    finally:
        if process.poll() is None:
            process.terminate()
            try:
                process.wait(10)
            except subprocess.TimeoutExpired:
                process.kill()


def main():
    parser = argparse.ArgumentParser()
    commands = parser.add_subparsers(dest="command", required=True)
    for name in ("serve", "check"):
        command = commands.add_parser(name)
        command.add_argument("--folder", required=True)
        command.add_argument("--user", required=True)
        command.add_argument("--password", required=True)
        command.add_argument("--token-log")
        if name == "serve":
            command.add_argument("--maildir", required=True)
            command.add_argument("--cert-dir", required=True)
        else:
            command.add_argument("reply", nargs=argparse.REMAINDER)
    args = parser.parse_args()
    serve(args) if args.command == "serve" else check(args)


if __name__ == "__main__":
    main()
