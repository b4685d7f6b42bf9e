#!/usr/bin/python3
"""A real SMTP server for tests: aiosmtpd on 127.0.0.1.

Every message it accepts is saved in FOLDER as <n>.eml (the data as received, CR LF lines,
dots already unstuffed) with its envelope in <n>.env: the MAIL FROM address on the first line,
then one RCPT TO address per line; the MAIL FROM parameters (e.g. BODY=8BITMIME) go into
<n>.opt, one a line. The .env file appears after the other two are complete.

    smtp_peer.py --folder DIR [--port 0] [--auth-user U --auth-password P]
                 [--oauth-introspect URL --oauth-ca FILE]
                 [--auth-mechanisms PLAIN,LOGIN]
                 [--tls-cert FILE --tls-key FILE [--implicit-tls | --no-starttls]]
                 [--require-tls] [--no-8bitmime] [--pipelining] [--refuse-recipient ADDRESS]...

With --oauth-introspect URL --oauth-ca FILE the log-in takes an OAuth 2.0 access token
(SASL XOAUTH2 and OAUTHBEARER, RFC 7628) in place of a password: the token is asked about at
URL (RFC 7662 introspection over HTTPS, certificate issued by FILE) and must be active and
belong to --auth-user. --auth-mechanisms may then name XOAUTH2 and OAUTHBEARER (default:
both). A refused token gets the mechanism's JSON error challenge (334), then 535. Lines up to
16 KiB are read, as tokens are long.

--no-8bitmime leaves 8BITMIME out of the EHLO reply; --pipelining adds PIPELINING to it
(aiosmtpd reads commands in order whether they came one by one or in one write);
--refuse-recipient answers RCPT TO for that address with 550.

Prints "READY <port>" once it listens and stops on SIGTERM. With --auth-user, AUTH LOGIN and
PLAIN (or only those named by --auth-mechanisms) are offered and required before MAIL FROM; a
wrong login gets 535.

With --tls-cert and --tls-key (PEM; the leaf alone is enough) the server offers STARTTLS, or,
with --implicit-tls, speaks TLS from the first byte (SMTPS). --no-starttls keeps the
certificate but offers no STARTTLS. Plain-text AUTH is allowed without TLS unless
--require-tls is given: then EHLO lists AUTH only after STARTTLS, and AUTH before it gets 538.

What the server saw, rewritten whole before each answer the client gets, so that a test reading
them after its client returned is never early:
  auth.log     one line per AUTH command: "<MECHANISM> <login or -> <password-received or
               no-password> <tls or plain>" (blanks in the login as "?"). password-received means the password reached
               the server (PLAIN with its response, LOGIN after its second challenge), right or
               wrong; an AUTH refused before that (538, 504, "*") shows no-password.
  session.log  one line per AUTH and MAIL command: "<connection n> <AUTH or MAIL> <tls or
               plain>", connections numbered from 1 in the order they came.
"""
import argparse
import asyncio
import base64
import json
import os
import signal
import ssl
import sys
import urllib.parse
import urllib.request
import warnings

from aiosmtpd.smtp import MISSING, SMTP, AuthResult, LoginPassword, syntax

# Plain-text AUTH is what most tests want; the peer only listens on loopback.
warnings.filterwarnings("ignore", message="Requiring AUTH while not requiring TLS")

BUILT_IN_MECHANISMS = {"PLAIN", "LOGIN"}
TOKEN_MECHANISMS = {"XOAUTH2", "OAUTHBEARER"}
# Tokens run to thousands of characters; RFC 4954 allows AUTH lines of 12,288 octets.
LONG_LINE = 16384


class Record:
    """Lines for one file, kept in memory and written out whole (temporary file + rename)."""

    def __init__(self, path):
        self.path = path
        self.lines = []

    def add(self, fields):
        self.lines.append(fields)
        self.flush()
        return len(self.lines) - 1

    def update(self, index, fields):
        self.lines[index] = fields
        self.flush()

    def flush(self):
        with open(self.path + ".tmp", "w", encoding="utf-8") as f:
            for fields in self.lines:
                f.write(" ".join(fields) + "\n")
        os.rename(self.path + ".tmp", self.path)


class RecordingSMTP(SMTP):
    connections = 0

    def __init__(self, handler, auth_log, session_log, **options):
        super().__init__(handler, **options)
        RecordingSMTP.connections += 1
        self.number = str(RecordingSMTP.connections)
        self.auth_log = auth_log
        self.session_log = session_log
        self.auth_entry = None
        if handler.oauth:
            self.command_size_limits["AUTH"] = LONG_LINE

    def tls_state(self):
        # Both STARTTLS and implicit TLS leave an SSL transport in self.transport.
        transport = self.transport
        active = transport is not None and transport.get_extra_info("ssl_object") is not None
        return "tls" if active else "plain"

    @syntax("AUTH <mechanism>")
    async def smtp_AUTH(self, arg):
        mechanism = arg.split()[0].upper() if arg.split() else "-"
        self.session_log.add([self.number, "AUTH", self.tls_state()])
        self.auth_entry = self.auth_log.add([mechanism, "-", "no-password", self.tls_state()])
        try:
            await super().smtp_AUTH(arg)
        finally:
            self.auth_entry = None

    @syntax("MAIL FROM: <address>", extended=" [SP <mail-parameters>]")
    async def smtp_MAIL(self, arg):
        self.session_log.add([self.number, "MAIL", self.tls_state()])
        await super().smtp_MAIL(arg)

    def password_received(self, mechanism, login):
        if self.auth_entry is not None:
            self.auth_log.update(self.auth_entry, [
                mechanism, printable(login), "password-received", self.tls_state()])


def printable(login):
    # One word per field: blanks and control characters become "?", no login becomes "-".
    text = login.decode("utf-8", "replace")
    return "".join(c if c.isprintable() and not c.isspace() else "?" for c in text) or "-"


class SavingHandler:
    def __init__(self, folder, no_8bitmime=False, refused=(), pipelining=False):
        self.folder = folder
        self.count = 0
        self.no_8bitmime = no_8bitmime
        self.refused = set(refused)
        self.pipelining = pipelining
        self.oauth = False

    async def handle_EHLO(self, server, session, envelope, hostname, responses):
        session.host_name = hostname
        if self.no_8bitmime:
            responses = [r for r in responses if r[4:].upper() != "8BITMIME"]
        if self.pipelining:
            responses = responses[:-1] + ["250-PIPELINING"] + responses[-1:]
        return responses

    async def handle_RCPT(self, server, session, envelope, address, rcpt_options):
        if address in self.refused:
            return "550 5.1.1 <%s>: Recipient address rejected" % address
        envelope.rcpt_tos.append(address)
        envelope.rcpt_options.extend(rcpt_options)
        return "250 OK"

    async def handle_DATA(self, server, session, envelope):
        self.count += 1
        stem = os.path.join(self.folder, str(self.count))
        with open(stem + ".eml", "wb") as f:
            f.write(envelope.original_content or envelope.content)
        with open(stem + ".opt", "w", encoding="utf-8") as f:
            for option in envelope.mail_options:
                f.write(option + "\n")
        with open(stem + ".env.tmp", "w", encoding="utf-8") as f:
            f.write((envelope.mail_from or "") + "\n")
            for rcpt in envelope.rcpt_tos:
                f.write(rcpt + "\n")
        os.rename(stem + ".env.tmp", stem + ".env")
        return "250 Message accepted for delivery"


class OAuthSavingHandler(SavingHandler):
    """Saves messages as SavingHandler does and checks bearer tokens with the authorization
    server's introspection endpoint."""

    def __init__(self, folder, user, url, ca, **options):
        super().__init__(folder, **options)
        self.oauth = True
        self.user = user
        self.url = url
        self.context = ssl.create_default_context(cafile=ca)

    def active(self, token):
        request = urllib.request.Request(
            self.url, data=urllib.parse.urlencode({"token": token}).encode())
        with urllib.request.urlopen(request, context=self.context, timeout=10) as reply:
            answer = json.load(reply)
        return answer.get("active") is True and answer.get("username") == self.user

    async def check(self, server, mechanism, args, parse):
        if len(args) > 1:
            try:
                response = base64.b64decode(args[1], validate=True)
            except ValueError:
                await server.push("501 5.5.2 Can't decode base64")
                return AuthResult(success=False, handled=True)
        else:
            response = await server.challenge_auth("")
            if response is MISSING:
                return AuthResult(success=False, handled=True)
        login, token = parse(response)
        server.password_received(mechanism, login or b"")
        loop = asyncio.get_running_loop()
        if login == self.user.encode() and token and \
                await loop.run_in_executor(None, self.active, token.decode()):
            return AuthResult(success=True, handled=False)
        error = {"status": "invalid_token", "schemes": "bearer", "scope": "mail"}
        if mechanism == "XOAUTH2":
            error = {"status": "401", "schemes": "bearer", "scope": "mail"}
        answer = await server.challenge_auth(json.dumps(error))
        expected = b"" if mechanism == "XOAUTH2" else b"\x01"
        if answer is MISSING:
            return AuthResult(success=False, handled=True)
        if answer != expected:
            await server.push("501 5.5.2 Unexpected answer to the error challenge")
            return AuthResult(success=False, handled=True)
        return AuthResult(success=False, handled=False)

    async def auth_XOAUTH2(self, server, args):
        def parse(response):
            # user=<name> ^A auth=Bearer <token> ^A ^A
            fields = dict(f.split(b"=", 1) for f in response.split(b"\x01") if b"=" in f)
            auth = fields.get(b"auth", b"")
            return fields.get(b"user"), auth[7:] if auth.startswith(b"Bearer ") else None
        return await self.check(server, "XOAUTH2", args, parse)

    async def auth_OAUTHBEARER(self, server, args):
        def parse(response):
            # gs2 header "n,a=<name>," ^A key=value ^A ... ^A ^A (RFC 7628 section 3.1)
            parts = response.split(b"\x01")
            header = parts[0].split(b",")
            login = None
            if len(header) >= 2 and header[1].startswith(b"a="):
                login = header[1][2:]
            fields = dict(f.split(b"=", 1) for f in parts[1:] if b"=" in f)
            auth = fields.get(b"auth", b"")
            return login, auth[7:] if auth.startswith(b"Bearer ") else None
        return await self.check(server, "OAUTHBEARER", args, parse)


def make_authenticator(user, password):
    def authenticate(server, session, envelope, mechanism, auth_data):
        # aiosmtpd calls this once the password is in, before it answers the client.
        if isinstance(auth_data, LoginPassword):
            server.password_received(mechanism, auth_data.login)
        ok = (isinstance(auth_data, LoginPassword)
              and auth_data.login == user.encode()
              and auth_data.password == password.encode())
        # handled=False lets aiosmtpd answer 535 itself on a wrong login.
        return AuthResult(success=ok, handled=False)
    return authenticate


def tls_context(cert, key):
    context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
    context.minimum_version = ssl.TLSVersion.TLSv1_2
    context.load_cert_chain(cert, key)
    return context


async def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--folder", required=True)
    parser.add_argument("--auth-user")
    parser.add_argument("--auth-password", default="")
    parser.add_argument("--auth-mechanisms", default="PLAIN,LOGIN")
    parser.add_argument("--tls-cert")
    parser.add_argument("--tls-key")
    parser.add_argument("--implicit-tls", action="store_true")
    parser.add_argument("--no-starttls", action="store_true")
    parser.add_argument("--require-tls", action="store_true")
    parser.add_argument("--no-8bitmime", action="store_true")
    parser.add_argument("--pipelining", action="store_true")
    parser.add_argument("--size-limit", type=int, default=0)
    parser.add_argument("--refuse-recipient", action="append", default=[])
    parser.add_argument("--oauth-introspect")
    parser.add_argument("--oauth-ca")
    args = parser.parse_args()
    if bool(args.tls_cert) != bool(args.tls_key):
        parser.error("--tls-cert and --tls-key go together")
    if (args.implicit_tls or args.no_starttls) and not args.tls_cert:
        parser.error("--implicit-tls and --no-starttls need --tls-cert and --tls-key")
    if args.oauth_introspect and (not args.oauth_ca or args.auth_user is None):
        parser.error("--oauth-introspect needs --oauth-ca and --auth-user")
    if args.oauth_introspect and args.auth_mechanisms == "PLAIN,LOGIN":
        args.auth_mechanisms = "XOAUTH2,OAUTHBEARER"
    known = TOKEN_MECHANISMS if args.oauth_introspect else BUILT_IN_MECHANISMS
    mechanisms = {m.strip().upper() for m in args.auth_mechanisms.split(",") if m.strip()}
    if not mechanisms <= known:
        parser.error("--auth-mechanisms: only %s are known" % ",".join(sorted(known)))

    context = tls_context(args.tls_cert, args.tls_key) if args.tls_cert else None
    if args.oauth_introspect:
        RecordingSMTP.line_length_limit = LONG_LINE
        handler = OAuthSavingHandler(args.folder, args.auth_user, args.oauth_introspect,
                                     args.oauth_ca, no_8bitmime=args.no_8bitmime,
                                     refused=args.refuse_recipient, pipelining=args.pipelining)
    else:
        handler = SavingHandler(args.folder, args.no_8bitmime, args.refuse_recipient,
                                args.pipelining)
    options = dict(decode_data=False, hostname="peer.test")
    if args.size_limit:
        options.update(data_size_limit=args.size_limit)  # EHLO then says SIZE <limit>
    if context and not args.implicit_tls and not args.no_starttls:
        options.update(tls_context=context)
    if args.auth_user is not None:
        # aiosmtpd's own TLS check only knows STARTTLS; under implicit TLS every AUTH is
        # encrypted anyway, so --require-tls has nothing left to require.
        options.update(authenticator=make_authenticator(args.auth_user, args.auth_password),
                       auth_require_tls=args.require_tls and not args.implicit_tls,
                       auth_required=True,
                       auth_exclude_mechanism=sorted(
                           (BUILT_IN_MECHANISMS | TOKEN_MECHANISMS) - mechanisms))
    auth_log = Record(os.path.join(args.folder, "auth.log"))
    session_log = Record(os.path.join(args.folder, "session.log"))

    loop = asyncio.get_running_loop()
    server = await loop.create_server(
        lambda: RecordingSMTP(handler, auth_log, session_log, **options), "127.0.0.1",
        args.port, ssl=context if args.implicit_tls else None)
    port = server.sockets[0].getsockname()[1]
    stop = loop.create_future()
    loop.add_signal_handler(signal.SIGTERM, stop.set_result, None)
    loop.add_signal_handler(signal.SIGINT, stop.set_result, None)
    print("READY %d" % port, flush=True)
    await stop
    server.close()
    await server.wait_closed()


if __name__ == "__main__":
    asyncio.run(main())
    sys.exit(0)
