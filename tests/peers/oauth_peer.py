#!/usr/bin/python3
"""A small OAuth 2.0 authorization server for tests, over HTTPS on 127.0.0.1 (standard library).

    oauth_peer.py --tls-cert FILE --tls-key FILE --user USER [--client-id ID]
                  [--client-secret S] [--expires-in SECONDS] [--pending N] [--slow-down N]
                  [--rotate]

Endpoints:
  GET  /authorize   approves at once: 302 to redirect_uri with code and the given state
                    (response_type=code, client_id and an S256 code_challenge required)
  POST /token       authorization_code (code_verifier checked against the challenge, and the
                    redirect_uri), refresh_token, and the device code grant
  POST /device      device authorization: device_code, user_code, verification_uri,
                    interval 1; the device code is answered with authorization_pending N
                    times and slow_down M times (--pending, --slow-down) before the tokens
  POST /introspect  token=<access token>: {"active": true, "username": USER} while it is
                    valid, {"active": false} otherwise (dovecot and the SMTP peer ask here)
  POST /control/issue    a fresh access and refresh token, as "<access> <refresh>" (text)
  POST /control/expire   every access token issued so far stops being valid
  POST /control/revoke   every refresh token issued so far is refused (invalid_grant)

Tokens are long (2,100 characters), as real providers' are. Errors are RFC 6749 JSON replies.
GET /control/stats returns how often each grant was asked for, the device polls that came
sooner than the interval allows ("device_too_fast") and the introspections.

Prints "READY <port>" once it listens; stops on SIGTERM.
"""
import argparse
import base64
import hashlib
import http.server
import json
import secrets
import signal
import ssl
import sys
import threading
import time
import urllib.parse

STATE = {
    "codes": {},      # code -> (client_id, redirect_uri, challenge)
    "access": {},     # token -> expiry (monotonic)
    "refresh": set(), # valid refresh tokens
    "devices": {},    # device_code -> [pending left, slow_down left, last poll time]
    "stats": {},
}
LOCK = threading.Lock()


def long_token(prefix):
    return prefix + secrets.token_urlsafe(1600)[:2100 - len(prefix)]


class Handler(http.server.BaseHTTPRequestHandler):
    options = None

    def log_message(self, *args):
        pass

    def reply(self, code, body, headers=()):
        data = json.dumps(body).encode()
        self.send_response(code)
        self.send_header("Content-Type", "application/json")
        self.send_header("Cache-Control", "no-store")
        self.send_header("Content-Length", str(len(data)))
        for name, value in headers:
            self.send_header(name, value)
        self.end_headers()
        self.wfile.write(data)

    def error(self, code, error):
        self.reply(code, {"error": error})

    def form(self):
        length = int(self.headers.get("Content-Length") or 0)
        raw = self.rfile.read(length).decode()
        return {k: v[0] for k, v in urllib.parse.parse_qs(raw, keep_blank_values=True).items()}

    def count(self, key):
        STATE["stats"][key] = STATE["stats"].get(key, 0) + 1

    def do_GET(self):
        url = urllib.parse.urlsplit(self.path)
        query = {k: v[0] for k, v in urllib.parse.parse_qs(url.query).items()}
        with LOCK:
            if url.path == "/control/stats":
                return self.reply(200, STATE["stats"])
            if url.path != "/authorize":
                return self.error(404, "not_found")
            o = self.options
            if (query.get("response_type") != "code" or query.get("client_id") != o.client_id
                    or query.get("code_challenge_method") != "S256"
                    or not query.get("code_challenge") or not query.get("redirect_uri")):
                return self.error(400, "invalid_request")
            code = secrets.token_urlsafe(24)
            STATE["codes"][code] = (query["client_id"], query["redirect_uri"],
                                    query["code_challenge"])
            target = query["redirect_uri"] + "?" + urllib.parse.urlencode(
                {"code": code, "state": query.get("state", "")})
        self.send_response(302)
        self.send_header("Location", target)
        self.send_header("Content-Length", "0")
        self.end_headers()

    def issue(self):
        access = long_token("at-")
        refresh = long_token("rt-")
        STATE["access"][access] = time.monotonic() + self.options.expires_in
        STATE["refresh"].add(refresh)
        return {"access_token": access, "token_type": "Bearer",
                "expires_in": self.options.expires_in, "refresh_token": refresh,
                "scope": "mail"}

    def client_ok(self, form):
        o = self.options
        if form.get("client_id") != o.client_id:
            return False
        return not o.client_secret or form.get("client_secret") == o.client_secret

    def do_POST(self):
        path = urllib.parse.urlsplit(self.path).path
        form = self.form()
        with LOCK:
            if path == "/control/issue":
                body = self.issue()
                data = (body["access_token"] + " " + body["refresh_token"]).encode()
                self.send_response(200)
                self.send_header("Content-Length", str(len(data)))
                self.end_headers()
                self.wfile.write(data)
                return
            if path == "/control/expire":
                STATE["access"] = {t: 0 for t in STATE["access"]}
                return self.reply(200, {})
            if path == "/control/revoke":
                STATE["refresh"].clear()
                return self.reply(200, {})
            if path == "/introspect":
                self.count("introspect")
                expiry = STATE["access"].get(form.get("token", ""))
                if expiry is None or expiry < time.monotonic():
                    return self.reply(200, {"active": False})
                return self.reply(200, {"active": True, "username": self.options.user,
                                        "scope": "mail"})
            if path == "/device":
                if form.get("client_id") != self.options.client_id:
                    return self.error(401, "invalid_client")
                device = secrets.token_urlsafe(24)
                STATE["devices"][device] = [self.options.pending, self.options.slow_down, 0.0]
                return self.reply(200, {"device_code": device, "user_code": "WDJB-MJHT",
                                        "verification_uri": "https://127.0.0.1/device",
                                        "expires_in": 600, "interval": 1})
            if path != "/token":
                return self.error(404, "not_found")
            grant = form.get("grant_type", "")
            self.count(grant)
            if not self.client_ok(form):
                return self.error(401, "invalid_client")
            if grant == "authorization_code":
                entry = STATE["codes"].pop(form.get("code", ""), None)
                if entry is None or entry[1] != form.get("redirect_uri"):
                    return self.error(400, "invalid_grant")
                verifier = form.get("code_verifier", "").encode()
                challenge = base64.urlsafe_b64encode(
                    hashlib.sha256(verifier).digest()).rstrip(b"=").decode()
                if challenge != entry[2]:
                    return self.error(400, "invalid_grant")
                return self.reply(200, self.issue())
            if grant == "refresh_token":
                token = form.get("refresh_token", "")
                if token not in STATE["refresh"]:
                    return self.error(400, "invalid_grant")
                body = self.issue()
                if self.options.rotate:  # a new refresh token; the old one stops working
                    STATE["refresh"].discard(token)
                    return self.reply(200, body)
                STATE["refresh"].discard(body.pop("refresh_token"))
                return self.reply(200, body)  # the refresh token stays the same
            if grant == "urn:ietf:params:oauth:grant-type:device_code":
                self.count("device_poll")
                entry = STATE["devices"].get(form.get("device_code", ""))
                if entry is None:
                    return self.error(400, "invalid_grant")
                now = time.monotonic()
                if entry[2] and now - entry[2] < 0.9:
                    self.count("device_too_fast")
                entry[2] = now
                if entry[1] > 0:
                    entry[1] -= 1
                    return self.error(400, "slow_down")
                if entry[0] > 0:
                    entry[0] -= 1
                    return self.error(400, "authorization_pending")
                del STATE["devices"][form["device_code"]]
                return self.reply(200, self.issue())
            return self.error(400, "unsupported_grant_type")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--tls-cert", required=True)
    parser.add_argument("--tls-key", required=True)
    parser.add_argument("--user", required=True)
    parser.add_argument("--client-id", default="kestrova-test")
    parser.add_argument("--client-secret", default="")
    parser.add_argument("--expires-in", type=int, default=3600)
    parser.add_argument("--pending", type=int, default=0)
    parser.add_argument("--slow-down", type=int, default=0)
    parser.add_argument("--rotate", action="store_true")
    args = parser.parse_args()
    Handler.options = args
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
    context.minimum_version = ssl.TLSVersion.TLSv1_2
    context.load_cert_chain(args.tls_cert, args.tls_key)
    server.socket = context.wrap_socket(server.socket, server_side=True)
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(0))
    print("READY %d" % server.server_address[1], flush=True)
    server.serve_forever()


if __name__ == "__main__":
    main()
