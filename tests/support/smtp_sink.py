# Loopback SMTP servers (aiosmtpd) for the tests and the benchmark.
#
# Usage: smtp_sink.py [OUTDIR] [--tls CERT KEY (--login USER PASSWORD | --oauth CLIENT_ID [STATE])]
# Saves each message as OUTDIR/NNNN.eml (raw bytes) and NNNN.json (envelope, login), and notes each
# STARTTLS, AUTH and MAIL in OUTDIR/commands.log as "<listener> <verb> ...". Listens on 127.0.0.1
# and prints "READY <port>" (no options), or the ports of
#   --login: "starttls" (required) and "tls" (implicit, AUTH LOGIN only);
#   --oauth: "http" (the Provider), "xoauth2" (XOAUTH2 only), "both" (and OAUTHBEARER); a refused
#            token gets "334 <base64 JSON>", then 535. STATE keeps the tokens from run to run;
# as "READY name=port ...".

import argparse
import asyncio
import base64
import collections
import hashlib
import json
import os
import secrets
import ssl
import threading
import time
import urllib.parse
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

from aiosmtpd.smtp import SMTP, AuthResult


class Sink:
    def __init__(self, outdir):
        self.outdir, self.count = outdir, 0

    def note(self, text):
        if self.outdir:
            with open(os.path.join(self.outdir, "commands.log"), "a", encoding="utf-8") as f:
                f.write(text + "\n")

    async def handle_DATA(self, server, session, envelope):
        self.count += 1
        if self.outdir:
            stem = os.path.join(self.outdir, "%04d" % self.count)
            with open(stem + ".eml", "wb") as f:
                f.write(envelope.original_content)
            meta = {"mail_from": envelope.mail_from, "rcpt_tos": envelope.rcpt_tos}
            if session.auth_data is not None:
                meta["login"] = session.auth_data
            # Written before the 250, after which the tests read it.
            with open(stem + ".json", "w", encoding="utf-8") as f:
                json.dump(meta, f)
        return "250 OK message accepted"


# GET /authorize answers as a consenting user would: a redirect with code and state. POST /token:
# authorization_code (client id, redirect URI, PKCE S256 checked) and refresh_token grants.
# GET /control?authorize=consent|wrongstate|error|ignore, refuse_refresh=1, revoke_access=1;
# /stats: counters refresh, refused_refresh. STATE also keeps every token handed out.
class Provider:

    def __init__(self, client_id, state=None):
        self.client_id, self.state, self.lock = client_id, state, threading.Lock()
        self.codes, self.refresh, self.access, self.issued = {}, {}, {}, []
        self.settings = {"authorize": "consent", "refuse_refresh": "0"}
        self.stats = collections.Counter()
        if state and os.path.exists(state):
            with open(state, encoding="utf-8") as f:
                kept = json.load(f)
            self.refresh, self.issued = kept["refresh"], kept["issued"]

    def save(self):
        if self.state:
            with open(self.state + ".tmp", "w", encoding="utf-8") as f:
                json.dump({"refresh": self.refresh, "issued": self.issued}, f)
            os.replace(self.state + ".tmp", self.state)

    def new_access(self, user):
        token = secrets.token_urlsafe(4096)[:4096]  # as big as Microsoft's
        self.access[token] = (user, time.time() + 3600)
        self.issued.append(token)
        self.save()
        return {"access_token": token, "token_type": "Bearer", "expires_in": 3600}

    def check(self, user, token):
        with self.lock:
            known = self.access.get(token)
            return known is not None and known[0] == user and known[1] > time.time()

    def get(self, path, query):
        if path == "/control":
            self.settings.update(query)
            if query.get("revoke_access") == "1":
                self.access.clear()
            return 200, {"ok": True}, ()
        if path == "/stats":
            return 200, dict(self.stats), ()
        mode, redirect = self.settings["authorize"], query.get("redirect_uri", "")
        if not (query.get("client_id") == self.client_id and query.get("response_type") == "code"
                and query.get("code_challenge_method") == "S256" and query.get("code_challenge")
                and redirect.startswith("http://127.0.0.1:") and query.get("state")):
            return 400, b"bad authorization request", [("Content-Type", "text/plain")]
        if mode == "ignore":
            return 200, b"<p>waiting</p>", [("Content-Type", "text/html")]
        params = {"error": "access_denied", "state": query["state"]}
        if mode != "error":
            code = secrets.token_urlsafe(24)
            self.codes[code] = (query["code_challenge"], redirect, query.get("login_hint", ""))
            params = {"code": code, "state": query["state"] if mode == "consent" else "x" + query["state"]}
        return 302, b"", [("Location", redirect + "?" + urllib.parse.urlencode(params))]

    def post(self, path, form):
        if form.get("client_id") != self.client_id:
            return 401, {"error": "invalid_client"}
        grant = form.get("grant_type")
        if grant == "authorization_code":
            known = self.codes.pop(form.get("code", ""), None)
            verifier = form.get("code_verifier", "").encode()
            challenge = base64.urlsafe_b64encode(hashlib.sha256(verifier).digest()).rstrip(b"=").decode()
            if known is None or known[1] != form.get("redirect_uri") or challenge != known[0]:
                return 400, {"error": "invalid_grant"}
            reply, refresh = self.new_access(known[2]), secrets.token_urlsafe(32)
            self.refresh[refresh] = known[2]
            self.issued.append(refresh)
            self.save()
            return 200, dict(reply, refresh_token=refresh)
        user = self.refresh.get(form.get("refresh_token", "")) if grant == "refresh_token" else None
        if user is None or self.settings["refuse_refresh"] == "1":
            self.stats["refused_refresh"] += 1
            self.refresh.pop(form.get("refresh_token", ""), None)
            return 400, {"error": "invalid_grant", "error_description": "revoked"}
        self.stats["refresh"] += 1
        return 200, self.new_access(user)


def serve_http(provider):
    class Handler(BaseHTTPRequestHandler):
        def log_message(self, *args):
            pass  # never a token in the test output

        def answer(self, status, body, headers=()):
            data = body if isinstance(body, bytes) else json.dumps(body).encode()
            self.send_response(status)
            for name, value in list(headers) or [("Content-Type", "application/json")]:
                self.send_header(name, value)
            self.send_header("Content-Length", str(len(data)))
            self.end_headers()
            self.wfile.write(data)

        def do_GET(self):
            url = urllib.parse.urlsplit(self.path)
            with provider.lock:
                self.answer(*provider.get(url.path, dict(urllib.parse.parse_qsl(url.query))))

        def do_POST(self):
            form = dict(urllib.parse.parse_qsl(self.rfile.read(int(self.headers.get("Content-Length", "0"))).decode()))
            with provider.lock:
                self.answer(*provider.post(self.path, form))

    http = ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    threading.Thread(target=http.serve_forever, daemon=True).start()
    return http.server_address[1]


def make_smtp(sink, listener, options, provider=None, **kwargs):
    refusal = base64.b64encode(json.dumps({"status": "401", "schemes": "bearer"}).encode()).decode()

    def password(server, session, envelope, mechanism, auth_data):
        ok = auth_data.login == options.login[0].encode() and auth_data.password == options.login[1].encode()
        # handled=False: aiosmtpd answers a failure with its 535 itself.
        return AuthResult(success=ok, handled=False, auth_data=auth_data.login.decode() if ok else None)

    class Noting(SMTP):
        # A token makes an AUTH line of several kilobytes (RFC 4954 allows 12,288 octets).
        line_length_limit = 16384

        def __init__(self, *args, **kw):
            super().__init__(*args, **kw)
            self.command_size_limits = collections.defaultdict(lambda: 512, {"AUTH": 12288})

        async def smtp_AUTH(self, arg):
            if provider is None:
                sink.note(listener + " AUTH")
            return await super().smtp_AUTH(arg)

        async def smtp_MAIL(self, arg):
            sink.note(listener + " MAIL")
            return await super().smtp_MAIL(arg)

        async def smtp_STARTTLS(self, arg):
            if provider is None:
                sink.note(listener + " STARTTLS")
            return await super().smtp_STARTTLS(arg)

        async def by_token(self, mechanism, args):
            blob = base64.b64decode(args[1]) if len(args) > 1 else b""
            fields = dict(p.split(b"=", 1) for p in blob.split(b"\x01") if b"=" in p)
            header, auth = blob.partition(b"\x01")[0], fields.get(b"auth", b"")
            # OAUTHBEARER names the user in its GS2 header and must give host and port.
            user = fields.get(b"user", b"") if mechanism == "XOAUTH2" else header[4:].rstrip(b",")
            good = mechanism == "XOAUTH2" or (header.startswith(b"n,a=") and b"host" in fields and b"port" in fields)
            token = auth[7:].decode()
            if good and blob.endswith(b"\x01\x01") and auth.startswith(b"Bearer ") and provider.check(user.decode(), token):
                sink.note("%s AUTH %s ok %d" % (listener, mechanism, len(token)))
                return AuthResult(success=True, handled=False, auth_data=user.decode())
            await self.push("334 " + refusal)
            answer = (await self._reader.readline()).strip().decode(errors="replace")
            sink.note("%s AUTH %s refused %s" % (listener, mechanism, answer or "<empty>"))
            return AuthResult(success=False, handled=False, message="535 5.7.8 Token non valido")

        async def auth_XOAUTH2(self, _, args):
            return await self.by_token("XOAUTH2", args)

        async def auth_OAUTHBEARER(self, _, args):
            return await self.by_token("OAUTHBEARER", args)

    if provider or options.login:
        only = {"xoauth2": ["OAUTHBEARER"], "tls": ["PLAIN"]}.get(listener, [])  # "tls": AUTH LOGIN only
        kwargs["auth_exclude_mechanism"] = only + (["PLAIN", "LOGIN"] if provider else ["XOAUTH2", "OAUTHBEARER"])
    return Noting(sink, hostname="sink.localhost", decode_data=False, auth_required=bool(options.login or provider),
                  authenticator=password if options.login else None, **kwargs)


async def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("outdir", nargs="?")
    parser.add_argument("--tls", nargs=2)
    parser.add_argument("--login", nargs=2)
    parser.add_argument("--oauth", nargs="+")
    options = parser.parse_args()
    sink = Sink(options.outdir)
    loop = asyncio.get_running_loop()
    context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
    if options.tls:
        context.load_cert_chain(*options.tls)
    starttls = dict(tls_context=context, require_starttls=True)

    async def listen(name, secure=None, **kwargs):
        server = await loop.create_server(lambda: make_smtp(sink, name, options, **kwargs), host="127.0.0.1", port=0,
                                          ssl=secure)
        ports[name] = server.sockets[0].getsockname()[1]
        return server

    ports = {}
    if options.oauth:
        provider = Provider(*options.oauth[:2])
        ports["http"] = serve_http(provider)
        servers = [await listen(name, provider=provider, **starttls) for name in ("xoauth2", "both")]
    elif options.login:
        # aiosmtpd counts only STARTTLS as encryption, so the implicit listener must allow AUTH itself.
        servers = [await listen("starttls", **starttls), await listen("tls", context, auth_require_tls=False)]
    else:
        servers = [await listen("plain")]
    print("READY", *(["%s=%d" % item for item in ports.items()] if len(ports) > 1 else ports.values()), flush=True)
    await asyncio.gather(*(s.serve_forever() for s in servers))


if __name__ == "__main__":
    try:
        asyncio.run(main())
    except KeyboardInterrupt:
        pass
