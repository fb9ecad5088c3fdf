"""Gathers the figures the benchmarks printed into one Markdown table."""
import pathlib
import re
import sys

out = pathlib.Path(sys.argv[1])


def text(name):
    path = out / f"bench-{name}.txt"
    return path.read_text() if path.exists() else ""


def find(pattern, source, group=1):
    m = re.search(pattern, source, re.MULTILINE)
    return m.group(group) if m else "?"


rows = []
c = text("containers")
for label, pat in [("Sort 32,767 address-book texts", r"Sort 32,767.*?CArray\s+([\d.]+) ms\s+std::sort\s+([\d.]+) ms\s+ratio ([\d.]+)"),
                   ("Sort 1,000,000 random texts", r"Sort 1,000,000.*?CArray\s+([\d.]+) ms\s+std::sort\s+([\d.]+) ms\s+ratio ([\d.]+)")]:
    m = re.search(pat, c)
    if m:
        rows.append((label, f"{m.group(1)} ms", f"std::sort {m.group(2)} ms", m.group(3), "≤ 2"))
for label, key in [("AddValue 1,000,000 integers (warm / cold)", "integers"), ("AddValue 1,000,000 short texts (warm / cold)", "short texts")]:
    warm = find(rf"AddValue 1,000,000 {key} \(warm\)\s+([\d.]+) ms", c)
    cold = find(rf"AddValue 1,000,000 {key} \(cold\)\s+([\d.]+) ms", c)
    rows.append((label, f"{warm} / {cold} ms", "", "", "< 100 ms"))
find_ms = find(r"Find over 100,000 texts.*?([\d.]+) ms", c)
rows.append(("Find over 100,000 texts", f"{find_ms} ms", "", "", ""))

s = text("smtp")
ours = find(r"^brevilo: \d+ sessions.*?([\d.]+) sessions/s", s)
peak = find(r"VmHWM\) (\d+) kB", s)
theirs = find(r"^smtplib: .*?([\d.]+) sessions/s", s)
rows.append(("SMTP: 500 messages, one session each", f"{ours} sessions/s, peak {peak} kB",
             f"smtplib {theirs} sessions/s", find(r"ratio brevilo/smtplib.*?: ([\d.]+)", s), "≥ 1"))
# The second VmHWM line is the peak after the STARTTLS + AUTH sessions.
tls_peak = re.findall(r"VmHWM\) (\d+) kB", s)
ours = find(r"^brevilo starttls\+auth: .*?([\d.]+) sessions/s", s)
theirs = find(r"^smtplib starttls\+login: .*?([\d.]+) sessions/s", s)
rows.append(("SMTP: 500 messages over STARTTLS + AUTH PLAIN", f"{ours} sessions/s, peak {tls_peak[-1] if tls_peak else '?'} kB",
             f"smtplib (starttls, login) {theirs} sessions/s", find(r"ratio starttls\+auth brevilo/smtplib.*?: ([\d.]+)", s), "≥ 1"))
bearer = find(r"^brevilo starttls\+oauthbearer: .*?([\d.]+) sessions/s", s)
rows.append(("SMTP: 500 messages over STARTTLS + AUTH OAUTHBEARER (4 KB token in memory)", f"{bearer} sessions/s",
             f"the AUTH PLAIN row {ours} sessions/s", find(r"ratio oauthbearer/password.*?: ([\d.]+)", s), "≥ 0.95"))

n = text("news")
for size in ("25000", "50000", "100000"):
    # page, rows, ms per page (new lines), ms per page (seen lines), indexOf ms, ratios
    m = re.search(rf"^{size}\s+(\d+)\s+([\d.]+)\s+([\d.]+)\s+([\d.]+)\s+([\d.]+)", n, re.MULTILINE)
    if m:
        rows.append((f"News page of {size} characters ({m.group(1)} rows)", f"{m.group(2)} ms",
                     f"indexOf {m.group(4)} ms", m.group(5), "< 1 ms (100k)"))

st = text("startup")
m = re.search(r"bare Qt window :\s+([\d.]+) ms\s+(\d+) KiB.*?Brevilo\s+:\s+([\d.]+) ms\s+(\d+) KiB.*?ratio\s+:\s+([\d.]+)x\s+([\d.]+)x", st, re.S)
if m:
    rows.append(("Start-up to window shown", f"{m.group(3)} ms", f"bare window {m.group(1)} ms", m.group(5), "≤ 1.3"))
    rows.append(("Start-up peak memory", f"{m.group(4)} KiB", f"bare window {m.group(2)} KiB", m.group(6), "≤ 1.3"))

o = text("outbox")
median, p99 = find(r"median\s+([\d.]+) ms", o), find(r"p99\s+([\d.]+) ms", o)
rows.append(("Queue one message incl. durable write (median / p99 of 1,000)", f"{median} / {p99} ms", "", "", "< 10 ms"))
full, empty = find(r"10000 queued records\s+([\d.]+) ms", o), find(r"empty outbox\s+([\d.]+) ms", o)
rows.append(("Start to window shown with 10,000 queued records", f"{full} ms", f"empty outbox {empty} ms", "", "< 300 ms"))

h = text("hostile")
for line in h.splitlines():
    cells = [x.strip() for x in line.split("|")]
    if len(cells) >= 6 and cells[2].isdigit():
        # scenario | outcome | ms | peak KiB | +KiB | next still goes
        rows.append((f"Hostile peer: {cells[0]}", f"{cells[1]}; {cells[2]} ms; peak {cells[3]} KiB (+{cells[4]})",
                     "", "", f"ends; next goes: {cells[5]}"))
    elif len(cells) == 2 and re.fullmatch(r"[\d.]+", cells[1]):
        rows.append((f"Window handler: {cells[0]}", f"{cells[1]} ms", "", "", "< 100 ms"))

print("| Benchmark | Brevilo | Reference | Ratio | Goal |")
print("|---|---|---|---|---|")
for r in rows:
    print("| " + " | ".join(r) + " |")
