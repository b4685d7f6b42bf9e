"""A small authoritative DNS server on loopback for the sender-check tests (dnslib).

Usage (run with /usr/bin/python3):

    dns_peer.py ZONE_FILE

ZONE_FILE     lines "NAME TXT-VALUE"; read again for every query, so a test may change it.
              A file ZONE_FILE.silent beside it makes the server drop every query (a server
              that does not answer) for as long as it exists.

Answers UDP on a free loopback port and prints "READY <port>". Names not in the file get
NXDOMAIN. TXT values longer than 255 bytes are split into strings as publishers do.
"""
import os
import socket
import sys

from dnslib import DNSRecord, QTYPE, RCODE, RR, TXT


def records(zone, name):
    found = []
    with open(zone, encoding="ascii") as f:
        for line in f:
            parts = line.rstrip("\n").split(" ", 1)
            if len(parts) == 2 and parts[0].rstrip(".").lower() == name:
                value = parts[1].encode("ascii")
                found.append([value[i:i + 255] for i in range(0, len(value), 255)] or [b""])
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
        if not found:
            reply.header.rcode = RCODE.NXDOMAIN
        elif query.q.qtype == QTYPE.TXT:
            for strings in found:
                reply.add_answer(RR(query.q.qname, QTYPE.TXT, rdata=TXT(strings), ttl=60))
        server.sendto(reply.pack(), peer)


if __name__ == "__main__":
    main()
