#!/usr/bin/env python3
"""A SQL Server for tests: serves a SQLite file over TDS 7.4 (standard library only).

    tds_server.py --database FILE [--port N] [options]

Listens on 127.0.0.1 (a free port when --port is 0 or absent) and prints
"READY <port>" on stdout once it accepts connections. Runs until terminated.

Protocol: PRELOGIN (no encryption: ENCRYPT_NOT_SUP), LOGIN7 accepted only for
--user/--password/--catalog (default: the program's fixed login tov, its
password and catalog Velantrix); anything else gets error 18456 "Login failed
for user '...'." and the connection is closed. SQL batches run on SQLite:
  - "EXEC name @P = v, ..." (EXEC or EXECUTE, any case) runs the SELECT stored
    in the table procedures(name, body) with @P bound, like the sqlite: path;
  - sp_getapplock / sp_releaseapplock (the batch texts the program sends) give
    a process-wide application lock owned by the session (connection) that got
    it: acquire returns one row, one int column "result": 0 granted, -1 held by
    another session (@LockTimeout 0); released by the release call or when its
    connection closes or drops;
  - "STATEMENT; SELECT @@ROWCOUNT AS name" runs the statement, then answers
    one row, one int column: the rows the statement itself changed (not its
    triggers');
  - HAS_PERMS_BY_NAME(object, 'OBJECT', permission) answers 1, 0 for what
    --deny names, NULL for an object the database lacks;
  - SET ... statements are accepted and ignored, except SET TEXTSIZE: long
    values (max types, text, ntext, image) are cut to it as SQL Server does,
    to 4096 bytes while a session sets none (--default-textsize); and SET
    NOCOUNT ON / OFF: with ON no DONE token carries a row count;
  - anything else goes to SQLite as it stands.
Results come as COLMETADATA / ROW / DONE (row counts for UPDATE; the rows a
SQLite trigger changed come first, in a DONEINPROC of their own, as SQL
Server reports a trigger's statements), statement
errors as ERROR tokens carrying the error text (208 for a missing table or
view, 207 column, 102 syntax, 2812 procedure, else 50000 with SQLite's text).
ATTENTION is acknowledged with DONE (DONE_ATTN). RPC requests (prepared
statements; use isql -e, not plain isql) are answered with an error.

Column types: by the column-type map (--type COLUMN=TYPE, repeatable, or
--types FILE holding a JSON object {"COLUMN": "TYPE"}; column names ignore
case), else inferred from the values (int, bigint, float, nvarchar(4000),
nvarchar(max), varbinary(max)). Types: tinyint, smallint, int, bigint, bit,
money, smallmoney, decimal(p,s) / numeric(p,s), float, real, datetime,
nvarchar(n), nvarchar(max), varchar(n), varchar(max), varbinary(n),
varbinary(max), ntext, text, image. Every type is sent nullable.

Fault and test options:
  --delay-ms N       wait N ms before every reply (PRELOGIN and LOGIN7 too);
                     an ATTENTION arriving meanwhile is answered after the wait.
  --delay-on REGEX   delay only the replies to batches whose text matches.
  --drop-after N     the batch after the first N batches of the process is not
                     answered: its connection is closed instead (once).
  --drop-on REGEX    the same for the first batch whose text matches REGEX
                     (with --drop-after: the first one after those N).
  --stall-on REGEX   from the first batch whose text matches on, the server
                     answers nothing at all, on any connection (logins too),
                     as a server that stopped answering; every login and
                     batch left unanswered is counted in "unanswered".
  --stats-file PATH  rewritten (atomically) after every event as JSON:
                     connections, logins, failed_logins, batches, attentions,
                     round_trips (requests answered or dropped), open_sessions,
                     unanswered.
                     FreeTDS's own SET TEXTSIZE after a login counts as a batch.
  --verbose          every batch text on stderr.
"""

import argparse
import datetime
import decimal
import json
import os
import re
import select
import socket
import sqlite3
import struct
import sys
import threading

# Packet types
SQL_BATCH, RPC, REPLY, ATTENTION, LOGIN7, PRELOGIN = 1, 3, 4, 6, 16, 18
# Tokens
COLMETADATA, ROW, DONE, DONEPROC, DONEINPROC = 0x81, 0xD1, 0xFD, 0xFE, 0xFF
ERROR, LOGINACK, ENVCHANGE, RETURNSTATUS = 0xAA, 0xAD, 0xE3, 0x79
DONE_MORE, DONE_ERROR, DONE_COUNT, DONE_ATTN = 0x1, 0x2, 0x10, 0x20
CMD_SELECT, CMD_UPDATE, CMD_EXEC = 0xC1, 0xC5, 0xE0

SERVER_NAME = "CORVEXTDS"
# SQL_Latin1_General_CP1_CI_AS: LCID 0x0409, sort id 52, code page 1252.
COLLATION = bytes([0x09, 0x04, 0xD0, 0x00, 0x34])
NO_LIMIT = 0x7FFFFFFF
# What SQL Server gives a session that never sets TEXTSIZE.
DEFAULT_TEXTSIZE = 4096


class SqlError(Exception):
    def __init__(self, number, text, severity=16):
        super().__init__(text)
        self.number, self.text, self.severity = number, text, severity


# ---------------------------------------------------------------- encoding

def us_varchar(text):
    data = text.encode("utf-16-le")
    return struct.pack("<H", len(data) // 2) + data


def b_varchar(text):
    data = text.encode("utf-16-le")
    return bytes([len(data) // 2]) + data


def done(token, status, cmd=0, count=0):
    return struct.pack("<BHHQ", token, status, cmd, count)


def error_token(err):
    body = (struct.pack("<iBB", err.number, 1, err.severity) + us_varchar(err.text) +
            b_varchar(SERVER_NAME) + b_varchar("") + struct.pack("<i", 1))
    return struct.pack("<BH", ERROR, len(body)) + body


def envchange(kind, new, old):
    body = bytes([kind]) + b_varchar(new) + b_varchar(old)
    return struct.pack("<BH", ENVCHANGE, len(body)) + body


class SqlType:
    """One SQL Server column type: its TYPE_INFO and how a value goes on the wire."""

    FIXED = {"tinyint": (0x26, 1), "smallint": (0x26, 2), "int": (0x26, 4), "bigint": (0x26, 8),
             "bit": (0x68, 1), "money": (0x6E, 8), "smallmoney": (0x6E, 4), "float": (0x6D, 8),
             "real": (0x6D, 4), "datetime": (0x6F, 8)}

    def __init__(self, declaration):
        self.declaration = declaration.strip().lower()
        m = re.fullmatch(r"(\w+)\s*(?:\(\s*(\w+)\s*(?:,\s*(\d+)\s*)?\))?", self.declaration)
        if not m:
            raise ValueError("unknown column type: " + declaration)
        self.name, size, scale = m.group(1), m.group(2), m.group(3)
        self.is_max = size == "max"
        self.size = int(size) if size and size.isdigit() else None
        self.scale = int(scale or 0)
        if self.name == "numeric":
            self.name = "decimal"
        if self.name not in self.FIXED and self.name not in (
                "decimal", "nvarchar", "varchar", "varbinary", "ntext", "text", "image"):
            raise ValueError("unknown column type: " + declaration)

    def type_info(self):
        if self.name in self.FIXED:
            code, length = self.FIXED[self.name]
            return bytes([code, length])
        if self.name == "decimal":
            return bytes([0x6A, self.decimal_bytes() + 1, self.size or 18, self.scale])
        if self.name in ("nvarchar", "varchar", "varbinary"):
            code = {"nvarchar": 0xE7, "varchar": 0xA7, "varbinary": 0xA5}[self.name]
            width = 0xFFFF if self.is_max else (self.size or 1) * (2 if self.name == "nvarchar" else 1)
            info = bytes([code]) + struct.pack("<H", width)
            return info + (COLLATION if self.name != "varbinary" else b"")
        code = {"ntext": 0x63, "text": 0x23, "image": 0x22}[self.name]
        info = bytes([code]) + struct.pack("<I", NO_LIMIT if self.name != "ntext" else NO_LIMIT - 1)
        if self.name != "image":
            info += COLLATION
        return info + bytes([1]) + us_varchar("T")  # the table name, one part

    def decimal_bytes(self):
        precision = self.size or 18
        return 4 if precision <= 9 else 8 if precision <= 19 else 12 if precision <= 28 else 16

    def is_long(self):
        return self.is_max or self.name in ("ntext", "text", "image")

    def encode(self, value, textsize):
        if value is None:
            return self.encode_null()
        if self.name in self.FIXED:
            return self.encode_fixed(value)
        if self.name == "decimal":
            d = decimal.Decimal(str(value)).quantize(decimal.Decimal(1).scaleb(-self.scale),
                                                     rounding=decimal.ROUND_HALF_EVEN)
            whole = abs(int(d.scaleb(self.scale)))
            n = self.decimal_bytes()
            return bytes([n + 1, 0 if d < 0 else 1]) + whole.to_bytes(n, "little")
        data = self.payload(value)
        if self.is_long():
            data = data[:textsize]
        if self.is_max:
            return self.plp(data)
        if self.name in ("ntext", "text", "image"):
            return bytes([16]) + bytes(16) + bytes(8) + struct.pack("<I", len(data)) + data
        limit = self.size * (2 if self.name == "nvarchar" else 1)
        if len(data) > limit:
            raise SqlError(8152, "String or binary data would be truncated.")
        return struct.pack("<H", len(data)) + data

    def encode_null(self):
        if self.name in self.FIXED or self.name == "decimal":
            return b"\x00"
        if self.is_max:
            return b"\xff" * 8
        if self.name in ("ntext", "text", "image"):
            return b"\x00"
        return b"\xff\xff"

    def encode_fixed(self, value):
        code, length = self.FIXED[self.name]
        if self.name == "datetime":
            moment = parse_datetime(value)
            days = (moment.date() - datetime.date(1900, 1, 1)).days
            ms = ((moment.hour * 60 + moment.minute) * 60 + moment.second) * 1000 + moment.microsecond // 1000
            return bytes([8]) + struct.pack("<iI", days, round(ms * 3 / 10))
        if code == 0x6D:
            return bytes([length]) + struct.pack("<d" if length == 8 else "<f", float(value))
        if code == 0x6E:
            units = int(decimal.Decimal(str(value)).scaleb(4).to_integral_value(decimal.ROUND_HALF_EVEN))
            if length == 4:
                return bytes([4]) + struct.pack("<i", units)
            return bytes([8]) + struct.pack("<iI", units >> 32, units & 0xFFFFFFFF)
        number = int(value) if self.name != "bit" else (1 if value else 0)
        return bytes([length]) + number.to_bytes(length, "little", signed=self.name != "tinyint")

    def payload(self, value):
        if self.name in ("varbinary", "image"):
            return value if isinstance(value, bytes) else str(value).encode("utf-8")
        text = value.decode("utf-8", "replace") if isinstance(value, bytes) else str(value)
        if self.name in ("nvarchar", "ntext"):
            return text.encode("utf-16-le")
        return text.encode("cp1252", "replace")

    @staticmethod
    def plp(data):
        out = [struct.pack("<Q", len(data))]
        for start in range(0, len(data), 4000):  # chunks as a real server splits them
            chunk = data[start:start + 4000]
            out.append(struct.pack("<I", len(chunk)) + chunk)
        out.append(struct.pack("<I", 0))
        return b"".join(out)


def parse_datetime(value):
    text = str(value).strip().replace("T", " ")
    for fmt in ("%Y-%m-%d %H:%M:%S.%f", "%Y-%m-%d %H:%M:%S", "%Y-%m-%d %H:%M", "%Y-%m-%d"):
        try:
            return datetime.datetime.strptime(text, fmt)
        except ValueError:
            pass
    raise SqlError(241, "Conversion failed when converting date and/or time from character string.")


def infer_type(values):
    present = [v for v in values if v is not None]
    if present and all(isinstance(v, int) for v in present):
        return SqlType("bigint" if any(abs(v) >= 2 ** 31 for v in present) else "int")
    if present and all(isinstance(v, (int, float)) for v in present):
        return SqlType("float")
    if present and all(isinstance(v, bytes) for v in present):
        return SqlType("varbinary(max)")
    longest = max((len(str(v)) for v in present), default=0)
    return SqlType("nvarchar(max)" if longest > 4000 else "nvarchar(4000)")


# ---------------------------------------------------------------- statements

EXEC_RE = re.compile(r"^\s*EXEC(?:UTE)?\s+(?:@\w+\s*=\s*)?([\w.\[\]]+)\s*(.*?)\s*;?\s*$", re.I | re.S)
ARG_RE = re.compile(r"\s*@(\w+)\s*=\s*(N?'(?:[^']|'')*'|[-+]?\d+(?:\.\d*)?(?:[eE][-+]?\d+)?|NULL\b)\s*(,|$)",
                    re.I | re.S)
APPLOCK_RE = re.compile(r"\bsp_(getapplock|releaseapplock)\b(.*)$", re.I | re.S)
ROWCOUNT_RE = re.compile(r"^(.*?);\s*SELECT\s+@@ROWCOUNT\s+AS\s+(\w+)\s*;?\s*$", re.I | re.S)
RESOURCE_RE = re.compile(r"@Resource\s*=\s*N?'((?:[^']|'')*)'", re.I)


def parse_arguments(text):
    args, pos = {}, 0
    while pos < len(text):
        m = ARG_RE.match(text, pos)
        if not m:
            raise SqlError(102, "Incorrect syntax near '%s'." % text[pos:pos + 10].strip())
        raw = m.group(2)
        if raw.upper() == "NULL":
            value = None
        elif raw.endswith("'"):
            value = raw[raw.index("'") + 1:-1].replace("''", "'")
        else:
            value = float(raw) if re.search(r"[.eE]", raw) else int(raw)
        args[m.group(1).lower()] = value
        pos = m.end()
    return args


def bind_body(body, args):
    """The body with each @name outside string literals replaced by '?', and the values."""
    out, values, pos = [], [], 0
    for m in re.finditer(r"'(?:[^']|'')*'|@(\w+)", body):
        out.append(body[pos:m.start()])
        if m.group(1) is None:
            out.append(m.group(0))
        else:
            name = m.group(1).lower()
            if name not in args:
                raise SqlError(201, "Procedure or function expects parameter '@%s', which was not supplied."
                               % m.group(1))
            out.append("?")
            values.append(args[name])
        pos = m.end()
    out.append(body[pos:])
    return "".join(out), values


def sqlite_error(exc):
    text = str(exc)
    m = re.match(r"no such table: (\S+)", text)
    if m:
        return SqlError(208, "Invalid object name '%s'." % m.group(1))
    m = re.match(r'near "(.*)": syntax error', text)
    if m:
        return SqlError(102, "Incorrect syntax near '%s'." % m.group(1))
    m = re.match(r"no such column: (\S+)", text)
    if m:
        return SqlError(207, "Invalid column name '%s'." % m.group(1))
    return SqlError(50000, text)


def batch_text(payload):
    """The text of a SQL batch, after its ALL_HEADERS block."""
    headers = struct.unpack_from("<I", payload, 0)[0] if len(payload) >= 4 else 0
    return payload[headers:].decode("utf-16-le", "replace")


# ---------------------------------------------------------------- server state

class Server:
    def __init__(self, args):
        self.args = args
        self.lock = threading.Lock()
        self.stats = {"connections": 0, "logins": 0, "failed_logins": 0, "batches": 0,
                      "attentions": 0, "round_trips": 0, "open_sessions": 0, "unanswered": 0}
        self.stalled = False
        self.applocks = {}  # resource (lower case) -> session id
        self.denied = {d.lower() for d in args.deny or []}
        self.dropped = False
        self.types = {}
        if args.types:
            with open(args.types, encoding="utf-8") as f:
                self.types.update({k.lower(): SqlType(v) for k, v in json.load(f).items()})
        for item in args.type or []:
            column, _, declaration = item.partition("=")
            self.types[column.strip().lower()] = SqlType(declaration)

    def has_perms(self, securable, securable_class, permission):
        """HAS_PERMS_BY_NAME for objects: 1 unless denied, NULL for an object
        the database lacks, as the server answers for one the login cannot see."""
        name = str(securable or "").split(".")[-1].strip("[]")
        with sqlite3.connect(self.args.database) as db:
            known = db.execute("SELECT 1 FROM sqlite_master WHERE lower(name) = lower(?) UNION "
                               "SELECT 1 FROM procedures WHERE lower(name) = lower(?)", (name, name)).fetchone()
        if known is None:
            return None
        return 0 if ("%s:%s" % (permission, name)).lower() in self.denied else 1

    def count(self, **changes):
        with self.lock:
            for key, step in changes.items():
                self.stats[key] += step
            if self.args.stats_file:
                temp = self.args.stats_file + ".tmp"
                with open(temp, "w", encoding="utf-8") as f:
                    json.dump(self.stats, f)
                os.replace(temp, self.args.stats_file)

    def next_batch_dropped(self, text):
        """Counts one batch; true when this is the one to drop."""
        with self.lock:
            after, pattern = self.args.drop_after, self.args.drop_on
            drop = (not self.dropped and (after is not None or pattern is not None) and
                    (after is None or self.stats["batches"] >= after) and
                    (pattern is None or re.search(pattern, text) is not None))
            self.dropped = self.dropped or drop
        self.count(batches=1, round_trips=1)
        return drop

    def stalls(self, text):
        """True, counting it, when this request is to be left unanswered."""
        with self.lock:
            pattern = self.args.stall_on
            self.stalled = self.stalled or (pattern is not None and text is not None and
                                            re.search(pattern, text) is not None)
            stalled = self.stalled
        if stalled:
            self.count(unanswered=1)
        return stalled

    def get_applock(self, resource, session):
        with self.lock:
            owner = self.applocks.setdefault(resource.lower(), session)
            return 0 if owner == session else -1

    def release_applock(self, resource, session):
        with self.lock:
            if self.applocks.get(resource.lower()) != session:
                return False
            del self.applocks[resource.lower()]
            return True

    def release_session(self, session):
        with self.lock:
            for resource in [r for r, s in self.applocks.items() if s == session]:
                del self.applocks[resource]


class Dropped(Exception):
    pass


class Session:
    """One client connection, served on its own thread."""

    def __init__(self, server, sock, session_id):
        self.server, self.sock, self.id = server, sock, session_id
        self.packet_size = 4096
        self.textsize = server.args.default_textsize or NO_LIMIT
        self.attention = False
        self.nocount = False
        self.rowcount = 0
        self.db = None

    # -- packets

    def read_exact(self, n):
        data = b""
        while len(data) < n:
            chunk = self.sock.recv(n - len(data))
            if not chunk:
                raise Dropped()
            data += chunk
        return data

    def read_message(self):
        kind, payload = None, b""
        while True:
            header = self.read_exact(8)
            kind, status, length = header[0], header[1], struct.unpack(">H", header[2:4])[0]
            payload += self.read_exact(length - 8)
            if status & 0x01:
                return kind, payload

    def send_message(self, payload, kind=REPLY):
        room = self.packet_size - 8
        chunks = [payload[i:i + room] for i in range(0, len(payload), room)] or [b""]
        for number, chunk in enumerate(chunks, 1):
            status = 1 if number == len(chunks) else 0
            header = struct.pack(">BBHHBB", kind, status, len(chunk) + 8, self.id, number % 256, 0)
            self.sock.sendall(header + chunk)

    def wait_delay(self, text):
        """The reply delay; an ATTENTION arriving meanwhile is remembered."""
        pattern = self.server.args.delay_on
        delayed = pattern is None or (text is not None and re.search(pattern, text) is not None)
        deadline = self.server.args.delay_ms / 1000.0 if delayed else 0
        end = datetime.datetime.now() + datetime.timedelta(seconds=deadline)
        while deadline > 0:
            readable, _, _ = select.select([self.sock], [], [], deadline)
            if readable:
                kind, _ = self.read_message()
                if kind == ATTENTION:
                    self.attention = True
                    self.server.count(attentions=1)
            deadline = (end - datetime.datetime.now()).total_seconds()

    def reply(self, payload, text=None):
        if self.server.stalls(text):
            return
        self.wait_delay(text)
        if self.attention:
            self.attention = False
            payload = done(DONE, DONE_ATTN)
        self.send_message(payload)

    # -- conversation

    def run(self):
        self.server.count(connections=1, open_sessions=1)
        try:
            kind, payload = self.read_message()
            if kind == PRELOGIN:
                self.server.count(round_trips=1)
                self.reply(self.prelogin_reply())
                kind, payload = self.read_message()
            if kind != LOGIN7 or not self.login(payload):
                return
            while True:
                kind, payload = self.read_message()
                if kind == ATTENTION:
                    self.server.count(attentions=1, round_trips=1)
                    # A stalled server ignores the cancel too, uncounted.
                    if not self.server.stalled:
                        self.reply(done(DONE, DONE_ATTN))
                elif kind == SQL_BATCH:
                    text = batch_text(payload)
                    if self.server.args.verbose:
                        print("batch %d: %s" % (self.id, text), file=sys.stderr, flush=True)
                    if self.server.next_batch_dropped(text):
                        return
                    self.reply(self.batch(text), text)
                else:
                    self.server.count(round_trips=1)
                    self.reply(error_token(SqlError(50000, "Unsupported request.")) + done(DONE, DONE_ERROR))
        except (Dropped, ConnectionError, OSError):
            pass
        finally:
            self.server.release_session(self.id)
            self.server.count(open_sessions=-1)
            if self.db is not None:
                self.db.close()
            try:
                self.sock.close()
            except OSError:
                pass

    @staticmethod
    def prelogin_reply():
        options = [(0, bytes([16, 0, 0x0F, 0xA0, 0, 0])), (1, bytes([2])), (2, b"\x00"), (3, b""), (4, b"\x00")]
        offset = len(options) * 5 + 1
        head, body = b"", b""
        for token, data in options:
            head += struct.pack(">BHH", token, offset + len(body), len(data))
            body += data
        return head + b"\xff" + body

    def login(self, payload):
        self.server.count(round_trips=1)

        def field(position, obfuscated=False):
            offset, length = struct.unpack_from("<HH", payload, position)
            raw = bytearray(payload[offset:offset + length * 2])
            if obfuscated:
                for i, b in enumerate(raw):
                    b ^= 0xA5
                    raw[i] = ((b << 4) & 0xF0) | (b >> 4)
            return raw.decode("utf-16-le")

        self.packet_size = max(512, min(32767, struct.unpack_from("<I", payload, 8)[0] or 4096))
        user, password, catalog = field(40), field(44, True), field(68)
        args = self.server.args
        if user != args.user or password != args.password or catalog.lower() not in ("", args.catalog.lower()):
            self.server.count(failed_logins=1)
            err = SqlError(18456, "Login failed for user '%s'." % user, 14)
            self.reply(error_token(err) + done(DONE, DONE_ERROR))
            return False
        self.db = sqlite3.connect(args.database, isolation_level=None, timeout=30)
        self.db.create_function("HAS_PERMS_BY_NAME", 3, self.server.has_perms)
        self.server.count(logins=1)
        ack_body = bytes([1]) + bytes([0x74, 0, 0, 4]) + b_varchar("Microsoft SQL Server") + bytes([16, 0, 0x0F, 0xA0])
        packet = (envchange(1, args.catalog, "master") +
                  struct.pack("<BHB", ENVCHANGE, 8, 7) + bytes([5]) + COLLATION + b"\x00" +
                  envchange(2, "us_english", "") +
                  envchange(4, str(self.packet_size), "4096") +
                  struct.pack("<BH", LOGINACK, len(ack_body)) + ack_body + done(DONE, 0))
        self.reply(packet)
        return True

    # -- batches

    def batch(self, text):
        try:
            return self.statement(text)
        except SqlError as err:
            return error_token(err) + done(DONE, DONE_ERROR)

    def statement(self, text):
        applock = APPLOCK_RE.search(text)
        if applock:
            return self.applock(applock.group(1).lower(), applock.group(2))
        stripped = text.strip().rstrip(";").strip()
        if re.match(r"^SET\s", stripped, re.I):
            m = re.match(r"^SET\s+TEXTSIZE\s+(-?\d+)$", stripped, re.I)
            if m:
                size = int(m.group(1))
                default = self.server.args.default_textsize or NO_LIMIT
                self.textsize = default if size == 0 else NO_LIMIT if size < 0 else size
            m = re.match(r"^SET\s+NOCOUNT\s+(ON|OFF)$", stripped, re.I)
            if m:
                self.nocount = m.group(1).upper() == "ON"
            return done(DONE, 0)
        m = ROWCOUNT_RE.match(text)
        if m:
            changes = self.query(m.group(1), [], done_token=DONE, more=DONE_MORE)
            return changes + self.int_result(m.group(2), self.rowcount)
        m = EXEC_RE.match(text)
        if m:
            return self.procedure(m.group(1).strip("[]"), parse_arguments(m.group(2)))
        return self.query(text, [], done_token=DONE)

    def procedure(self, name, args):
        row = self.db.execute("SELECT body FROM procedures WHERE name = ? COLLATE NOCASE", (name,)).fetchone()
        if row is None:
            raise SqlError(2812, "Could not find stored procedure '%s'." % name)
        sql, values = bind_body(row[0], args)
        result = self.query(sql, values, done_token=DONEINPROC)
        return result + struct.pack("<Bi", RETURNSTATUS, 0) + done(DONEPROC, 0, CMD_EXEC)

    def query(self, sql, values, done_token, more=0):
        try:
            changes_before = self.db.total_changes
            cursor = self.db.execute(sql, values)
            rows = cursor.fetchall()
        except sqlite3.Error as exc:
            raise sqlite_error(exc)
        # Inside a procedure more tokens follow (its return status, DONEPROC).
        more |= DONE_MORE if done_token == DONEINPROC else 0
        counted = 0 if self.nocount else DONE_COUNT
        if cursor.description is None:
            own = self.rowcount = max(cursor.rowcount, 0)
            by_triggers = self.db.total_changes - changes_before - own
            triggers = done(DONEINPROC, DONE_MORE | counted, CMD_UPDATE, by_triggers) if by_triggers > 0 else b""
            return triggers + done(done_token, more | counted, CMD_UPDATE, own)
        names = [d[0] for d in cursor.description]
        types = [self.server.types.get(n.lower()) or infer_type([r[i] for r in rows]) for i, n in enumerate(names)]
        out = [struct.pack("<BH", COLMETADATA, len(names))]
        for name, kind in zip(names, types):
            out.append(struct.pack("<IH", 0, 0x0009) + kind.type_info() + b_varchar(name))
        for r in rows:
            out.append(bytes([ROW]) + b"".join(kind.encode(v, self.textsize) for kind, v in zip(types, r)))
        out.append(done(done_token, more | counted, CMD_SELECT, len(rows)))
        return b"".join(out)

    def int_result(self, name, value):
        kind = SqlType("int")
        return (struct.pack("<BH", COLMETADATA, 1) + struct.pack("<IH", 0, 0x0009) + kind.type_info() +
                b_varchar(name) + bytes([ROW]) + kind.encode(value, NO_LIMIT) +
                done(DONE, 0 if self.nocount else DONE_COUNT, CMD_SELECT, 1))

    def applock(self, verb, rest):
        m = RESOURCE_RE.search(rest)
        if not m:
            raise SqlError(201, "Procedure or function 'sp_%s' expects parameter '@Resource', which was not "
                                "supplied." % verb)
        resource = m.group(1).replace("''", "'")
        if verb == "getapplock":
            result = self.server.get_applock(resource, self.id)
            kind = SqlType("int")
            return (struct.pack("<Bi", RETURNSTATUS, result) + done(DONEPROC, DONE_MORE, CMD_EXEC) +
                    struct.pack("<BH", COLMETADATA, 1) + struct.pack("<IH", 0, 0x0009) + kind.type_info() +
                    b_varchar("result") + bytes([ROW]) + kind.encode(result, NO_LIMIT) +
                    done(DONE, DONE_COUNT, CMD_SELECT, 1))
        if self.server.release_applock(resource, self.id):
            return struct.pack("<Bi", RETURNSTATUS, 0) + done(DONEPROC, 0, CMD_EXEC)
        err = SqlError(1223, "Cannot release the application lock (Database Principal: 'public', Resource: "
                             "'%s') because it is not currently held." % resource)
        return error_token(err) + struct.pack("<Bi", RETURNSTATUS, -999) + done(DONEPROC, DONE_ERROR, CMD_EXEC)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--database", required=True, help="the SQLite file served")
    parser.add_argument("--port", type=int, default=0, help="TCP port on 127.0.0.1 (0: a free one)")
    parser.add_argument("--user", default="tov")
    parser.add_argument("--password", default="+-582417")
    parser.add_argument("--catalog", default="Velantrix")
    parser.add_argument("--type", action="append", metavar="COLUMN=TYPE", help="column-type map entry")
    parser.add_argument("--types", metavar="FILE", help="column-type map as a JSON object")
    parser.add_argument("--default-textsize", type=int, default=DEFAULT_TEXTSIZE, metavar="BYTES",
                        help="TEXTSIZE of a session that sets none (0: no limit)")
    parser.add_argument("--delay-ms", type=int, default=0, help="wait before every reply")
    parser.add_argument("--delay-on", metavar="REGEX", help="delay only the replies to batches matching")
    parser.add_argument("--drop-after", type=int, metavar="N", help="drop the connection at batch N+1 (once)")
    parser.add_argument("--drop-on", metavar="REGEX", help="drop the connection at the first batch matching (once)")
    parser.add_argument("--deny", action="append", metavar="PERMISSION:OBJECT",
                        help="HAS_PERMS_BY_NAME answers 0 for it (e.g. UPDATE:FACTURAS_ENC); all else is granted")
    parser.add_argument("--stall-on", metavar="REGEX", help="answer nothing more from the first batch matching on")
    parser.add_argument("--stats-file", metavar="PATH", help="counters as JSON, rewritten after every event")
    parser.add_argument("--verbose", action="store_true", help="every batch text on stderr")
    args = parser.parse_args()
    if not os.path.isfile(args.database):
        parser.error("no such database file: " + args.database)
    server = Server(args)
    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(("127.0.0.1", args.port))
    listener.listen(16)
    server.count()
    print("READY %d" % listener.getsockname()[1], flush=True)
    session_id = 50
    while True:
        sock, _ = listener.accept()
        sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        session_id += 1
        threading.Thread(target=Session(server, sock, session_id).run, daemon=True).start()


if __name__ == "__main__":
    try:
        main()
    except KeyboardInterrupt:
        pass
