"""A static HTTPS server on loopback for the account-discovery tests.

Usage (run with /usr/bin/python3):

    https_peer.py ROOT CERT KEY [LOG]

Serves the files below ROOT (GET only; a missing file gets 404) over TLS with the certificate
CERT and its key KEY, on a free loopback port, and prints "READY <port>". With LOG, the path of
every request is appended to that file, one a line, before it is answered.
"""
import http.server
import os
import ssl
import sys


LOG = None


class Handler(http.server.SimpleHTTPRequestHandler):
    def log_message(self, *args):
        pass

    def do_GET(self):
        if LOG:
            with open(LOG, "a", encoding="utf-8") as f:
                f.write(self.path + "\n")
        super().do_GET()


def main():
    global LOG
    root, cert, key = sys.argv[1:4]
    LOG = os.path.abspath(sys.argv[4]) if len(sys.argv) > 4 else None
    os.chdir(root)
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(cert, key)
    server.socket = context.wrap_socket(server.socket, server_side=True)
    print("READY %d" % server.server_address[1], flush=True)
    server.serve_forever()


if __name__ == "__main__":
    main()
