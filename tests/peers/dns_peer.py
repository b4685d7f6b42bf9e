"""A small authoritative DNS server on loopback for the sender-check and account-discovery
tests (dnslib).

Usage (run with /usr/bin/python3):

    dns_peer.py ZONE_FILE

ZONE_FILE     one record a line, read again for every query, so a test may change it:
                  NAME TXT-VALUE                       a TXT record (the value as it stands)
                  NAME SRV PRIORITY WEIGHT PORT TARGET
                  NAME MX PREFERENCE HOST
                  NAME A ADDRESS
                  NAME AAAA ADDRESS
              A file ZONE_FILE.silent beside it makes the server drop every query (a server
              that does not answer) for as long as it exists.

Answers UDP on a free loopback port and prints "READY <port>". Names not in the file get
NXDOMAIN; a name with records of other types only gets an empty answer. TXT values longer
than 255 bytes are split into strings as publishers do.
"""
import os
import socket
import sys

from dnslib import AAAA, A, DNSRecord, MX, QTYPE, RCODE, RR, SRV, TXT

TYPED = ("SRV", "MX", "A", "AAAA")


def rdata(kind, value):
    fields = value.split()
    if kind == "SRV":
        return SRV(int(fields[0]), int(fields[1]), int(fields[2]), fields[3])
    if kind == "MX":
        return MX(fields[1], int(fields[0]))
    if kind == "A":
        return A(fields[0])
    if kind == "AAAA":
        return AAAA(fields[0])
    value = value.encode("ascii")
    return TXT([value[i:i + 255] for i in range(0, len(value), 255)] or [b""])


def records(zone, name):
    """(type, rdata) of every record of name; None when the name is not in the zone."""
    found = None
    with open(zone, encoding="ascii") as f:
        for line in f:
            parts = line.rstrip("\n").split(" ", 1)
            if len(parts) != 2 or parts[0].rstrip(".").lower() != name:
                continue
            found = found or []
            kind, _, rest = parts[1].partition(" ")
            if kind in TYPED and rest:
                found.append((kind, rdata(kind, rest)))
            else:
                found.append(("TXT", rdata("TXT", parts[1])))
    return found


def main():
    zone = sys.argv[1]
    server = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    server.bind(("127.0.0.1", 0))
    print("READY %d" % server.getsockname()[1], flush=True)
    while True:
        data, peer = server.recvfrom(4096)
        if os.path.exists(zone + ".silent"):
            continue
        try:
            query = DNSRecord.parse(data)
        except Exception:
            continue
        reply = query.reply()
        name = str(query.q.qname).rstrip(".").lower()
        found = records(zone, name)
        if found is None:
            reply.header.rcode = RCODE.NXDOMAIN
        else:
            wanted = QTYPE[query.q.qtype]
            for kind, data_ in found:
                if kind == wanted:
                    reply.add_answer(RR(query.q.qname, getattr(QTYPE, kind), rdata=data_, ttl=60))
        server.sendto(reply.pack(), peer)


if __name__ == "__main__":
    main()
