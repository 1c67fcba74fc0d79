#!/usr/bin/python3
"""A real SMTP peer for the session tests: aiosmtpd on 127.0.0.1 and an ephemeral port.

--mode starttls  plain listener offering STARTTLS; AUTH (PLAIN, LOGIN) only after TLS
--mode implicit  TLS from the first byte; AUTH offered at once
--refuse ADDRESS=REPLY  refuse that recipient with that reply (repeatable)

Prints "PORT <n>" when listening, then one line per event:
  AUTH <mechanism> <login> <ok|fail>
  MESSAGE {"from": ..., "to": [...], "tls": bool, "size": n, "sha256": <hex>,
           "data": <base64 of the received data, left out above DATA_SHOWN_UP_TO bytes>}
and stops when its standard input closes.
"""
import argparse
import asyncio
import base64
import hashlib
import json
import ssl
import sys
import logging
import warnings

from aiosmtpd.smtp import SMTP, AuthResult, LoginPassword


# The test reads events only when it looks for one, and the server answers the final dot
# only after the event is written: a line larger than the pipe's buffer would stall both.
DATA_SHOWN_UP_TO = 32 * 1024


def emit(line):
    sys.stdout.write(line + "\n")
    sys.stdout.flush()


class Recorder:
    def __init__(self, refusals):
        self.refusals = refusals

    async def handle_RCPT(self, server, session, envelope, address, rcpt_options):
        if address in self.refusals:
            return self.refusals[address]
        envelope.rcpt_tos.append(address)
        return "250 OK"

    async def handle_DATA(self, server, session, envelope):
        data = envelope.original_content or envelope.content
        event = {
            "from": envelope.mail_from,
            "to": envelope.rcpt_tos,
            "tls": server.transport.get_extra_info("sslcontext") is not None,
            "size": len(data),
            "sha256": hashlib.sha256(data).hexdigest(),
        }
        if len(data) <= DATA_SHOWN_UP_TO:
            event["data"] = base64.b64encode(data).decode()
        emit("MESSAGE " + json.dumps(event))
        return "250 2.0.0 accepted"


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--mode", choices=["starttls", "implicit"], required=True)
    parser.add_argument("--cert", required=True)
    parser.add_argument("--key", required=True)
    parser.add_argument("--user", required=True)
    parser.add_argument("--password", required=True)
    parser.add_argument("--exclude", action="append", default=[])
    parser.add_argument("--refuse", action="append", default=[], metavar="ADDRESS=REPLY",
                        help="answer RCPT TO:<ADDRESS> with REPLY")
    parser.add_argument("--tls1-only", action="store_true", help="speak TLS 1.0 and nothing newer")
    args = parser.parse_args()
    logging.getLogger("mail.log").setLevel(logging.ERROR)  # aiosmtpd nags about its own API

    context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
    context.load_cert_chain(args.cert, args.key)
    if args.tls1_only:
        warnings.simplefilter("ignore", DeprecationWarning)  # old on purpose
        context.set_ciphers("ALL:@SECLEVEL=0")
        context.minimum_version = ssl.TLSVersion.TLSv1
        context.maximum_version = ssl.TLSVersion.TLSv1

    def authenticator(server, session, envelope, mechanism, auth_data):
        # The client sends text one byte per character (Latin-1), not UTF-8.
        ok = (isinstance(auth_data, LoginPassword)
              and auth_data.login == args.user.encode("latin-1")
              and auth_data.password == args.password.encode("latin-1"))
        login = auth_data.login.decode(errors="replace") if isinstance(auth_data, LoginPassword) else "?"
        emit(f"AUTH {mechanism} {login} {'ok' if ok else 'fail'}")
        return AuthResult(success=ok, handled=False)

    refusals = dict(item.split("=", 1) for item in args.refuse)

    def factory():
        return SMTP(Recorder(refusals), hostname="peer.test", authenticator=authenticator,
                    auth_exclude_mechanism=args.exclude,
                    tls_context=context if args.mode == "starttls" else None,
                    auth_require_tls=args.mode == "starttls")

    async def serve():
        loop = asyncio.get_running_loop()
        server = await loop.create_server(factory, "127.0.0.1", 0,
                                          ssl=context if args.mode == "implicit" else None)
        emit(f"PORT {server.sockets[0].getsockname()[1]}")
        await loop.run_in_executor(None, sys.stdin.read)
        server.close()

    asyncio.run(serve())


if __name__ == "__main__":
    main()
