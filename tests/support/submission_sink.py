"""A loopback submission server for the tests and the benchmark: aiosmtpd with TLS and AUTH.

Usage: submission_sink.py OUTDIR CERT KEY USER PASSWORD
       (OUTDIR "--count" keeps nothing, only accepts)

Four listeners on 127.0.0.1, each on a free port, all demanding AUTH with USER and PASSWORD:
  starttls  STARTTLS required before anything else (port 587 style)
  tls       implicit TLS from the first byte (port 465 style), AUTH LOGIN only
  plain     offers AUTH but no STARTTLS at all
  inject    like starttls, but sends an extra reply right after its "220" to STARTTLS
Each message is saved as OUTDIR/NNNN.eml (raw bytes as received) with OUTDIR/NNNN.json
(envelope and login); every AUTH, MAIL and STARTTLS command that reaches a listener is
appended to OUTDIR/commands.log as "<listener> <verb>".
Prints "READY starttls=<port> tls=<port> plain=<port> inject=<port>" once all listen.
"""
import asyncio
import json
import os
import ssl
import sys

from aiosmtpd.smtp import SMTP, AuthResult


class Sink:
    def __init__(self, outdir):
        self.outdir = outdir
        self.count = 0

    def note(self, listener, verb):
        if self.outdir:
            with open(os.path.join(self.outdir, "commands.log"), "a", encoding="utf-8") as f:
                f.write("%s %s\n" % (listener, verb))

    async def handle_DATA(self, server, session, envelope):
        self.count += 1
        if self.outdir:
            stem = os.path.join(self.outdir, "%04d" % self.count)
            with open(stem + ".eml", "wb") as f:
                f.write(envelope.original_content)
            login = session.auth_data.decode() if isinstance(session.auth_data, bytes) else session.auth_data
            meta = {"mail_from": envelope.mail_from, "rcpt_tos": envelope.rcpt_tos, "login": login}
            with open(stem + ".tmp", "w", encoding="utf-8") as f:
                json.dump(meta, f)
            os.replace(stem + ".tmp", stem + ".json")
        return "250 OK message accepted"


def make_smtp(sink, listener, user, password, **kwargs):
    def authenticator(server, session, envelope, mechanism, auth_data):
        ok = auth_data.login == user.encode() and auth_data.password == password.encode()
        # handled=False: aiosmtpd answers a failure with its 535 itself.
        return AuthResult(success=ok, handled=False, auth_data=auth_data.login if ok else None)

    class Noting(SMTP):
        async def smtp_AUTH(self, arg):
            sink.note(listener, "AUTH")
            return await super().smtp_AUTH(arg)

        async def smtp_MAIL(self, arg):
            sink.note(listener, "MAIL")
            return await super().smtp_MAIL(arg)

        async def smtp_STARTTLS(self, arg):
            sink.note(listener, "STARTTLS")
            return await super().smtp_STARTTLS(arg)

        async def push(self, status):
            # A command hidden behind the 220: a client that reads on would take it as the answer
            # to its first encrypted command.
            if listener == "inject" and status.startswith("220 Ready to start TLS"):
                status += "\r\n250 2.0.0 injected"
            return await super().push(status)

    return Noting(sink, hostname="submission.localhost", decode_data=False, auth_required=True,
                  authenticator=authenticator, **kwargs)


async def main():
    outdir, cert, key, user, password = sys.argv[1:6]
    sink = Sink(None if outdir == "--count" else outdir)
    context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
    context.load_cert_chain(cert, key)
    loop = asyncio.get_running_loop()
    servers = {
        "starttls": await loop.create_server(
            lambda: make_smtp(sink, "starttls", user, password, tls_context=context, require_starttls=True),
            host="127.0.0.1", port=0),
        # aiosmtpd counts only STARTTLS as encryption, so the implicit listener must allow AUTH itself.
        "tls": await loop.create_server(
            lambda: make_smtp(sink, "tls", user, password, auth_require_tls=False,
                              auth_exclude_mechanism=["PLAIN"]),
            host="127.0.0.1", port=0, ssl=context),
        "plain": await loop.create_server(
            lambda: make_smtp(sink, "plain", user, password, auth_require_tls=False),
            host="127.0.0.1", port=0),
        "inject": await loop.create_server(
            lambda: make_smtp(sink, "inject", user, password, tls_context=context, require_starttls=True),
            host="127.0.0.1", port=0),
    }
    print("READY " + " ".join("%s=%d" % (name, s.sockets[0].getsockname()[1]) for name, s in servers.items()),
          flush=True)
    await asyncio.gather(*(s.serve_forever() for s in servers.values()))


if __name__ == "__main__":
    try:
        asyncio.run(main())
    except KeyboardInterrupt:
        pass
