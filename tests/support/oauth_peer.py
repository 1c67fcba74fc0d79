#!/usr/bin/python3
"""An OAuth 2.0 provider in miniature for the sign-in tests, on 127.0.0.1 and ephemeral ports:
an HTTPS token endpoint (RFC 6749: refresh_token and client_credentials grants; RFC 8628: the
device grant; RFC 7662: token introspection, for an IMAP server that checks the tokens it is
given) and an SMTP server (aiosmtpd, STARTTLS) that takes the access tokens it issued through
AUTH XOAUTH2 and OAUTHBEARER. Both share one table of tokens, so an access token can
be expired, or a refresh token revoked, between two runs of the program.

Every refresh-token grant rotates the refresh token: the old one stops working.

Prints "PORTS <https> <smtp>" when listening, then one line per event:
  TOKEN <grant_type> <ok|error code> [scope=<scope>]
  DEVICE start scope=<scope>
  POLL <authorization_pending|slow_down|ok|early>
  AUTH <mechanism> <user> <ok|expired|bad|badack>
  INTROSPECT <ok|expired|bad>
  MESSAGE {"from": ..., "to": [...]}
Commands on standard input, one a line, each answered with "ACK <command>":
  refresh TOKEN   accept TOKEN as a refresh token
  access TOKEN    accept TOKEN as an access token at the SMTP server
  expire          every access token issued so far is refused as expired
  revoke          every refresh token is refused (invalid_grant)
  sync            nothing: the events before the ACK are all out
It stops when its standard input closes.
"""
import argparse
import asyncio
import base64
import json
import logging
import ssl
import sys
import threading
import time
import urllib.parse
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

from aiosmtpd.smtp import SMTP, AuthResult

lock = threading.Lock()


def emit(line):
    with lock:
        sys.stdout.write(line + "\n")
        sys.stdout.flush()


class Provider:
    def __init__(self, args):
        self.args = args
        self.refresh = set()
        self.access = set()
        self.expired = set()
        self.counter = 0
        self.device_script = [s for s in args.device_script.split(",") if s]
        self.interval = args.interval
        self.last_poll = None
        self.state = threading.Lock()

    def issue(self, with_refresh):
        self.counter += 1
        answer = {"access_token": f"at-{self.counter}", "token_type": "Bearer", "expires_in": self.args.expires_in}
        self.access.add(answer["access_token"])
        if with_refresh:
            answer["refresh_token"] = f"rt-{self.counter}"
            self.refresh.add(answer["refresh_token"])
        return answer

    def token(self, form):
        """(HTTP status, answer) for a POST to the token endpoint."""
        grant = form.get("grant_type", "")
        with self.state:
            if form.get("client_id") != self.args.client_id or form.get("client_secret", "") != self.args.client_secret:
                emit(f"TOKEN {grant} invalid_client")
                return 401, {"error": "invalid_client"}
            scope = form.get("scope", "")
            if grant == "refresh_token":
                old = form.get("refresh_token")
                if old not in self.refresh:
                    emit(f"TOKEN {grant} invalid_grant")
                    return 400, {"error": "invalid_grant", "error_description": "AADSTS70000: the grant is revoked"}
                self.refresh.discard(old)
                emit(f"TOKEN {grant} ok scope={scope}")
                return 200, self.issue(True)
            if grant == "client_credentials":
                emit(f"TOKEN {grant} ok scope={scope}")
                return 200, self.issue(False)
            if grant == "urn:ietf:params:oauth:grant-type:device_code":
                return self.poll(form)
            emit(f"TOKEN {grant} unsupported_grant_type")
            return 400, {"error": "unsupported_grant_type"}

    def poll(self, form):
        now = time.monotonic()
        # A client that polls before the interval is up gets an error it cannot take for
        # progress, so a client that ignores the interval (or slow_down) fails the flow.
        if self.last_poll is not None and now - self.last_poll < self.interval - 0.3:
            emit("POLL early")
            return 400, {"error": "invalid_request", "error_description": "polled too early"}
        self.last_poll = now
        if form.get("device_code") != "dc-1":
            return 400, {"error": "invalid_grant"}
        if self.device_script:
            step = self.device_script.pop(0)
            if step == "slow_down":
                self.interval += 5
            emit(f"POLL {step}")
            return 400, {"error": step}
        emit("POLL ok")
        return 200, self.issue(True)

    def device(self, form, port):
        with self.state:
            emit(f"DEVICE start scope={form.get('scope', '')}")
            self.interval = self.args.interval
            self.last_poll = time.monotonic()
            return 200, {"device_code": "dc-1", "user_code": "WDJB-MJHT",
                         "verification_uri": f"https://localhost:{port}/device",
                         "expires_in": 600, "interval": self.args.interval}

    def check_access(self, token):
        with self.state:
            if token in self.access:
                return "ok"
            return "expired" if token in self.expired else "bad"

    def introspect(self, form):
        """RFC 7662: an active token names the mailbox it was issued for."""
        verdict = self.check_access(form.get("token", ""))
        emit(f"INTROSPECT {verdict}")
        if verdict != "ok":
            return 200, {"active": False}
        return 200, {"active": True, "username": self.args.user, "scope": "imap", "token_type": "Bearer"}

    def command(self, line):
        words = line.split()
        with self.state:
            if words[0] == "refresh":
                self.refresh.add(words[1])
            elif words[0] == "access":
                self.access.add(words[1])
            elif words[0] == "expire":
                self.expired |= self.access
                self.access.clear()
            elif words[0] == "revoke":
                self.refresh.clear()
        emit("ACK " + line)


def http_handler(provider):
    class Handler(BaseHTTPRequestHandler):
        def log_message(self, *args):
            pass

        def do_POST(self):
            length = int(self.headers.get("Content-Length", "0"))
            form = dict(urllib.parse.parse_qsl(self.rfile.read(length).decode()))
            if self.path == "/token":
                status, answer = provider.token(form)
            elif self.path == "/introspect":
                status, answer = provider.introspect(form)
            elif self.path == "/devicecode":
                status, answer = provider.device(form, self.server.server_address[1])
            else:
                status, answer = 404, {"error": "not_found"}
            body = json.dumps(answer).encode()
            self.send_response(status)
            self.send_header("Content-Type", "application/json")
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            self.wfile.write(body)

    return Handler


class BearerHandler:
    def __init__(self, provider, user):
        self.provider = provider
        self.user = user.encode()

    async def handle_DATA(self, server, session, envelope):
        emit("MESSAGE " + json.dumps({"from": envelope.mail_from, "to": envelope.rcpt_tos}))
        return "250 2.0.0 accepted"

    async def bearer(self, server, args, mechanism, parse, acknowledgement, error):
        if len(args) < 2:
            emit(f"AUTH {mechanism} ? bad")
            return AuthResult(success=False, handled=False, message="501 5.5.2 initial response expected")
        user, token = parse(base64.b64decode(args[1]))
        verdict = self.provider.check_access(token) if user == self.user else "bad"
        if verdict == "ok":
            emit(f"AUTH {mechanism} {user.decode()} ok")
            return AuthResult(success=True)
        answer = await server.challenge_auth(json.dumps(error))
        if answer != acknowledgement:
            verdict = "badack"
        emit(f"AUTH {mechanism} {user.decode()} {verdict}")
        return AuthResult(success=False, handled=False, message="535 5.7.8 Username and Password not accepted")

    async def auth_XOAUTH2(self, server, args):
        def parse(raw):
            fields = raw.split(b"\x01")
            if len(fields) != 4 or fields[2:] != [b"", b""] or not fields[0].startswith(b"user=") \
                    or not fields[1].startswith(b"auth=Bearer "):
                return b"", b""
            return fields[0][5:], fields[1][12:].decode()
        return await self.bearer(server, args, "XOAUTH2", parse, b"",
                                 {"status": "401", "schemes": "bearer", "scope": "https://mail.google.com/"})

    async def auth_OAUTHBEARER(self, server, args):
        port = server.transport.get_extra_info("sockname")[1]

        def parse(raw):
            # The GS2 header, then host, port and auth, each ended by ^A, and a final ^A.
            header, _, rest = raw.partition(b"\x01")
            fields = rest.split(b"\x01")
            if not header.startswith(b"n,a=") or not header.endswith(b",") or fields[-2:] != [b"", b""]:
                return b"", b""
            pairs = dict(f.split(b"=", 1) for f in fields[:-2])
            if pairs.get(b"port") != str(port).encode() or not pairs.get(b"host") \
                    or not pairs.get(b"auth", b"").startswith(b"Bearer "):
                return b"", b""
            user = header[4:-1].replace(b"=2C", b",").replace(b"=3D", b"=")
            return user, pairs[b"auth"][7:].decode()
        return await self.bearer(server, args, "OAUTHBEARER", parse, b"\x01",
                                 {"status": "invalid_token", "scope": "https://outlook.office.com/SMTP.Send"})


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--cert", required=True)
    parser.add_argument("--key", required=True)
    parser.add_argument("--user", required=True, help="the mailbox the tokens belong to")
    parser.add_argument("--client-id", required=True)
    parser.add_argument("--client-secret", default="")
    parser.add_argument("--exclude", action="append", default=[], help="an AUTH mechanism not to offer")
    parser.add_argument("--interval", type=int, default=0, help="the device grant's polling interval")
    parser.add_argument("--device-script", default="", help="the device grant's answers before approval, e.g. "
                        "authorization_pending,slow_down or access_denied")
    parser.add_argument("--expires-in", type=int, default=3600)
    args = parser.parse_args()
    logging.getLogger("mail.log").setLevel(logging.ERROR)

    context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
    context.load_cert_chain(args.cert, args.key)
    provider = Provider(args)

    https = ThreadingHTTPServer(("127.0.0.1", 0), http_handler(provider))
    https.socket = context.wrap_socket(https.socket, server_side=True)
    threading.Thread(target=https.serve_forever, daemon=True).start()

    def refuse_passwords(server, session, envelope, mechanism, auth_data):
        emit(f"AUTH {mechanism} password bad")
        return AuthResult(success=False, handled=False)

    def factory():
        return SMTP(BearerHandler(provider, args.user), hostname="peer.test", authenticator=refuse_passwords,
                    auth_exclude_mechanism=args.exclude, tls_context=context, auth_require_tls=True)

    def commands():
        for line in sys.stdin:
            if line.strip():
                provider.command(line.strip())

    async def serve():
        loop = asyncio.get_running_loop()
        smtp = await loop.create_server(factory, "127.0.0.1", 0)
        emit(f"PORTS {https.server_address[1]} {smtp.sockets[0].getsockname()[1]}")
        await loop.run_in_executor(None, commands)
        smtp.close()
        https.shutdown()

    asyncio.run(serve())


if __name__ == "__main__":
    main()
