#!/usr/bin/env python3
"""A local OAuth 2.0 token endpoint and Microsoft Graph emulator for tests, over HTTPS.

serve: listens on 127.0.0.1 (a free port unless --port is given) with a certificate of the
test CA in --cert-dir (made by smtp_server.py's make_certificate; ca.pem is the CA to
trust), prints "READY <port>" once it accepts connections, and writes one JSON line per
request to --log.

Token endpoint: a POST to any path ending in /token. It answers {"access_token": "tok-N",
"expires_in": --expires-in} (N counts the tokens issued), or with --refuse a 400 (401 for
invalid_client) with {"error", "error_description": --refuse-description}. With
--client-secret, a grant carrying another client_secret is refused as Microsoft does
(invalid_client, AADSTS7000215). With --refresh-token (repeatable), a refresh-token grant
must carry one of those (else invalid_grant); with --rotate, each use spends it and the answer
carries the next one, "rt-N", as Microsoft's endpoint does. --stall-token logs each token
request and never answers it. Its log line holds the path and
the form; for a JWT-bearer grant also the assertion's header and claims and whether its RS256
signature verifies with --public-key (by openssl).

Graph: a POST to /v1.0/users/<user>/sendMail. The body (base64 of a MIME message) is stored
decoded as NNN.eml in --folder when the answer is 202. The bearer token must be one issued
and not revoked (--revoke-first revokes tok-1 as soon as it is issued), else 401.
--fault N:STATUS[:AFTER] (or N-M:STATUS for a range) answers the Nth sendMail with STATUS (429
and 503 with "Retry-After: AFTER", else --retry-after, which is seconds, "date+N" for an HTTP date N seconds
ahead, or "none"; 400, 403 and 404 with Graph's error JSON). Its log line holds the user,
content type, token, the status answered and the time; a 202 carries a request-id header
("req-N").

Mailbox (--mailbox DIR, Mail.ReadWrite): the .eml files in DIR are the Inbox's messages, each
with the file name as its id and the file's modification time as its receivedDateTime; the
folders below DIR are the mailbox's folders, their names their ids. GET
/v1.0/users/<user>/mailFolders/inbox/messages lists them oldest first ($filter "receivedDateTime
ge T", $top), GET .../messages/<id>/$value gives a message's bytes, GET
.../mailFolders?$filter=displayName eq 'NAME' finds a folder, POST .../messages/<id>/move
{"destinationId"} moves the file into that folder. The bearer token must be valid as for
sendMail; each request's log line has the kind "mailbox", the path and the status.
Runs until terminated.
"""

import argparse
import base64
import json
import os
import random
import ssl
import subprocess
import sys
import tempfile
import threading
import time
import urllib.parse
from email.utils import formatdate
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from smtp_server import make_certificate  # noqa: E402


def unbase64url(text):
    return base64.urlsafe_b64decode(text + "=" * (-len(text) % 4))


def verify_rs256(assertion, public_key):
    """Whether the JWT's signature verifies with the PEM public key, by openssl."""
    head, claims, signature = assertion.split(".")
    with tempfile.TemporaryDirectory() as folder:
        data, sig = os.path.join(folder, "data"), os.path.join(folder, "sig")
        with open(data, "wb") as out:
            out.write((head + "." + claims).encode())
        with open(sig, "wb") as out:
            out.write(unbase64url(signature))
        result = subprocess.run(["openssl", "dgst", "-sha256", "-verify", public_key, "-signature", sig, data],
                                capture_output=True)
    return result.returncode == 0


class State:
    def __init__(self, args):
        self.args = args
        self.lock = threading.Lock()
        self.issued = []
        self.revoked = set()
        self.sends = 0
        self.stored = 0
        self.faults = {}
        for fault in args.fault:
            numbers, code, *after = fault.split(":")
            first, _, last = numbers.partition("-")
            for number in range(int(first), int(last or first) + 1):
                self.faults[number] = (int(code), after[0] if after else args.retry_after)
        self.refresh_tokens = set(args.refresh_token)
        self.rotated = 0

    def record(self, entry):
        entry["time"] = time.time()
        with self.lock, open(self.args.log, "a") as out:
            out.write(json.dumps(entry) + "\n")

    def refusal(self, form):
        """The error a grant gets, or None: --refuse, a wrong secret, a spent refresh token."""
        args = self.args
        if args.refuse:
            return args.refuse, args.refuse_description
        if args.client_secret and form.get("client_secret", args.client_secret) != args.client_secret:
            return "invalid_client", "AADSTS7000215: Invalid client secret provided."
        if form.get("grant_type") == "refresh_token" and self.refresh_tokens:
            with self.lock:
                if form.get("refresh_token") not in self.refresh_tokens:
                    return "invalid_grant", "AADSTS70000: The provided value for 'refresh_token' is not valid."
        return None

    def next_refresh_token(self, form):
        """With --rotate, the spent refresh token's successor; None otherwise."""
        if not self.args.rotate or form.get("grant_type") != "refresh_token":
            return None
        with self.lock:
            self.refresh_tokens.discard(form.get("refresh_token"))
            self.rotated += 1
            token = "rt-%d" % self.rotated
            self.refresh_tokens.add(token)
        return token


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def answer(self, status, body=b"", headers=()):
        self.send_response(status)
        for name, value in headers:
            self.send_header(name, value)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def do_POST(self):
        body = self.rfile.read(int(self.headers.get("Content-Length", 0)))
        path = urllib.parse.urlparse(self.path).path
        if path.endswith("/token"):
            self.token(path, body)
        elif path.startswith("/v1.0/users/") and path.endswith("/sendMail"):
            self.send_mail(urllib.parse.unquote(path[len("/v1.0/users/"):-len("/sendMail")]), body)
        elif path.startswith("/v1.0/users/") and path.endswith("/move"):
            self.mailbox(lambda: self.move(path.split("/")[-2], json.loads(body)["destinationId"]))
        else:
            self.answer(404)

    def do_GET(self):
        url = urllib.parse.urlparse(self.path)
        query = dict(urllib.parse.parse_qsl(url.query))
        if url.path.endswith("/mailFolders/inbox/messages"):
            self.mailbox(lambda: self.list_messages(query))
        elif url.path.endswith("/$value"):
            self.mailbox(lambda: self.message_bytes(url.path.split("/")[-2]))
        elif url.path.endswith("/mailFolders"):
            self.mailbox(lambda: self.find_folder(query.get("$filter", "")))
        else:
            self.answer(404)

    def mailbox(self, action):
        """Answers with what `action` gives (status, JSON or bytes), if the token is good."""
        state = self.server.state
        token = self.headers.get("Authorization", "").removeprefix("Bearer ")
        with state.lock:
            valid = token in state.issued and token not in state.revoked
        status, body = action() if valid and state.args.mailbox else (401, {"error": {"code": "InvalidToken"}})
        state.record({"kind": "mailbox", "path": urllib.parse.urlparse(self.path).path, "status": status})
        data = body if isinstance(body, bytes) else json.dumps(body).encode()
        self.answer(status, data, [("Content-Type", "application/json")])

    def inbox(self):
        folder = self.server.state.args.mailbox
        names = sorted(name for name in os.listdir(folder) if name.endswith(".eml"))
        received = lambda name: time.strftime("%Y-%m-%dT%H:%M:%SZ",
                                              time.gmtime(os.path.getmtime(os.path.join(folder, name))))
        return sorted(({"id": name, "receivedDateTime": received(name)} for name in names),
                      key=lambda message: (message["receivedDateTime"], message["id"]))

    def list_messages(self, query):
        since = query.get("$filter", "").removeprefix("receivedDateTime ge ")
        messages = [message for message in self.inbox() if message["receivedDateTime"] >= since]
        return 200, {"value": messages[:int(query.get("$top", "10"))]}

    def message_bytes(self, message_id):
        path = os.path.join(self.server.state.args.mailbox, os.path.basename(message_id))
        if not os.path.isfile(path):
            return 404, {"error": {"code": "ErrorItemNotFound", "message": "no such message"}}
        with open(path, "rb") as message:
            return 200, message.read()

    def find_folder(self, condition):
        name = condition.removeprefix("displayName eq '").removesuffix("'").replace("''", "'")
        exists = os.path.isdir(os.path.join(self.server.state.args.mailbox, name))
        return 200, {"value": [{"id": name}] if exists else []}

    def move(self, message_id, folder):
        mailbox = self.server.state.args.mailbox
        source = os.path.join(mailbox, os.path.basename(message_id))
        if not os.path.isfile(source) or not os.path.isdir(os.path.join(mailbox, folder)):
            return 404, {"error": {"code": "ErrorItemNotFound", "message": "no such message or folder"}}
        os.rename(source, os.path.join(mailbox, folder, os.path.basename(message_id)))
        return 201, {"id": message_id}

    def token(self, path, body):
        state, args = self.server.state, self.server.state.args
        form = dict(urllib.parse.parse_qsl(body.decode()))
        entry = {"kind": "token", "path": path, "form": form,
                 "content_type": self.headers.get("Content-Type")}
        if "assertion" in form:
            head, claims, _ = form["assertion"].split(".")
            entry.update(jwt_header=json.loads(unbase64url(head)), claims=json.loads(unbase64url(claims)),
                         jwt_valid=bool(args.public_key) and verify_rs256(form["assertion"], args.public_key))
        if args.stall_token:
            state.record(entry)
            time.sleep(3600)
            return None
        refusal = state.refusal(form)
        if refusal:
            entry["refused"] = refusal[0]
            state.record(entry)
            reply = {"error": refusal[0], "error_description": refusal[1]}
            return self.answer(401 if refusal[0] == "invalid_client" else 400, json.dumps(reply).encode(),
                               [("Content-Type", "application/json")])
        with state.lock:
            token = "tok-%d" % (len(state.issued) + 1)
            state.issued.append(token)
            if args.revoke_first and token == "tok-1":
                state.revoked.add(token)
        entry["token"] = token
        state.record(entry)
        reply = {"token_type": "Bearer", "expires_in": args.expires_in, "access_token": token}
        refresh = state.next_refresh_token(form)
        if refresh:
            reply["refresh_token"] = refresh
        self.answer(200, json.dumps(reply).encode(), [("Content-Type", "application/json")])

    def send_mail(self, user, body):
        state, args = self.server.state, self.server.state.args
        token = self.headers.get("Authorization", "").removeprefix("Bearer ")
        with state.lock:
            state.sends += 1
            number = state.sends
            valid = token in state.issued and token not in state.revoked
        status, retry_after = state.faults.get(number, (202, None)) if valid else (401, None)
        state.record({"kind": "graph", "user": user, "token": token, "status": status,
                      "content_type": self.headers.get("Content-Type")})
        if status == 202:
            with state.lock:
                state.stored += 1
                name = os.path.join(args.folder, "%03d" % state.stored)
            with open(name + ".tmp", "wb") as out:
                out.write(base64.b64decode(body, validate=True))
            os.rename(name + ".tmp", name + ".eml")
            return self.answer(202, headers=[("request-id", "req-%d" % number)])
        headers = [("Content-Type", "application/json"), ("Date", formatdate(usegmt=True))]
        if status in (429, 503) and retry_after != "none":
            ahead = retry_after.startswith("date+")
            after = formatdate(time.time() + int(retry_after[5:]), usegmt=True) if ahead else retry_after
            headers.append(("Retry-After", after))
        codes = {400: "ErrorInvalidRecipients", 401: "InvalidAuthenticationToken", 403: "ErrorAccessDenied",
                 404: "ErrorInvalidUser", 429: "ApplicationThrottled", 503: "ServiceUnavailable"}
        error = {"error": {"code": codes.get(status, "ErrorInternal"), "message": "Injected status %d" % status}}
        self.answer(status, json.dumps(error).encode(), headers)


def listen(args):
    for _ in range(200):
        try:
            return ThreadingHTTPServer(("127.0.0.1", args.port or random.randint(10000, 32767)), Handler)
        except OSError:
            if args.port:
                raise
    raise OSError("no free port")


def main():
    parser = argparse.ArgumentParser()
    commands = parser.add_subparsers(dest="command", required=True)
    run = commands.add_parser("serve")
    run.add_argument("--folder", required=True)
    run.add_argument("--cert-dir", required=True)
    run.add_argument("--log", required=True)
    run.add_argument("--port", type=int, default=0)
    run.add_argument("--expires-in", type=int, default=3599)
    run.add_argument("--refuse")
    run.add_argument("--refuse-description", default="")
    run.add_argument("--public-key")
    run.add_argument("--revoke-first", action="store_true")
    run.add_argument("--fault", action="append", default=[])
    run.add_argument("--retry-after", default="1")
    run.add_argument("--client-secret")
    run.add_argument("--refresh-token", action="append", default=[])
    run.add_argument("--rotate", action="store_true")
    run.add_argument("--stall-token", action="store_true")
    run.add_argument("--mailbox")
    args = parser.parse_args()
    make_certificate(args.cert_dir)
    server = listen(args)
    server.state = State(args)
    context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
    context.load_cert_chain(os.path.join(args.cert_dir, "server.pem"), os.path.join(args.cert_dir, "server.key"))
    server.socket = context.wrap_socket(server.socket, server_side=True)
    print("READY %d" % server.server_address[1], flush=True)
    server.serve_forever()


if __name__ == "__main__":
    main()
