#!/usr/bin/env python3
"""The tool's sync beside vdirsyncer's, on the same Radicale in the same run.

    python3 bench/sync_vs_vdirsyncer.py build/z8p-phonebook-tool [--cards 2000] [--reps 3]

Radicale's storage is seeded with the cards directly. Each client keeps its
own side (the tool a book, vdirsyncer a folder of cards) and is timed from
process start to exit, best of the repetitions, with its peak memory:
  first download   an empty side takes every card
  nothing changed  a sync with nothing to do
  1 % each side    1 % of the cards changed on the server, 1 % on the side
It reports; it does not judge.
"""

import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "sync", "servers"))
from dav import Book, Phone, Radicale  # noqa: E402

FIRST = ["Anna", "Bjørn", "Chloé", "Dmitri", "Eleni", "Fatima", "Grzegorz", "Hiroshi", "Ingrid", "José"]
LAST = ["Müller", "O'Brien", "Nováková", "Smith-Jones", "García Márquez", "Тихонов", "van der Berg", "Ng"]


def seed_card(i):
    first, last = FIRST[i % len(FIRST)], LAST[i % len(LAST)] + str(i)
    lines = ["BEGIN:VCARD", "VERSION:3.0", "UID:seed-%05d" % i, "N:%s;%s;;;" % (last, first), "FN:%s %s" % (first, last),
             "TEL;TYPE=CELL:+1 555 %05d" % i, "TEL;TYPE=WORK:+1 555 9%04d" % i,
             "EMAIL;TYPE=INTERNET:person%d@example.org" % i, "ORG:Company %d" % (i % 300),
             "ADR;TYPE=HOME:;;%d Long Street;Some Town;;12345;Country" % i]
    if i % 5 == 0:
        lines.append("NOTE:Met at the conference in %d\\, prefers calls after six." % (2000 + i % 25))
    if i % 7 == 0:
        lines.append("BDAY:19%02d-%02d-%02d" % (i % 100, i % 12 + 1, i % 28 + 1))
    lines.append("END:VCARD")
    return ("\r\n".join(lines) + "\r\n").encode()


def timed(argv, cwd=None, env=None):
    """(seconds, peak kB, exit status, output) of one process."""
    t0 = time.monotonic()
    p = subprocess.Popen(argv, cwd=cwd, env=env, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                         stderr=subprocess.STDOUT)
    out = p.stdout.read()
    _, status, usage = os.wait4(p.pid, 0)
    p.returncode = os.waitstatus_to_exitcode(status)
    return time.monotonic() - t0, usage.ru_maxrss, p.returncode, out.decode(errors="replace")


def main():
    tool = os.path.abspath(sys.argv[1])
    cards = int(sys.argv[sys.argv.index("--cards") + 1]) if "--cards" in sys.argv else 2000
    reps = int(sys.argv[sys.argv.index("--reps") + 1]) if "--reps" in sys.argv else 3
    tmp = tempfile.mkdtemp(prefix="z8p-bench-sync-")
    try:
        with Radicale(os.path.join(tmp, "radicale")) as server:
            folder = os.path.join(server.store, "collection-root", "anna", "contacts")
            for i in range(cards):
                with open(os.path.join(folder, "seed-%05d.vcf" % i), "wb") as f:
                    f.write(seed_card(i))
            run(tool, tmp, server, folder, cards, reps)
    finally:
        shutil.rmtree(tmp, ignore_errors=True)


def run(tool, tmp, server, folder, cards, reps):
    build = os.path.dirname(tool)
    phone = Phone(os.path.join(tmp, "phone"), server)
    phone.run("discover", "phone")
    vdir = ["/usr/bin/vdirsyncer", "-c", phone.config, "sync"]
    venv = dict(os.environ, LC_ALL="C.UTF-8")
    print("%d cards on Radicale %s; best of %d" % (cards, server.url(), reps))
    print("%-18s %10s %10s %7s %12s %12s %7s" % ("case", "tool s", "vdirs. s", "ratio", "tool MB", "vdirs. MB", "ratio"))

    def row(name, ours, theirs):
        print("%-18s %10.3f %10.3f %7.2f %12.1f %12.1f %7.2f" % (name, ours[0], theirs[0], ours[0] / theirs[0],
                                                                ours[1] / 1024, theirs[1] / 1024, ours[1] / theirs[1]))

    def best(samples):
        return min(s[0] for s in samples), max(s[1] for s in samples)

    # First download: each rep on an empty side.
    ours, theirs = [], []
    for rep in range(reps):
        book = Book(build, os.path.join(tmp, "book%d" % rep))
        book.write([])
        book.run("sync", "--account", server.url(), "--user", "anna", password="secret")
        with open(book.password_file, "w") as f:
            f.write("secret")
        t = timed([tool, "sync", "--password-file", book.password_file], book.folder, book.env)
        assert t[2] == 0 and len(book.records()) == cards, t[3]
        ours.append(t)
        shutil.rmtree(phone.cards)
        shutil.rmtree(os.path.join(phone.folder, "status"))
        os.makedirs(phone.cards)
        os.makedirs(os.path.join(phone.folder, "status"))
        phone.run("discover", "phone")
        t = timed(vdir, env=venv)
        assert t[2] == 0 and len(os.listdir(phone.cards)) == cards, t[3]
        theirs.append(t)
    row("first download", best(ours), best(theirs))

    argv = [tool, "sync", "--password-file", book.password_file]
    ours = [timed(argv, book.folder, book.env) for _ in range(reps)]
    theirs = [timed(vdir, env=venv) for _ in range(reps)]
    row("nothing changed", best(ours), best(theirs))

    ours, theirs = [], []
    step = 100
    for rep in range(reps):
        # 1 % on the server, as a third client would change it.
        for i in range(rep, cards, step):
            path = os.path.join(folder, "seed-%05d.vcf" % i)
            data = open(path, "rb").read()
            with open(path, "wb") as f:
                f.write(re.sub(rb"ORG:[^\r]*", b"ORG:Changed %d" % rep, data))
        # 1 % on each client's side.
        records = book.records()
        for i in range(rep + 50, len(records), step):
            records[i]["phone"] = "+1 555 7%d %d" % (rep, i)
        book.write(records)
        names = sorted(os.listdir(phone.cards))
        for i in range(rep + 50, len(names), step):
            path = os.path.join(phone.cards, names[i])
            data = open(path, "rb").read()
            with open(path, "wb") as f:
                f.write(re.sub(rb"TEL;TYPE=CELL:[^\r\n]*", b"TEL;TYPE=CELL:+1 555 7%d %d" % (rep, i), data))
        t = timed(argv, book.folder, book.env)
        assert t[2] == 0, t[3]
        ours.append(t)
        t = timed(vdir, env=venv)
        assert t[2] == 0, t[3]
        theirs.append(t)
    row("1 % each side", best(ours), best(theirs))


if __name__ == "__main__":
    main()
