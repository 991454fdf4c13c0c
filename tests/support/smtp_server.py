#!/usr/bin/python3
"""SMTP server for the tests: aiosmtpd on a loopback address, storing what it receives.

Run with Debian's /usr/bin/python3 (python3-aiosmtpd). Prints "PORT <n>" on stdout once it
listens, then serves until it is killed or its stdin is closed (so it never outlives the test
that started it).

Each accepted message becomes one file NNNNNN.msg in the spool folder, written before the
server answers the final dot, in this form:

    from: <envelope sender>
    rcpt: <recipient>           (one line per recipient)
    auth: <login>               (only after a successful AUTH)
    tls: yes|no
    <empty line>
    <the message bytes exactly as received, dot-unstuffed>

What each connection went through is appended to the file "events" in the spool folder as it
happens, one line "<connection number> <event>" per event: "connect" (accepted), "DATA" (the
command arrived, before the 354 reply), "accepted" (the message is stored, before the reply to
the final dot), "QUIT" (the command arrived) and "closed" (the connection is gone).
"""

import argparse
import asyncio
import logging
import os
import socket
import ssl
import sys
import threading
import warnings

from aiosmtpd.smtp import SMTP, AuthResult, LoginPassword


class Events:
    """The "events" file of the spool folder; each line is written whole, at once."""

    def __init__(self, spool):
        self.fd = os.open(os.path.join(spool, "events"), os.O_WRONLY | os.O_CREAT | os.O_APPEND, 0o600)
        self.connections = 0

    def new_connection(self):
        self.connections += 1
        return self.connections

    def note(self, connection, event):
        os.write(self.fd, f"{connection} {event}\n".encode())


class Handler:
    def __init__(self, spool, reject_recipients, data_reply):
        self.spool = spool
        self.reject = {address.lower() for address in reject_recipients}
        self.data_reply = data_reply
        self.count = 0

    async def handle_RCPT(self, server, session, envelope, address, rcpt_options):
        if address.lower() in self.reject:
            return f"550 5.1.1 <{address}>: Recipient address rejected"
        envelope.rcpt_tos.append(address)
        return "250 2.1.5 Ok"

    async def handle_DATA(self, server, session, envelope):
        if self.data_reply:
            return self.data_reply
        self.count += 1
        tls = server.transport.get_extra_info("ssl_object") is not None
        head = [f"from: {envelope.mail_from}"]
        head += [f"rcpt: {address}" for address in envelope.rcpt_tos]
        if session.authenticated and isinstance(session.auth_data, LoginPassword):
            head.append("auth: " + session.auth_data.login.decode("utf-8", "replace"))
        head.append("tls: " + ("yes" if tls else "no"))
        name = os.path.join(self.spool, f"{self.count:06d}.msg")
        with open(name + ".part", "wb") as out:
            out.write(("\n".join(head) + "\n\n").encode("utf-8", "surrogateescape"))
            out.write(envelope.original_content)
        os.rename(name + ".part", name)
        server.events.note(server.number, "accepted")
        return "250 2.0.0 Ok: queued"


def make_authenticator(user, password):
    def authenticate(server, session, envelope, mechanism, auth_data):
        if (isinstance(auth_data, LoginPassword) and auth_data.login == user.encode()
                and auth_data.password == password.encode()):
            return AuthResult(success=True, auth_data=auth_data)
        return AuthResult(success=False, handled=False)
    return authenticate


class NoDelaySMTP(SMTP):
    """Sends each reply at once: without TCP_NODELAY a multi-line reply waits for the
    client's delayed acknowledgement, some 40 ms a message."""

    def __init__(self, handler, events, **options):
        super().__init__(handler, **options)
        self.events = events
        self.number = events.new_connection()

    def connection_made(self, transport):
        sock = transport.get_extra_info("socket")
        if sock is not None:
            sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        self.events.note(self.number, "connect")
        super().connection_made(transport)

    def connection_lost(self, error):
        self.events.note(self.number, "closed")
        super().connection_lost(error)

    async def smtp_DATA(self, arg):
        self.events.note(self.number, "DATA")
        await super().smtp_DATA(arg)

    async def smtp_QUIT(self, arg):
        self.events.note(self.number, "QUIT")
        await super().smtp_QUIT(arg)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--host", default="127.0.0.1")
    parser.add_argument("--port", type=int, default=0, help="0: any free port")
    parser.add_argument("--spool", required=True, help="folder for the received messages")
    parser.add_argument("--cert", help="certificate (PEM): offer STARTTLS")
    parser.add_argument("--key", help="private key (PEM) of --cert")
    parser.add_argument("--implicit-tls", action="store_true",
                        help="TLS from the first byte instead of STARTTLS")
    parser.add_argument("--user", help="offer AUTH PLAIN/LOGIN and accept this login")
    parser.add_argument("--password", default="")
    parser.add_argument("--require-auth", action="store_true", help="refuse mail before AUTH")
    parser.add_argument("--auth-without-tls", action="store_true",
                        help="accept AUTH on a connection without TLS")
    parser.add_argument("--reject-rcpt", action="append", default=[],
                        help="answer RCPT TO of this address with 550 (repeatable)")
    parser.add_argument("--data-reply", default="",
                        help="answer the final dot with this reply instead of accepting")
    args = parser.parse_args()

    # aiosmtpd warns about settings the tests choose on purpose (AUTH without TLS) and about
    # its own deprecated attributes; only real errors should reach the test output.
    warnings.simplefilter("ignore")
    logging.getLogger("mail.log").setLevel(logging.CRITICAL)

    context = None
    if args.cert:
        context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
        context.load_cert_chain(args.cert, args.key)

    family = socket.AF_INET6 if ":" in args.host else socket.AF_INET
    listener = socket.socket(family, socket.SOCK_STREAM)
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind((args.host, args.port))
    listener.listen(16)

    loop = asyncio.new_event_loop()
    asyncio.set_event_loop(loop)
    handler = Handler(args.spool, args.reject_rcpt, args.data_reply)
    events = Events(args.spool)
    implicit = bool(context) and args.implicit_tls

    def factory():
        options = dict(hostname="smtp.test", loop=loop, ident="qubopost test SMTP")
        if context and not implicit:
            options["tls_context"] = context
        if args.user:
            options["authenticator"] = make_authenticator(args.user, args.password)
            options["auth_required"] = args.require_auth
            # On an implicit-TLS connection aiosmtpd does not know it is encrypted.
            options["auth_require_tls"] = not (args.auth_without_tls or implicit)
        return NoDelaySMTP(handler, events, **options)

    server = loop.run_until_complete(
        loop.create_server(factory, sock=listener, ssl=context if implicit else None))

    def watch_stdin():
        sys.stdin.buffer.read()
        os._exit(0)

    threading.Thread(target=watch_stdin, daemon=True).start()
    print(f"PORT {listener.getsockname()[1]}", flush=True)
    try:
        loop.run_forever()
    finally:
        server.close()


if __name__ == "__main__":
    main()
