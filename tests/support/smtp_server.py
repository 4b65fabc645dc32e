#!/usr/bin/env python3
"""A real SMTP server for tests, and a decoder for the messages it stores.

serve: listens on 127.0.0.1 (a free port below 32768 unless --port is given), prints
"READY <port>" on stdout once it accepts connections, and stores every
accepted message as NNN.eml (the bytes received) in --folder. Optional:
STARTTLS or implicit TLS with a throw-away certificate made by openssl in
--cert-dir (ca.pem is the CA to trust), AUTH required for --user/--password,
a recipient answered with 550 (--reject). PIPELINING (RFC 2920) is offered
unless --no-pipelining; aiosmtpd reads pipelined commands in order anyway.
Every EHLO/HELO name a client gave is kept, in order, in the stats'
"greetings". Faults on demand: --close-after N
closes a connection after every N messages on it; --fail N:CODE answers the
Nth MAIL command (counted over the server's life) with CODE, and closes the
connection after a 421; --drop-data N cuts the connection in the middle of
the Nth message's DATA; --fault, --fault-at N (0 = every message) fault a
message at the end of DATA, so it is never stored: a reply code (421, 451,
552, 554), "drop" (closed before any reply) or "stall" (no reply ever);
--after N --run CMD runs a shell command right after the Nth message was
stored. --auth-reply "CODE TEXT" refuses a wrong login with that reply instead
of 535 (Microsoft's 550 5.7.30, say); --refuse-logins N refuses N AUTH
exchanges whatever they carry, from the --refuse-logins-from-th on (default the
first: a mailbox switched off, then on again), or with --refuse-logins-after S
from the first that comes S seconds after the server started;
--max-connections N greets a connection beyond N open ones with a 421 and
closes it; --greeting "CODE TEXT" greets every connection so and closes it;
--stall greeting (never greets) or --stall auth (never answers AUTH) keeps a
client waiting; --cycle F1,F2,... faults the MAIL commands in turn, before any
data: ok, 421 (answered, then closed), drop (closed unanswered), slow (the
reply after --slow-seconds) or reject (550 at RCPT). --xoauth2-user U with --xoauth2-token T
(repeatable) offers AUTH XOAUTH2 and takes only the exact initial response
base64("user=U\x01auth=Bearer T\x01\x01") with the current token: the first
T, then, with --xoauth2-logins-per-token N, the next T after every N logins;
a wrong one gets a 334 with the error details in base64 JSON and, after the
client's empty line, 535. --stats FILE keeps {"connections",
"logins", "auths" (AUTH exchanges, refused ones too), "attempts", "messages",
"quits", "rsets", "refused" (connections turned away), "greetings"} there,
rewritten on every change. Runs until terminated.

decode FILE: prints the message as JSON: headers, the text body (its bytes,
line breaks as CR LF) and its Content-Transfer-Encoding, every attachment
(bytes in base64), plus the defects Python's parser found.
"""

import argparse
import asyncio
import base64
import email
import email.policy
import json
import os
import random
import re
import ssl
import subprocess
import sys
import time

from aiosmtpd.smtp import SMTP, AuthResult, LoginPassword


def openssl(*args, cwd):
    subprocess.run(["openssl", *args], cwd=cwd, check=True, capture_output=True)


def der_item(data, at):
    """The DER item at `at`: its tag and the bounds of its content."""
    tag, length, at = data[at], data[at + 1], at + 2
    if length & 0x80:
        count = length & 0x7F
        length, at = int.from_bytes(data[at:at + count], "big"), at + count
    return tag, at, at + length


def full_length_signature(pem_file):
    """Whether both numbers of the certificate's ECDSA signature take their
    full 32 bytes. Wine's crypt32 refuses a valid signature where one is
    shorter (one certificate in 64), which would fail the Windows build's
    TLS runs now and then."""
    with open(pem_file) as pem:
        der = ssl.PEM_cert_to_DER_cert(pem.read())
    _, certificate, _ = der_item(der, 0)
    _, _, algorithm = der_item(der, certificate)  # after the signed part
    _, _, value = der_item(der, algorithm)  # after the algorithm
    _, bits, _ = der_item(der, value)
    _, number, _ = der_item(der, bits + 1)  # past the count of unused bits
    for _ in range(2):
        _, start, number = der_item(der, number)
        if len(der[start:number].lstrip(b"\0")) != 32:
            return False
    return True


def make_certificate(folder):
    """A CA and a server certificate for 127.0.0.1 and localhost, made once per folder."""
    if os.path.exists(os.path.join(folder, "server.pem")):
        return
    os.makedirs(folder, exist_ok=True)
    key = ["-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes"]
    while not os.path.exists(os.path.join(folder, "ca.pem")) or \
            not full_length_signature(os.path.join(folder, "ca.pem")):
        openssl("req", "-x509", *key, "-keyout", "ca.key", "-out", "ca.pem", "-days", "2",
                "-subj", "/CN=Corvex test CA", "-addext", "basicConstraints=critical,CA:TRUE",
                "-addext", "keyUsage=critical,keyCertSign,cRLSign", cwd=folder)
    openssl("req", *key, "-keyout", "server.key", "-out", "server.csr", "-subj", "/CN=localhost", cwd=folder)
    with open(os.path.join(folder, "server.ext"), "w") as ext:
        ext.write("subjectAltName=IP:127.0.0.1,DNS:localhost\nbasicConstraints=CA:FALSE\n"
                  "keyUsage=critical,digitalSignature\nextendedKeyUsage=serverAuth\n")
    # Signed into a name of its own: server.pem tells others the folder is ready.
    while not os.path.exists(os.path.join(folder, "server.new")) or \
            not full_length_signature(os.path.join(folder, "server.new")):
        openssl("x509", "-req", "-in", "server.csr", "-CA", "ca.pem", "-CAkey", "ca.key", "-CAcreateserial",
                "-out", "server.new", "-days", "2", "-extfile", "server.ext", cwd=folder)
    os.rename(os.path.join(folder, "server.new"), os.path.join(folder, "server.pem"))


def server_context(folder):
    make_certificate(folder)
    context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
    context.load_cert_chain(os.path.join(folder, "server.pem"), os.path.join(folder, "server.key"))
    return context


REPLIES = {"421": "421 4.3.2 Service shutting down", "451": "451 4.3.0 Local error in processing",
           "552": "552 5.3.4 Message too big", "554": "554 5.7.1 Message rejected"}


class Store:
    def __init__(self, args):
        self.folder = args.folder
        self.reject = args.reject.lower() if args.reject else None
        self.close_after = args.close_after
        self.failures = dict((int(n), code) for n, code in (f.split(":") for f in args.fail))
        self.drop_data = set(args.drop_data)
        self.stats_file = args.stats
        self.fault, self.fault_at = args.fault, args.fault_at
        self.after, self.command = args.after, args.run
        self.pipelining = not args.no_pipelining
        self.max_connections, self.open, self.greeting = args.max_connections, 0, args.greeting
        self.count = 0
        self.received = 0
        self.oauth_user, self.oauth_tokens = args.xoauth2_user, args.xoauth2_token
        self.refuse_logins, self.refuse_from, self.stall = args.refuse_logins, args.refuse_logins_from, args.stall
        self.refuse_at = None
        if args.refuse_logins_after is not None:
            self.refuse_from, self.refuse_at = float("inf"), time.monotonic() + args.refuse_logins_after
        self.cycle, self.slow_seconds = [f for f in (args.cycle or "").split(",") if f], args.slow_seconds
        self.logins_per_token = args.xoauth2_logins_per_token
        self.stats = {"connections": 0, "logins": 0, "auths": 0, "attempts": 0, "messages": 0, "quits": 0,
                      "rsets": 0, "refused": 0, "greetings": []}
        self.write_stats()

    def add(self, key):
        self.stats[key] += 1
        self.write_stats()

    def write_stats(self):
        if not self.stats_file:
            return
        with open(self.stats_file + ".tmp", "w") as out:
            json.dump(self.stats, out)
        os.rename(self.stats_file + ".tmp", self.stats_file)

    async def handle_EHLO(self, server, session, envelope, hostname, responses):
        session.host_name = hostname
        self.greeted(hostname)
        if self.pipelining:
            responses.insert(-1, "250-PIPELINING")
        return responses

    async def handle_HELO(self, server, session, envelope, hostname):
        session.host_name = hostname
        self.greeted(hostname)
        return "250 %s" % server.hostname

    def greeted(self, hostname):
        self.stats["greetings"].append(hostname)
        self.write_stats()

    async def auth_XOAUTH2(self, server, args):
        self.add("auths")
        logins = self.stats["logins"]
        step = logins // self.logins_per_token if self.logins_per_token else 0
        token = self.oauth_tokens[min(step, len(self.oauth_tokens) - 1)]
        expected = base64.b64encode(("user=%s\x01auth=Bearer %s\x01\x01" % (self.oauth_user, token)).encode())
        if len(args) == 2 and args[1].encode() == expected and not self.refusing():
            self.add("logins")
            return AuthResult(success=True, handled=False)
        details = json.dumps({"status": "401", "schemes": "Bearer", "scope": "https://mail.google.com/"})
        await server.challenge_auth(details)
        return AuthResult(success=False, handled=False, message="535 5.7.8 Username and Password not accepted")

    def refusing(self):
        """Whether the AUTH exchange just counted is one --refuse-logins names."""
        if self.refuse_at is not None and time.monotonic() >= self.refuse_at:
            self.refuse_from, self.refuse_at = self.stats["auths"], None
        return self.refuse_from <= self.stats["auths"] < self.refuse_from + self.refuse_logins

    async def handle_RSET(self, server, session, envelope):
        self.add("rsets")
        return "250 OK"

    async def handle_QUIT(self, server, session, envelope):
        self.add("quits")
        return "221 Bye"

    async def cycled_fault(self, server, session):
        """The reply --cycle asks for at this MAIL command, or None to go on."""
        step = self.cycle[(session.attempt - 1) % len(self.cycle)] if self.cycle else "ok"
        session.reject_all = step == "reject"
        if step == "slow":
            await asyncio.sleep(self.slow_seconds)
        if step == "421":
            asyncio.get_running_loop().call_soon(server.transport.close)
            return "421 4.7.0 Cycled fault, closing connection"
        if step == "drop":
            server.transport.close()
            return "421 4.4.2 Connection dropped"
        return None

    async def handle_MAIL(self, server, session, envelope, address, mail_options):
        self.add("attempts")
        session.attempt = self.stats["attempts"]
        cycled = await self.cycled_fault(server, session)
        if cycled:
            return cycled
        code = self.failures.get(session.attempt)
        if code:
            if code == "421":
                asyncio.get_running_loop().call_soon(server.transport.close)
                return "421 4.7.0 Too many messages, closing connection"
            return "%s %s.0.0 Fault injected at message %d" % (code, code[0], session.attempt)
        envelope.mail_from = address
        envelope.mail_options.extend(mail_options)
        return "250 OK"

    async def injected_fault(self, server):
        """The reply for a faulted message, or None to store it normally."""
        self.received += 1
        if not self.fault or (self.fault_at and self.received != self.fault_at):
            return None
        if self.fault == "drop":
            server.transport.close()
            return "421 4.4.2 Connection dropped"
        if self.fault == "stall":
            await asyncio.sleep(3600)
        return REPLIES[self.fault]

    async def handle_RCPT(self, server, session, envelope, address, rcpt_options):
        if getattr(session, "reject_all", False) or (self.reject and address.lower() == self.reject):
            return "550 5.1.1 Mailbox unavailable"
        envelope.rcpt_tos.append(address)
        return "250 OK"

    async def handle_DATA(self, server, session, envelope):
        reply = await self.injected_fault(server)
        if reply:
            return reply
        self.count += 1
        self.add("messages")
        name = os.path.join(self.folder, "%03d" % self.count)
        with open(name + ".envelope.json", "w") as out:
            json.dump({"mail_from": envelope.mail_from, "rcpt_tos": envelope.rcpt_tos}, out)
        # The .eml appears last and complete, so a reader never sees half a message.
        with open(name + ".tmp", "wb") as out:
            out.write(envelope.original_content)
        os.rename(name + ".tmp", name + ".eml")
        session.on_connection = getattr(session, "on_connection", 0) + 1
        if self.close_after and session.on_connection % self.close_after == 0:
            # Commands the client sent ahead are not answered any more.
            session.closing = True
            asyncio.get_running_loop().call_soon(server.transport.close)
        if self.command and self.count == self.after:
            subprocess.run(self.command, shell=True, check=False)
        return "250 Message accepted"


class FaultySMTP(SMTP):
    """aiosmtpd's server, able to cut a connection in the middle of DATA, and
    silent once it decided to close a connection; it turns away a connection
    beyond --max-connections open ones with a 421 greeting."""

    def connection_made(self, transport):
        store = self.event_handler
        if self.transport is None and store.stall == "greeting":
            self.turned_away = True  # kept open, never greeted
            self.silent_transport = transport
            return
        if self.transport is None:  # a new connection, not STARTTLS
            full = store.max_connections and store.open >= store.max_connections
            if full or store.greeting:
                self.turned_away = True
                store.add("refused")
                reply = store.greeting or "421 4.7.0 corvex-test Error: too many connections from 127.0.0.1"
                transport.write(reply.encode() + b"\r\n")
                transport.close()
                return
            store.open += 1
            self.counted = True
        super().connection_made(transport)

    def connection_lost(self, error):
        if getattr(self, "counted", False):
            self.event_handler.open -= 1
            self.counted = False
        if not getattr(self, "turned_away", False):
            super().connection_lost(error)

    async def _closing(self):
        if getattr(self.session, "closing", False):
            self.transport.close()
            return True
        return False

    async def smtp_AUTH(self, arg):
        if self.event_handler.stall == "auth":
            self.event_handler.add("auths")
            await asyncio.sleep(3600)
            return
        await super().smtp_AUTH(arg)

    async def smtp_MAIL(self, arg):
        if not await self._closing():
            await super().smtp_MAIL(arg)

    async def smtp_RCPT(self, arg):
        if not await self._closing():
            await super().smtp_RCPT(arg)

    async def smtp_DATA(self, arg):
        if await self._closing():
            return
        store = self.event_handler
        if getattr(self.session, "attempt", 0) in store.drop_data and self.envelope.rcpt_tos:
            await self.push("354 End data with <CR><LF>.<CR><LF>")
            await self._reader.read(512)
            self.transport.abort()
            return
        await super().smtp_DATA(arg)


def authenticator(user, password, store, refusal):
    def check(server, session, envelope, mechanism, auth_data):
        store.add("auths")
        ok = isinstance(auth_data, LoginPassword) and auth_data.login.decode() == user \
            and auth_data.password.decode() == password and not store.refusing()
        if ok:
            store.add("logins")
        # handled=False lets the server answer 535 itself, or with the refusal asked for.
        return AuthResult(success=ok, handled=False, message=None if ok else refusal)
    return check


async def listen(loop, factory, port, context):
    """Binds `port`, or when it is 0 a free port below 32768: the program keeps
    its SMTP port in a signed 16-bit setting."""
    if port:
        return await loop.create_server(factory, "127.0.0.1", port, ssl=context)
    for _ in range(200):
        try:
            return await loop.create_server(factory, "127.0.0.1", random.randint(10000, 32767), ssl=context)
        except OSError:
            continue
    raise OSError("no free port below 32768")


async def serve(args):
    handler = Store(args)
    context = server_context(args.cert_dir) if args.tls != "none" else None
    options = {"hostname": "corvex-test", "timeout": 30}
    if args.user or args.xoauth2_user:
        options.update(authenticator=authenticator(args.user, args.password, handler, args.auth_reply),
                       auth_required=True,
                       auth_require_tls=args.tls == "starttls")
    if args.tls == "starttls":
        options.update(tls_context=context, require_starttls=True)
    loop = asyncio.get_running_loop()
    def connection():
        handler.add("connections")
        return FaultySMTP(handler, **options)

    server = await listen(loop, connection, args.port,
                          context if args.tls == "implicit" else None)
    print("READY %d" % server.sockets[0].getsockname()[1], flush=True)
    await server.serve_forever()


def text_bytes(part):
    """The text part's bytes with its line breaks as CR LF, the canonical form:
    Python's parser gives them as bare LF, which a quoted-printable text may
    hold too (encoded as =0A)."""
    encoding = str(part.get("Content-Transfer-Encoding", "7bit")).lower()
    if encoding == "base64":
        return part.get_payload(decode=True)
    raw = part.get_payload(decode=False).encode("ascii")
    raw = raw.replace(b"\r\n", b"\n").replace(b"\n", b"\r\n")
    if encoding != "quoted-printable":
        return raw
    raw = raw.replace(b"=\r\n", b"")
    return re.sub(rb"=([0-9A-Fa-f]{2})", lambda m: bytes([int(m.group(1), 16)]), raw)


def decode(path):
    with open(path, "rb") as source:
        message = email.message_from_binary_file(source, policy=email.policy.default)
    parts, body, encoding, defects = [], None, None, [str(d) for d in message.defects]
    for part in message.walk():
        defects += [str(d) for d in part.defects]
        if part.is_multipart():
            continue
        if part.get_filename() is None and part.get_content_type() == "text/plain" and body is None:
            body, encoding = text_bytes(part), str(part.get("Content-Transfer-Encoding", "7bit")).lower()
            continue
        data = part.get_payload(decode=True)
        parts.append({"filename": part.get_filename(), "content_type": part.get_content_type(),
                      "data": base64.b64encode(data).decode()})
    headers = {key: str(message[key]) for key in ("From", "To", "Reply-To", "Subject", "Date", "Message-ID",
                                                  "MIME-Version") if message[key] is not None}
    return {"headers": headers, "content_type": message.get_content_type(),
            "body": base64.b64encode(body or b"").decode(), "body_encoding": encoding, "attachments": parts,
            "defects": defects}


def main():
    parser = argparse.ArgumentParser()
    commands = parser.add_subparsers(dest="command", required=True)
    run = commands.add_parser("serve")
    run.add_argument("--folder", required=True)
    run.add_argument("--port", type=int, default=0)
    run.add_argument("--tls", choices=["none", "starttls", "implicit"], default="none")
    run.add_argument("--cert-dir")
    run.add_argument("--user")
    run.add_argument("--password", default="")
    run.add_argument("--reject")
    run.add_argument("--xoauth2-user")
    run.add_argument("--xoauth2-token", action="append", default=[])
    run.add_argument("--xoauth2-logins-per-token", type=int, default=0)
    run.add_argument("--no-pipelining", action="store_true")
    run.add_argument("--close-after", type=int, default=0)
    run.add_argument("--fail", action="append", default=[])
    run.add_argument("--drop-data", type=int, action="append", default=[])
    run.add_argument("--stats")
    run.add_argument("--fault", choices=["421", "451", "552", "554", "drop", "stall"])
    run.add_argument("--fault-at", type=int, default=0)
    run.add_argument("--after", type=int, default=0)
    run.add_argument("--run")
    run.add_argument("--auth-reply")
    run.add_argument("--max-connections", type=int, default=0)
    run.add_argument("--greeting")
    run.add_argument("--refuse-logins", type=int, default=0)
    run.add_argument("--refuse-logins-from", type=int, default=1)
    run.add_argument("--refuse-logins-after", type=float)
    run.add_argument("--stall", choices=["greeting", "auth"])
    run.add_argument("--cycle")
    run.add_argument("--slow-seconds", type=float, default=3)
    read = commands.add_parser("decode")
    read.add_argument("file")
    args = parser.parse_args()
    if args.command == "decode":
        json.dump(decode(args.file), sys.stdout)
    else:
        asyncio.run(serve(args))


if __name__ == "__main__":
    main()
