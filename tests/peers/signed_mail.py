"""Writes request mails signed by dkimpy, and the DNS zone with their keys, for the
sender-check tests.

Usage (run with /usr/bin/python3):

    signed_mail.py OUT_DIR CASE...

Each CASE is "name:from:how" or "name:from:how:subject"; it becomes OUT_DIR/name.eml (CR LF
lines, subject "cap" unless given).
how is one of
  rsa, ed25519        signed by the From domain with that key
  sub                 signed by mail.<From domain>
  unsigned            no signature
  body, subject       signed, then the body or the Subject changed
  other               signed by example.org
  missing, revoked    signed with a selector that has no key, or an empty p=
  expired             signed with an x= in the past
  length              signed with l=0 over an empty body, then a body added
  nofrom              signed with an h= that leaves out From (the signature itself verifies)
  nosubject           signed with an h= that leaves out Subject
  subject-added       a signed mail of another subject with "Subject: cap" added on top
  testing             signed with a key whose record says t=y (selector "testing")
  short               signed with an rsa key of 512 bits (selector "short")
  ar-forged, ar-below, ar-trusted
                      unsigned, with Authentication-Results fields of evil.test, of
                      mx.trusted.test below its dmarc=fail, or of mx.trusted.test on top
OUT_DIR/zone.txt gets the keys of selectors "rsa", "ed", "short", "testing" and "revoked" (an
empty p=).
"""
import base64
import os
import sys

import dkim
import nacl.signing
from cryptography.hazmat.primitives import serialization
from cryptography.hazmat.primitives.asymmetric import rsa


def message(sender, subject="cap", body="please\r\n", top=""):
    return (top + "From: " + sender + "\r\nTo: camera@example.com\r\nSubject: " + subject +
            "\r\nMessage-ID: <" + sender + ">\r\nDate: Sun, 6 Dec 2026 15:40:00 +0900\r\n\r\n" +
            body).encode("ascii")


def rsa_pair(bits):
    key = rsa.generate_private_key(public_exponent=65537, key_size=bits)
    pem = key.private_bytes(serialization.Encoding.PEM,
                            serialization.PrivateFormat.TraditionalOpenSSL,
                            serialization.NoEncryption())
    public = base64.b64encode(key.public_key().public_bytes(
        serialization.Encoding.DER, serialization.PublicFormat.SubjectPublicKeyInfo)).decode()
    return pem, public


def main():
    out = sys.argv[1]
    rsa_pem, rsa_pub = rsa_pair(2048)
    short_pem, short_pub = rsa_pair(512)
    ed_key = nacl.signing.SigningKey.generate()
    ed_private = base64.b64encode(bytes(ed_key))
    ed_pub = base64.b64encode(bytes(ed_key.verify_key)).decode()

    def sign(raw, domain, selector="rsa", length=False, expires=None, without_from=False,
             headers=(b"from", b"to", b"subject", b"message-id", b"date")):
        if selector == "ed":
            algorithm, key = b"ed25519-sha256", ed_private
        else:
            algorithm, key = b"rsa-sha256", short_pem if selector == "short" else rsa_pem
        signer = dkim.DKIM(raw)
        if expires is not None:
            generate = signer.gen_header
            signer.gen_header = lambda fields, *rest: generate(
                fields[:-1] + [(b"x", str(expires).encode())] + fields[-1:], *rest)
        if without_from:
            # dkimpy insists on signing From; its h= and the signed fields are changed
            # together, after that check, so the signature is sound but leaves From out.
            generate = signer.gen_header

            def leave_out_from(fields, include, *rest):
                include = tuple(h for h in include if h != b"from")
                fields = [(k, b" : ".join(include) if k == b"h" else v) for k, v in fields]
                return generate(fields, include, *rest)
            signer.gen_header = leave_out_from
        header = signer.sign(selector.encode(), domain.encode(), key,
                             signature_algorithm=algorithm,
                             include_headers=list(headers),
                             length=length)
        return header.replace(b"\r\n", b"\n").replace(b"\n", b"\r\n") + raw

    domains = set()
    for case in sys.argv[2:]:
        name, sender, how, *rest = case.split(":", 3)
        subject = rest[0] if rest else "cap"
        domain = sender.split("@")[1]
        domains.update([domain, "mail." + domain, "example.org"])
        if how in ("rsa", "ed25519"):
            mail = sign(message(sender, subject), domain, "rsa" if how == "rsa" else "ed")
        elif how == "sub":
            mail = sign(message(sender), "mail." + domain)
        elif how == "unsigned":
            mail = message(sender, subject)
        elif how == "body":
            mail = sign(message(sender), domain).replace(b"please", b"please!")
        elif how == "subject":
            mail = sign(message(sender, subject="camera"), domain).replace(
                b"Subject: camera", b"Subject: cap")
        elif how == "other":
            mail = sign(message(sender), "example.org")
        elif how == "missing":
            mail = sign(message(sender), domain, "gone")
        elif how == "revoked":
            mail = sign(message(sender), domain, "revoked")
        elif how == "expired":
            mail = sign(message(sender), domain, expires=1000000000)
        elif how == "length":
            mail = sign(message(sender, body=""), domain, length=True) + b"more text\r\n"
        elif how == "nofrom":
            mail = sign(message(sender), domain, without_from=True)
        elif how == "nosubject":
            mail = sign(message(sender), domain,
                        headers=(b"from", b"to", b"message-id", b"date"))
        elif how == "subject-added":
            mail = b"Subject: cap\r\n" + sign(message(sender, subject="hello"), domain)
        elif how == "testing":
            mail = sign(message(sender), domain, "testing")
        elif how == "short":
            mail = sign(message(sender), domain, "short")
        elif how.startswith("ar-"):
            fields = {
                "ar-forged": ["evil.test; dmarc=pass header.from=" + domain],
                "ar-below": ["mx.trusted.test; dmarc=fail header.from=" + domain,
                             "mx.trusted.test; dmarc=pass header.from=" + domain],
                "ar-trusted": ["mx.trusted.test (checked); spf=pass smtp.mailfrom=" + domain +
                               "; dkim=pass header.i=@" + domain + " header.b=Ab/+cd=;"
                               " dmarc=pass (p=REJECT) header.from=" + domain],
            }[how]
            mail = message(sender, top="".join(
                "Authentication-Results: " + f + "\r\n" for f in fields))
        else:
            raise SystemExit("unknown case " + how)
        with open(os.path.join(out, name + ".eml"), "wb") as f:
            f.write(mail)
    with open(os.path.join(out, "zone.txt"), "w", encoding="ascii") as f:
        for domain in sorted(domains):
            f.write("rsa._domainkey.%s v=DKIM1; k=rsa; p=%s\n" % (domain, rsa_pub))
            f.write("ed._domainkey.%s v=DKIM1; k=ed25519; p=%s\n" % (domain, ed_pub))
            f.write("short._domainkey.%s v=DKIM1; k=rsa; p=%s\n" % (domain, short_pub))
            f.write("testing._domainkey.%s v=DKIM1; k=rsa; t=y; p=%s\n" % (domain, rsa_pub))
            f.write("revoked._domainkey.%s v=DKIM1; p=\n" % domain)


if __name__ == "__main__":
    main()
