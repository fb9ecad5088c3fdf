# Configuration files over HTTPS and plain HTTP on loopback, for the provider lookup tests.
#
# Usage: https_files.py CERT KEY ROOT
# Serves ROOT over HTTPS (CERT, KEY) and plain HTTP, each on a free port of 127.0.0.1, query strings
# ignored; a file ROOT/<path>.redirect holding a URL answers 302 to it. Each request is appended to
# ROOT/requests.log as "<https|http> <path with query>". Prints "READY https=<port> http=<port>".

import functools
import http.server
import os
import ssl
import sys
import threading
import urllib.parse

cert, key, root = sys.argv[1:4]


class Handler(http.server.SimpleHTTPRequestHandler):
    def do_GET(self):
        with open(os.path.join(root, "requests.log"), "a", encoding="utf-8") as log:
            log.write("%s %s\n" % (self.server.scheme, self.path))
        redirect = os.path.join(root, os.path.normpath(urllib.parse.urlsplit(self.path).path).lstrip("/") + ".redirect")
        if not os.path.isfile(redirect):
            return super().do_GET()
        self.send_response(302)
        with open(redirect, encoding="utf-8") as f:
            self.send_header("Location", f.read().strip())
        self.end_headers()


context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
context.load_cert_chain(cert, key)
servers = {}
for scheme in ("https", "http"):
    servers[scheme] = http.server.ThreadingHTTPServer(("127.0.0.1", 0), functools.partial(Handler, directory=root))
    servers[scheme].scheme = scheme
    if scheme == "https":
        servers[scheme].socket = context.wrap_socket(servers[scheme].socket, server_side=True)
    threading.Thread(target=servers[scheme].serve_forever, daemon=True).start()
print("READY https=%d http=%d" % (servers["https"].server_address[1], servers["http"].server_address[1]), flush=True)
threading.Event().wait()
