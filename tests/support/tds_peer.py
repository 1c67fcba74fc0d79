#!/ usr / bin / python3
"""A stand-in SQL Server for tests: speaks enough TDS 7.x on loopback for FreeTDS's ODBC
driver, executes nothing, records every request and answers with scripted result sets.

    tds_peer.py --log FILE [--script FILE] [--delay-ms N] [--port N]

--delay-ms holds every answer back by N milliseconds, as a server across a network would: a
client's time then grows with its round trips, one per logged request.

Prints "PORT n" once it listens on 127.0.0.1, then serves until its standard input closes.
Every request becomes one JSON line in the log, written before the answer goes out, so a
client that got its answer finds the request in the log:

    {"kind": "login", "user": ..., "database": ..., ...}
    {"kind": "batch", "sql": ..., "transaction": "hex"}
    {"kind": "rpc", "proc": "sp_prepexec", "sql": ..., "declarations": ...,
     "params": [{"name", "type", "size", "value", "output"}], "transaction": "hex"}
    {"kind": "tm", "request": "begin" | "commit" | "rollback", ...}

Every entry also names its "connection": 1 for the first client connection, 2 for the next.

The script is a JSON list of rules, the first whose "match" starts the statement's text
wins (outer blanks skipped, letter case ignored; "exact": true wants the whole text; a rule
with "times": n answers n statements, then stands aside):

    {"match": "SELECT * FROM Qzcvar2",
     "columns": [{"name": "X", "type": "nvarchar", "size": 50}, ...],
     "rows": [[...], ...]}
    {"match": "INSERT INTO Velocast", "rowcount": 1}
    {"match": "SELECT * FROM Missing", "error": "Invalid object name 'Missing'."}

"SELECT TOP 0 ..." is answered by the rule for "SELECT ...", with its columns and no row.
A rule may also generate its rows: "generate": {"count": n, "row": [...]} repeats the row n
times, "{i}" in a text value standing for 1..n (an int column's "{i}" becomes the number);
"hang": true answers nothing until the client cancels (a statement blocked on a lock);
"echo": true answers one row per integer parameter of the call, holding its value (with
"echo_row": [...], that row, "{i}" standing for the value). A statement that commits and then
begins a transaction ("... COMMIT TRANSACTION BEGIN TRANSACTION ...") and does not fail ends
the connection's transaction and begins the next, as the server tells the client; its log line
says "commit_begin": true. An error
may carry its number: "error_number": 1222 (SQL Server's lock request time-out).

Column types: int, smallint, bigint, bit, nvarchar, varchar (Windows-1252), text (8-bit
long text), ntext, datetime ("YYYY-MM-DD HH:MM:SS" values). Without a rule a statement
gets no result set and a row count of 0.
"""
import argparse
import datetime
import json
import os
import socket
import ssl
import struct
import sys
import threading
import time

#Packet types.
SQL_BATCH, RPC, REPLY, ATTENTION, TRANSACTION_MANAGER, LOGIN7, PRELOGIN = 1, 3, 4, 6, 14, 16, 18

#SQL_Latin1_General_CP1_CI_AS : LCID 0x0409, case -and kana - insensitive, sort id 52.
COLLATION = bytes([0x09, 0x04, 0xD0, 0x00, 0x34])
CODEPAGE = "cp1252"

PROCEDURES = {1: "sp_cursor", 2: "sp_cursoropen", 3: "sp_cursorprepare", 4: "sp_cursorexecute",
              5: "sp_cursorprepexec", 6: "sp_cursorunprepare", 7: "sp_cursorfetch",
              8: "sp_cursoroption", 9: "sp_cursorclose", 10: "sp_executesql", 11: "sp_prepare",
              12: "sp_execute", 13: "sp_prepexec", 14: "sp_prepexecrpc", 15: "sp_unprepare"}

DONE_MORE, DONE_ERROR, DONE_COUNT, DONE_ATTN = 0x1, 0x2, 0x10, 0x20


class ProtocolError(Exception):
    pass

#-- -- -- -- -- -- -- -- -- -- -- -- -- -- -- -- -- -- -- -- -- -- -- -- -- -- -- -- -- -- -- -- reading client data

class Reader:
    def __init__(self, data):
        self.data = data
        self.pos = 0

    def take(self, n):
        if self.pos + n > len(self.data):
            raise ProtocolError("message ends inside a field")
        chunk = self.data[self.pos:self.pos + n]
        self.pos += n
        return chunk

    def u8(self):
        return self.take(1)[0]

    def u16(self):
        return struct.unpack("<H", self.take(2))[0]

    def u32(self):
        return struct.unpack("<I", self.take(4))[0]

    def u64(self):
        return struct.unpack("<Q", self.take(8))[0]

    def b_varchar(self):
        return self.take(self.u8() * 2).decode("utf-16-le")

    def at_end(self):
        return self.pos >= len(self.data)


def skip_all_headers(r):
    """Reads ALL_HEADERS; returns the transaction descriptor as hex."""
    total = r.u32()
    end = r.pos - 4 + total
    descriptor = ""
    while r.pos < end:
        length = r.u32()
        kind = r.u16()
        body = r.take(length - 6)
        if kind == 2:
            descriptor = body[:8].hex()
    return descriptor


def decode_datetime(days, ticks):
    moment = datetime.datetime(1900, 1, 1) + datetime.timedelta(days=days, milliseconds=ticks * 10 / 3)
    return moment.strftime("%Y-%m-%d %H:%M:%S.%f")[:-3]


def decode_days(raw):
    return datetime.date(1, 1, 1) + datetime.timedelta(days=int.from_bytes(raw, "little"))


def read_plp(r):
    total = r.u64()
    if total == 0xFFFFFFFFFFFFFFFF:
        return None
    chunks = []
    while True:
        size = r.u32()
        if size == 0:
            return b"".join(chunks)
        chunks.append(r.take(size))


def read_type_info(r):
    """TYPE_INFO of a parameter: (type name, declared size, reader of the value)."""
    t = r.u8()
    fixed = {
    0x30 : ("tinyint", 1, "<B"),
           0x32 : ("bit", 1, "<B"),
                  0x34 : ("smallint", 2, "<h"),
                         0x38 : ("int", 4, "<i"),
                                0x7F : ("bigint", 8, "<q"),
                                       0x3B : ("real", 4, "<f"),
                                              0x3E : ("float", 8, "<d")}
    if t == 0x1F:
        return "null", 0, lambda r: None
    if t in fixed:
        name, size, fmt = fixed[t]
        return name, size, lambda r: struct.unpack(fmt, r.take(size))[0]
    if t == 0x3D:
        return "datetime", 8, lambda r: decode_datetime(*struct.unpack("<iI", r.take(8)))
    if t in (0x26, 0x68, 0x6D, 0x6F, 0x6E, 0x24):
        size = r.u8()
        name = {0x26: "int", 0x68: "bit", 0x6D: "float", 0x6F: "datetime", 0x6E: "money", 0x24: "uniqueidentifier"}[t]

        def value(r, t=t):
            n = r.u8()
            if n == 0:
                return None
            raw = r.take(n)
            if t == 0x26:
                return int.from_bytes(raw, "little", signed=True)
            if t == 0x68:
                return raw[0]
            if t == 0x6D:
                return struct.unpack("<f" if n == 4 else "<d", raw)[0]
            if t == 0x6F:
                if n == 4:
                    days, minutes = struct.unpack("<HH", raw)
                    return decode_datetime(days, minutes * 60 * 300)
                return decode_datetime(*struct.unpack("<iI", raw))
            return raw.hex()
        if t == 0x26:
            name = {1: "tinyint", 2: "smallint", 4: "int", 8: "bigint"}.get(size, "int")
        return name, size, value
    if t in (0x6A, 0x6C):
        size, precision, scale = r.u8(), r.u8(), r.u8()

        def value(r, scale=scale):
            n = r.u8()
            if n == 0:
                return None
            raw = r.take(n)
            magnitude = int.from_bytes(raw[1:], "little")
            return str((1 if raw[0] else -1) * magnitude / (10 ** scale))
        return "decimal(%d,%d)" % (precision, scale), size, value
    if t == 0x28:
        return "date", 3, lambda r: (lambda n: None if n == 0 else str(decode_days(r.take(n))))(r.u8())
    if t in (0x29, 0x2A, 0x2B):
        scale = r.u8()
        name = {0x29: "time", 0x2A: "datetime2", 0x2B: "datetimeoffset"}[t]

        def value(r, t=t, scale=scale):
            n = r.u8()
            if n == 0:
                return None
            raw = r.take(n)
            time_len = 3 if scale <= 2 else 4 if scale <= 4 else 5
            ticks = int.from_bytes(raw[:time_len], "little")
            seconds, fraction = divmod(ticks, 10 ** scale)
            text = "%02d:%02d:%02d" % (seconds // 3600, seconds // 60 % 60, seconds % 60)
            if scale:
                text += ".%0*d" % (scale, fraction)
            if t == 0x29:
                return text
            return "%s %s" % (decode_days(raw[time_len:time_len + 3]), text)
        return "%s(%d)" % (name, scale), scale, value
    if t in (0xE7, 0xEF, 0xA7, 0xAF, 0xA5, 0xAD):
        size = r.u16()
        unicode = t in (0xE7, 0xEF)
        text = t in (0xE7, 0xEF, 0xA7, 0xAF)
        if text:
            r.take(5)
        name = {0xE7: "nvarchar", 0xEF: "nchar", 0xA7: "varchar", 0xAF: "char", 0xA5: "varbinary",
                0xAD: "binary"}[t]

        def value(r, size=size, unicode=unicode, text=text):
            if size == 0xFFFF:
                raw = read_plp(r)
            else:
                n = r.u16()
                raw = None if n == 0xFFFF else r.take(n)
            if raw is None:
                return None
            if unicode:
                return raw.decode("utf-16-le")
            return raw.decode(CODEPAGE, errors="replace") if text else raw.hex()
        if size == 0xFFFF:
            return name + "(max)", -1, value
        return name, size // 2 if unicode else size, value
    if t in (0x23, 0x63, 0x22):
        size = r.u32()
        if t != 0x22:
            r.take(5)
        name = {0x23: "text", 0x63: "ntext", 0x22: "image"}[t]

        def value(r, t=t):
            n = r.u32()
            if n == 0xFFFFFFFF:
                return None
            raw = r.take(n)
            if t == 0x63:
                return raw.decode("utf-16-le")
            return raw.decode(CODEPAGE, errors="replace") if t == 0x23 else raw.hex()
        return name, size, value
    raise ProtocolError("parameter type 0x%02x is not understood" % t)


def parse_rpc(payload):
    r = Reader(payload)
    descriptor = skip_all_headers(r)
    calls = []
    while not r.at_end():
        length = r.u16()
        proc = PROCEDURES.get(r.u16(), "proc?") if length == 0xFFFF else r.take(length * 2).decode("utf-16-le")
        r.u16()  # option flags
        params = []
        while not r.at_end() and r.data[r.pos] not in (0x80, 0xFF, 0xFE):
            name = r.b_varchar()
            status = r.u8()
            type_name, size, read_value = read_type_info(r)
            params.append({"name": name, "type": type_name, "size": size, "value": read_value(r),
                           "output": bool(status & 1)})
        calls.append({"kind": "rpc", "proc": proc, "params": params, "transaction": descriptor})
        if not r.at_end():
            r.u8()  # batch separator
    return calls


def describe_call(call):
    """Names the statement text and declarations of the system procedures."""
    p = [x["value"] for x in call["params"]]
    proc = call["proc"]
    sql_index = {"sp_prepexec": 2, "sp_prepare": 2, "sp_executesql": 0, "sp_cursoropen": 1,
                 "sp_cursorprepexec": 3, "sp_cursorprepare": 2}.get(proc)
    decl_index = {"sp_prepexec": 1, "sp_prepare": 1, "sp_executesql": 1, "sp_cursorprepexec": 2,
                  "sp_cursorprepare": 1}.get(proc)
    if proc == "sp_cursoropen" and len(p) > 5:
        decl_index = 5
    if sql_index is not None and sql_index < len(p):
        call["sql"] = p[sql_index]
    if decl_index is not None and decl_index < len(p):
        call["declarations"] = p[decl_index]

#-- -- -- -- -- -- -- -- -- -- -- -- -- -- -- -- -- -- -- -- -- -- -- -- -- -- -- -- -- -- -- -- writing the answer

def b_varchar(text):
    raw = text.encode("utf-16-le")
    return bytes([len(raw) // 2]) + raw


def us_varchar(text):
    raw = text.encode("utf-16-le")
    return struct.pack("<H", len(raw) // 2) + raw


def envchange(kind, new, old):
    body = bytes([kind]) + new + old
    return b"\xE3" + struct.pack("<H", len(body)) + body


def env_text(kind, new, old):
    return envchange(kind, b_varchar(new), b_varchar(old))


def done(status=0, rowcount=0, token=0xFD, command=0):
    if token == 0xFF:  # inside a procedure call more always follows: its DONEPROC at least
        status |= DONE_MORE
    return bytes([token]) + struct.pack("<HHQ", status, command, rowcount)


def error_token(message, number=50000, severity=16):
    body = (struct.pack("<iBB", number, 1, severity) + us_varchar(message) + b_varchar("tdspeer") +
            b_varchar("") + struct.pack("<i", 1))
    return b"\xAA" + struct.pack("<H", len(body)) + body


def info_token(message, number=5701):
    body = (struct.pack("<iBB", number, 2, 0) + us_varchar(message) + b_varchar("tdspeer") +
            b_varchar("") + struct.pack("<i", 1))
    return b"\xAB" + struct.pack("<H", len(body)) + body


COLUMN_TYPES = {
    "int": (b"\x26\x04", 0x26),
    "smallint": (b"\x26\x02", 0x26),
    "bigint": (b"\x26\x08", 0x26),
    "bit": (b"\x68\x01", 0x68),
    "datetime": (b"\x6F\x08", 0x6F),
}


def column_metadata(columns):
    out = b"\x81" + struct.pack("<H", len(columns))
    for c in columns:
        kind = c["type"]
        out += struct.pack("<IH", 0, 0x0009)  # user type; nullable, updatable
        if kind in COLUMN_TYPES:
            out += COLUMN_TYPES[kind][0]
        elif kind in ("nvarchar", "varchar"):
            size = c.get("size", 255)
            out += (b"\xE7" + struct.pack("<H", size * 2) if kind == "nvarchar" else
                    b"\xA7" + struct.pack("<H", size)) + COLLATION
        elif kind in ("text", "ntext"):
            out += (b"\x23" if kind == "text" else b"\x63") + struct.pack("<I", 0x7FFFFFFF) + COLLATION
            out += b"\x01" + us_varchar(c.get("table", "T"))
        else:
            raise ProtocolError("column type %s is not known to the peer" % kind)
        out += b_varchar(c["name"])
    return out


def encode_datetime(text):
    moment = datetime.datetime.fromisoformat(text)
    delta = moment - datetime.datetime(1900, 1, 1)
    ticks = round((delta.seconds + delta.microseconds / 1e6) * 300)
    return struct.pack("<iI", delta.days, ticks)


def row(columns, values):
    out = b"\xD1"
    for c, v in zip(columns, values):
        kind = c["type"]
        if kind in ("int", "smallint", "bigint"):
            size = COLUMN_TYPES[kind][0][1]
            out += b"\x00" if v is None else bytes([size]) + int(v).to_bytes(size, "little", signed=True)
        elif kind == "bit":
            out += b"\x00" if v is None else b"\x01" + bytes([1 if v else 0])
        elif kind == "datetime":
            out += b"\x00" if v is None else b"\x08" + encode_datetime(v)
        elif kind in ("nvarchar", "varchar"):
            if v is None:
                out += b"\xFF\xFF"
            else:
                raw = v.encode("utf-16-le") if kind == "nvarchar" else v.encode(CODEPAGE)
                out += struct.pack("<H", len(raw)) + raw
        else:  # text, ntext: a text pointer and time stamp, then the value
            if v is None:
                out += b"\x00"
            else:
                raw = v.encode("utf-16-le") if kind == "ntext" else v.encode(CODEPAGE)
                out += b"\x10" + b"\x00" * 16 + b"\x00" * 8 + struct.pack("<I", len(raw)) + raw
    return out


def return_int(ordinal, name, value):
    return (b"\xAC" + struct.pack("<H", ordinal) + b_varchar(name) + b"\x01" + struct.pack("<IH", 0, 0x0009) +
            b"\x26\x04" + (b"\x04" + struct.pack("<i", value) if value is not None else b"\x00"))


def rows_of(rule, params=()):
    """The rows a rule answers: listed, generated, or echoed from the call's integers."""
    if rule.get("echo"):
        numbers = [p["value"] for p in params
                   if p["type"] in ("int", "bigint", "smallint", "tinyint") and p["value"] is not None]
        template = rule.get("echo_row")
        if not template:
            return [[n] for n in numbers]
        return [[n if v == "{i}" else (v.replace("{i}", str(n)) if isinstance(v, str) else v) for v in template]
                for n in numbers]
    generate = rule.get("generate")
    if not generate:
        return rule.get("rows", [])
    rows = []
    for i in range(1, generate["count"] + 1):
        values = []
        for column, v in zip(rule["columns"], generate["row"]):
            if isinstance(v, str) and "{i}" in v:
                v = v.replace("{i}", str(i))
                if column["type"] in ("int", "smallint", "bigint"):
                    v = int(v)
            values.append(v)
        rows.append(values)
    return rows

def top_zero(sql):
    """Whether a statement is "SELECT TOP 0 ...": the columns of its query and no row."""
    return (sql or "").strip().upper().startswith("SELECT TOP 0 ")


def top_zero_stripped(sql):
    """ "SELECT TOP 0 x" as "SELECT x", which the rules are written for."""
    text = (sql or "").strip()
    return "SELECT " + text[len("SELECT TOP 0 "):].strip()


def commits_and_begins(sql):
    """Whether a statement's text commits its transaction and then begins the next."""
    text = " ".join((sql or "").upper().split())
    at = text.find("COMMIT TRANSACTION")
    return at >= 0 and text.find("BEGIN TRANSACTION", at) > at

#-- -- -- -- -- -- -- -- -- -- -- -- -- -- -- -- -- -- -- -- -- -- -- -- -- -- -- -- -- -- -- -- the server

class Peer:
    def __init__(self, log_path, rules, delay=0.0):
        self.delay = delay
        self.log_path = log_path
        self.rules = rules
        self.lock = threading.Lock()
        self.next_handle = 1
        self.prepared = {}
        self.next_transaction = 1
        self.tls = None  # (certificate, key) when the peer encrypts
        self.connections = 0

    def connection_number(self):
        with self.lock:
            self.connections += 1
            return self.connections

    def log(self, event):
        with self.lock:
            with open(self.log_path, "a", encoding="utf-8") as f:
                f.write(json.dumps(event, ensure_ascii=False) + "\n")

    def rule_for(self, sql, peek=False):
        """The rule answering `sql`; with `peek`, one that counts its answers is not counted."""
        text = " ".join(top_zero_stripped(sql).lower().split()) if top_zero(sql) else (sql or "").strip().lower()
        with self.lock:
            for rule in self.rules:
                pattern = rule["match"].strip().lower()
                if not (text == pattern if rule.get("exact") else text.startswith(pattern)):
                    continue
                if "times" in rule:
                    if rule["times"] <= 0:
                        continue
                    if not peek:
                        rule["times"] -= 1
                return rule
        return None

    def handle(self):
        with self.lock:
            self.next_handle += 1
            return self.next_handle

    def result(self, sql, in_proc, params=()):
        """Tokens answering one statement: result set or row count, or an error."""
        rule = self.rule_for(sql) or {}
        token = 0xFF if in_proc else 0xFD
        if rule.get("hang"):  # a statement blocked on the server: only a cancel ends it
            return None, False
        if "error" in rule:
            return error_token(rule["error"], rule.get("error_number", 50000)) + done(DONE_ERROR, 0, token), True
        if "columns" in rule:
            rows = [] if top_zero(sql) else rows_of(rule, params)
            out = column_metadata(rule["columns"])
            for values in rows:
                out += row(rule["columns"], values)
            return out + done(DONE_COUNT, len(rows), token, 0xC1), False
        return done(DONE_COUNT, rule.get("rowcount", 0), token), False


class TlsSocket:
    """recv and sendall through a TLS object whose records go over `sock`."""

    def __init__(self, sock, tls, incoming, outgoing):
        self.sock, self.tls, self.incoming, self.outgoing = sock, tls, incoming, outgoing

    def recv(self, n):
        while True:
            try:
                return self.tls.read(n)
            except ssl.SSLWantReadError:
                chunk = self.sock.recv(65536)
                if not chunk:
                    return b""
                self.incoming.write(chunk)
            except ssl.SSLZeroReturnError:
                return b""

    def sendall(self, data):
        self.tls.write(data)
        self.sock.sendall(self.outgoing.read())

    def close(self):
        self.sock.close()


class Connection:
    def __init__(self, peer, sock):
        self.peer = peer
        self.sock = sock
        self.packet_size = 4096
        self.transaction = b"\x00" * 8
        self.cursors = {}
        self.number = peer.connection_number()

    def log(self, event):
        event["connection"] = self.number
        self.peer.log(event)

    def read_message(self):
        payload = b""
        kind = None
        while True:
            header = self.recv(8)
            if header is None:
                return None, None
            kind, status, length = header[0], header[1], struct.unpack(">H", header[2:4])[0]
            body = self.recv(length - 8)
            if body is None:
                return None, None
            payload += body
            if status & 1:
                return kind, payload

    def recv(self, n):
        data = b""
        while len(data) < n:
            chunk = self.sock.recv(n - len(data))
            if not chunk:
                return None
            data += chunk
        return data

    def send(self, payload, kind=REPLY):
        if self.peer.delay:
            time.sleep(self.peer.delay)
        size = self.packet_size - 8
        parts = [payload[i:i + size] for i in range(0, len(payload), size)] or [b""]
        for number, part in enumerate(parts):
            status = 1 if number == len(parts) - 1 else 0
            self.sock.sendall(struct.pack(">BBHHBB", kind, status, len(part) + 8, 0, (number + 1) & 0xFF, 0) + part)

    def serve(self):
        while True:
            kind, payload = self.read_message()
            if kind is None:
                return
            if kind == PRELOGIN:
                self.prelogin(payload)
            elif kind == LOGIN7:
                self.login(payload)
            elif kind == SQL_BATCH:
                self.batch(payload)
            elif kind == RPC:
                self.rpc(payload)
            elif kind == TRANSACTION_MANAGER:
                self.transaction_request(payload)
            elif kind == ATTENTION:
                self.log({"kind": "attention"})
                self.send(done(DONE_ATTN))
            else:
                self.log({"kind": "unknown", "type": kind})
                self.send(error_token("packet type %d not supported" % kind) + done(DONE_ERROR))

    def start_tls(self):
        """The TLS handshake, its records carried in pre-login packets; afterwards the records
        travel bare on the connection, every TDS packet inside them."""
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(self.peer.tls[0], self.peer.tls[1])
#TDS 7.x carries TLS 1.2 at most(as SQL Server does) : in TLS 1.3 the client's last
#handshake message would already travel bare.
        context.maximum_version = ssl.TLSVersion.TLSv1_2
        incoming, outgoing = ssl.MemoryBIO(), ssl.MemoryBIO()
        tls = context.wrap_bio(incoming, outgoing, server_side=True)
        while True:
            try:
                tls.do_handshake()
                break
            except ssl.SSLWantReadError:
                if outgoing.pending:
                    self.send(outgoing.read(), kind=PRELOGIN)
                kind, payload = self.read_message()
                if kind is None:
                    self.log({"kind": "tls-refused-by-client"})
                    return False
                incoming.write(payload)
            except ssl.SSLError as e:
                self.log({"kind": "tls-refused-by-client", "error": str(e)})
                return False
        if outgoing.pending:
            self.send(outgoing.read(), kind=PRELOGIN)
        self.log({"kind": "tls", "version": tls.version()})
        self.sock = TlsSocket(self.sock, tls, incoming, outgoing)
        return True

    def prelogin(self, payload):
        options = {}
        r = Reader(payload)
        while True:
            token = r.u8()
            if token == 0xFF:
                break
            offset, length = struct.unpack(">HH", r.take(4))
            options[token] = payload[offset:offset + length]
        asked = options.get(1, b"\x00")[0] if options.get(1) else None
        self.log({"kind": "prelogin", "encryption": asked})
#With a certificate, a client that asks for encryption(1, on) gets it for the whole
#connection; without one the peer cannot encrypt(2, not supported).
        encrypt = self.peer.tls is not None and asked in (1, 3)
#Version 16.0, no instance, no MARS.
        fields = [(0, bytes([16, 0, 0x07, 0xD0, 0, 0])), (1, b"\x01" if encrypt else b"\x02"), (2, b"\x00"),
                  (3, b""), (4, b"\x00")]
        offset = len(fields) * 5 + 1
        head, data = b"", b""
        for token, value in fields:
            head += struct.pack(">BHH", token, offset + len(data), len(value))
            data += value
        self.send(head + b"\xFF" + data)
        if encrypt and not self.start_tls():
            raise ProtocolError("the client refused the TLS handshake")

    def login(self, payload):
        r = Reader(payload)
        r.take(4)
        version = r.u32()
        packet_size = r.u32()

        def field(at, password=False):
            offset, count = struct.unpack("<HH", payload[at:at + 4])
            raw = bytearray(payload[offset:offset + count * 2])
            if password:
                for i, b in enumerate(raw):
                    b ^= 0xA5
                    raw[i] = ((b & 0x0F) << 4) | (b >> 4)
            return bytes(raw).decode("utf-16-le")
        database = field(68)
        type_flags = payload[26] if len(payload) > 26 else 0
        self.log({"kind": "login", "read_only_intent": bool(type_flags & 0x20), "tds_version": "%08x" % version, "packet_size": packet_size,
                       "host": field(36), "user": field(40), "password": field(44, True),
                       "application": field(48), "server": field(52), "library": field(60),
                       "language": field(64), "database": database})
        if 512 <= packet_size <= 32767:
            self.packet_size = packet_size
        prog = b_varchar("Microsoft SQL Server")
        ack_body = b"\x01" + bytes([0x74, 0x00, 0x00, 0x04]) + prog + bytes([16, 0, 0x07, 0xD0])
        out = env_text(1, database or "master", "master")
        out += info_token("Changed database context to '%s'." % (database or "master"))
        out += envchange(7, bytes([len(COLLATION)]) + COLLATION, b"\x00")
        out += env_text(2, "us_english", "")
        out += b"\xAD" + struct.pack("<H", len(ack_body)) + ack_body
        out += env_text(4, str(self.packet_size), str(self.packet_size))
        out += done()
        self.send(out)

    def batch(self, payload):
        r = Reader(payload)
        descriptor = skip_all_headers(r)
        sql = payload[r.pos:].decode("utf-16-le")
        event = {"kind": "batch", "sql": sql, "transaction": descriptor}
        chains = commits_and_begins(sql) and not (self.peer.rule_for(sql, peek=True) or {}).get("error")
        if chains:
            event["commit_begin"] = True
        self.log(event)
        tokens, failed = self.peer.result(sql, in_proc=False)
        if tokens is not None:
            if chains:
                tokens = tokens[:-13] + self.commit_and_begin() + tokens[-13:]
            self.send(tokens)

    def commit_and_begin(self):
        """The ENVCHANGE tokens of a COMMIT TRANSACTION then BEGIN TRANSACTION run in a statement."""
        old = self.transaction
        new = struct.pack("<Q", self.peer_transaction())
        self.transaction = new
        return envchange(9, b"\x00", b"\x08" + old) + envchange(8, b"\x08" + new, b"\x00")

    def rpc(self, payload):
        out = b""
        calls = parse_rpc(payload)
        for i, call in enumerate(calls):
            describe_call(call)
            if call["proc"] == "sp_execute" and call["params"]:
                call["sql"] = self.peer.prepared.get(call["params"][0]["value"], "")
            chains = (call["proc"] in ("sp_execute", "sp_prepexec", "sp_executesql") and
                      commits_and_begins(call.get("sql")) and
                      not (self.peer.rule_for(call.get("sql"), peek=True) or {}).get("error"))
            if chains:
                call["commit_begin"] = True
            self.log(call)
            answer = self.answer_call(call, self.commit_and_begin() if chains else b"")
            if answer is None:
                return  # blocked: the client's cancel is answered instead
            if i < len(calls) - 1:  # more calls follow: their DONEPROC says so
                status = struct.unpack("<H", answer[-12:-10])[0]
                answer = answer[:-13] + done(status | DONE_MORE, 0, 0xFE)
            out += answer
        self.send(out)

    def answer_call(self, call, chained=b""):
        """The call's tokens; `chained` (a transaction's end and begin) follows its results."""
        proc = call["proc"]
        params = call["params"]
        values = [p["value"] for p in params]
        status = struct.pack("<Bi", 0x79, 0)
        if proc in ("sp_prepexec", "sp_prepare"):
            handle = self.peer.handle()
            self.peer.prepared[handle] = values[2] if len(values) > 2 else ""
            out = b""
            if proc == "sp_prepexec":
                out, _ = self.peer.result(call.get("sql"), in_proc=True, params=params[3:])
                if out is None:
                    return None
            return out + chained + status + return_int(0, params[0]["name"], handle) + done(0, 0, 0xFE)
        if proc == "sp_execute":
            out, _ = self.peer.result(call.get("sql"), in_proc=True, params=params[1:])
            if out is None:
                return None
            return out + chained + status + done(0, 0, 0xFE)
        if proc == "sp_unprepare":
            self.peer.prepared.pop(values[0] if values else None, None)
            return status + done(0, 0, 0xFE)
        if proc == "sp_executesql":
            out, _ = self.peer.result(call.get("sql"), in_proc=True, params=params[2:])
            if out is None:
                return None
            return out + chained + status + done(0, 0, 0xFE)
        if proc == "sp_cursoropen":
            return self.cursor_open(call, params, status)
        if proc == "sp_cursorfetch":
            return self.cursor_fetch(values, status)
        if proc == "sp_cursorclose":
            self.cursors.pop(values[0] if values else None, None)
            return status + done(0, 0, 0xFE)
        return status + done(0, 0, 0xFE)

    def cursor_open(self, call, params, status):
        rule = self.peer.rule_for(call.get("sql")) or {}
        if "error" in rule:
            return error_token(rule["error"]) + done(DONE_ERROR, 0, 0xFF) + status + done(DONE_ERROR, 0, 0xFE)
        out = b""
        handle = 0
        rows = rows_of(rule)
        if "columns" in rule:
            handle = self.peer.handle()
            self.cursors[handle] = {"rule": rule, "rows": rows, "next": 0}
            out += column_metadata(rule["columns"]) + done(DONE_COUNT, 0, 0xFF, 0xC1)
        out += status + return_int(0, params[0]["name"], handle)
        for ordinal, value in ((2, None), (3, None), (4, len(rows))):
            if ordinal < len(params) and params[ordinal]["output"]:
                current = params[ordinal]["value"] if value is None else value
                out += return_int(ordinal, params[ordinal]["name"], current)
        return out + done(0, 0, 0xFE)

    def cursor_fetch(self, values, status):
        cursor = self.cursors.get(values[0])
        if cursor is None:
            return error_token("unknown cursor") + status + done(DONE_ERROR, 0, 0xFE)
        rule = cursor["rule"]
        fetch_type = values[1] if len(values) > 1 and values[1] is not None else 2
        row_number = values[2] if len(values) > 2 and values[2] is not None else 0
        count = values[3] if len(values) > 3 and values[3] is not None else 1
        rows = cursor["rows"]
        start = {1: 0, 2: cursor["next"], 8: 0, 0x10: row_number - 1, 0x20: cursor["next"] + row_number - 1,
                 4: max(0, cursor["next"] - 2 * count), 0x40: max(0, len(rows) - count)}.get(fetch_type, cursor["next"])
        start = max(0, start)
        chosen = rows[start:start + count]
        cursor["next"] = start + len(chosen)
        out = column_metadata(rule["columns"])
        for values_row in chosen:
            out += row(rule["columns"], values_row)
        return out + done(DONE_COUNT, len(chosen), 0xFF, 0xC1) + status + done(0, 0, 0xFE)

    def transaction_request(self, payload):
        r = Reader(payload)
        descriptor = skip_all_headers(r)
        request = r.u16()
        names = {5: "begin", 7: "commit", 8: "rollback", 9: "save", 6: "promote", 0: "get_dtc", 1: "propagate"}
        event = {"kind": "tm", "request": names.get(request, str(request)), "transaction": descriptor}
        out = b""
        if request == 5:
            event["isolation"] = r.u8()
            new = struct.pack("<Q", self.peer_transaction())
            out += envchange(8, b"\x08" + new, b"\x00")
            self.transaction = new
        elif request in (7, 8):
            old = self.transaction
            self.transaction = b"\x00" * 8
            out += envchange(9 if request == 7 else 10, b"\x00", b"\x08" + old)
            r.b_varchar()
            flags = r.u8()
            if flags & 1:  # begin a new transaction at once
                new = struct.pack("<Q", self.peer_transaction())
                out += envchange(8, b"\x08" + new, b"\x00")
                self.transaction = new
                event["begin_new"] = True
        self.log(event)
        self.send(out + done())

    def peer_transaction(self):
        with self.peer.lock:
            self.peer.next_transaction += 1
            return self.peer.next_transaction


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--log", required=True)
    parser.add_argument("--script")
    parser.add_argument("--delay-ms", type=float, default=0)
    parser.add_argument("--port", type=int, default=0, help="0: any free port")
    parser.add_argument("--tls-cert", help="PEM certificate: encrypt for a client that asks")
    parser.add_argument("--tls-key", help="PEM key of --tls-cert")
    args = parser.parse_args()
    rules = []
    if args.script:
        with open(args.script, encoding="utf-8") as f:
            rules = json.load(f)
    peer = Peer(args.log, rules, args.delay_ms / 1000.0)
    peer.tls = (args.tls_cert, args.tls_key) if args.tls_cert else None
    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(("127.0.0.1", args.port))
    listener.listen(8)

    def accept():
        while True:
            try:
                sock, _ = listener.accept()
            except OSError:
                return

            def run(sock=sock):
                try:
                    Connection(peer, sock).serve()
                except (ProtocolError, OSError, UnicodeDecodeError) as e:
                    peer.log({"kind": "protocol-error", "error": str(e)})
                finally:
                    sock.close()
            threading.Thread(target=run, daemon=True).start()
    threading.Thread(target=accept, daemon=True).start()
    print("PORT %d" % listener.getsockname()[1], flush=True)
    sys.stdin.read()  # serve until the test closes our standard input
    listener.close()
    os._exit(0)


if __name__ == "__main__":
    main()
