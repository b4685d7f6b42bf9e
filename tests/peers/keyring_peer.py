#!/usr/bin/env python3
"""A private desktop keyring for tests: a D-Bus session bus of its own with gnome-keyring's
Secret Service on it, its login keyring unlocked (or created) with a test password.

    keyring_peer.py FOLDER

Keeps the keyring files under FOLDER/home, writes the bus address to FOLDER/bus, prints
"READY 0" and runs until it is ended (its process group goes with it)."""

import os
import subprocess
import sys
import time

folder = sys.argv[1]
home = os.path.join(folder, "home")
os.makedirs(home, exist_ok=True)
env = dict(os.environ, HOME=home, XDG_DATA_HOME=os.path.join(home, ".local", "share"),
           XDG_RUNTIME_DIR=folder, XDG_CONFIG_HOME=os.path.join(home, ".config"))
env.pop("DISPLAY", None)

bus = subprocess.Popen(["dbus-daemon", "--session", "--nofork", "--print-address=1"],
                       stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, env=env, text=True)
address = bus.stdout.readline().strip()
env["DBUS_SESSION_BUS_ADDRESS"] = address

keyring = subprocess.Popen(
    ["gnome-keyring-daemon", "--foreground", "--unlock", "--components=secrets"],
    stdin=subprocess.PIPE, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, env=env)
keyring.stdin.write(b"test-password")
keyring.stdin.close()

# The Secret Service is there once its name has an owner on the bus.
for _ in range(200):
    probe = subprocess.run(["gdbus", "call", "--session", "--dest", "org.freedesktop.DBus",
                            "--object-path", "/org/freedesktop/DBus",
                            "--method", "org.freedesktop.DBus.NameHasOwner",
                            "org.freedesktop.secrets"],
                           env=env, capture_output=True, text=True)
    if "true" in probe.stdout:
        break
    time.sleep(0.05)
else:
    sys.exit("the Secret Service did not come up")

with open(os.path.join(folder, "bus"), "w") as out:
    out.write(address)
print("READY 0", flush=True)
try:
    keyring.wait()
finally:
    bus.terminate()
