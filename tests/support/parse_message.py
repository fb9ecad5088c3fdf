"""Reads messages as a mail reader does, with Python's own e-mail parser, for the tests.

Usage: parse_message.py FILE...   prints one JSON list with an object per file:
  from        the From header's mailboxes, each {"name": display name, "address": the bare address}
  defects     what the parser found wrong in the From, Date and Message-ID headers
  date        {"epoch": seconds, "offset": seconds east of UTC} of the Date header, or null
  message_id  the Message-ID header as parsed, or null
"""
import email
import email.policy
import email.utils
import json
import sys


def header_defects(header):
    return [type(d).__name__ for d in getattr(header, "defects", ())] if header is not None else []


def describe(raw):
    msg = email.message_from_bytes(raw, policy=email.policy.default)
    sender = msg["From"]
    mailboxes = []
    if sender is not None:
        for group in sender.groups:
            for address in group.addresses:
                mailboxes.append({"name": address.display_name, "address": address.addr_spec})
    date = None
    if msg["Date"] is not None:
        parsed = email.utils.parsedate_to_datetime(str(msg["Date"]))
        offset = parsed.utcoffset()
        date = {"epoch": parsed.timestamp(), "offset": None if offset is None else offset.total_seconds()}
    message_id = msg["Message-ID"]
    return {
        "from": mailboxes,
        "defects": header_defects(sender) + header_defects(msg["Date"]) + header_defects(message_id),
        "date": date,
        "message_id": None if message_id is None else str(message_id),
    }


def main():
    out = []
    for path in sys.argv[1:]:
        with open(path, "rb") as f:
            out.append(describe(f.read()))
    json.dump(out, sys.stdout)


if __name__ == "__main__":
    main()
