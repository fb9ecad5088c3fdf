# Reads messages as a mail reader does, with Python's own e-mail parser, for the tests.
#
# Usage: parse_message.py FILE...   prints one JSON list with an object per file:
#   from        the From header's mailboxes, each {"name": display name, "address": the bare address}
#   defects     what the parser found wrong in the From, Date and Message-ID headers
#   date        {"epoch": seconds, "offset": seconds east of UTC} of the Date header, or null
#   message_id  the Message-ID header as parsed, or null

import email
import email.policy
import email.utils
import json
import sys


def describe(raw):
    msg = email.message_from_bytes(raw, policy=email.policy.default)
    sender, date, message_id = (msg[name] for name in ("From", "Date", "Message-ID"))
    sent = email.utils.parsedate_to_datetime(str(date)) if date is not None else None
    offset = sent.utcoffset() if sent is not None else None
    return {
        "from": [{"name": a.display_name, "address": a.addr_spec} for a in (sender.addresses if sender else ())],
        "defects": [type(d).__name__ for h in (sender, date, message_id) if h is not None for d in h.defects],
        "date": sent and {"epoch": sent.timestamp(), "offset": offset.total_seconds() if offset is not None else None},
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
