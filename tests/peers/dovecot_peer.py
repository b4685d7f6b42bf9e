"""Runs a real dovecot POP3 server on loopback as a test peer.

Usage (run with /usr/bin/python3):

    dovecot_peer.py WORKDIR USER PASSWORD [MESSAGES_DIR] [--message FILE]... [--port PORT]

WORKDIR       an existing, empty folder owned by the test (a TempDir); everything dovecot
              writes goes in it: config, runtime sockets, state, log, the mailbox. The folders
              above it get search permission for others so that dovecot's users reach it.
USER PASSWORD the one account, kept as a {PLAIN} password; USER/PASS log-in without TLS.
MESSAGES_DIR  optional folder of message files; each file becomes one message, in the order of
              the file names (sorted). Files are taken byte for byte (use CR LF line ends when a
              test compares bytes).
--message F   one more message file (repeatable), after those of MESSAGES_DIR.
--port P      listen on P instead of a free port chosen here.

The mailbox is the Maildir WORKDIR/Maildir (with new/, cur/, tmp/). While the peer runs a test
can add a message by writing the file into WORKDIR/Maildir/tmp/ and renaming it into
WORKDIR/Maildir/new/ (dovecot picks it up at the next log-in); the file name must be unique
and should sort after the earlier ones, e.g. "<seconds>.M<6-digit n>P<pid>.kmtest". After a visit
the messages that are left are the files in new/ and cur/ (DELE + QUIT removes files).
tests/support/DovecotPeer.h does all of this from C++.

When dovecot accepts connections the script prints "READY <port>" and keeps running; on
SIGTERM or SIGINT it stops dovecot and exits. dovecot's own log is WORKDIR/dovecot.log.
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
protocols = pop3
listen = 127.0.0.1
ssl = no
disable_plaintext_auth = no
auth_failure_delay = 0
auth_mechanisms = plain
first_valid_uid = {uid}
last_valid_uid = 0
default_login_user = dovenull
default_internal_user = dovecot
mail_location = maildir:{work}/Maildir
pop3_uidl_format = %08Xu%08Xv
passdb {{
  driver = passwd-file
  args = {work}/passwd
}}
userdb {{
  driver = static
  args = uid=dovecot gid=dovecot home={work}/home
}}
service pop3-login {{
  chroot =
  inet_listener pop3 {{
    address = 127.0.0.1
    port = {port}
  }}
}}
service anvil {{
  chroot =
}}
"""


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
    args = parser.parse_args()

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

    with open(os.path.join(work, "passwd"), "w") as f:
        f.write("%s:{PLAIN}%s::::::\n" % (args.user, args.password))

    proc = None
    for _attempt in range(5):
        port = args.port or free_port()
        with open(os.path.join(work, "dovecot.conf"), "w") as f:
            f.write(CONFIG.format(work=work, uid=min(uid, 100), port=port))
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
