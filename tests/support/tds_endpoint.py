#!/usr/bin/env python3
"""A stand-in SQL Server for tests: a TDS 7.4 endpoint on 127.0.0.1 with a
Kerberos realm of its own for the integrated login.

    tds_endpoint.py start [STATE] set up the realm and the endpoint in the new
                                  folder STATE, start them in the background,
                                  and print the environment a client needs
    tds_endpoint.py stop [STATE]  end them and remove STATE

STATE defaults to $DUNMARROW_TDS_ENDPOINT. Drive paths of a Windows program
under Wine are found through $WINEPREFIX, as the endpoint had it at start.

Everything lives in STATE: the realm's krb5.conf, kdc.conf, database and
keytab, the client's ticket cache, and these files:

    endpoint.ini        written when ready: the ports of each listener and the
                        Kerberos files ([ports] accept, refuse, drop, silent,
                        mute, hang)
    journal.log         one line per event: "<port> login <user>",
                        "<port> batch <text>" (CR, LF and \\ escaped),
                        "<port> attention"
    replies/<hex>.txt   the reply to a BACKUP of the database whose UTF-8 name
                        is <hex> (lower-case hexadecimal); one step a line:
                          info <number> <text>
                          error <number> <severity> <text>
                          done              end of one result (more follow)
                          write             write the backup file now
                          damage            change the file just written, as
                                            a failing disk would
                          wait <ms>         pause, listening for attention
                                            (answered with DONE and the
                                            attention flag, as SQL Server does)
                          drop              close the connection
                          silent            stop answering, attention included
                          hang              after this reply, answer nothing
                                            more on the connection (what comes
                                            is still recorded)
                        without a file the backup is written and reported as
                        SQL Server reports a successful one.
    databases/<hex>.txt what the database is like, one setting a line (used
                        when no reply is scripted):
                          recovery simple       BACKUP LOG fails with 4208
                          compression refused   WITH COMPRESSION fails with 1844,
                                                as on SQL Server Express

    catalogue.txt       the server's databases, one a line: the name, a tab,
                        and then words: a state (ONLINE when none is given:
                        OFFLINE, RESTORING, RECOVERING, RECOVERY_PENDING,
                        SUSPECT, EMERGENCY), a recovery model (FULL when none:
                        SIMPLE, BULK_LOGGED), "snapshot", "distributor",
                        "secondary" (another replica takes the backups) and
                        "new" (no full backup yet); a line "collation <name>"
                        sets the server's collation (Latin1_General_CI_AS).
                        Without the file the server has its four system
                        databases.

A SELECT from sys.databases is answered with the catalogue as the program's
query asks for it, in the column types SQL Server gives: name nvarchar(128),
state tinyint, state_desc nvarchar(60), recovery_model tinyint, the snapshot
int, is_distributor bit, the preferred replica bit, the log chain and the
differential base int, and an int for each "CASE WHEN d.name LIKE N'...' THEN
1 ELSE 0 END", which LIKE decides under the collation (letter case ignored
with "_CI" in its name); with ORDER BY d.name the rows come in name order. A
BACKUP is refused as SQL Server refuses it for tempdb (3147), a snapshot
(3002), a database that is not ONLINE (942), a log backup without a full one
(4214) and a differential backup without a full one (3035).

BACKUP DATABASE (with DIFFERENTIAL: "TAPE <name> DIFFERENTIAL") and BACKUP LOG
("TAPE <name> LOG") write "TAPE <name>" CR LF to each file, appended unless
WITH INIT; the options CHECKSUM, COMPRESSION, COPY_ONLY and STATS are read.
RESTORE VERIFYONLY FROM DISK = N'...' reads each file back: a file that is
not as this endpoint last wrote it fails with 3241 (with CHECKSUM: 3189), a
missing one with 3201, each followed by 3013; a sound one gives 3262.

The listeners: "accept" logs in any user that presents a Kerberos ticket for
MSSQLSvc/127.0.0.1:<port>; "refuse" answers every login with error 18456;
"drop" closes the connection after the pre-login; "silent" never answers;
"mute" answers the pre-login and nothing after it; "hang" logs in as "accept"
and then answers nothing, not even an attention (a hung server), while it
records the batches and attentions that come.
"""

import os
import re
import shutil
import signal
import socket
import struct
import subprocess
import sys
import threading
import time
import ctypes
import ctypes.util

REALM = "DUNMARROW.TEST"
USER = "backup"
SERVER_NAME = "DUNMARROW-TEST"
LISTENERS = ("accept", "refuse", "drop", "silent", "mute", "hang")
IDLE_LIMIT_SECONDS = 1800

# Packet types.
PT_BATCH = 0x01
PT_REPLY = 0x04
PT_ATTENTION = 0x06
PT_LOGIN7 = 0x10
PT_SSPI = 0x11
PT_PRELOGIN = 0x12

# Token types.
TOKEN_ERROR = 0xAA
TOKEN_INFO = 0xAB
TOKEN_LOGINACK = 0xAD
TOKEN_ENVCHANGE = 0xE3
TOKEN_SSPI = 0xED
TOKEN_DONE = 0xFD
TOKEN_COLMETADATA = 0x81
TOKEN_ROW = 0xD1

DONE_COUNT = 0x10
CURCMD_SELECT = 0xC1
TYPE_INTN = 0x26
TYPE_BITN = 0x68
TYPE_NVARCHAR = 0xE7
COLLATION_LATIN1_CI_AS = bytes([0x09, 0x04, 0xD0, 0x00, 0x34])
STATES = ("ONLINE", "RESTORING", "RECOVERING", "RECOVERY_PENDING", "SUSPECT", "EMERGENCY", "OFFLINE")
RECOVERY_MODELS = ("FULL", "BULK_LOGGED", "SIMPLE")
SYSTEM_DATABASES = ["master\tSIMPLE", "tempdb\tSIMPLE", "model", "msdb\tSIMPLE"]

DONE_FINAL = 0x00
DONE_MORE = 0x01
DONE_ERROR = 0x02
DONE_ATTN = 0x20


# ---------------------------------------------------------------- GSSAPI


class GssBuffer(ctypes.Structure):
    _fields_ = [("length", ctypes.c_size_t), ("value", ctypes.c_void_p)]


class Gss:
    """The acceptor side of a Kerberos login, through the system's GSSAPI."""

    def __init__(self):
        name = ctypes.util.find_library("gssapi_krb5") or "libgssapi_krb5.so.2"
        self.lib = ctypes.CDLL(name)
        u32p = ctypes.POINTER(ctypes.c_uint32)
        vp = ctypes.c_void_p
        vpp = ctypes.POINTER(ctypes.c_void_p)
        bp = ctypes.POINTER(GssBuffer)
        self.lib.gss_accept_sec_context.argtypes = [u32p, vpp, vp, bp, vp, vpp, vpp, bp, u32p, u32p, vpp]
        self.lib.gss_display_name.argtypes = [u32p, vp, bp, vpp]
        self.lib.gss_display_status.argtypes = [u32p, ctypes.c_uint32, ctypes.c_int, vp, u32p, bp]
        self.lib.gss_release_buffer.argtypes = [u32p, bp]
        self.lib.gss_release_name.argtypes = [u32p, vpp]
        self.lib.gss_delete_sec_context.argtypes = [u32p, vpp, vp]
        for f in ("gss_accept_sec_context", "gss_display_name", "gss_display_status",
                  "gss_release_buffer", "gss_release_name", "gss_delete_sec_context"):
            getattr(self.lib, f).restype = ctypes.c_uint32

    def _take(self, buf):
        data = ctypes.string_at(buf.value, buf.length) if buf.length else b""
        minor = ctypes.c_uint32()
        self.lib.gss_release_buffer(ctypes.byref(minor), ctypes.byref(buf))
        return data

    def _status(self, code, kind):
        texts = []
        context = ctypes.c_uint32(0)
        while True:
            minor = ctypes.c_uint32()
            buf = GssBuffer()
            self.lib.gss_display_status(ctypes.byref(minor), code, kind, None, ctypes.byref(context),
                                        ctypes.byref(buf))
            texts.append(self._take(buf).decode("utf-8", "replace"))
            if context.value == 0:
                return "; ".join(texts)

    def accept(self, token):
        """Returns (user, reply token) or raises RuntimeError with GSSAPI's reason."""
        minor = ctypes.c_uint32()
        context = ctypes.c_void_p()
        source = ctypes.c_void_p()
        raw = ctypes.create_string_buffer(token, len(token))
        given = GssBuffer(len(token), ctypes.cast(raw, ctypes.c_void_p))
        output = GssBuffer()
        flags = ctypes.c_uint32()
        major = self.lib.gss_accept_sec_context(ctypes.byref(minor), ctypes.byref(context), None,
                                                ctypes.byref(given), None, ctypes.byref(source), None,
                                                ctypes.byref(output), ctypes.byref(flags), None, None)
        try:
            reply = self._take(output)
            if major >> 16:
                raise RuntimeError(self._status(major, 1) + " (" + self._status(minor.value, 2) + ")")
            if major != 0:
                raise RuntimeError("the Kerberos exchange needs more than one step")
            name = GssBuffer()
            self.lib.gss_display_name(ctypes.byref(minor), source, ctypes.byref(name), None)
            user = self._take(name).decode("utf-8", "replace")
            return user, reply
        finally:
            if source:
                self.lib.gss_release_name(ctypes.byref(minor), ctypes.byref(source))
            if context:
                self.lib.gss_delete_sec_context(ctypes.byref(minor), ctypes.byref(context), None)


# ---------------------------------------------------------------- TDS


def ucs2(text):
    return text.encode("utf-16-le")


def b_varchar(text):
    return bytes([len(text)]) + ucs2(text)


def us_varchar(text):
    return struct.pack("<H", len(text)) + ucs2(text)


def message_token(token, number, state, severity, text):
    body = (struct.pack("<iBB", number, state, severity) + us_varchar(text) + b_varchar(SERVER_NAME) +
            b_varchar("") + struct.pack("<i", 1))
    return bytes([token]) + struct.pack("<H", len(body)) + body


def info(number, text):
    return message_token(TOKEN_INFO, number, 1, 0, text)


def error(number, severity, text, state=1):
    return message_token(TOKEN_ERROR, number, state, severity, text)


def done(status):
    return bytes([TOKEN_DONE]) + struct.pack("<HHQ", status, 0, 0)


def column(name, kind, size):
    """One column of COLMETADATA: nullable, of type kind with its size."""
    info = bytes([kind]) + (struct.pack("<H", size) + COLLATION_LATIN1_CI_AS if kind == TYPE_NVARCHAR
                            else bytes([size]))
    return struct.pack("<IH", 0, 0x0001) + info + b_varchar(name)


def value(kind, size, data):
    """One column's value in a ROW: NULL for None."""
    if kind == TYPE_NVARCHAR:
        return struct.pack("<H", 0xFFFF) if data is None else struct.pack("<H", len(ucs2(data))) + ucs2(data)
    if data is None:
        return b"\x00"
    return bytes([size]) + int(data).to_bytes(size, "little", signed=size > 1)


def result_set(columns, rows):
    """COLMETADATA, one ROW per row and a DONE with the count, as a SELECT answers."""
    out = bytes([TOKEN_COLMETADATA]) + struct.pack("<H", len(columns))
    for name, kind, size in columns:
        out += column(name, kind, size)
    for row in rows:
        out += bytes([TOKEN_ROW])
        for (name, kind, size), data in zip(columns, row):
            out += value(kind, size, data)
    return out + bytes([TOKEN_DONE]) + struct.pack("<HHQ", DONE_COUNT, CURCMD_SELECT, len(rows))


def envchange(kind, new, old):
    body = bytes([kind]) + b_varchar(new) + b_varchar(old)
    return bytes([TOKEN_ENVCHANGE]) + struct.pack("<H", len(body)) + body


def login_ack():
    body = bytes([1]) + bytes([0x74, 0x00, 0x00, 0x04]) + b_varchar("Microsoft SQL Server") + bytes([16, 0]) + struct.pack(">H", 4153)
    return bytes([TOKEN_LOGINACK]) + struct.pack("<H", len(body)) + body


class Dropped(Exception):
    pass


class Connection:
    def __init__(self, endpoint, sock, port, mode):
        self.endpoint = endpoint
        self.sock = sock
        self.port = port
        self.mode = mode
        self.pending = b""

    # One message: packets up to the one marked end-of-message.
    def read_message(self):
        kind = None
        data = b""
        while True:
            header = self._read(8)
            ptype, status, length = header[0], header[1], struct.unpack(">H", header[2:4])[0]
            if length < 8:
                raise Dropped()
            data += self._read(length - 8)
            kind = ptype if kind is None else kind
            if status & 0x01:
                return kind, data

    def _read(self, count):
        while len(self.pending) < count:
            chunk = self.sock.recv(65536)
            if not chunk:
                raise Dropped()
            self.pending += chunk
        data, self.pending = self.pending[:count], self.pending[count:]
        return data

    def attention_waiting(self, seconds):
        """Waits up to seconds for an attention packet; true when one came."""
        self.sock.settimeout(seconds)
        try:
            header = self._read(8)
        except socket.timeout:
            return False
        finally:
            self.sock.settimeout(None)
        length = struct.unpack(">H", header[2:4])[0]
        self._read(max(length - 8, 0))
        return header[0] == PT_ATTENTION

    def send(self, payload, ptype=PT_REPLY):
        size = 4096 - 8
        chunks = [payload[i:i + size] for i in range(0, len(payload), size)] or [b""]
        for i, chunk in enumerate(chunks):
            last = i == len(chunks) - 1
            header = struct.pack(">BBHHBB", ptype, 1 if last else 0, len(chunk) + 8, 0, (i + 1) & 0xFF, 0)
            self.sock.sendall(header + chunk)

    def serve(self):
        if self.mode == "silent":
            return self.keep_silent()
        kind, data = self.read_message()
        if kind != PT_PRELOGIN:
            return
        self.send(self.prelogin_reply())
        if self.mode == "drop":
            return
        if self.mode == "mute":
            return self.keep_silent()
        kind, data = self.read_message()
        if kind != PT_LOGIN7 or not self.login(data):
            return
        while True:
            kind, data = self.read_message()
            if kind == PT_ATTENTION:
                self.endpoint.record(self.port, "attention")
                if self.mode != "hang":
                    self.send(done(DONE_ATTN))
            elif kind == PT_BATCH:
                text = self.text_of(data)
                self.endpoint.record(self.port, "batch " + text)
                if self.mode != "hang":
                    self.batch(text)
            elif self.mode == "hang":  # records what comes, answers nothing
                pass
            else:
                self.send(error(4002, 16, "The incoming tabular data stream (TDS) protocol stream is incorrect.") +
                          done(DONE_ERROR))

    @staticmethod
    def text_of(batch):
        """The SQL text of a batch, after its headers."""
        total = struct.unpack("<I", batch[:4])[0] if len(batch) >= 4 else 0
        return batch[total:].decode("utf-16-le", "replace")

    def keep_silent(self):
        """Reads and drops whatever comes until the client closes."""
        while self.sock.recv(65536):
            pass

    def prelogin_reply(self):
        options = [(0x00, bytes([16, 0]) + struct.pack(">HH", 4153, 0)),  # version 16.0.4153
                   (0x01, bytes([0x02])),  # encryption not supported
                   (0x02, b"\x00"),  # instance
                   (0x03, b""),  # thread id
                   (0x04, b"\x00")]  # MARS off
        offset = len(options) * 5 + 1
        head = b""
        body = b""
        for token, value in options:
            head += struct.pack(">BHH", token, offset + len(body), len(value))
            body += value
        return head + b"\xff" + body

    def login(self, data):
        def field(at):
            offset, count = struct.unpack("<HH", data[at:at + 4])
            return data[offset:offset + count * 2].decode("utf-16-le", "replace")

        integrated = bool(data[25] & 0x80)
        sspi_offset, sspi_length = struct.unpack("<HH", data[78:82])
        if sspi_length == 0xFFFF and len(data) >= 94:
            sspi_length = struct.unpack("<I", data[90:94])[0]
        token = data[sspi_offset:sspi_offset + sspi_length]
        user = field(40)
        reply = b""
        if integrated:
            try:
                user, reply = self.endpoint.gss.accept(token)
            except RuntimeError as failure:
                self.endpoint.record(self.port, "login-failed " + str(failure))
                self.send(error(18452, 14, "Login failed. The login is from an untrusted domain and cannot be "
                                "used with Integrated authentication.") + done(DONE_ERROR))
                return False
        if self.mode == "refuse" or not integrated:
            self.endpoint.record(self.port, "login-refused " + user)
            self.send(error(18456, 14, "Login failed for user '%s'." % user) + done(DONE_ERROR))
            return False
        self.endpoint.record(self.port, "login " + user)
        sspi = bytes([TOKEN_SSPI]) + struct.pack("<H", len(reply)) + reply if reply else b""
        self.send(sspi + envchange(1, "master", "") +
                  info(5701, "Changed database context to 'master'.") + login_ack() +
                  envchange(4, "4096", "4096") + done(DONE_FINAL))
        return True

    def batch(self, text):
        verify = re.match(r"\s*RESTORE\s+VERIFYONLY\s+FROM\s+(.*)$", text, re.S | re.I)
        if verify:
            self.verify(verify.group(1))
            return
        if re.match(r"\s*SELECT\b.*\bFROM\s+sys\.databases\b", text, re.S | re.I):
            self.catalogue_query(text)
            return
        match = re.match(r"\s*BACKUP\s+(DATABASE|LOG)\s+\[((?:[^\]]|\]\])*)\]\s+TO\s+(.*)$", text, re.S | re.I)
        if not match:
            self.send(done(DONE_FINAL))
            return
        log = match.group(1).upper() == "LOG"
        database = match.group(2).replace("]]", "]")
        rest = match.group(3)
        paths = disk_paths(rest)
        options = with_options(rest)
        init = "INIT" in options
        differential = "DIFFERENTIAL" in options and not log
        statement = "BACKUP LOG" if log else "BACKUP DATABASE"
        abnormal = "%s is terminating abnormally." % statement
        kind = "LOG" if log else "DIFFERENTIAL" if differential else None
        steps = self.endpoint.reply_for(database)
        settings = self.endpoint.settings_for(database)
        described = self.endpoint.described(database)
        if steps is None and described is not None:
            steps = self.refusal(database, described, log, differential, abnormal)
        if steps is None and log and "recovery simple" in settings:
            steps = ["error 4208 16 The statement BACKUP LOG is not allowed while the recovery model is SIMPLE. "
                     "Use BACKUP DATABASE or change the recovery model using ALTER DATABASE.",
                     "error 3013 16 " + abnormal]
        if steps is None and "COMPRESSION" in options and "compression refused" in settings:
            steps = ["error 1844 16 %s WITH COMPRESSION is not supported on Express Edition (64-bit)." % statement,
                     "error 3013 16 " + abnormal]
        if steps is None:
            steps = ["write"]
            if "STATS" in options:
                every = int(options["STATS"] or 10)
                # SQL Server ends each progress message with a DONE (more to
                # come), so that a client sees it at once.
                for p in range(every, 101, every):
                    steps += ["info 3211 %d percent processed." % p, "done"]
            if log:
                steps += ["info 4035 Processed 2 pages for database '%s', file '%s_log' on file 1." % (database, database),
                          "info 3014 BACKUP LOG successfully processed 2 pages in 0.004 seconds (3.906 MB/sec)."]
            elif differential:
                steps += ["info 4035 Processed 40 pages for database '%s', file '%s' on file 1." % (database, database),
                          "info 3014 BACKUP DATABASE WITH DIFFERENTIAL successfully processed 41 pages in 0.010 "
                          "seconds (32.031 MB/sec)."]
            else:
                steps += ["info 4035 Processed 328 pages for database '%s', file '%s' on file 1." % (database, database),
                          "info 3014 BACKUP DATABASE successfully processed 329 pages in 0.012 seconds (213.785 MB/sec)."]
        out = b""
        failed = False
        for step in steps:
            word, _, arguments = step.partition(" ")
            if word == "info":
                number, _, message = arguments.partition(" ")
                out += info(int(number), message)
            elif word == "error":
                number, severity, message = arguments.split(" ", 2)
                out += error(int(number), int(severity), message)
                failed = True
            elif word == "done":
                out += done(DONE_MORE | (DONE_ERROR if failed else 0))
                failed = False
            elif word == "write":
                problem = self.write_backup(database, paths, init, kind)
                if problem:
                    out += error(3201, 16, problem) + error(3013, 16, abnormal)
                    failed = True
                    break
            elif word == "damage":
                self.endpoint.damage(paths)
            elif word == "wait":
                if out:
                    self.sock.sendall(self.partial(out))
                    out = b""
                if self.attention_waiting(int(arguments) / 1000.0):
                    self.endpoint.record(self.port, "attention")
                    self.send(done(DONE_ATTN))
                    return
            elif word == "drop":
                if out:
                    self.sock.sendall(self.partial(out))
                raise Dropped()
            elif word == "hang":
                self.mode = "hang"
            elif word == "silent":
                if out:
                    self.sock.sendall(self.partial(out))
                self.keep_silent()
                raise Dropped()
        self.send(out + done(DONE_ERROR if failed else DONE_FINAL))

    def catalogue_query(self, text):
        """The databases with a match column for each LIKE on d.name, in the order of the names when asked; a
        LIKE column that is not one whole quoted pattern is refused as SQL Server refuses bad syntax (102)."""
        collation, databases = self.endpoint.catalogue()
        insensitive = "_CI" in collation
        patterns = []
        at = text.find(", CASE WHEN d.name LIKE ")
        while at >= 0 and not text.startswith(" FROM sys.databases", at):
            column = LIKE_COLUMN.match(text, at)
            if not column:
                self.send(error(102, 15, "Incorrect syntax near '%s'." % text[at:at + 30].strip()) + done(DONE_ERROR))
                return
            patterns.append(column.group(1).replace("''", "'"))
            at = column.end()
        if re.search(r"\bORDER\s+BY\s+d\.name\s*$", text, re.I):
            databases.sort(key=lambda d: name_order(d["name"], collation))
        columns = [("name", TYPE_NVARCHAR, 256), ("state", TYPE_INTN, 1), ("state_desc", TYPE_NVARCHAR, 120),
                   ("recovery_model", TYPE_INTN, 1), ("", TYPE_INTN, 4), ("is_distributor", TYPE_BITN, 1),
                   ("", TYPE_BITN, 1), ("", TYPE_INTN, 4), ("", TYPE_INTN, 4)] + [("", TYPE_INTN, 4)] * len(patterns)
        rows = []
        for d in databases:
            words = d["words"]
            full = "new" not in words and d["recovery"] != "SIMPLE"
            rows.append([d["name"], STATES.index(d["state"]), d["state"], RECOVERY_MODELS.index(d["recovery"]) + 1,
                         int("snapshot" in words), int("distributor" in words), int("secondary" not in words),
                         int(full), int("new" not in words)] +
                        [int(like(d["name"], pattern, insensitive)) for pattern in patterns])
        self.send(result_set(columns, rows))

    @staticmethod
    def refusal(database, described, log, differential, abnormal):
        """What SQL Server answers a backup it cannot take, or None."""
        words = described["words"]
        if described["name"] == "tempdb":
            reason = "3147 16 Backup and restore operations are not allowed on database tempdb."
        elif "snapshot" in words:
            reason = "3002 16 Cannot BACKUP or RESTORE a database snapshot."
        elif described["state"] != "ONLINE":
            reason = "942 14 Database '%s' cannot be opened because it is %s." % (database, described["state"])
        elif log and described["recovery"] == "SIMPLE":
            reason = ("4208 16 The statement BACKUP LOG is not allowed while the recovery model is SIMPLE. "
                      "Use BACKUP DATABASE or change the recovery model using ALTER DATABASE.")
        elif log and "new" in words:
            reason = ("4214 16 BACKUP LOG cannot be performed because there is no current database backup.")
        elif differential and "new" in words:
            reason = ('3035 16 Cannot perform a differential backup for database "%s", because a current database '
                      'backup does not exist. Perform a full database backup by reissuing BACKUP DATABASE, omitting '
                      'the WITH DIFFERENTIAL option.' % database)
        else:
            return None
        return ["error " + reason, "error 3013 16 " + abnormal]

    def verify(self, rest):
        checksum = "CHECKSUM" in with_options(rest)
        abnormal = error(3013, 16, "VERIFY DATABASE is terminating abnormally.")
        for path in disk_paths(rest):
            local = self.endpoint.local_path(path)
            try:
                with open(local, "rb") as backup:
                    content = backup.read()
            except OSError:
                self.send(error(3201, 16, "Cannot open backup device '%s'. Operating system error 2(The system "
                                "cannot find the file specified.)." % path) + abnormal + done(DONE_ERROR))
                return
            if content != self.endpoint.written_content(local):
                if checksum:
                    problem = error(3189, 16, "Damage to the backup set was detected.")
                else:
                    problem = error(3241, 16, "The media family on device '%s' is incorrectly formed. SQL Server "
                                    "cannot process this media family." % path)
                self.send(problem + abnormal + done(DONE_ERROR))
                return
        self.send(info(3262, "The backup set on file 1 is valid.") + done(DONE_FINAL))

    @staticmethod
    def partial(payload):
        """A reply packet not marked as the last of its message."""
        return struct.pack(">BBHHBB", PT_REPLY, 0, len(payload) + 8, 0, 1, 0) + payload

    def write_backup(self, database, paths, init, kind):
        for path in paths:
            local = self.endpoint.local_path(path)
            try:
                with open(local, "wb" if init else "ab") as backup:
                    backup.write(("TAPE %s%s\r\n" % (database, " " + kind if kind else "")).encode("utf-8"))
                self.endpoint.remember_written(local)
            except OSError as failure:
                code, reason = (3, "The system cannot find the path specified.") \
                    if failure.errno == 2 else (5, "Access is denied.")
                return "Cannot open backup device '%s'. Operating system error %d(%s)." % (path, code, reason)
        return None


LIKE_COLUMN = re.compile(r", CASE WHEN d\.name LIKE N'((?:[^']|'')*)' THEN 1 ELSE 0 END")


def like(name, pattern, insensitive):
    """SQL Server's LIKE for Unicode text: "%" any run of characters, "_" one, "[abc]", "[a-c]" and "[^a]" one of
    a set or not; blanks at the end count on both sides, as they do for nvarchar. A "[" without its "]" matches
    nothing. Not modelled: accents ignored (_AI) and a collation's own letters (Danish "aa" as "å")."""
    regex = ""
    i = 0
    while i < len(pattern):
        c = pattern[i]
        if c == "%":
            regex += ".*"
        elif c == "_":
            regex += "."
        elif c == "[":
            end = pattern.find("]", i + 2)
            if end < 0:
                return False
            members = pattern[i + 1:end]
            negated = members.startswith("^") and len(members) > 1
            members = members[1:] if negated else members
            kinds = ""
            k = 0
            while k < len(members):
                if k + 2 < len(members) and members[k + 1] == "-":
                    kinds += re.escape(members[k]) + "-" + re.escape(members[k + 2])
                    k += 3
                else:
                    kinds += re.escape(members[k])
                    k += 1
            regex += "[" + ("^" if negated else "") + kinds + "]"
            i = end
        else:
            regex += re.escape(c)
        i += 1
    return re.fullmatch(regex, name, re.S | (re.I if insensitive else 0)) is not None


def name_order(name, collation):
    """A sort key near a Windows collation's word sort: symbols before digits before letters, letter case only
    where all else is equal (lower case first), a hyphen or an apostrophe only after that; code points for _BIN."""
    if "_BIN" in collation:
        return (name,)
    def weight(c):
        return (2, c.casefold()) if c.isalpha() else (1, c) if c.isdigit() else (0, c)
    return ([weight(c) for c in name if c not in "-'"], name.swapcase(), name)


def disk_paths(rest):
    """The paths of DISK = N'...' in the text after TO or FROM."""
    return [p.replace("''", "'") for p in re.findall(r"DISK\s*=\s*N'((?:[^']|'')*)'", rest, re.I)]


def with_options(rest):
    """The options of the WITH list (outside the quoted paths): name -> value or None."""
    bare = re.sub(r"N'(?:[^']|'')*'", "''", rest)
    found = re.search(r"\bWITH\b(.*)$", bare, re.S | re.I)
    options = {}
    for item in (found.group(1).split(",") if found else []):
        name, _, value = item.partition("=")
        if name.strip():
            options[name.strip().upper()] = value.strip() or None
    return options


class Endpoint:
    def __init__(self, state):
        self.state = state
        self.lock = threading.Lock()
        self.written = {}
        self.last_activity = time.monotonic()
        self.gss = Gss()

    def record(self, port, event):
        line = event.replace("\\", "\\\\").replace("\r", "\\r").replace("\n", "\\n")
        with self.lock:
            self.last_activity = time.monotonic()
            with open(os.path.join(self.state, "journal.log"), "a", encoding="utf-8") as journal:
                journal.write("%d %s\n" % (port, line))

    def reply_for(self, database):
        path = os.path.join(self.state, "replies", database.encode("utf-8").hex() + ".txt")
        try:
            with open(path, encoding="utf-8") as script:
                return [line.rstrip("\r\n") for line in script if line.strip()]
        except OSError:
            return None

    def catalogue(self):
        """(collation, databases): each database a dict of its name and words."""
        collation = "Latin1_General_CI_AS"
        lines = SYSTEM_DATABASES
        try:
            with open(os.path.join(self.state, "catalogue.txt"), encoding="utf-8") as listed:
                lines = [line.rstrip("\r\n") for line in listed if line.strip()]
        except OSError:
            pass
        databases = []
        for line in lines:
            if line.startswith("collation "):
                collation = line.split(" ", 1)[1].strip()
                continue
            name, _, words = line.partition("\t")
            words = words.split()
            state = next((w for w in words if w in STATES), "ONLINE")
            recovery = next((w for w in words if w in RECOVERY_MODELS), "FULL")
            databases.append({"name": name, "state": state, "recovery": recovery, "words": set(words)})
        return collation, databases

    def described(self, database):
        """The catalogue's entry of a database, compared as the collation compares names."""
        collation, databases = self.catalogue()
        fold = (lambda n: n.casefold()) if "_CI" in collation else (lambda n: n)
        return next((d for d in databases if fold(d["name"]) == fold(database)), None)

    def settings_for(self, database):
        path = os.path.join(self.state, "databases", database.encode("utf-8").hex() + ".txt")
        try:
            with open(path, encoding="utf-8") as settings:
                return {" ".join(line.split()) for line in settings if line.strip()}
        except OSError:
            return set()

    def remember_written(self, local):
        """What a backup left in the file, for a later RESTORE VERIFYONLY."""
        with open(local, "rb") as backup:
            content = backup.read()
        with self.lock:
            self.written[os.path.realpath(local)] = content

    def written_content(self, local):
        with self.lock:
            return self.written.get(os.path.realpath(local))

    def damage(self, paths):
        for path in paths:
            local = self.local_path(path)
            with open(local, "r+b") as backup:
                first = backup.read(1)
                backup.seek(0)
                backup.write(bytes([first[0] ^ 0x20]) if first else b"!")

    def local_path(self, path):
        """Where a path the client named is on this machine: drive paths of the
        Windows build under Wine go through the prefix's drive links."""
        drive = re.match(r"^([A-Za-z]):[\\/](.*)$", path)
        if not drive:
            return path
        prefix = os.environ.get("WINEPREFIX") or os.path.expanduser("~/.wine")
        return os.path.join(prefix, "dosdevices", drive.group(1).lower() + ":", *re.split(r"[\\/]+", drive.group(2)))

    def listen(self, mode):
        server = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        server.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        server.bind(("127.0.0.1", 0))
        server.listen(16)
        port = server.getsockname()[1]

        def accept_loop():
            while True:
                sock, _ = server.accept()
                self.last_activity = time.monotonic()
                threading.Thread(target=self.handle, args=(sock, port, mode), daemon=True).start()

        threading.Thread(target=accept_loop, daemon=True).start()
        return port

    def handle(self, sock, port, mode):
        try:
            Connection(self, sock, port, mode).serve()
        except (Dropped, OSError):
            pass
        finally:
            sock.close()


# ---------------------------------------------------------------- the realm


def free_port():
    while True:
        with socket.socket(socket.AF_INET, socket.SOCK_STREAM) as tcp, \
                socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as udp:
            tcp.bind(("127.0.0.1", 0))
            port = tcp.getsockname()[1]
            try:
                udp.bind(("127.0.0.1", port))
            except OSError:
                continue
            return port


def tool(name):
    for folder in (os.environ.get("PATH", "").split(os.pathsep) + ["/usr/sbin", "/sbin"]):
        candidate = os.path.join(folder, name)
        if os.access(candidate, os.X_OK):
            return candidate
    sys.exit("tds_endpoint: %s is missing (Debian packages krb5-kdc, krb5-admin-server, krb5-user)" % name)


def kerberos_environment(state):
    return {"KRB5_CONFIG": os.path.join(state, "krb5.conf"), "KRB5_KDC_PROFILE": os.path.join(state, "kdc.conf"),
            "KRB5CCNAME": "FILE:" + os.path.join(state, "ccache"), "KRB5_KTNAME": os.path.join(state, "keytab"),
            "KRB5RCACHETYPE": "none"}


def make_realm(state, kdc_port):
    with open(os.path.join(state, "krb5.conf"), "w") as conf:
        conf.write("[libdefaults]\n default_realm = %s\n dns_lookup_kdc = false\n dns_lookup_realm = false\n"
                   " rdns = false\n dns_canonicalize_hostname = false\n udp_preference_limit = 1\n"
                   "[realms]\n %s = {\n  kdc = 127.0.0.1:%d\n }\n" % (REALM, REALM, kdc_port))
    with open(os.path.join(state, "kdc.conf"), "w") as conf:
        conf.write("[kdcdefaults]\n kdc_ports = %d\n kdc_tcp_ports = %d\n"
                   "[realms]\n %s = {\n  database_name = %s\n  key_stash_file = %s\n  acl_file = %s\n"
                   "  kdc_ports = %d\n  kdc_tcp_ports = %d\n }\n[logging]\n kdc = FILE:%s\n"
                   % (kdc_port, kdc_port, REALM, os.path.join(state, "principal"), os.path.join(state, "stash"),
                      os.path.join(state, "kadm5.acl"), kdc_port, kdc_port, os.path.join(state, "kdc.log")))
    open(os.path.join(state, "kadm5.acl"), "w").close()


def run(command, env, stdin=None):
    result = subprocess.run(command, env=env, input=stdin, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                            text=True)
    if result.returncode != 0:
        raise RuntimeError("%s failed: %s" % (" ".join(command), result.stdout.strip()))


def get_ticket(state, env, kdc):
    """Gets the user's ticket from the KDC just started; the reason when it cannot."""
    deadline = time.monotonic() + 20
    while True:
        result = subprocess.run([tool("kinit"), "-k", "-t", os.path.join(state, "user.keytab"), "%s@%s" % (USER, REALM)],
                                env=env, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
        if result.returncode == 0:
            return None
        if time.monotonic() > deadline or kdc.poll() is not None:
            return "kinit failed: " + result.stdout.strip()
        time.sleep(0.1)


def stop_kdc(kdc):
    kdc.terminate()
    try:
        kdc.wait(5)
    except subprocess.TimeoutExpired:
        kdc.kill()
        kdc.wait()


def serve(state):
    env = dict(os.environ, **kerberos_environment(state))
    os.environ.update(kerberos_environment(state))
    make_realm(state, 0)
    os.makedirs(os.path.join(state, "replies"), exist_ok=True)
    os.makedirs(os.path.join(state, "databases"), exist_ok=True)
    run([tool("kdb5_util"), "-r", REALM, "-P", "master-key-of-the-test-realm", "create", "-s"], env)
    endpoint = Endpoint(state)
    ports = {mode: endpoint.listen(mode) for mode in LISTENERS}
    commands = "addprinc -randkey %s@%s\nktadd -k %s %s@%s\n" % (USER, REALM, os.path.join(state, "user.keytab"),
                                                                  USER, REALM)
    for port in ports.values():
        service = "MSSQLSvc/127.0.0.1:%d@%s" % (port, REALM)
        commands += "addprinc -randkey %s\nktadd -k %s %s\n" % (service, os.path.join(state, "keytab"), service)
    run([tool("kadmin.local"), "-r", REALM], env, commands)
    # The KDC's port is chosen free but taken only when the KDC starts, so
    # another process may get it first: then try another one.
    for attempt in range(5):
        make_realm(state, free_port())
        kdc = subprocess.Popen([tool("krb5kdc"), "-n", "-r", REALM], env=env, stdin=subprocess.DEVNULL,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        problem = get_ticket(state, env, kdc)
        if problem is None:
            break
        stop_kdc(kdc)
    else:
        raise RuntimeError(problem)
    try:
        ready = os.path.join(state, "endpoint.ini")
        with open(ready + ".new", "w") as out:
            out.write("[ports]\n" + "".join("%s=%d\n" % item for item in ports.items()))
            out.write("[kerberos]\n" + "".join("%s=%s\n" % item for item in kerberos_environment(state).items()))
            out.write("user=%s@%s\npid=%d\n" % (USER, REALM, os.getpid()))
        os.rename(ready + ".new", ready)
        stop = threading.Event()
        signal.signal(signal.SIGTERM, lambda *_: stop.set())
        signal.signal(signal.SIGINT, lambda *_: stop.set())
        # Ends by itself when its folder goes or nobody has used it for long.
        while not stop.wait(0.2):
            if not os.path.isdir(state) or time.monotonic() - endpoint.last_activity > IDLE_LIMIT_SECONDS:
                break
    finally:
        stop_kdc(kdc)
    if not stop.is_set():
        # Nobody stopped it: nobody will remove its folder either.
        shutil.rmtree(state, ignore_errors=True)


def start(state):
    if os.path.exists(state):
        stop(state)
    os.makedirs(state)
    state = os.path.abspath(state)
    log = open(os.path.join(state, "endpoint.out"), "w")
    process = subprocess.Popen([sys.executable, os.path.abspath(__file__), "serve", state], stdin=subprocess.DEVNULL,
                               stdout=log, stderr=subprocess.STDOUT, start_new_session=True)
    ready = os.path.join(state, "endpoint.ini")
    deadline = time.monotonic() + 60
    while not os.path.exists(ready):
        if process.poll() is not None or time.monotonic() > deadline:
            kill_group(process.pid)
            with open(os.path.join(state, "endpoint.out")) as out:
                sys.stderr.write(out.read())
            shutil.rmtree(state, ignore_errors=True)
            sys.exit("tds_endpoint: the endpoint did not start")
        time.sleep(0.05)
    with open(ready) as out:
        sys.stdout.write(out.read())


def kill_group(pid):
    """Kills the endpoint and its KDC: the endpoint leads their process group."""
    try:
        os.killpg(pid, signal.SIGKILL)
    except (ProcessLookupError, PermissionError):
        pass


def running(pid):
    """Whether the process is there and not only waiting to be reaped."""
    try:
        with open("/proc/%d/stat" % pid) as stat:
            return stat.read().rsplit(")", 1)[1].split()[0] != "Z"
    except OSError:
        return False


def stop(state):
    ready = os.path.join(state, "endpoint.ini")
    pid = None
    if os.path.exists(ready):
        with open(ready) as out:
            for line in out:
                if line.startswith("pid="):
                    pid = int(line[4:])
    if pid:
        try:
            os.kill(pid, signal.SIGTERM)
            for _ in range(100):
                if not running(pid):
                    break
                time.sleep(0.05)
            else:
                kill_group(pid)
        except ProcessLookupError:
            pass
    shutil.rmtree(state, ignore_errors=True)


def main():
    state = sys.argv[2] if len(sys.argv) == 3 else os.environ.get("DUNMARROW_TDS_ENDPOINT", "")
    if len(sys.argv) not in (2, 3) or sys.argv[1] not in ("start", "stop", "serve") or not state:
        sys.exit(__doc__)
    {"start": start, "stop": stop, "serve": serve}[sys.argv[1]](state)


if __name__ == "__main__":
    main()
