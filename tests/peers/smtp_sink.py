#!/usr/bin/python3
# An independent SMTP server for the client tests (Debian's aiosmtpd): accepts every message
# on 127.0.0.1:<port> and keeps it, as received after the SMTP transparency is undone, in
# <folder>/<subject letters and digits>.eml, headed by its envelope.
import asyncio
import email
import os
import re
import signal
import sys

from aiosmtpd.controller import Controller


class Sink:
    def __init__(self, folder):
        self.folder = folder

    async def handle_DATA(self, server, session, envelope):
        content = envelope.original_content
        subject = email.message_from_bytes(content).get("Subject", "") or "nosubject"
        name = re.sub(r"[^A-Za-z0-9]", "", subject) or "nosubject"
        path = os.path.join(self.folder, name + ".eml")
        with open(path + ".part", "wb") as out:
            out.write(("X-Envelope-From: <%s>\r\n" % envelope.mail_from).encode())
            for rcpt in envelope.rcpt_tos:
                out.write(("X-Envelope-To: %s\r\n" % rcpt).encode())
            out.write(content)
        # Complete before the client hears 250, so a test can read it right away.
        os.replace(path + ".part", path)
        return "250 Message accepted for delivery"


def main():
    port, folder = int(sys.argv[1]), sys.argv[2]
    os.makedirs(folder, exist_ok=True)
    controller = Controller(Sink(folder), hostname="127.0.0.1", port=port)
    controller.start()
    stop = asyncio.Event()
    loop = asyncio.new_event_loop()
    for sig in (signal.SIGTERM, signal.SIGINT):
        loop.add_signal_handler(sig, stop.set)
    loop.run_until_complete(stop.wait())
    # Ending the process closes the listener; a graceful stop only adds seconds to the tests.
    os._exit(0)


if __name__ == "__main__":
    main()
