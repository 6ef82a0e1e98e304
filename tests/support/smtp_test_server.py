"""Loopback SMTP server for Sentivo's tests (driven by tests/support/SmtpTestServer.cpp).

Binds 127.0.0.1 on a free port, writes the port to DIR/port once it accepts connections and
writes every accepted message as DIR/messages/NNNNNN.json. It ends on SIGTERM or when its
standard input reaches end of file, so it never outlives the test process that started it.
"""

import argparse
import asyncio
import base64
import email
import email.policy
import json
import os
import signal
import ssl
import subprocess
import sys
import warnings

from aiosmtpd.smtp import SMTP, AuthResult


def parse_arguments():
    parser = argparse.ArgumentParser()
    parser.add_argument("--dir", required=True)
    parser.add_argument("--starttls", action="store_true")
    parser.add_argument("--require-auth", action="store_true")
    parser.add_argument("--user", default="alarm")
    parser.add_argument("--password", default="secret")
    parser.add_argument("--delay-ms", type=int, default=0)
    parser.add_argument("--silent", action="store_true")
    return parser.parse_args()


def write_atomically(path, text):
    # The C++ side polls for these files; a rename makes each appear whole.
    temporary = path + ".tmp"
    with open(temporary, "w", encoding="utf-8") as out:
        out.write(text)
    os.replace(temporary, path)


def make_tls_context(folder):
    # A P-256 key is quick to make, which keeps server start-up short.
    certificate = os.path.join(folder, "cert.pem")
    key = os.path.join(folder, "key.pem")
    subprocess.run(
        ["openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1",
         "-nodes", "-days", "2", "-subj", "/CN=localhost",
         "-addext", "subjectAltName=DNS:localhost,IP:127.0.0.1",
         "-keyout", key, "-out", certificate],
        check=True, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
    context.load_cert_chain(certificate, key)
    return context


def describe(envelope, session):
    message = email.message_from_bytes(envelope.original_content or envelope.content,
                                       policy=email.policy.default)
    body = message.get_body(preferencelist=("plain",))
    attachments = []
    for part in message.iter_attachments():
        payload = part.get_payload(decode=True) or b""
        attachments.append({
            "fileName": part.get_filename() or "",
            "contentType": part.get_content_type(),
            "bytes": base64.b64encode(payload).decode("ascii"),
        })
    user = ""
    if session.authenticated and session.auth_data is not None:
        login = getattr(session.auth_data, "login", b"")
        user = login.decode("utf-8", "replace") if isinstance(login, bytes) else str(login)
    return {
        "envelopeFrom": envelope.mail_from or "",
        "envelopeTo": list(envelope.rcpt_tos),
        "from": str(message.get("From", "")),
        "to": str(message.get("To", "")),
        "subject": str(message.get("Subject", "")),
        "body": body.get_content().replace("\r\n", "\n") if body is not None else "",
        "authenticatedUser": user,
        "overTls": session.ssl is not None,
    }, attachments


class Recorder:
    def __init__(self, folder, delay_ms):
        self.folder = os.path.join(folder, "messages")
        os.makedirs(self.folder, exist_ok=True)
        self.delay = delay_ms / 1000.0
        self.count = 0

    async def handle_DATA(self, server, session, envelope):
        if self.delay > 0:
            await asyncio.sleep(self.delay)
        record, attachments = describe(envelope, session)
        record["attachments"] = attachments
        self.count += 1
        write_atomically(os.path.join(self.folder, "%06d.json" % self.count), json.dumps(record))
        return "250 OK"


class Silent(asyncio.Protocol):
    """Takes the connection and never says a word."""

    def connection_made(self, transport):
        self.transport = transport


def make_authenticator(user, password):
    def authenticate(server, session, envelope, mechanism, auth_data):
        login = getattr(auth_data, "login", None)
        secret = getattr(auth_data, "password", None)
        if login == user.encode() and secret == password.encode():
            return AuthResult(success=True, auth_data=auth_data)
        return AuthResult(success=False, handled=False)
    return authenticate


async def serve(arguments):
    loop = asyncio.get_running_loop()
    if arguments.silent:
        factory = Silent
    else:
        recorder = Recorder(arguments.dir, arguments.delay_ms)
        context = make_tls_context(arguments.dir) if arguments.starttls else None
        authenticator = make_authenticator(arguments.user, arguments.password)

        def factory():
            return SMTP(recorder, loop=loop, hostname="sentivo-test", ident="Sentivo test SMTP",
                        tls_context=context, authenticator=authenticator,
                        auth_required=arguments.require_auth,
                        auth_require_tls=arguments.starttls)

    server = await loop.create_server(factory, host="127.0.0.1", port=0)
    stop = loop.create_future()
    for number in (signal.SIGTERM, signal.SIGINT):
        loop.add_signal_handler(number, lambda: stop.done() or stop.set_result(None))

    def on_input():
        if not os.read(sys.stdin.fileno(), 4096):
            loop.remove_reader(sys.stdin.fileno())
            if not stop.done():
                stop.set_result(None)
    loop.add_reader(sys.stdin.fileno(), on_input)

    port = server.sockets[0].getsockname()[1]
    write_atomically(os.path.join(arguments.dir, "port"), str(port))
    await stop
    server.close()


def main():
    # aiosmtpd fills its own deprecated Session.login_data and warns about it.
    warnings.filterwarnings("ignore", category=DeprecationWarning)
    arguments = parse_arguments()
    try:
        asyncio.run(serve(arguments))
    except Exception as error:  # reported to the test through the log file
        print("smtp_test_server: %r" % (error,), file=sys.stderr)
        sys.exit(1)


if __name__ == "__main__":
    main()
