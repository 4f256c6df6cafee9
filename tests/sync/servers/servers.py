#!/usr/bin/env python3
"""The sync against real servers: python3 servers.py BUILD-FOLDER CASE

Radicale (with a password) and Xandikos, each started on a free loopback
port with a storage folder of its own, vdirsyncer as the user's phone, the
command-line tool as the user runs it, and a proxy between the tool and the
server for the faults.
"""

import base64
import os
import re
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "e2e"))
from dav import Book, Failure, Phone, Proxy, Radicale, Xandikos, card, check, uids  # noqa: E402
from harness import Keyring  # noqa: E402

PHOTO = base64.b64encode(bytes(range(256)) * 8)   # 2 kB of picture
DORA = card("dora-1", "Dora", "Photo", tel="+1 555 0101", email="dora@example.org",
            extra=b"TEL;TYPE=WORK:+1 555 0102\r\nTEL;TYPE=HOME:+1 555 0103\r\nPHOTO;ENCODING=b;TYPE=JPEG:" + PHOTO +
            b"\r\nX-ANNIVERSARY:2001-02-03\r\nCATEGORIES:Friends,Work\r\nitem1.URL:https://dora.example.org/\r\n"
            b"item1.X-ABLABEL:blog")


def unfolded(data):
    return [l.rstrip(b"\r") for l in re.sub(rb"\r?\n[ \t]", b"", data).split(b"\n") if l.strip()]


def props(data, name):
    # In no order: a server may write a card's lines in its own.
    return sorted(l for l in unfolded(data) if l.split(b":")[0].split(b";")[0].split(b".")[-1].upper() == name)


def firsts(book):
    return sorted(r["first"] for r in book.records())


def sync(book, *args, expect=0, password=None):
    status, out = book.run("sync", *args, password=password)
    check(status == expect, "sync %s: exit %d, not %d:\n%s" % (" ".join(args), status, expect, out))
    return out


def make_remote_book(server, name):
    """A second, empty address book, made with an extended MKCOL."""
    path = server.path.rstrip("/").rsplit("/", 1)[0] + "/" + name + "/"
    status, _, _ = server.request("MKCOL", path, b'<?xml version="1.0"?><d:mkcol xmlns:d="DAV:" '
                                  b'xmlns:c="urn:ietf:params:xml:ns:carddav"><d:set><d:prop><d:resourcetype>'
                                  b'<d:collection/><c:addressbook/></d:resourcetype><d:displayname>' + name.encode() +
                                  b'</d:displayname></d:prop></d:set></d:mkcol>', {"Content-Type": "application/xml"})
    check(status == 201, "MKCOL answered %d" % status)
    return path


def first_syncs(build, tmp, server):
    # An empty book takes a full address book.
    fresh = Book(build, os.path.join(tmp, "fresh"))
    fresh.write([])
    sync(fresh, "--account", server.url(), "--user", server.user or "", password=server.password or "")
    sync(fresh, password=server.password or "")
    check(firsts(fresh) == ["Carol", "Dora", "Eve"], "the address book's contacts: %r" % firsts(fresh))
    # A full book fills an empty address book.
    path = make_remote_book(server, "empty")
    full = Book(build, os.path.join(tmp, "full"), [dict(first=n, last="Full", phone="+1 555 02%02d" % i)
                                                   for i, n in enumerate(["Fay", "Gus", "Hal"])])
    sync(full, "--account", server.url(path), "--user", server.user or "", password=server.password or "")
    sync(full, password=server.password or "")
    cards = server.cards(path)
    check(len(cards) == 3 and len(uids(cards)) == 3, "the book's records on the server once each")
    sync(full, password=server.password or "")   # nothing more
    check(len(server.cards(path)) == 3 and len(full.records()) == 3, "a second sync changes nothing")


def scenario(build, tmp, server, password=None):
    """The user's day: the phone and the book both full, edits, deletions
    and a conflict on each side, then a sync with nothing to do."""
    phone = Phone(os.path.join(tmp, "phone"), server)
    phone.write("dora.vcf", DORA)
    phone.write("eve.vcf", card("eve-1", "Eve", "Adams", tel="+1 555 0104", email="eve@example.org"))
    phone.write("carol.vcf", card("carol-1", "Carol", "Baker", email="carol@example.org"))
    phone.sync()
    first_syncs(build, tmp, server)

    with Proxy(server) as proxy:
        book = Book(build, os.path.join(tmp, "book"), [dict(first="Bob", last="Stone", email="bob@example.org"),
                                                       dict(first="Carol", last="Baker", email="carol@example.org",
                                                            phone="+1 555 0105")])
        keyring = None
        if password:
            # The password kept in the desktop's keyring: later syncs take it
            # from there.
            keyring = Keyring(os.path.join(tmp, "keyring-home")).__enter__()
            book.env.update(keyring.env)
            out = sync(book, "--account", proxy.url(), "--user", server.user, "--remember", password=password)
            check("keyring" in out, "the password kept: " + out)
        else:
            sync(book, "--account", proxy.url())
        try:
            day(book, phone, server, proxy)
        finally:
            if keyring:
                keyring.__exit__(None, None, None)


def day(book, phone, server, proxy):
    out = sync(book, expect=2)
    check("--first" in out, "a first sync with both sides full asks: " + out)
    sync(book, "--first", "merge")
    check(firsts(book) == ["Bob", "Carol", "Dora", "Eve"], "merged: %r" % firsts(book))
    check([r["phone"] for r in book.records() if r["first"] == "Carol"] == ["+1 555 0105"], "Carol's number kept")
    check(len(uids(server.cards())) == 4, "four contacts on the server")
    phone.sync()

    # Edited here: the card with a photo and three numbers comes back whole.
    book.edit("Dora", phone="+1 555 0199")
    sync(book)
    phone.sync()
    dora = phone.read(phone.find("Dora"))
    check(props(dora, b"TEL") == sorted([b"TEL;TYPE=CELL:+1 555 0199", b"TEL;TYPE=WORK:+1 555 0102",
                                         b"TEL;TYPE=HOME:+1 555 0103"]), "the numbers: %r" % props(dora, b"TEL"))
    for name in (b"PHOTO", b"X-ANNIVERSARY", b"CATEGORIES", b"URL", b"X-ABLABEL", b"UID"):
        check(props(dora, name) == props(DORA, name), "%s kept: %r" % (name, props(dora, name)[:1]))

    # Edited on the phone.
    bob = phone.find("Bob")
    phone.write(bob, phone.read(bob).replace(b"bob@example.org", b"robert@example.org"))
    phone.sync()
    sync(book)
    check([r["email"] for r in book.records() if r["first"] == "Bob"] == ["robert@example.org"], "Bob's new address")

    # Deleted here, and on the phone.
    book.delete("Carol")
    sync(book)
    phone.sync()
    check(not [n for n in os.listdir(phone.cards) if b"Carol" in phone.read(n)], "Carol gone from the phone")
    phone.remove(phone.find("Eve"))
    phone.sync()
    sync(book)
    check(firsts(book) == ["Bob", "Dora"], "Eve gone from the book: %r" % firsts(book))

    # The same field changed on both sides: reported, then settled.
    book.edit("Bob", company="Here Ltd")
    bob = phone.find("Bob")
    phone.write(bob, phone.read(bob).replace(b"END:VCARD", b"ORG:There Inc\r\nEND:VCARD"))
    phone.sync()
    out = sync(book, expect=3)
    check("Bob" in out and "Company" in out, "the conflict, by contact and field: " + out)
    out = sync(book, "--prefer", "there")
    check([r["company"] for r in book.records() if r["first"] == "Bob"] == ["There Inc"], "the server's version won")
    kept = sorted(n for n in os.listdir(book.folder) if n.endswith(".not-kept.vcf"))
    check(len(kept) == 1 and b"Here Ltd" in open(book.path(kept[-1]), "rb").read(),
          "the loser kept: %r" % [open(book.path(n), "rb").read() for n in kept])
    phone.sync()

    # Nothing to do: one look at the address book, nothing written.
    since = len(proxy.log)
    sync(book)
    asked = [e.split(" ")[0] for e in proxy.log[since:] if not e.endswith(" 401")]   # (the sign-in's asking aside)
    check(asked.count("PROPFIND") + asked.count("REPORT") == 1 and "PUT" not in asked and "DELETE" not in asked,
          "a sync with nothing to do: %r" % proxy.log[since:])

    cards = server.cards()
    check(len(uids(cards)) == len(book.records()) == len(os.listdir(phone.cards)) == 2, "two contacts everywhere")
    status, out = book.run("check")
    check(status == 0, "the book checks clean: " + out)
    phone.sync()


def case_radicale(build, tmp):
    with Radicale(os.path.join(tmp, "radicale")) as server:
        scenario(build, tmp, server, password=server.password)


def case_xandikos(build, tmp):
    with Xandikos(os.path.join(tmp, "xandikos")) as server:
        scenario(build, tmp, server)


# Faults: each on a fresh server and book.

SERVER_CARDS = [card("s%d" % i, n, "Server", tel="+1 555 03%02d" % i, email="%s@example.org" % n.lower())
                for i, n in enumerate(["Ivy", "Jon", "Kim", "Lou"])]
BOOK_RECORDS = [dict(first="Jon", last="Server", phone="+1 555 0301", email="jon@example.org"),
                dict(first="Kim", last="Server", email="kim@example.org", company="Kim's"),
                dict(first="Max", last="Book", phone="+1 555 0400"),
                dict(first="Ned", last="Book", phone="+1 555 0401"),
                dict(first="Oz", last="Book", phone="+1 555 0402")]


class Fresh:
    """A Radicale with the server's four cards, a book with its five records
    (two of them alike), the account set through a proxy."""

    def __init__(self, build, tmp, name, records=BOOK_RECORDS, cards=SERVER_CARDS):
        folder = os.path.join(tmp, name)
        self.server = Radicale(os.path.join(folder, "radicale")).__enter__()
        for i, c in enumerate(cards):
            self.server.put(self.server.path + "seed%d.vcf" % i, c)
        self.proxy = Proxy(self.server).__enter__()
        self.book = Book(build, os.path.join(folder, "book"), records)
        sync(self.book, "--account", self.proxy.url(), "--user", "anna", password="secret")
        self.proxy.log.clear()

    def sync(self, *args, expect=0):
        return sync(self.book, *args, expect=expect, password="secret")

    def state(self):
        """The book's records and the server's contacts, in no order."""
        cards = self.server.cards()
        uids(cards)
        names = sorted(tuple(props(c, b"FN") + props(c, b"TEL") + props(c, b"EMAIL")) for _, c in cards.values())
        return sorted(tuple(sorted(r.items())) for r in self.book.records()), names

    def close(self):
        self.proxy.__exit__()
        self.server.__exit__()


def case_faults(build, tmp):
    clean = Fresh(build, tmp, "clean")
    clean.sync("--first", "merge")
    requests = len(clean.proxy.log)
    end = clean.state()
    check(len(end[0]) == 7 and len(end[1]) == 7, "seven contacts on each side: %r" % (end,))
    clean.close()

    # The connection cut, or the tool killed, at each request of a first
    # sync: the next sync reaches the same end, nothing twice.
    for k in range(1, requests + 1):
        for how in ("cut", "kill"):
            f = Fresh(build, tmp, "%s%d" % (how, k))

            def fault(n, *_, k=k, how=how, f=f):
                if n == k:
                    if how == "kill":
                        f.book.kill()
                    return "cut"
                return None
            f.proxy.fault = fault
            status, out = f.book.run("sync", "--first", "merge", password="secret")
            f.proxy.fault = None
            if status != 0:
                f.sync("--first", "merge")
            check(f.state() == end, "%s at request %d (%s): %r" % (how, k, f.proxy.log[k - 1], f.state()))
            status, out = f.book.run("check")
            check(status == 0, "the book checks clean: " + out)
            f.close()
            shutil.rmtree(os.path.join(tmp, "%s%d" % (how, k)), ignore_errors=True)

    # Another client changes a card between our reading and our writing:
    # the server's 412, the card read again and merged.
    f = Fresh(build, tmp, "precondition")
    f.sync("--first", "merge")
    f.book.edit("Ivy", phone="+1 555 0999")
    href = [h for h, (_, c) in f.server.cards().items() if b"FN:Ivy" in c][0]

    def meanwhile(n, method, path, headers, body):
        if method == "PUT" and path == href:
            etag, c = f.server.cards()[href]
            f.server.put(href, c.replace(b"ivy@example.org", b"ivy@elsewhere.org"), etag)
            f.proxy.fault = None
        return None
    f.proxy.fault = meanwhile
    f.sync()
    check("PUT %s 412" % href in f.proxy.log, "the write refused once: %r" % f.proxy.log)
    ivy = f.server.cards()[href][1]
    check(b"+1 555 0999" in ivy and b"ivy@elsewhere.org" in ivy, "both changes on the server")
    check([r["email"] for r in f.book.records() if r["first"] == "Ivy"] == ["ivy@elsewhere.org"], "and here")
    f.close()

    # The server full at the second upload: the rest kept for later.
    f = Fresh(build, tmp, "full", cards=[])
    puts = []

    def full(n, method, *_):
        if method == "PUT":
            puts.append(n)
            if len(puts) == 2:
                return 507
        return None
    f.proxy.fault = full
    out = f.sync(expect=1)
    check("full" in out, "the server is full: " + out)
    f.proxy.fault = None
    f.sync()
    book, server = f.state()
    check(len(book) == 5 and len(server) == 5, "every record sent once: %r" % (server,))
    f.close()

    # A server too slow for the time limit, once: the read asked again. A
    # server that fails sync-collection: the address book listed instead.
    f = Fresh(build, tmp, "slow")
    f.book.set_setting("TimeoutSeconds", "2")
    f.proxy.fault = lambda n, *_: 3.5 if n == 1 else None
    f.sync("--first", "merge")
    check(f.proxy.log[0].split(" ")[:2] == f.proxy.log[1].split(" ")[:2], "asked again: %r" % f.proxy.log[:2])
    check(f.state() == end, "the same end as without the wait")
    f.book.edit("Max", company="Max & Co")
    since = len(f.proxy.log)
    f.proxy.fault = lambda n, method, path, headers, body: 500 if b"sync-collection" in body else None
    f.sync()
    check([e for e in f.proxy.log[since:] if e.startswith("REPORT")][0].endswith(" 500"), "the report refused")
    check(any(e.startswith("PROPFIND") for e in f.proxy.log[since:]), "listed instead: %r" % f.proxy.log[since:])
    check(any(b"Max & Co" in c for _, c in f.server.cards().values()), "the change sent")
    f.close()


def case_certificate(build, tmp):
    # A server with its own certificate: refused until its fingerprint is
    # trusted, and refused again when the certificate changes.
    def certificate(name):
        crt, key = os.path.join(tmp, name + ".crt"), os.path.join(tmp, name + ".key")
        subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key, "-out", crt,
                        "-days", "2", "-subj", "/CN=127.0.0.1", "-addext", "subjectAltName=IP:127.0.0.1"],
                       check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        out = subprocess.run(["openssl", "x509", "-in", crt, "-noout", "-fingerprint", "-sha256"], check=True,
                             stdout=subprocess.PIPE, text=True).stdout
        return (crt, key), out.strip().split("=", 1)[1]

    first, print1 = certificate("first")
    book = Book(build, os.path.join(tmp, "book"), [dict(first="Ann", last="Tls")])
    with Radicale(os.path.join(tmp, "r1"), tls=first) as server:
        url = server.url().replace("http:", "https:")
        status, out = book.run("sync", "--account", url, "--user", "anna", password="secret")
        check(status == 2 and print1 in out, "refused, with the fingerprint to confirm: " + out)
        sync(book, "--account", url, "--user", "anna", "--trust-fingerprint", print1, password="secret")
        sync(book, password="secret")
        port = server.port
    second, print2 = certificate("second")
    server = Radicale(os.path.join(tmp, "r2"), tls=second)
    server.port = port
    with server:
        status, out = book.run("sync", password="secret")
        check(status == 1 and "no longer" in out and print2 in out, "a changed certificate refused: " + out)


def main():
    build, name = os.path.abspath(sys.argv[1]), sys.argv[2]
    case = globals().get("case_" + name)
    if not case:
        print("no such case: " + name)
        return 2
    tmp = tempfile.mkdtemp(prefix="z8p-servers-")
    try:
        case(build, tmp)
    except Failure as e:
        print("FAIL %s: %s" % (name, e))
        for log in ("radicale/log", "xandikos/log"):
            if os.path.exists(os.path.join(tmp, log)):
                print(open(os.path.join(tmp, log)).read()[-3000:])
        return 1
    finally:
        shutil.rmtree(tmp, ignore_errors=True)
    print("ok " + name)
    return 0


if __name__ == "__main__":
    sys.exit(main())
