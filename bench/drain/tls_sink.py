#!/usr/bin/python3
"""A mail sink that offers STARTTLS: accepts every message and throws it away.

Postfix's smtp-sink speaks no TLS, so the STARTTLS drain is measured against this sink, and
so is a plain drain on the same sink for the comparison. TLS 1.3 session tickets are on (the
ssl module's default), so a client that resumes sessions can skip the full handshake.

    tls_sink.py PORT CERT KEY
Prints "ready" once it listens; on SIGTERM prints the number of messages accepted.
"""
import asyncio
import signal
import ssl
import sys


class Sink:
    def __init__(self, context):
        self.context = context
        self.messages = 0

    async def session(self, reader, writer):
        secure = False
        try:
            writer.write(b"220 tls-sink ESMTP\r\n")
            while True:
                line = await reader.readline()
                if not line:
                    break
                verb = line[:4].upper()
                if verb == b"EHLO":
                    lines = [b"250-tls-sink", b"250-8BITMIME"]
                    if not secure:
                        lines.append(b"250-STARTTLS")
                    lines.append(b"250 PIPELINING")
                    writer.write(b"\r\n".join(lines) + b"\r\n")
                elif verb == b"STAR" and not secure:
                    writer.write(b"220 go ahead\r\n")
                    await writer.drain()
                    await writer.start_tls(self.context)
                    secure = True
                elif verb == b"DATA":
                    writer.write(b"354 end with .\r\n")
                    await writer.drain()
                    while True:
                        data = await reader.readline()
                        if not data or data == b".\r\n":
                            break
                    if not data:
                        break
                    self.messages += 1
                    writer.write(b"250 2.0.0 queued\r\n")
                elif verb == b"QUIT":
                    writer.write(b"221 bye\r\n")
                    await writer.drain()
                    break
                elif verb in (b"HELO", b"MAIL", b"RCPT", b"RSET", b"NOOP"):
                    writer.write(b"250 ok\r\n")
                else:
                    writer.write(b"502 not here\r\n")
                await writer.drain()
        except (ConnectionError, ssl.SSLError, asyncio.IncompleteReadError):
            pass
        finally:
            writer.close()


async def main():
    port, cert, key = int(sys.argv[1]), sys.argv[2], sys.argv[3]
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(cert, key)
    sink = Sink(context)
    server = await asyncio.start_server(sink.session, "127.0.0.1", port, backlog=256)
    stop = asyncio.Event()
    loop = asyncio.get_running_loop()
    loop.add_signal_handler(signal.SIGTERM, stop.set)
    loop.add_signal_handler(signal.SIGINT, stop.set)
    print("ready", flush=True)
    async with server:
        await stop.wait()
    print(f"messages {sink.messages}", flush=True)


if __name__ == "__main__":
    asyncio.run(main())
