"""A loopback SMTP server for the tests and the benchmark.

Usage: smtp_sink.py OUTDIR      saves each message as OUTDIR/NNNN.eml (the raw bytes as
                                received, dot-stuffing undone) and OUTDIR/NNNN.json (envelope)
       smtp_sink.py --count     keeps nothing, only accepts
       smtp_sink.py --greylist OUTDIR
                                as the first form, but the first RCPT of each address is
                                answered "451 4.7.1 greylisted": it arrives on a later attempt

Recipients at the domain refused.test are refused with a 550 reply.
Prints "READY <port>" once it listens on 127.0.0.1 on a free port.
"""
import asyncio
import json
import os
import sys

from aiosmtpd.smtp import SMTP


class Sink:
    def __init__(self, outdir, greylist=False):
        self.outdir = outdir
        self.count = 0
        self.greylist = greylist
        self.seen = set()

    async def handle_RCPT(self, server, session, envelope, address, rcpt_options):
        # A mailbox the tests use to see a real refusal.
        if address.endswith("@refused.test"):
            return "550 5.1.1 <%s>: mailbox unavailable" % address
        if self.greylist and address not in self.seen:
            self.seen.add(address)
            return "451 4.7.1 <%s>: greylisted, try again later" % address
        envelope.rcpt_tos.append(address)
        return "250 OK"

    async def handle_DATA(self, server, session, envelope):
        self.count += 1
        if self.outdir:
            stem = os.path.join(self.outdir, "%04d" % self.count)
            with open(stem + ".eml", "wb") as f:
                f.write(envelope.original_content)
            meta = {"mail_from": envelope.mail_from, "rcpt_tos": envelope.rcpt_tos}
            # Written last and renamed into place: a reader never sees half an envelope.
            with open(stem + ".tmp", "w", encoding="utf-8") as f:
                json.dump(meta, f)
            os.replace(stem + ".tmp", stem + ".json")
        return "250 OK message accepted"


async def main():
    args = sys.argv[1:]
    greylist = args[:1] == ["--greylist"]
    if greylist:
        args = args[1:]
    outdir = None if args == ["--count"] else args[0]
    handler = Sink(outdir, greylist)
    loop = asyncio.get_running_loop()
    server = await loop.create_server(
        lambda: SMTP(handler, hostname="sink.localhost", decode_data=False),
        host="127.0.0.1", port=0)
    print("READY %d" % server.sockets[0].getsockname()[1], flush=True)
    async with server:
        await server.serve_forever()


if __name__ == "__main__":
    try:
        asyncio.run(main())
    except KeyboardInterrupt:
        pass
