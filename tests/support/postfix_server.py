#!/usr/bin/env python3
"""A real Postfix (Debian's package) on 127.0.0.1 for tests, run as root.

serve --folder DIR: builds a Postfix instance of its own in DIR (main.cf and
master.cf in DIR/conf, queue in DIR/queue, data in DIR/data, its log in
DIR/maillog), takes a free port below 32768, starts it in the foreground and
prints "READY <port>" once it answers. It relays nothing: only the domain
example.com is its own, every message to it lands in the maildir
DIR/mail/buyers, and everything else is refused (default_transport=error).
STARTTLS with the certificate made by smtp_server.py in --cert-dir; with
--user/--password a login (Cyrus SASL, a sasldb in DIR) is required to send.
--connection-limit N: smtpd_client_connection_count_limit, loopback included.
--recipient-reply ADDRESS=REPLY (repeatable): RCPT TO that address gets REPLY.
--sender-mailbox ADDRESS: that address's domain becomes Postfix's own too, with ADDRESS its
one mailbox (the maildir DIR/mail/sender); any other address of the domain is taken at RCPT TO
and then bounced as an unknown user, so a real delivery status notification lands in ADDRESS's
mailbox (for Dovecot to serve, see dovecot_server.py).
On SIGTERM it stops Postfix and exits; a master left behind by a killed server is stopped with
`postfix -c DIR/conf stop`.

The stats file (--stats) holds {"connections", "disconnects", "accepted", "delivered",
"auth_failures", "too_many_connections", "rsets", "quits"}
counted from the log (its own probes left out), rewritten as it grows.
"""

import argparse
import json
import os
import pwd
import re
import signal
import socket
import subprocess
import sys
import threading
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from smtp_server import make_certificate  # noqa: E402

MASTER_CF = """{port} inet n - n - - smtpd
cleanup   unix  n - n - 0 cleanup
qmgr      unix  n - n 300 1 qmgr
rewrite   unix  - - n - - trivial-rewrite
bounce    unix  - - n - 0 bounce
defer     unix  - - n - 0 bounce
trace     unix  - - n - 0 bounce
verify    unix  - - n - 1 verify
proxymap  unix  - - n - - proxymap
showq     unix  n - n - - showq
error     unix  - - n - - error
retry     unix  - - n - - error
discard   unix  - - n - - discard
virtual   unix  - n n - - virtual
anvil     unix  - - n - 1 anvil
scache    unix  - - n - 1 scache
tlsmgr    unix  - - n 1000? 1 tlsmgr
postlog   unix-dgram n - n - 1 postlogd
"""

DOMAIN = "corvex.test"


def free_port():
    for port in range(20000 + os.getpid() % 10000, 32768):
        with socket.socket() as probe:
            try:
                probe.bind(("127.0.0.1", port))
                return port
            except OSError:
                continue
    raise OSError("no free port below 32768")


def mailbox_settings(args, folder):
    """The maildirs: every example.com address in one, and the sender's own, if any."""
    if not args.sender_mailbox:
        return {"virtual_mailbox_domains": "example.com", "virtual_mailbox_maps": "static:buyers/"}
    domain = args.sender_mailbox.split("@", 1)[1]
    with open(folder + "/conf/mailboxes", "w") as out:
        out.write("/^%s$/ sender/\n/@example\\.com$/ buyers/\n" % re.escape(args.sender_mailbox))
    return {"virtual_mailbox_domains": "example.com, " + domain,
            "virtual_mailbox_maps": "regexp:%s/conf/mailboxes" % folder,
            "smtpd_reject_unlisted_recipient": "no"}


def main_cf(args, folder, owner):
    access = ", ".join("{%s = %s}" % tuple(rule.split("=", 1)) for rule in args.recipient_reply)
    restrictions = ("check_recipient_access inline:{%s}, " % access if access else "") + \
        "permit_sasl_authenticated, reject"
    settings = {
        "compatibility_level": "3.6",
        "queue_directory": folder + "/queue",
        "data_directory": folder + "/data",
        "mail_owner": "postfix",
        "maillog_file": folder + "/maillog",
        "maillog_file_prefixes": folder,
        "inet_interfaces": "127.0.0.1",
        "inet_protocols": "ipv4",
        "myhostname": "postfix." + DOMAIN,
        "mydestination": "",
        "relayhost": "",
        "mynetworks": "",
        "default_transport": "error:this test server relays nothing",
        "virtual_mailbox_base": folder + "/mail",
        "virtual_uid_maps": "static:%d" % owner.pw_uid,
        "virtual_gid_maps": "static:%d" % owner.pw_gid,
        "virtual_minimum_uid": "1",
        "smtpd_tls_cert_file": args.cert_dir + "/server.pem",
        "smtpd_tls_key_file": args.cert_dir + "/server.key",
        "smtpd_tls_security_level": "may",
        "smtpd_tls_auth_only": "yes",
        "smtpd_relay_restrictions": "permit_sasl_authenticated, reject",
        "smtpd_recipient_restrictions": restrictions,
        "smtpd_client_connection_count_limit": str(args.connection_limit),
        "smtpd_client_event_limit_exceptions": "",
        "smtpd_sasl_auth_enable": "yes" if args.user else "no",
        "smtpd_sasl_type": "cyrus",
        "smtpd_sasl_path": "smtpd",
        "smtpd_sasl_local_domain": DOMAIN,
        "cyrus_sasl_config_path": folder + "/conf/sasl",
        "smtpd_error_sleep_time": "0",
    }
    settings.update(mailbox_settings(args, folder))
    return "".join("%s = %s\n" % item for item in settings.items())


def build(args):
    folder = os.path.abspath(args.folder)
    owner = pwd.getpwnam("postfix")
    make_certificate(args.cert_dir)
    # Postfix's own processes run as its user: they must reach the key and
    # their folders, which a test's temporary folder (0700) would deny.
    os.chmod(os.path.join(args.cert_dir, "server.key"), 0o644)
    for reachable in (args.cert_dir, os.path.dirname(folder)):
        os.chmod(reachable, 0o755)
    # Debian's Postfix reads smtpd.conf from conf/sasl, whatever cyrus_sasl_config_path says.
    for name in ("conf", "conf/sasl", "queue", "data", "mail"):
        os.makedirs(os.path.join(folder, name), exist_ok=True)
    if args.sender_mailbox:
        for name in ("mail/sender", "mail/sender/new", "mail/sender/cur", "mail/sender/tmp"):
            os.makedirs(os.path.join(folder, name), exist_ok=True)
            os.chown(os.path.join(folder, name), owner.pw_uid, owner.pw_gid)
    for name in ("data", "mail"):
        os.chown(os.path.join(folder, name), owner.pw_uid, owner.pw_gid)
    port = free_port()
    with open(folder + "/conf/main.cf", "w") as out:
        out.write(main_cf(args, folder, owner))
    with open(folder + "/conf/master.cf", "w") as out:
        out.write(MASTER_CF.format(port="127.0.0.1:%d" % port))
    with open(folder + "/conf/sasl/smtpd.conf", "w") as out:
        out.write("pwcheck_method: auxprop\nauxprop_plugin: sasldb\nsasldb_path: %s/sasldb2\n"
                  "mech_list: PLAIN LOGIN\n" % folder)
    if args.user:
        subprocess.run(["saslpasswd2", "-p", "-c", "-f", folder + "/sasldb2", "-u", DOMAIN, args.user],
                       input=args.password.encode(), check=True)
        os.chown(folder + "/sasldb2", owner.pw_uid, owner.pw_gid)
    return folder, port


class Instance:
    """Postfix with its master in the background."""

    def __init__(self, folder, port):
        self.folder, self.port = folder, port
        self.probes = 0  # connections of our own, to see it answer

    def postfix(self, *command):
        return subprocess.run(["postfix", "-c", self.folder + "/conf", *command], capture_output=True, timeout=60)

    def master_pid(self):
        try:
            with open(self.folder + "/queue/pid/master.pid") as pid:
                pid = int(pid.read().strip())
            os.kill(pid, 0)
            return pid
        except (OSError, ValueError):
            return None

    def start(self):
        started = self.postfix("start")
        if started.returncode != 0:
            raise RuntimeError("postfix start failed: %s" % (started.stdout + started.stderr).decode())
        deadline = time.monotonic() + 20
        while time.monotonic() < deadline:
            try:
                with socket.create_connection(("127.0.0.1", self.port), timeout=1) as probe:
                    self.probes += 1
                    probe.settimeout(5)
                    if probe.recv(64).startswith(b"220"):
                        probe.sendall(b"QUIT\r\n")
                        return
            except OSError:
                time.sleep(0.05)
        raise RuntimeError("postfix did not answer on port %d" % self.port)

    def stop(self):
        pid = self.master_pid()
        if pid is None:
            return
        self.postfix("stop")
        deadline = time.monotonic() + 20
        while self.master_pid() == pid and time.monotonic() < deadline:
            time.sleep(0.05)
        if self.master_pid() == pid:
            self.postfix("abort")
            os.kill(pid, signal.SIGKILL)


PATTERNS = {
    "connections": re.compile(r"postfix/smtpd\[\d+\]: connect from"),
    "accepted": re.compile(r"postfix/cleanup\[\d+\]: \w+: message-id="),
    "delivered": re.compile(r"postfix/virtual\[\d+\]: .* status=sent"),
    "auth_failures": re.compile(r"SASL \w+ authentication failed"),
    "too_many_connections": re.compile(r"Connection concurrency limit exceeded"),
}
COMMANDS = re.compile(r"disconnect from .* commands=")


def count(folder):
    stats = dict.fromkeys(PATTERNS, 0)
    stats.update(rsets=0, quits=0, disconnects=0)
    try:
        with open(folder + "/maillog", errors="replace") as log:
            for line in log:
                for key, pattern in PATTERNS.items():
                    stats[key] += 1 if pattern.search(line) else 0
                if COMMANDS.search(line):
                    stats["disconnects"] += 1
                    for key, word in (("rsets", "rset"), ("quits", "quit")):
                        found = re.search(r"\b%s=(\d+)" % word, line)
                        stats[key] += int(found.group(1)) if found else 0
    except FileNotFoundError:
        pass
    return stats


def watch(instance, args, stop):
    """Keeps the stats file until `stop` is set."""
    while not stop.is_set():
        stats = count(instance.folder)
        stats["connections"] -= instance.probes
        stats["disconnects"] -= instance.probes
        stats["quits"] -= instance.probes
        if args.stats:
            with open(args.stats + ".tmp", "w") as out:
                json.dump(stats, out)
            os.rename(args.stats + ".tmp", args.stats)
        stop.wait(0.05)


def serve(args):
    if os.geteuid() != 0:
        raise SystemExit("postfix_server.py: Postfix needs root")
    folder, port = build(args)
    instance = Instance(folder, port)
    stop = threading.Event()
    signal.signal(signal.SIGTERM, lambda *_: stop.set())
    signal.signal(signal.SIGINT, lambda *_: stop.set())
    try:
        instance.start()
        print("READY %d" % port, flush=True)
        watch(instance, args, stop)
    finally:
        instance.stop()


def main():
    parser = argparse.ArgumentParser()
    commands = parser.add_subparsers(dest="command", required=True)
    run = commands.add_parser("serve")
    run.add_argument("--folder", required=True)
    run.add_argument("--cert-dir", required=True)
    run.add_argument("--user")
    run.add_argument("--password", default="")
    run.add_argument("--connection-limit", type=int, default=0)
    run.add_argument("--recipient-reply", action="append", default=[])
    run.add_argument("--sender-mailbox")
    run.add_argument("--stats")
    args = parser.parse_args()
    serve(args)


if __name__ == "__main__":
    main()
