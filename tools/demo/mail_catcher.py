#!/usr/bin/python3
"""The demo's SMTP server: accepts every message on 127.0.0.1 and stores it as a file.

    mail_catcher.py MAIL_FOLDER [--port 2525]

Each message received is written to MAIL_FOLDER as NNNN.eml, exactly as it arrived (the
headers the client wrote and the body), numbered after the files already there, so a
second run beside an earlier one's messages overwrites none of them. Prints "ready" once it listens, one line per
message stored, and stops on SIGTERM or SIGINT.
"""
import argparse
import asyncio
import logging
import os
import signal
import sys

from aiosmtpd.smtp import SMTP


def last_number(folder):
    numbers = [int(name[:-4]) for name in os.listdir(folder) if name.endswith(".eml") and name[:-4].isdigit()]
    return max(numbers, default=0)


class FolderStore:
    def __init__(self, folder):
        self.folder = folder
        self.count = last_number(folder)

    async def handle_DATA(self, server, session, envelope):
        self.count += 1
        name = os.path.join(self.folder, f"{self.count:04d}.eml")
        data = envelope.original_content or envelope.content
        if isinstance(data, str):
            data = data.encode("utf-8", "surrogateescape")
        # Written under a temporary name first, so a reader never sees half a message.
        with open(name + ".part", "wb") as f:
            f.write(data)
        os.replace(name + ".part", name)
        print(f"stored {name} from {envelope.mail_from} to {', '.join(envelope.rcpt_tos)}", flush=True)
        return "250 2.0.0 stored"


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("folder", help="where to store the messages (created if missing)")
    parser.add_argument("--port", type=int, default=2525)
    parser.add_argument("--host", default="127.0.0.1")
    args = parser.parse_args()
    os.makedirs(args.folder, exist_ok=True)
    logging.getLogger("mail.log").setLevel(logging.ERROR)

    store = FolderStore(args.folder)

    async def serve():
        loop = asyncio.get_running_loop()
        server = await loop.create_server(
            lambda: SMTP(store, hostname="demo.catcher", enable_SMTPUTF8=True),
            args.host, args.port)
        stop = loop.create_future()
        for sig in (signal.SIGTERM, signal.SIGINT):
            loop.add_signal_handler(sig, lambda: stop.done() or stop.set_result(None))
        print(f"ready on {args.host}:{args.port}, storing into {args.folder}", flush=True)
        await stop
        server.close()
        await server.wait_closed()

    try:
        asyncio.run(serve())
    except OSError as e:
        print(f"mail_catcher: cannot listen on {args.host}:{args.port}: {e.strerror}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
