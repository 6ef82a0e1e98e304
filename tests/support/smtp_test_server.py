"""Loopback SMTP server run by SmtpTestServer.h, its settings one JSON argument. Prints its port once it listens,
writes each message it accepts to DIR/messages/NNNNNN.json, ends when its input closes (never outliving the test)."""

import asyncio, base64, email, email.policy, json, logging, os, ssl, subprocess, sys
from aiosmtpd.smtp import SMTP, AuthResult

settings = json.loads(sys.argv[1])
messages = os.path.join(settings["dir"], "messages")
logging.disable(logging.WARNING)   # aiosmtpd warns about its own deprecated Session.login_data

def note(event):   # what tests count: "connect" for each connection, "auth" for each login tried
    with open(os.path.join(settings["dir"], "events.txt"), "a") as out: out.write(event + "\n")

def authenticate(server, session, envelope, mechanism, login):
    note("auth")
    accepted = (login.login, login.password) == (settings["user"].encode(), settings["password"].encode())
    return AuthResult(success=accepted, handled=False, auth_data=login)

class Recorder:
    async def handle_RCPT(self, server, session, envelope, address, rcpt_options):
        if settings["refuseRecipients"]: return "550 no such mailbox here"
        envelope.rcpt_tos.append(address); return "250 OK"
    async def handle_DATA(self, server, session, envelope):
        await asyncio.sleep(settings["delayMs"] / 1000)
        limit = settings["sizeLimit"]
        if limit and not settings["announceSize"] and len(envelope.original_content) > limit:
            return "554 5.3.4 Message too big for system"   # a limit it never announced
        if settings["holdReply"]:   # the whole message came; its answer never does
            note("held")
            await asyncio.Event().wait()
        message = email.message_from_bytes(envelope.original_content, policy=email.policy.default)
        plain = message.get_body(preferencelist=("plain",))
        record = {"envelopeFrom": envelope.mail_from, "envelopeTo": envelope.rcpt_tos,
                  "from": message["From"], "to": message["To"], "subject": message["Subject"],
                  "authenticatedUser": session.auth_data.login.decode() if session.authenticated else "",
                  "overTls": session.ssl is not None,
                  "body": plain.get_content().replace("\r\n", "\n") if plain else "",
                  "attachments": [{"fileName": part.get_filename(), "contentType": part.get_content_type(),
                                   "bytes": base64.b64encode(part.get_payload(decode=True)).decode()}
                                  for part in message.iter_attachments()]}
        path = os.path.join(messages, "%06d.json" % len(os.listdir(messages)))
        with open(path + ".tmp", "w") as out:   # the test polls: each file appears whole
            json.dump(record, out)
        os.replace(path + ".tmp", path)
        return "250 OK"

async def serve():
    os.makedirs(messages)
    context = None
    if settings["starttls"]:   # a P-256 key is quick to make, which keeps start-up short
        certificate, key = (os.path.join(settings["dir"], name) for name in ("cert.pem", "key.pem"))
        subprocess.run(["openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1",
                        "-nodes", "-days", "2", "-subj", "/CN=localhost", "-addext",
                        "subjectAltName=DNS:localhost,IP:127.0.0.1", "-keyout", key, "-out", certificate],
                       check=True, capture_output=True)
        context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
        context.load_cert_chain(certificate, key)
    # data_size_limit announces SIZE in the EHLO reply and refuses larger messages with 552; None: no limit told.
    announced = settings["sizeLimit"] if settings["sizeLimit"] and settings["announceSize"] else None
    smtp = lambda: SMTP(Recorder(), hostname="sentivo-test", tls_context=context, authenticator=authenticate,
                        auth_required=settings["requireAuth"], auth_require_tls=settings["starttls"],
                        data_size_limit=announced)
    # A silent server takes connections and never says a word.
    loop = asyncio.get_running_loop()
    connected = lambda: note("connect") or (asyncio.Protocol() if settings["silent"] else smtp())
    server = await loop.create_server(connected, "127.0.0.1", settings["port"])
    end = loop.create_future()
    loop.add_reader(sys.stdin.fileno(), lambda: end.done() or end.set_result(None))
    print(server.sockets[0].getsockname()[1], flush=True)
    await end

asyncio.run(serve())
