#!/usr/bin/python3
"""An SMTP server on loopback that accepts every message and keeps none: the drain's far end
when only the database side is measured. Prints "PORT n", serves until standard input closes."""
import asyncio
import socket
import sys
import threading

from aiosmtpd.controller import Controller


class Sink:
    async def handle_DATA(self, server, session, envelope):
        return "250 OK"


def main():
    probe = socket.socket()
    probe.bind(("127.0.0.1", 0))
    port = probe.getsockname()[1]
    probe.close()
    controller = Controller(Sink(), hostname="127.0.0.1", port=port)
    controller.start()
    print("PORT %d" % port, flush=True)
    sys.stdin.read()
    controller.stop()


if __name__ == "__main__":
    main()
