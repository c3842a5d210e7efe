#!/usr/bin/env python3
"""Reads a signature file before and after a save with Python's own MIME parser.

Usage: mimecheck.py BEFORE AFTER

Prints one JSON object: "problems" (defects the parser found in AFTER, and parts of BEFORE
that AFTER lost or changed, the HTML part and, without one, text parts aside), "html" (the
first text/html part of AFTER, or its whole body when that is HTML, decoded, and the character set it declares), "texts" (every
text part of AFTER, decoded) and "images" (content id, type and Base64 of each image part).
"""

import base64
import email
import email.policy
import json
import sys


def read(path):
    with open(path, "rb") as file:
        return email.message_from_bytes(file.read(), policy=email.policy.compat32)


def leaves(message):
    return [part for part in message.walk() if not part.is_multipart()]


def text_of(part, problems):
    payload = part.get_payload(decode=True) or b""
    charset = part.get_content_charset() or "utf-8"
    try:
        return payload.decode(charset)
    except (LookupError, UnicodeDecodeError) as error:
        problems.append("text of a %s part does not decode: %s" % (part.get_content_type(), error))
        return None


def main(before_path, after_path):
    before, after = read(before_path), read(after_path)
    problems = []
    for part in after.walk():
        problems += ["defect: %r" % defect for defect in part.defects]
        # No Content-Transfer-Encoding means 7bit, which allows no byte above 127.
        encoding = (part.get("Content-Transfer-Encoding") or "7bit").strip().lower()
        payload = part.get_payload(decode=False)
        if not part.is_multipart() and encoding == "7bit" and isinstance(payload, str):
            raw = payload.encode("utf-8", "surrogateescape")
            if any(byte > 127 for byte in raw):
                problems.append("8-bit text in a %s part declared 7bit" % part.get_content_type())

    old, new = leaves(before), leaves(after)
    html_index = next((i for i, part in enumerate(old) if part.get_content_type() == "text/html"), None)
    if len(old) != len(new):
        problems.append("%d parts before, %d after" % (len(old), len(new)))
    for index, (was, now) in enumerate(zip(old, new)):
        if index == html_index or (html_index is None and was.get_content_maintype() == "text"):
            continue
        if was.items() != now.items():
            problems.append("part %d headers changed: %r -> %r" % (index, was.items(), now.items()))
        if was.get_payload(decode=True) != now.get_payload(decode=True):
            problems.append("part %d content changed" % index)

    html = None
    charset = None
    texts = []
    images = []
    for part in new:
        if part.get_content_maintype() == "text":
            text = text_of(part, problems)
            texts.append(text)
            if html is None and part.get_content_type() == "text/html":
                html = text
                charset = part.get_content_charset()
        elif part.get_content_maintype() == "image" and part["Content-ID"]:
            images.append({
                "cid": part["Content-ID"].strip().strip("<>"),
                "type": part.get_content_type(),
                "base64": base64.b64encode(part.get_payload(decode=True) or b"").decode("ascii"),
            })
    print(json.dumps({"problems": problems, "html": html, "charset": charset, "texts": texts, "images": images}))


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])
