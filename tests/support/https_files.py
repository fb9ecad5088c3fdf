"""Configuration files over HTTPS on loopback, for the provider lookup tests.

Usage: https_files.py CERT KEY ROOT

Serves ROOT over HTTPS (with CERT and KEY) and over plain HTTP, each on a free port of 127.0.0.1.
GET /<path> answers ROOT/<path> (query string ignored); a file ROOT/<path>.redirect holding a URL
answers 302 to that URL instead; anything else is 404. Each request is appended to
ROOT/requests.log as "<https|http> <path with query>".
Prints "READY https=<port> http=<port>" once both listen.
"""
import http.server
import os
import ssl
import sys
import threading
import urllib.parse

cert, key, root = sys.argv[1:4]


def handler(scheme):
    class Handler(http.server.BaseHTTPRequestHandler):
        def log_message(self, *args):
            pass

        def do_GET(self):
            with open(os.path.join(root, "requests.log"), "a", encoding="utf-8") as log:
                log.write("%s %s\n" % (scheme, self.path))
            path = os.path.normpath(urllib.parse.urlsplit(self.path).path).lstrip("/")
            local = os.path.join(root, path)
            if path and os.path.isfile(local + ".redirect"):
                with open(local + ".redirect", encoding="utf-8") as f:
                    target = f.read().strip()
                self.send_response(302)
                self.send_header("Location", target)
                self.send_header("Content-Length", "0")
                self.end_headers()
                return
            if not path or not os.path.isfile(local):
                self.send_error(404)
                return
            with open(local, "rb") as f:
                body = f.read()
            self.send_response(200)
            self.send_header("Content-Type", "text/xml")
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            self.wfile.write(body)

    return Handler


secure = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler("https"))
context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
context.load_cert_chain(cert, key)
secure.socket = context.wrap_socket(secure.socket, server_side=True)
plain = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler("http"))
for server in (secure, plain):
    threading.Thread(target=server.serve_forever, daemon=True).start()
print("READY https=%d http=%d" % (secure.server_address[1], plain.server_address[1]), flush=True)
threading.Event().wait()
