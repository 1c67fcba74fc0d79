"""Parses one composed e-mail (the bytes between DATA and the final ".", CR LF line ends,
read from standard input) with Python's standard email package and prints what a mail
reader would see, as JSON, for the composition tests to compare with their input."""
import base64
import email
import email.policy
import json
import re
import sys
import urllib.parse

raw = sys.stdin.buffer.read()
msg = email.message_from_bytes(raw, policy=email.policy.default)

header_block = raw.split(b"\r\n\r\n", 1)[0]
encoded_words = re.findall(rb"=\?[^?\s]+\?[BbQq]\?[^?\s]*\?=", raw)


def part_report(part):
    payload = part.get_payload(decode=True)
    return {
        "content_type": part.get_content_type(),
        "charset_param": part.get_param("charset"),
        "filename": part.get_filename(),
        "disposition": part.get_content_disposition(),
        # The text in the charset its part declares, as a reader decodes it.
        "text_lines": payload.decode(part.get_content_charset() or "us-ascii").splitlines()
        if payload is not None and part.get_content_maintype() == "text" else None,
        "data": base64.b64encode(payload).decode() if payload is not None else None,
        "defects": [type(d).__name__ for d in part.defects],
    }


def unsubscribe_report(value):
    """The mailto link of a List-Unsubscribe header as a mail program takes it apart to send
    the request: the address to write to and the subject to write."""
    if value is None:
        return None
    link = str(value).strip()
    url = urllib.parse.urlsplit(link[1:-1] if link.startswith("<") and link.endswith(">") else link)
    return {
        "raw": str(value),
        "scheme": url.scheme,
        "to": urllib.parse.unquote(url.path),
        "subject": urllib.parse.parse_qs(url.query).get("subject", [None])[0],
    }


from_header = msg["from"]
report = {
    "subject": str(msg["subject"]) if msg["subject"] is not None else None,
    "from_name": from_header.addresses[0].display_name if from_header else None,
    "from_address": from_header.addresses[0].addr_spec if from_header else None,
    "to": str(msg["to"]) if msg["to"] is not None else None,
    "date": str(msg["date"]) if msg["date"] is not None else None,
    "header_names": list(msg.keys()),
    "is_multipart": msg.is_multipart(),
    "parts": [part_report(p) for p in (msg.iter_parts() if msg.is_multipart() else [msg])],
    "list_unsubscribe": unsubscribe_report(msg["list-unsubscribe"]),
    "max_line_length": max(len(line) for line in raw.split(b"\r\n")),
    "max_encoded_word_length": max((len(w) for w in encoded_words), default=0),
    "defects": [type(d).__name__ for d in msg.defects]
    + [type(d).__name__ for _, value in msg.items() for d in getattr(value, "defects", ())],
}
json.dump(report, sys.stdout)
