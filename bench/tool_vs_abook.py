#!/usr/bin/env python3
"""The tool's import and export as a user runs them, beside abook's --convert.

Makes a vCard file of N realistic contacts (long values, second numbers and
addresses, characters outside the book's code page, folded lines), then
times, each from process start to exit, in one run and on the same file:

  z8p-phonebook-tool import FILE --new   (in an empty folder)
  z8p-phonebook-tool export OUT.vcf      (of the book just made)
  abook --convert --informat vcard --outformat abook   (its import)
  abook --convert --informat abook --outformat vcard   (its export)

and reports each one's best time of R runs and its peak memory (maximum
resident set), the tool's as a ratio to abook's.

usage: tool_vs_abook.py TOOL [--records N] [--reps R]
"""
import argparse
import os
import random
import resource
import shutil
import subprocess
import sys
import tempfile
import time

# Names are made of syllables so that each contact's is its own, as in a
# real book; a few hold letters outside the book's code page (Windows-1252).
FIRST = ["Anna", "Jürgen", "Zoë", "Ólafur", "Chloé", "Søren", "Ana", "Mary", "John", "Françoise", "Ümit", "Ines",
         "Nikolai", "Emily", "Kwame", "Peter", "Sofía", "Lars", "Maria", "Thomas", "Sarah", "David", "Léa", "Björn"]
SYLLABLES = ["ber", "man", "son", "ler", "dorf", "ka", "vic", "sen", "hof", "ton", "gard", "mi", "ra", "lo", "ne",
             "stein", "feld", "ov", "ez", "ri"]
RARE = ["Małgorzata", "Łukasz", "Dvořák", "Агния", "Đorđe", "Çelik"]   # outside Windows-1252
STREETS = ["Hauptstraße", "rue de la Paix", "Market Street", "Calle Mayor", "Storgata", "Via Roma", "Baker Street",
           "Kungsgatan", "Avenida da Liberdade", "Grachtenweg"]
TOWNS = ["Berlin", "Paris", "Madrid", "Oslo", "Roma", "London", "Göteborg", "Zürich", "Lisboa", "Amsterdam"]
WORDS = ("met at the conference on distributed systems, prefers calls after six, allergic to peanuts, "
         "birthday party every June, knows the caretaker, has the spare key, café owner, plays the cello").split(", ")


def surname(i):
    parts = []
    while True:
        parts.append(SYLLABLES[i % len(SYLLABLES)])
        i //= len(SYLLABLES)
        if i == 0:
            break
    return "".join(parts).capitalize()


def escape(v):
    return v.replace("\\", "\\\\").replace(",", "\\,").replace(";", "\\;").replace("\n", "\\n")


def fold(line):
    data = line.encode("utf-8")
    out, room = [], 75
    while len(data) > room:
        cut = room
        while cut > 0 and (data[cut] & 0xC0) == 0x80:
            cut -= 1
        out.append(data[:cut])
        data = data[cut:]
        room = 74
    out.append(data)
    return b"\r\n ".join(out) + b"\r\n"


def card(rnd, i):
    first = rnd.choice(RARE) if rnd.random() < 0.03 else rnd.choice(FIRST)
    last = surname(i)
    lines = ["BEGIN:VCARD", "VERSION:3.0", f"N:{escape(last)};{escape(first)};;;", f"FN:{escape(first)} {escape(last)}"]
    lines.append(f"TEL;TYPE=CELL:+49 {rnd.randint(150, 179)} {rnd.randint(1000000, 9999999)}")
    if rnd.random() < 0.4:
        lines.append(f"TEL;TYPE=WORK:+44 20 {rnd.randint(1000, 9999)} {rnd.randint(1000, 9999)}")
    lines.append(f"EMAIL;TYPE=INTERNET:{last.lower()[:12]}{i}@example.org")
    if rnd.random() < 0.2:
        lines.append(f"EMAIL;TYPE=HOME:{first.lower()[:8]}{i}@mail.example.net")
    if rnd.random() < 0.7:
        long = rnd.random() < 0.05   # now and then longer than the field
        org = f"{surname(rnd.randint(0, 9999))} & {surname(rnd.randint(0, 9999))} GmbH"
        lines.append(f"ORG:{escape(org)};" + ("Research and Development, Department of Applied Longer Names" if long else "Sales"))
    lines.append(f"ADR;TYPE=HOME:;;{escape(rnd.choice(STREETS))} {rnd.randint(1, 200)};{rnd.choice(TOWNS)};;"
                 f"{rnd.randint(10000, 99999)};")
    if rnd.random() < 0.1:
        lines.append(f"ADR;TYPE=WORK:;;{escape(rnd.choice(STREETS))} {rnd.randint(1, 200)};{rnd.choice(TOWNS)};;;")
    if rnd.random() < 0.4:
        lines.append(f"BDAY:{rnd.randint(1940, 2005)}-{rnd.randint(1, 12):02d}-{rnd.randint(1, 28):02d}")
    if rnd.random() < 0.2:
        lines.append("TITLE:" + escape(rnd.choice(["Dipl.-Ing.", "Head of Sales", "Ärztin", "Lead engineer"])))
    if rnd.random() < 0.6:
        note = ", ".join(rnd.sample(WORDS, rnd.randint(1, 3)))
        if rnd.random() < 0.02:
            note += " — 電話は午後に"
        lines.append("NOTE:" + escape(note))
    lines.append("END:VCARD")
    return b"".join(fold(l) for l in lines)


def run(argv, cwd):
    """Seconds from start to exit, and the peak resident set in MB."""
    start = time.perf_counter()
    proc = subprocess.Popen(argv, cwd=cwd, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    _, status, usage = os.wait4(proc.pid, 0)
    took = time.perf_counter() - start
    proc.returncode = os.waitstatus_to_exitcode(status)
    err = proc.stderr.read().decode(errors="replace")
    proc.stderr.close()
    if proc.returncode not in (0,):
        sys.exit(f"{' '.join(argv)} failed ({proc.returncode}): {err[-400:]}")
    return took, usage.ru_maxrss / 1024.0


def best(argv, cwd, reps, before=None):
    times, peak = [], 0.0
    for _ in range(reps):
        if before:
            before()
        t, m = run(argv, cwd)
        times.append(t)
        peak = max(peak, m)
    return min(times), peak


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("tool")
    ap.add_argument("--records", type=int, default=32767)
    ap.add_argument("--reps", type=int, default=5)
    args = ap.parse_args()
    abook = shutil.which("abook")
    tool = os.path.abspath(args.tool)
    with tempfile.TemporaryDirectory() as tmp:
        rnd = random.Random(8)
        src = os.path.join(tmp, "contacts.vcf")
        with open(src, "wb") as f:
            for i in range(args.records):
                f.write(card(rnd, i))
        size = os.path.getsize(src) / 1e6
        folder = os.path.join(tmp, "book")
        os.mkdir(folder)
        env_home = {"HOME": tmp, "XDG_CONFIG_HOME": tmp, "XDG_DATA_HOME": tmp}
        os.environ.update(env_home)

        def fresh():
            shutil.rmtree(folder)
            os.mkdir(folder)
        rows = []
        rows.append(("import FILE --new", best([tool, "import", src, "--new"], folder, args.reps, fresh)))
        rows.append(("export OUT.vcf", best([tool, "export", os.path.join(tmp, "out.vcf")], folder, args.reps)))
        if abook:
            conf = os.path.join(tmp, "abookrc")
            open(conf, "w").close()
            base = [abook, "--config", conf, "--convert", "--informat", "vcard", "--infile", src]
            # abook writes no file that is there already, and converts its own
            # book, not a vCard, to a vCard.
            book = os.path.join(tmp, "a.abook")
            rows.append(("abook vcard -> abook", best(base + ["--outformat", "abook", "--outfile", book], tmp, args.reps,
                                                      lambda: os.path.exists(book) and os.remove(book))))
            out = os.path.join(tmp, "a.vcf")
            rows.append(("abook abook -> vcard", best([abook, "--config", conf, "--convert", "--informat", "abook", "--infile",
                                                       book, "--outformat", "vcard", "--outfile", out], tmp, args.reps,
                                                      lambda: os.path.exists(out) and os.remove(out))))
    print(f"{args.records} contacts, {size:.1f} MB of vCard; best of {args.reps} runs, start to exit")
    print(f"{'command':28} {'seconds':>8} {'peak MB':>8}")
    for name, (t, m) in rows:
        print(f"{name:28} {t:8.3f} {m:8.1f}")
    if abook:
        ref = dict(rows)
        for mine, theirs in (("import FILE --new", "abook vcard -> abook"), ("export OUT.vcf", "abook abook -> vcard")):
            print(f"{mine} / {theirs}: {ref[mine][0] / ref[theirs][0]:.2f}x the time, {ref[mine][1] / ref[theirs][1]:.2f}x the memory")
    else:
        print("abook is not installed: no side-by-side figures")


if __name__ == "__main__":
    main()
