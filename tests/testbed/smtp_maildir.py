#!/usr/bin/python3
"""SMTP receiver of the test bed: aiosmtpd on a loopback address, delivering into a Maildir.

Run with Debian's /usr/bin/python3 (python3-aiosmtpd). Every message accepted, whatever its
recipients, becomes one file in the Maildir's new/ folder (written in tmp/ and renamed, as the
Maildir convention wants), before the server answers the final dot: once the client has its
"250", the message is in the mailbox. The file holds the message as received, dot-unstuffed,
with its CR LF line ends written as LF, as a local delivery agent stores mail.

The port the server listens on is written to --port-file once it listens. The server runs until
it is killed (SIGTERM).
"""

import argparse
import asyncio
import logging
import os
import socket
import sys
import time
import warnings

from aiosmtpd.smtp import SMTP


class Handler:
    def __init__(self, maildir, log):
        self.maildir = maildir
        self.log = log
        self.count = 0

    async def handle_RCPT(self, server, session, envelope, address, rcpt_options):
        envelope.rcpt_tos.append(address)
        return "250 2.1.5 Ok"

    async def handle_DATA(self, server, session, envelope):
        self.count += 1
        name = f"{int(time.time())}.P{os.getpid()}Q{self.count:06d}.testbed"
        data = envelope.original_content.replace(b"\r\n", b"\n")
        temporary = os.path.join(self.maildir, "tmp", name)
        with open(temporary, "wb") as out:
            out.write(data)
            out.flush()
            os.fsync(out.fileno())
        # The POP3 server may run as another user: it must be able to read the file.
        os.chmod(temporary, 0o644)
        os.rename(temporary, os.path.join(self.maildir, "new", name))
        print(f"delivered {name}: from <{envelope.mail_from}> to "
              + ", ".join(f"<{a}>" for a in envelope.rcpt_tos) + f", {len(data)} bytes",
              file=self.log, flush=True)
        return "250 2.0.0 Ok: delivered"


class NoDelaySMTP(SMTP):
    """Sends each reply at once (no wait for the client's delayed acknowledgement)."""

    def connection_made(self, transport):
        sock = transport.get_extra_info("socket")
        if sock is not None:
            sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        super().connection_made(transport)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--host", default="127.0.0.1")
    parser.add_argument("--port", type=int, default=0, help="0: any free port")
    parser.add_argument("--maildir", required=True, help="the Maildir (with tmp/, new/, cur/)")
    parser.add_argument("--port-file", required=True, help="where to write the port")
    args = parser.parse_args()

    warnings.simplefilter("ignore")
    logging.getLogger("mail.log").setLevel(logging.CRITICAL)

    for sub in ("tmp", "new", "cur"):
        if not os.path.isdir(os.path.join(args.maildir, sub)):
            sys.exit(f"smtp_maildir: {args.maildir} is not a Maildir (no {sub}/)")

    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind((args.host, args.port))
    listener.listen(16)

    loop = asyncio.new_event_loop()
    asyncio.set_event_loop(loop)
    handler = Handler(args.maildir, sys.stdout)

    def factory():
        return NoDelaySMTP(handler, hostname="blog.test", loop=loop, ident="qubopost test bed SMTP",
                           enable_SMTPUTF8=True)

    server = loop.run_until_complete(loop.create_server(factory, sock=listener))
    port = listener.getsockname()[1]
    with open(args.port_file + ".part", "w") as out:
        out.write(f"{port}\n")
    os.rename(args.port_file + ".part", args.port_file)
    print(f"listening on {args.host}:{port}", flush=True)
    try:
        loop.run_forever()
    finally:
        server.close()


if __name__ == "__main__":
    main()
