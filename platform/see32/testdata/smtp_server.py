"""A real SMTP server for the mail engine's tests (aiosmtpd), run with /usr/bin/python3.

    smtp_server.py --dir DIR --port-file FILE [--tls CERT KEY] [--auth USER PASSWORD]
                   [--auth-plaintext]

Listens on a free port of 127.0.0.1 and writes that port into FILE (atomically) once it
accepts connections. Every message received is saved in DIR as

    N.eml         the message as received
    N.txt         what Python's own e-mail parser makes of it, one "key=value" line each:
                  mail_from, rcpt (one per recipient), tls, auth_user, header:<Name> (each
                  header, decoded), defects, part.count and for each leaf part K:
                  partK.type, partK.charset, partK.filename, partK.encoding, partK.defects
    N.partK.bin   the decoded body of leaf part K
    N.done        written last: the message is complete

Refusals for the tests: a recipient containing "refuse" gets 550, a sender containing "refuse"
gets 553. --tls offers STARTTLS and requires it before mail; --auth requires AUTH with those
credentials (only over TLS unless --auth-plaintext). The server ends on SIGTERM or when the
process that started it goes away.
"""

import argparse
import asyncio
import email
import email.policy
import os
import signal
import socket
import ssl
import sys

from aiosmtpd.smtp import SMTP, AuthResult, LoginPassword


class Handler:
    def __init__(self, directory):
        self.directory = directory
        self.count = 0

    async def handle_MAIL(self, server, session, envelope, address, mail_options):
        if "refuse" in address:
            return "553 5.7.1 <%s>: sender refused by this server" % address
        envelope.mail_from = address
        envelope.mail_options.extend(mail_options)
        return "250 OK"

    async def handle_RCPT(self, server, session, envelope, address, rcpt_options):
        if "refuse" in address:
            return "550 5.1.1 <%s>: recipient refused by this server" % address
        envelope.rcpt_tos.append(address)
        return "250 OK"

    async def handle_DATA(self, server, session, envelope):
        self.count += 1
        base = os.path.join(self.directory, str(self.count))
        raw = envelope.original_content or envelope.content
        with open(base + ".eml", "wb") as f:
            f.write(raw)
        lines = ["mail_from=" + envelope.mail_from]
        lines += ["rcpt=" + r for r in envelope.rcpt_tos]
        lines.append("tls=%d" % (1 if session.ssl else 0))
        login = getattr(session.auth_data, "login", None)
        lines.append("auth_user=" + (login.decode() if login else ""))
        message = email.message_from_bytes(raw, policy=email.policy.default)
        for name, value in message.items():
            lines.append("header:%s=%s" % (name, str(value).replace("\n", " ")))
        lines.append("defects=%d" % len(message.defects))
        lines.append("type=" + message.get_content_type())
        leaves = [p for p in message.walk() if not p.is_multipart()]
        lines.append("part.count=%d" % len(leaves))
        for k, part in enumerate(leaves, start=1):
            lines.append("part%d.type=%s" % (k, part.get_content_type()))
            lines.append("part%d.charset=%s" % (k, part.get_content_charset() or ""))
            lines.append("part%d.filename=%s" % (k, part.get_filename() or ""))
            lines.append("part%d.encoding=%s" % (k, part.get("Content-Transfer-Encoding", "")))
            lines.append("part%d.defects=%d" % (k, len(part.defects)))
            with open("%s.part%d.bin" % (base, k), "wb") as f:
                f.write(part.get_payload(decode=True) or b"")
        with open(base + ".txt", "w", encoding="utf-8") as f:
            f.write("\n".join(lines) + "\n")
        with open(base + ".done", "w") as f:
            f.write("")
        return "250 OK message saved"


def make_authenticator(user, password):
    def check(server, session, envelope, mechanism, auth_data):
        ok = (isinstance(auth_data, LoginPassword) and auth_data.login == user.encode()
              and auth_data.password == password.encode())
        # handled=False: aiosmtpd sends its 535 reply itself.
        return AuthResult(success=ok, handled=False, auth_data=auth_data if ok else None)
    return check


async def serve(args):
    sock = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    sock.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    sock.bind(("127.0.0.1", 0))
    sock.listen(16)
    options = {}
    if args.tls:
        context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
        context.load_cert_chain(args.tls[0], args.tls[1])
        options.update(tls_context=context, require_starttls=True)
    if args.auth:
        options.update(authenticator=make_authenticator(args.auth[0], args.auth[1]),
                       auth_required=True, auth_require_tls=not args.auth_plaintext)
    handler = Handler(args.dir)
    loop = asyncio.get_running_loop()
    server = await loop.create_server(
        lambda: SMTP(handler, hostname="test.smtp.local", **options), sock=sock)
    temporary = args.port_file + ".tmp"
    with open(temporary, "w") as f:
        f.write(str(sock.getsockname()[1]))
    os.replace(temporary, args.port_file)

    stop = asyncio.Event()
    loop.add_signal_handler(signal.SIGTERM, stop.set)
    parent = os.getppid()
    while not stop.is_set():
        if os.getppid() != parent:
            break
        try:
            await asyncio.wait_for(stop.wait(), timeout=1.0)
        except asyncio.TimeoutError:
            pass
    server.close()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--dir", required=True)
    parser.add_argument("--port-file", required=True)
    parser.add_argument("--tls", nargs=2, metavar=("CERT", "KEY"))
    parser.add_argument("--auth", nargs=2, metavar=("USER", "PASSWORD"))
    parser.add_argument("--auth-plaintext", action="store_true")
    asyncio.run(serve(parser.parse_args()))
    return 0


if __name__ == "__main__":
    sys.exit(main())
