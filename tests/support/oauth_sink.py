"""A fake OAuth 2.0 provider and a submission server that logs in by token, for tests and the benchmark.

Usage: oauth_sink.py OUTDIR CERT KEY CLIENT_ID [STATE]   (OUTDIR "--count" keeps nothing)
       STATE: a JSON file that keeps the refresh tokens and the tokens issued from one run of the
       provider to the next (a second program run then finds its refresh token still valid)

On 127.0.0.1, each on a free port:
  http      the authorization server (Python's http.server):
              GET  /authorize  answers as a consenting user would: a redirect to redirect_uri with
                               code and state (see "authorize" below)
              POST /token      authorization_code (checks client id, redirect URI and the PKCE
                               verifier against the S256 challenge) and refresh_token grants
              GET  /control?name=value  changes the behaviour:
                   authorize=consent|wrongstate|error|ignore, lifetime=<seconds of a new access
                   token>, refuse_refresh=1 (invalid_grant), slow=<seconds before a token answer>,
                   revoke_access=1 (the tokens issued so far are refused by SMTP), token_bytes=<n>
              GET  /stats      JSON counters: authorize, code, refresh, refused_refresh
              GET  /issued     every access and refresh token handed out (JSON list)
  xoauth2   aiosmtpd, STARTTLS required, AUTH XOAUTH2 only
  both      aiosmtpd, STARTTLS required, AUTH XOAUTH2 and OAUTHBEARER
Both SMTP listeners check the token with the authorization server's own table. A refused token
gets "334 <base64 JSON>", then, whatever the client answers, "535 5.7.8"; the client's answer is
noted. Messages are saved as OUTDIR/NNNN.eml; OUTDIR/commands.log gets "<listener> <verb> ..."
for every AUTH (with the mechanism and ok/refused/the answer to the 334) and MAIL.
Prints "READY http=<port> xoauth2=<port> both=<port>" once all listen.
"""
import asyncio
import base64
import collections
import hashlib
import json
import os
import secrets
import ssl
import sys
import threading
import time
import urllib.parse
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

from aiosmtpd.smtp import SMTP, AuthResult


class Provider:
    def __init__(self, client_id, state=None):
        self.client_id = client_id
        self.state = state
        self.lock = threading.Lock()
        self.codes = {}       # code -> (challenge, redirect_uri, user)
        self.refresh = {}     # refresh token -> user
        self.access = {}      # access token -> (user, expiry)
        self.settings = {"authorize": "consent", "lifetime": "3600", "refuse_refresh": "0", "slow": "0",
                         "token_bytes": "4096"}
        self.stats = collections.Counter()
        self.issued = []      # every token handed out, for the tests that look for leaks
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
        size = int(self.settings["token_bytes"])
        token = secrets.token_urlsafe(size)[:size]
        self.access[token] = (user, time.time() + int(self.settings["lifetime"]))
        self.issued.append(token)
        self.save()
        return {"access_token": token, "token_type": "Bearer", "expires_in": int(self.settings["lifetime"])}

    def check(self, user, token):
        with self.lock:
            known = self.access.get(token)
            return known is not None and known[0] == user and known[1] > time.time()


def b64url(data):
    return base64.urlsafe_b64encode(data).rstrip(b"=").decode()


def make_http(provider):
    class Handler(BaseHTTPRequestHandler):
        def log_message(self, *args):
            pass  # never a token in the test output

        def answer(self, status, body, headers=()):
            data = body if isinstance(body, bytes) else json.dumps(body).encode()
            self.send_response(status)
            for name, value in headers:
                self.send_header(name, value)
            if not any(name == "Content-Type" for name, _ in headers):
                self.send_header("Content-Type", "application/json")
            self.send_header("Content-Length", str(len(data)))
            self.end_headers()
            self.wfile.write(data)

        def do_GET(self):
            url = urllib.parse.urlsplit(self.path)
            query = dict(urllib.parse.parse_qsl(url.query))
            if url.path == "/control":
                with provider.lock:
                    provider.settings.update(query)
                    if query.get("revoke_access") == "1":
                        provider.access.clear()
                return self.answer(200, {"ok": True})
            if url.path == "/stats":
                with provider.lock:
                    return self.answer(200, dict(provider.stats))
            if url.path == "/issued":
                with provider.lock:
                    return self.answer(200, provider.issued)
            if url.path != "/authorize":
                return self.answer(404, {"error": "not_found"})
            with provider.lock:
                provider.stats["authorize"] += 1
                mode = provider.settings["authorize"]
            redirect = query.get("redirect_uri", "")
            good = (query.get("client_id") == provider.client_id and query.get("response_type") == "code"
                    and query.get("code_challenge_method") == "S256" and query.get("code_challenge")
                    and redirect.startswith("http://127.0.0.1:") and query.get("state"))
            if not good:
                return self.answer(400, b"bad authorization request", [("Content-Type", "text/plain")])
            if mode == "ignore":
                return self.answer(200, b"<p>waiting</p>", [("Content-Type", "text/html")])
            if mode == "error":
                params = {"error": "access_denied", "state": query["state"]}
            else:
                code = secrets.token_urlsafe(24)
                with provider.lock:
                    provider.codes[code] = (query["code_challenge"], redirect, query.get("login_hint", ""))
                state = query["state"] if mode == "consent" else "x" + query["state"]
                params = {"code": code, "state": state}
            self.answer(302, b"", [("Location", redirect + "?" + urllib.parse.urlencode(params))])

        def do_POST(self):
            length = int(self.headers.get("Content-Length", "0"))
            form = dict(urllib.parse.parse_qsl(self.rfile.read(length).decode()))
            if self.path != "/token":
                return self.answer(404, {"error": "not_found"})
            time.sleep(float(provider.settings["slow"]))
            if form.get("client_id") != provider.client_id:
                return self.answer(401, {"error": "invalid_client"})
            grant = form.get("grant_type")
            with provider.lock:
                if grant == "authorization_code":
                    known = provider.codes.pop(form.get("code", ""), None)
                    verifier = form.get("code_verifier", "")
                    if (known is None or known[1] != form.get("redirect_uri")
                            or b64url(hashlib.sha256(verifier.encode()).digest()) != known[0]):
                        return self.answer(400, {"error": "invalid_grant"})
                    provider.stats["code"] += 1
                    reply = provider.new_access(known[2])
                    refresh = secrets.token_urlsafe(32)
                    provider.refresh[refresh] = known[2]
                    provider.issued.append(refresh)
                    provider.save()
                    reply["refresh_token"] = refresh
                    return self.answer(200, reply)
                if grant == "refresh_token":
                    user = provider.refresh.get(form.get("refresh_token", ""))
                    if user is None or provider.settings["refuse_refresh"] == "1":
                        provider.stats["refused_refresh"] += 1
                        provider.refresh.pop(form.get("refresh_token", ""), None)
                        return self.answer(400, {"error": "invalid_grant", "error_description": "revoked"})
                    provider.stats["refresh"] += 1
                    return self.answer(200, provider.new_access(user))
            return self.answer(400, {"error": "unsupported_grant_type"})

    return ThreadingHTTPServer(("127.0.0.1", 0), Handler)


class Sink:
    def __init__(self, outdir):
        self.outdir = outdir
        self.count = 0

    def note(self, text):
        if self.outdir:
            with open(os.path.join(self.outdir, "commands.log"), "a", encoding="utf-8") as f:
                f.write(text + "\n")

    async def handle_DATA(self, server, session, envelope):
        self.count += 1
        if self.outdir:
            stem = os.path.join(self.outdir, "%04d" % self.count)
            with open(stem + ".tmp", "wb") as f:
                f.write(envelope.original_content)
            os.replace(stem + ".tmp", stem + ".eml")
        return "250 OK message accepted"


def make_smtp(sink, provider, listener, context):
    refusal = base64.b64encode(json.dumps({"status": "401", "schemes": "bearer"}).encode()).decode()

    class TokenSmtp(SMTP):
        # A token makes an AUTH line of several kilobytes (RFC 4954 allows 12,288 octets).
        line_length_limit = 16384

        def __init__(self, *args, **kwargs):
            super().__init__(*args, **kwargs)
            self.command_size_limits = collections.defaultdict(lambda: 512, {"AUTH": 12288})

        async def token(self, mechanism, args, parse):
            blob = base64.b64decode(args[1]) if len(args) > 1 else b""
            user, token = parse(blob)
            if user is not None and provider.check(user, token):
                sink.note("%s AUTH %s ok %d" % (listener, mechanism, len(token)))
                return AuthResult(success=True, handled=False, auth_data=user)
            await self.push("334 " + refusal)
            answer = await self._reader.readline()
            sink.note("%s AUTH %s refused %s" % (listener, mechanism, answer.strip().decode(errors="replace") or "<empty>"))
            return AuthResult(success=False, handled=False, message="535 5.7.8 Token non valido")

        async def auth_XOAUTH2(self, _, args):
            def parse(blob):
                parts = dict(p.split(b"=", 1) for p in blob.split(b"\x01") if b"=" in p)
                auth = parts.get(b"auth", b"")
                if not blob.endswith(b"\x01\x01") or not auth.startswith(b"Bearer "):
                    return None, None
                return parts.get(b"user", b"").decode(), auth[7:].decode()
            return await self.token("XOAUTH2", args, parse)

        async def auth_OAUTHBEARER(self, _, args):
            def parse(blob):
                header, _, rest = blob.partition(b"\x01")
                fields = dict(p.split(b"=", 1) for p in rest.split(b"\x01") if b"=" in p)
                auth = fields.get(b"auth", b"")
                if not header.startswith(b"n,a=") or not blob.endswith(b"\x01\x01") or not auth.startswith(b"Bearer "):
                    return None, None
                if b"host" not in fields or b"port" not in fields:
                    return None, None
                return header[4:].rstrip(b",").decode(), auth[7:].decode()
            return await self.token("OAUTHBEARER", args, parse)

        async def smtp_MAIL(self, arg):
            sink.note("%s MAIL" % listener)
            return await super().smtp_MAIL(arg)

    exclude = ["PLAIN", "LOGIN"] + (["OAUTHBEARER"] if listener == "xoauth2" else [])
    return TokenSmtp(sink, hostname="submission.localhost", decode_data=False, auth_required=True,
                     tls_context=context, require_starttls=True, auth_exclude_mechanism=exclude)


async def main():
    outdir, cert, key, client_id = sys.argv[1:5]
    sink = Sink(None if outdir == "--count" else outdir)
    provider = Provider(client_id, sys.argv[5] if len(sys.argv) > 5 else None)
    http = make_http(provider)
    threading.Thread(target=http.serve_forever, daemon=True).start()
    context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
    context.load_cert_chain(cert, key)
    loop = asyncio.get_running_loop()
    servers = {name: await loop.create_server(lambda name=name: make_smtp(sink, provider, name, context),
                                              host="127.0.0.1", port=0)
               for name in ("xoauth2", "both")}
    print("READY http=%d " % http.server_address[1]
          + " ".join("%s=%d" % (name, s.sockets[0].getsockname()[1]) for name, s in servers.items()), flush=True)
    await asyncio.gather(*(s.serve_forever() for s in servers.values()))


if __name__ == "__main__":
    try:
        asyncio.run(main())
    except KeyboardInterrupt:
        pass
