#!/usr/bin/python3
"""A real SMTP server for tests: aiosmtpd on 127.0.0.1.

Every message it accepts is saved in FOLDER as <n>.eml (the data as received, CR LF lines,
dots already unstuffed) with its envelope in <n>.env: the MAIL FROM address on the first line,
then one RCPT TO address per line. The .env file appears after the .eml file is complete.

    smtp_peer.py --folder DIR [--port 0] [--auth-user U --auth-password P]

Prints "READY <port>" once it listens and stops on SIGTERM. With --auth-user, AUTH LOGIN (and
PLAIN) is offered without TLS and required before MAIL FROM; a wrong login gets 535.
"""
import argparse
import asyncio
import os
import signal
import sys
import warnings

from aiosmtpd.smtp import SMTP, AuthResult, LoginPassword

# Plain-text AUTH is what the tests want; the peer only listens on loopback.
warnings.filterwarnings("ignore", message="Requiring AUTH while not requiring TLS")


class SavingHandler:
    def __init__(self, folder):
        self.folder = folder
        self.count = 0

    async def handle_DATA(self, server, session, envelope):
        self.count += 1
        stem = os.path.join(self.folder, str(self.count))
        with open(stem + ".eml", "wb") as f:
            f.write(envelope.original_content or envelope.content)
        with open(stem + ".env.tmp", "w", encoding="utf-8") as f:
            f.write((envelope.mail_from or "") + "\n")
            for rcpt in envelope.rcpt_tos:
                f.write(rcpt + "\n")
        os.rename(stem + ".env.tmp", stem + ".env")
        return "250 Message accepted for delivery"


def make_authenticator(user, password):
    def authenticate(server, session, envelope, mechanism, auth_data):
        ok = (isinstance(auth_data, LoginPassword)
              and auth_data.login == user.encode()
              and auth_data.password == password.encode())
        # handled=False lets aiosmtpd answer 535 itself on a wrong login.
        return AuthResult(success=ok, handled=False)
    return authenticate


async def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--folder", required=True)
    parser.add_argument("--auth-user")
    parser.add_argument("--auth-password", default="")
    args = parser.parse_args()

    handler = SavingHandler(args.folder)
    options = dict(decode_data=False, hostname="peer.test")
    if args.auth_user is not None:
        options.update(authenticator=make_authenticator(args.auth_user, args.auth_password),
                       auth_require_tls=False, auth_required=True)

    loop = asyncio.get_running_loop()
    server = await loop.create_server(lambda: SMTP(handler, **options), "127.0.0.1", args.port)
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
