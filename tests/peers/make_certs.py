#!/usr/bin/python3
"""Makes the certificates the TLS tests use, fresh for each run.

Usage (run with /usr/bin/python3, which has Debian's python3-cryptography):

    make_certs.py OUTDIR

Writes PEM files into OUTDIR (which must exist):

    ca.pem, ca.key                 the test CA that the tests trust (give ca.pem as the CA file)
    server.pem, server.key         valid now, for localhost, 127.0.0.1 and ::1
    wronghost.pem, wronghost.key   valid now, but only for other.example
    web.pem, web.key               valid now, for example.test and *.example.test (web hosts
                                   that the tests' DNS server points at loopback)
    expired.pem, expired.key       for localhost, 127.0.0.1 and ::1, but ran out 10 days ago
    untrusted.pem, untrusted.key   for localhost, 127.0.0.1 and ::1, signed by a second CA
    untrusted-ca.pem               that second CA, which the tests trust only when they mean to

Every leaf .pem holds the leaf certificate alone: the servers send only that, and the client
knows the CA through its CA file. Keys are EC P-256 in unencrypted PKCS#8, which keeps the
whole run well under a second.
"""

import datetime
import ipaddress
import os
import sys

from cryptography import x509
from cryptography.hazmat.primitives import hashes, serialization
from cryptography.hazmat.primitives.asymmetric import ec
from cryptography.x509.oid import ExtendedKeyUsageOID, NameOID

NOW = datetime.datetime.now(datetime.timezone.utc)
DAY = datetime.timedelta(days=1)
LOCAL_NAMES = [x509.DNSName("localhost"),
               x509.IPAddress(ipaddress.ip_address("127.0.0.1")),
               x509.IPAddress(ipaddress.ip_address("::1"))]


def new_key():
    return ec.generate_private_key(ec.SECP256R1())


def name(common_name):
    return x509.Name([x509.NameAttribute(NameOID.ORGANIZATION_NAME, "Kestrova tests"),
                      x509.NameAttribute(NameOID.COMMON_NAME, common_name)])


def make_ca(common_name):
    key = new_key()
    cert = (x509.CertificateBuilder()
            .subject_name(name(common_name))
            .issuer_name(name(common_name))
            .public_key(key.public_key())
            .serial_number(x509.random_serial_number())
            # Reaches back far enough to cover the expired leaf's whole life.
            .not_valid_before(NOW - 60 * DAY)
            .not_valid_after(NOW + 365 * DAY)
            .add_extension(x509.BasicConstraints(ca=True, path_length=0), critical=True)
            .add_extension(x509.KeyUsage(digital_signature=False, content_commitment=False,
                                         key_encipherment=False, data_encipherment=False,
                                         key_agreement=False, key_cert_sign=True, crl_sign=True,
                                         encipher_only=False, decipher_only=False),
                           critical=True)
            .add_extension(x509.SubjectKeyIdentifier.from_public_key(key.public_key()),
                           critical=False)
            .sign(key, hashes.SHA256()))
    return cert, key


def make_leaf(ca_cert, ca_key, common_name, names, not_before, not_after):
    key = new_key()
    cert = (x509.CertificateBuilder()
            .subject_name(name(common_name))
            .issuer_name(ca_cert.subject)
            .public_key(key.public_key())
            .serial_number(x509.random_serial_number())
            .not_valid_before(not_before)
            .not_valid_after(not_after)
            .add_extension(x509.BasicConstraints(ca=False, path_length=None), critical=True)
            .add_extension(x509.KeyUsage(digital_signature=True, content_commitment=False,
                                         key_encipherment=False, data_encipherment=False,
                                         key_agreement=False, key_cert_sign=False,
                                         crl_sign=False, encipher_only=False,
                                         decipher_only=False),
                           critical=True)
            .add_extension(x509.ExtendedKeyUsage([ExtendedKeyUsageOID.SERVER_AUTH]),
                           critical=False)
            .add_extension(x509.SubjectAlternativeName(names), critical=False)
            .add_extension(x509.SubjectKeyIdentifier.from_public_key(key.public_key()),
                           critical=False)
            .add_extension(x509.AuthorityKeyIdentifier.from_issuer_public_key(
                ca_key.public_key()), critical=False)
            .sign(ca_key, hashes.SHA256()))
    return cert, key


def write(outdir, stem, cert, key=None):
    with open(os.path.join(outdir, stem + ".pem"), "wb") as f:
        f.write(cert.public_bytes(serialization.Encoding.PEM))
    if key is not None:
        path = os.path.join(outdir, stem + ".key")
        fd = os.open(path, os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o600)
        with os.fdopen(fd, "wb") as f:
            f.write(key.private_bytes(serialization.Encoding.PEM,
                                      serialization.PrivateFormat.PKCS8,
                                      serialization.NoEncryption()))


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: make_certs.py OUTDIR")
    outdir = sys.argv[1]

    ca, ca_key = make_ca("Kestrova test CA")
    write(outdir, "ca", ca, ca_key)
    write(outdir, "server",
          *make_leaf(ca, ca_key, "localhost", LOCAL_NAMES, NOW - DAY, NOW + 30 * DAY))
    write(outdir, "wronghost",
          *make_leaf(ca, ca_key, "other.example", [x509.DNSName("other.example")],
                     NOW - DAY, NOW + 30 * DAY))
    write(outdir, "web",
          *make_leaf(ca, ca_key, "example.test",
                     [x509.DNSName("example.test"), x509.DNSName("*.example.test")],
                     NOW - DAY, NOW + 30 * DAY))
    write(outdir, "expired",
          *make_leaf(ca, ca_key, "localhost", LOCAL_NAMES, NOW - 30 * DAY, NOW - 10 * DAY))

    other_ca, other_key = make_ca("Kestrova untrusted CA")
    write(outdir, "untrusted-ca", other_ca)
    write(outdir, "untrusted",
          *make_leaf(other_ca, other_key, "localhost", LOCAL_NAMES, NOW - DAY, NOW + 30 * DAY))


if __name__ == "__main__":
    main()
