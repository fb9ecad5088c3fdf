"""Comparator for bench_smtp: COUNT messages through Python's smtplib, one connection each.

Usage: smtplib_sender.py HOST PORT COUNT                              prints "SMTPLIB <seconds>"
       smtplib_sender.py HOST PORT COUNT CAFILE USER PASSWORD         the same over STARTTLS
                                                                      with a login
"""
import smtplib
import ssl
import sys
import time

# The same bytes the program sends for the benchmark's record.
MESSAGE = (b"Subject:Benchmark\r\nFrom:Mario Rossi <me@example.org>\r\nTo:ann@example.org\r\n\r\n"
           b"Risultati della giornata: tutto come previsto.\r\nSeconda riga del messaggio di prova.\r\n")


def main():
    host, port, count = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
    login = sys.argv[4:7]
    context = ssl.create_default_context(cafile=login[0]) if login else None
    start = time.perf_counter()
    for _ in range(count):
        s = smtplib.SMTP(host, port)
        if login:
            s.ehlo()
            s.starttls(context=context)
            s.ehlo()
            s.login(login[1], login[2])
        else:
            s.helo("ME")
        s.mail("me@example.org")
        s.rcpt("ann@example.org")
        s.data(MESSAGE)
        s.quit()
    print("SMTPLIB %.6f" % (time.perf_counter() - start), flush=True)


if __name__ == "__main__":
    main()
