"""Runs a real dovecot POP3 or IMAP server on loopback as a test peer.

Usage (run with /usr/bin/python3):

    dovecot_peer.py WORKDIR USER PASSWORD [MESSAGES_DIR] [--message FILE]... [--port PORT]
                    [--tls-cert FILE --tls-key FILE [--implicit-tls]] [--apop]
                    [--imap [--no-idle]]

WORKDIR       an existing, empty folder owned by the test (a TempDir); everything dovecot
              writes goes in it: config, runtime sockets, state, log, the mailbox. The folders
              above it get search permission for others so that dovecot's users reach it.
USER PASSWORD the one account, kept as a {PLAIN} password; USER/PASS log-in without TLS.
MESSAGES_DIR  optional folder of message files; each file becomes one message, in the order of
              the file names (sorted). Files are taken byte for byte (use CR LF line ends when a
              test compares bytes).
--message F   one more message file (repeatable), after those of MESSAGES_DIR.
--port P      listen on P instead of a free port chosen here.
--tls-cert F, --tls-key F
              PEM certificate (the leaf alone is enough) and its key: TLS 1.2 or later is on,
              and the plain listener offers STLS. Without them there is no TLS at all, so
              CAPA lists no STLS. USER/PASS and AUTH PLAIN work with or without TLS.
--implicit-tls
              the one listener speaks TLS from the first byte (POP3S) instead.
--apop        offer APOP as well (the greeting then carries a timestamp); the {PLAIN} password
              is what APOP needs. POP3 only.
--imap        speak IMAP instead of POP3, with the same TLS options (the plain listener then
              offers STARTTLS, --implicit-tls makes it IMAPS). LOGIN and AUTHENTICATE PLAIN work
              with or without TLS. The mailbox is INBOX.
--oauth2-introspect URL --oauth2-ca FILE
              log-ins with an OAuth 2.0 access token (XOAUTH2, OAUTHBEARER) instead of the
              password: dovecot asks URL (an RFC 7662 introspection endpoint over HTTPS, its
              certificate issued by FILE) whether the token is active and whose it is.
--oauth2-mechanisms LIST
              the token mechanisms offered (default "xoauth2 oauthbearer").
--no-idle     with --imap: IDLE is left out of every capability list (greeting, CAPABILITY, the
              LOGIN answer). dovecot still accepts an IDLE command ("+ idling") and reports
              changes as usual; only the announcement is gone.

The mailbox is the Maildir WORKDIR/Maildir (with new/, cur/, tmp/). While the peer runs a test
can add a message by writing the file into WORKDIR/Maildir/tmp/ and renaming it into
WORKDIR/Maildir/new/ (dovecot picks it up at the next log-in; an IMAP session idling on INBOX
hears "* n EXISTS" about half a second later, as dovecot watches new/ with inotify); the file
name must be unique and should sort after the earlier ones, e.g.
"<seconds>.M<6-digit n>P<pid>.kmtest". After a visit the messages that are left are the files in
new/ and cur/ (DELE + QUIT removes files). An IMAP session moves the files it sees into cur/
with ":2,<flags>" after the name: "S" for \\Seen, nothing while no flag is set (BODY.PEEK sets
none).
tests/support/DovecotPeer.h does all of this from C++.

Dropping the sessions while the server stays up (run as the same user as the script, root):

    doveadm -c WORKDIR/dovecot.conf kick USER     # SIGTERM to every session of USER
    doveadm -c WORKDIR/dovecot.conf who -1        # the sessions still open

IMAP sessions end with "* BYE Server shutting down.", POP3 ones with "-ERR [SYS/TEMP] ..."
(no deletions committed). Connections that have not logged in yet are not touched.

When dovecot accepts connections the script prints "READY <port>" and keeps running; on
SIGTERM or SIGINT it stops dovecot and exits. dovecot's own log is WORKDIR/dovecot.log.

What the server saw: auth_debug is on, so every log-in attempt that reaches the auth process
leaves one line in the log like

    auth: Debug: client in: AUTH<TAB>1<TAB>PLAIN<TAB>service=pop3<TAB>secured=tls<TAB>...

with the mechanism third: PLAIN for USER/PASS, AUTH PLAIN, IMAP LOGIN and AUTHENTICATE PLAIN
(the password itself crossed the wire), APOP for APOP (only a digest did); IMAP shows as
service=imap. "secured=tls" marks a TLS connection; a bare "secured" only means loopback. With
auth_debug_passwords the credentials follow base64-encoded. No such line means no log-in was
tried. The line comes through dovecot's log process, a moment after the client got its answer.
"""

import argparse
import os
import pwd
import shutil
import signal
import socket
import subprocess
import sys
import time

CONFIG = """\
base_dir = {work}/run
state_dir = {work}/state
log_path = {work}/dovecot.log
info_log_path = {work}/dovecot.log
protocols = {protocol}
listen = 127.0.0.1
{ssl}
disable_plaintext_auth = no
auth_failure_delay = 0
auth_mechanisms = {mechanisms}
auth_debug = yes
auth_debug_passwords = yes
first_valid_uid = {uid}
last_valid_uid = 0
default_login_user = dovenull
default_internal_user = dovecot
mail_location = maildir:{work}/Maildir
pop3_uidl_format = %08Xu%08Xv
{imap}
{passdb}
userdb {{
  driver = static
  args = uid=dovecot gid=dovecot home={work}/home
}}
service {protocol}-login {{
  chroot =
  inet_listener {protocol} {{
    address = 127.0.0.1
    port = {plain_port}
  }}
  inet_listener {protocol}s {{
    address = 127.0.0.1
    port = {tls_port}
    ssl = yes
  }}
}}
service anvil {{
  chroot =
  # no log-in penalty: a test that is refused on purpose must not slow down the next one
  unix_listener anvil-auth-penalty {{
    mode = 0
  }}
}}
"""


# dovecot 2.3's own capability list after log-in, less IDLE; imap_capability replaces the list
# as a whole (the log-in process announces it too, with STARTTLS and AUTH=PLAIN added).
IMAP_CAPABILITIES_WITHOUT_IDLE = (
    "IMAP4rev1 SASL-IR LOGIN-REFERRALS ID ENABLE SORT SORT=DISPLAY THREAD=REFERENCES "
    "THREAD=REFS THREAD=ORDEREDSUBJECT MULTIAPPEND URL-PARTIAL CATENATE UNSELECT CHILDREN "
    "NAMESPACE UIDPLUS LIST-EXTENDED I18NLEVEL=1 CONDSTORE QRESYNC ESEARCH ESORT SEARCHRES "
    "WITHIN CONTEXT=SEARCH LIST-STATUS BINARY MOVE SNIPPET=FUZZY PREVIEW=FUZZY PREVIEW "
    "STATUS=SIZE SAVEDATE LITERAL+ NOTIFY")


PASSWD = """\
passdb {{
  driver = passwd-file
  args = {work}/passwd
}}"""

OAUTH2 = """\
passdb {{
  driver = oauth2
  mechanisms = {mechanisms}
  args = {work}/oauth2.conf
}}"""

OAUTH2_ARGS = """\
introspection_url = {url}
introspection_mode = post
force_introspection = yes
username_attribute = username
active_attribute = active
active_value = true
tls_ca_cert_file = {ca}
"""

SSL = """\
ssl = yes
ssl_cert = <{cert}
ssl_key = <{key}
ssl_min_protocol = TLSv1.2"""


def copy_private(src, work, name):
    # dovecot's config process (root) reads the files; a private copy keeps them readable
    # however the test's own folder is protected, and keeps the key closed to others.
    folder = os.path.join(work, "tls")
    os.makedirs(folder, mode=0o700, exist_ok=True)
    dst = os.path.join(folder, name)
    shutil.copyfile(src, dst)
    os.chmod(dst, 0o600)
    return dst


def free_port():
    with socket.socket(socket.AF_INET, socket.SOCK_STREAM) as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def chown_tree(path, uid, gid):
    os.chown(path, uid, gid)
    for root, dirs, files in os.walk(path):
        for name in dirs + files:
            os.chown(os.path.join(root, name), uid, gid)


def fill_maildir(maildir, files, uid, gid):
    for sub in ("new", "cur", "tmp"):
        os.makedirs(os.path.join(maildir, sub), exist_ok=True)
    base = int(time.time()) - len(files) - 10
    for i, src in enumerate(files):
        name = "%d.M%06dP%d.kmtest" % (base + i, i, os.getpid())
        shutil.copyfile(src, os.path.join(maildir, "new", name))
    chown_tree(maildir, uid, gid)


def wait_for_port(port, proc, seconds=15):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        if proc.poll() is not None:
            return False
        try:
            with socket.create_connection(("127.0.0.1", port), timeout=1):
                return True
        except OSError:
            time.sleep(0.05)
    return False


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("work")
    parser.add_argument("user")
    parser.add_argument("password")
    parser.add_argument("messages_dir", nargs="?")
    parser.add_argument("--message", action="append", default=[])
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--tls-cert")
    parser.add_argument("--tls-key")
    parser.add_argument("--implicit-tls", action="store_true")
    parser.add_argument("--apop", action="store_true")
    parser.add_argument("--imap", action="store_true")
    parser.add_argument("--no-idle", action="store_true")
    parser.add_argument("--oauth2-introspect")
    parser.add_argument("--oauth2-ca")
    parser.add_argument("--oauth2-mechanisms", default="xoauth2 oauthbearer")
    args = parser.parse_args()
    if bool(args.tls_cert) != bool(args.tls_key):
        parser.error("--tls-cert and --tls-key go together")
    if args.implicit_tls and not args.tls_cert:
        parser.error("--implicit-tls needs --tls-cert and --tls-key")
    if args.apop and args.imap:
        parser.error("--apop is for POP3")
    if args.no_idle and not args.imap:
        parser.error("--no-idle needs --imap")

    work = os.path.abspath(args.work)
    dove = pwd.getpwnam("dovecot")
    uid, gid = dove.pw_uid, dove.pw_gid
    # dovecot's users must reach the mailbox inside the test's private folder: give others
    # search (not read) permission on the folders above it, and full access to WORKDIR.
    os.chmod(work, 0o755)
    parent = os.path.dirname(work)
    while parent != os.path.dirname(parent):
        mode = os.stat(parent).st_mode
        if not mode & 0o001:
            os.chmod(parent, (mode & 0o7777) | 0o001)
        parent = os.path.dirname(parent)
    for sub in ("run", "state", "home"):
        os.makedirs(os.path.join(work, sub), exist_ok=True)
    os.chown(os.path.join(work, "home"), uid, gid)

    files = []
    if args.messages_dir:
        d = args.messages_dir
        files += [os.path.join(d, f) for f in sorted(os.listdir(d))
                  if os.path.isfile(os.path.join(d, f))]
    files += args.message
    fill_maildir(os.path.join(work, "Maildir"), files, uid, gid)

    ssl = "ssl = no"
    if args.tls_cert:
        ssl = SSL.format(cert=copy_private(args.tls_cert, work, "cert.pem"),
                         key=copy_private(args.tls_key, work, "key.pem"))

    imap = ""
    if args.no_idle:
        imap = "imap_capability = " + IMAP_CAPABILITIES_WITHOUT_IDLE

    with open(os.path.join(work, "passwd"), "w") as f:
        f.write("%s:{PLAIN}%s::::::\n" % (args.user, args.password))

    passdb = PASSWD.format(work=work)
    mechanisms = "plain apop" if args.apop else "plain"
    if args.oauth2_introspect:
        # The auth process (user dovecot) reads the CA itself: a public copy.
        ca = os.path.join(work, "oauth-ca.pem")
        shutil.copyfile(args.oauth2_ca, ca)
        os.chmod(ca, 0o644)
        with open(os.path.join(work, "oauth2.conf"), "w") as f:
            f.write(OAUTH2_ARGS.format(url=args.oauth2_introspect, ca=ca))
        passdb = OAUTH2.format(work=work, mechanisms=args.oauth2_mechanisms) + "\n" + passdb
        mechanisms += " " + args.oauth2_mechanisms

    proc = None
    for _attempt in range(5):
        port = args.port or free_port()
        with open(os.path.join(work, "dovecot.conf"), "w") as f:
            # The listener that is not wanted gets port 0, so dovecot's built-in default
            # (110/995 or 143/993) is never bound.
            f.write(CONFIG.format(work=work, uid=min(uid, 100), ssl=ssl, imap=imap, passdb=passdb,
                                  protocol="imap" if args.imap else "pop3",
                                  mechanisms=mechanisms,
                                  plain_port=0 if args.implicit_tls else port,
                                  tls_port=port if args.implicit_tls else 0))
        proc = subprocess.Popen(["dovecot", "-F", "-c", os.path.join(work, "dovecot.conf")],
                                stdout=subprocess.DEVNULL, stderr=sys.stderr)
        if wait_for_port(port, proc):
            break
        stop(proc)
        proc = None
        if args.port:
            break
    if proc is None:
        log = os.path.join(work, "dovecot.log")
        if os.path.exists(log):
            sys.stderr.write(open(log, errors="replace").read())
        sys.exit("dovecot did not start")

    def finish(_signum, _frame):
        stop(proc)
        sys.exit(0)

    signal.signal(signal.SIGTERM, finish)
    signal.signal(signal.SIGINT, finish)
    print("READY %d" % port, flush=True)
    while proc.poll() is None:
        time.sleep(0.5)
    sys.exit("dovecot ended")


def stop(proc):
    if proc.poll() is None:
        proc.terminate()
        try:
            proc.wait(timeout=10)
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.wait()


if __name__ == "__main__":
    main()
