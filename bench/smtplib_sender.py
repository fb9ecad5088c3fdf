"""Comparator for bench_smtp: COUNT messages through Python's smtplib, one connection each.

Usage: smtplib_sender.py HOST PORT COUNT   prints "SMTPLIB <seconds>"
"""
import smtplib
import sys
import time

# The same bytes the program sends for the benchmark's record.
MESSAGE = (b"Subject:Benchmark\r\nFrom:Mario Rossi <me@example.org>\r\nTo:ann@example.org\r\n\r\n"
           b"Risultati della giornata: tutto come previsto.\r\nSeconda riga del messaggio di prova.\r\n")


def main():
    host, port, count = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
    start = time.perf_counter()
    for _ in range(count):
        s = smtplib.SMTP(host, port)
        s.helo("ME")
        s.mail("me@example.org")
        s.rcpt("ann@example.org")
        s.data(MESSAGE)
        s.quit()
    print("SMTPLIB %.6f" % (time.perf_counter() - start), flush=True)


if __name__ == "__main__":
    main()
