#!/usr/bin/env python3
"""Sends the uploads a results mailbox must survive, through a real mail server.

Each message is one case: what a careless or hostile sender could deliver in place of
an upload. The subject names the case. A good result file (from a real run) and a
library file are the raw material. Prints the cases sent, one per line.

Usage: hostile_mail.py HOST:PORT TO RESULT.qkc LIBRARY.qkl HUGE_BYTES
"""
import base64
import os
import smtplib
import sys
from email.message import EmailMessage

SENDER = "stage@servers-stage.test"


def upload_like(subject, attachments):
    """A message shaped as the program's upload: a text part, then file parts."""
    message = EmailMessage()
    message["From"] = SENDER
    message["Subject"] = subject
    message.set_content("See attachements.\n")
    for name, data in attachments:
        message.add_attachment(data, maintype="application", subtype="octet-stream",
                               filename=name)
    return message.as_bytes()


def plain_text(subject):
    """No MIME at all: a bare RFC 5322 message."""
    return (f"From: {SENDER}\r\nSubject: {subject}\r\n\r\n"
            "Here are my results, sorry I could not attach them.\r\n").encode()


def hostile_name(subject, result):
    """The good result under a name with a path and control characters (RFC 2231)."""
    boundary = "stage-boundary-7"
    name = "..%2F..%2F..%2Fetc%2Fpasswd%0D%0A%1B%5B31m.qkc"
    lines = [
        f"From: {SENDER}", f"Subject: {subject}", "MIME-Version: 1.0",
        f'Content-Type: multipart/mixed; boundary="{boundary}"', "",
        f"--{boundary}", "Content-Type: text/plain", "", "See attachements.",
        f"--{boundary}", "Content-Type: application/octet-stream",
        f"Content-Disposition: attachment; filename*=UTF-8''{name}",
        "Content-Transfer-Encoding: base64", "",
    ]
    encoded = base64.encodebytes(result).decode().rstrip("\n").split("\n")
    return "\r\n".join(lines + encoded + [f"--{boundary}--", ""]).encode()


def main():
    host, port = sys.argv[1].rsplit(":", 1)
    to, result_path, library_path, huge = sys.argv[2], sys.argv[3], sys.argv[4], int(sys.argv[5])
    result = open(result_path, "rb").read()
    library = open(library_path, "rb").read()
    damaged = bytearray(result)
    damaged[len(damaged) // 2] ^= 0x5A
    cases = {
        "not MIME": plain_text("not MIME"),
        "no attachment": upload_like("no attachment", []),
        "no result": upload_like("no result", [("vorntest.log", b"Test log only\n")]),
        "damaged result": upload_like("damaged result", [("Stick.qkc", bytes(damaged))]),
        "truncated result": upload_like("truncated result",
                                        [("Stick.qkc", result[:len(result) // 2])]),
        "library": upload_like("library", [("Library.qkc", library)]),
        "huge": upload_like("huge", [("Huge.qkc", os.urandom(huge))]),
        "hostile name": hostile_name("hostile name", result),
    }
    with smtplib.SMTP(host, int(port), local_hostname="client.servers-stage.test") as smtp:
        for case, data in cases.items():
            smtp.sendmail(SENDER, [to], data)
            print(case)
    return 0


if __name__ == "__main__":
    sys.exit(main())
