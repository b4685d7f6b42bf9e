"""A static HTTPS server on loopback for the account-discovery tests.

Usage (run with /usr/bin/python3):

    https_peer.py ROOT CERT KEY

Serves the files below ROOT (GET only; a missing file gets 404) over TLS with the certificate
CERT and its key KEY, on a free loopback port, and prints "READY <port>".
"""
import http.server
import os
import ssl
import sys


class Handler(http.server.SimpleHTTPRequestHandler):
    def log_message(self, *args):
        pass


def main():
    root, cert, key = sys.argv[1:4]
    os.chdir(root)
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(cert, key)
    server.socket = context.wrap_socket(server.socket, server_side=True)
    print("READY %d" % server.server_address[1], flush=True)
    server.serve_forever()


if __name__ == "__main__":
    main()
