#!/usr/bin/python3
"""Reads a mail file with Python's email package and prints what a mail reader would see.

    parse_mail.py MAILFILE OUTFOLDER

Output, one item per line:
    header:<name in lower case>:<decoded value, folding removed>
    part:<content type of a leaf part>
    text:<decoded text part, as UTF-8, base64-encoded>
    attachment:<path of the written attachment file>
    defect:<a defect Python's email package found, with policy strict>
Attachments are decoded and written into OUTFOLDER under the file name of the mail.
"""
import base64
import email
import email.policy
import io
import os
import sys


def defects(data):
    """What policy strict finds: the parser raises on the first defect of the structure, and
    every header keeps the defects of its own value."""
    found = []
    try:
        message = email.message_from_binary_file(io.BytesIO(data), policy=email.policy.strict)
    except Exception as error:
        return ["%s: %s" % (type(error).__name__, error)]
    for part in message.walk():
        found += [repr(d) for d in part.defects]
        for name, value in part.items():
            found += ["%s: %r" % (name, d) for d in getattr(value, "defects", ())]
    return found


def main():
    mail_file, out_folder = sys.argv[1], sys.argv[2]
    with open(mail_file, "rb") as f:
        data = f.read()
    for defect in defects(data):
        print("defect:%s" % " ".join(defect.split()))
    message = email.message_from_binary_file(io.BytesIO(data), policy=email.policy.default)
    for name, value in message.items():
        flat = " ".join(str(value).split())
        print("header:%s:%s" % (name.lower(), flat))
    for part in message.walk():
        if part.is_multipart():
            continue
        print("part:%s" % part.get_content_type())
        filename = part.get_filename()
        if filename:
            path = os.path.join(out_folder, os.path.basename(filename))
            with open(path, "wb") as out:
                out.write(part.get_payload(decode=True))
            print("attachment:%s" % path)
        elif part.get_content_maintype() == "text":
            text = part.get_content()
            print("text:%s" % base64.b64encode(text.encode("utf-8")).decode("ascii"))
    return 0


if __name__ == "__main__":
    sys.exit(main())
