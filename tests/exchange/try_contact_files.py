#!/usr/bin/env python3
"""Imports every contact file of a folder into an empty book with the
command-line tool and accounts for each value the file holds: stored in the
book, named in the tool's report, or lost.

    python3 tests/exchange/try_contact_files.py build/z8p-phonebook-tool DIR [--verbose]

The files are read here by a reader of this script's own (not the
program's): vCard lines unfolded, quoted-printable and CHARSET decoded, CSV
cells, UTF-8, UTF-16 with or without its mark, else Windows-1252. Each value
is held to its own contact: it counts as stored when its words are in that
contact's record as the window shows it (each field up to its first two
spaces), as named when the report's lines about that contact name it or its
property, or the left-out file holds it. When the book holds another number
of records than the file has cards (cards the tool refused), the values of
that file are looked for in the whole book and report instead, and the
table says so. Lost must be 0.
"""

import codecs
import csv
import io
import os
import re
import subprocess
import sys
import tempfile
import unicodedata

SKIP = {"BEGIN", "END", "VERSION", "PRODID", "REV", "UID", "PHOTO", "LOGO", "SOUND", "KEY", "CLASS", "X-ABUID",
        "SORT-STRING", "LABEL", "MAILER", "TZ", "X-ABLABEL", "X-ABADR", "SOURCE", "KIND", "NAME", "PROFILE",
        "X-EVOLUTION-FILE-AS", "X-MOZILLA-HTML", "X-EVOLUTION-LIST", "X-EVOLUTION-LIST-SHOW_ADDRESSES",
        "X-EVOLUTION-BLOG-URL", "X-EVOLUTION-VIDEO-URL", "X-ABSHOWAS", "CLIENTPIDMAP", "X-WAB-GENDER",
        "X-KADDRESSBOOK-X-IMADDRESS"}


# Properties that have a field of the record: these must be found by value.
FIELDS = {"N", "FN", "TEL", "EMAIL", "ADR", "ORG", "NOTE"}


def text_of(raw):
    for bom, enc in ((codecs.BOM_UTF8, "utf-8-sig"), (codecs.BOM_UTF16_LE, "utf-16"), (codecs.BOM_UTF16_BE, "utf-16")):
        if raw.startswith(bom):
            return raw.decode(enc)
    # UTF-16 without its mark: every other byte of ASCII text is zero.
    head = raw[:200]
    if len(head) >= 4 and head[1::2].count(0) > len(head) // 4:
        return raw.decode("utf-16-le", errors="replace")
    if len(head) >= 4 and head[0::2].count(0) > len(head) // 4:
        return raw.decode("utf-16-be", errors="replace")
    try:
        return raw.decode("utf-8")
    except UnicodeDecodeError:
        return raw.decode("cp1252", errors="replace")


def qp(s):
    out = bytearray()
    i = 0
    b = s.encode("latin-1", errors="replace")
    while i < len(b):
        if b[i:i + 1] == b"=" and i + 2 < len(b) + 1 and re.match(rb"[0-9A-Fa-f]{2}", b[i + 1:i + 3] or b""):
            out.append(int(b[i + 1:i + 3], 16))
            i += 3
        else:
            out.append(b[i])
            i += 1
    return bytes(out)


def vcard_values(raw):
    """Each card's list of (property, value) pairs worth keeping."""
    text = text_of(raw)
    lines = re.split(r"\r\n|\n|\r", text)
    logical = []
    for line in lines:
        if logical and line[:1] in (" ", "\t"):
            logical[-1] += line[1:]
        elif (logical and logical[-1].endswith("=") and "QUOTED-PRINTABLE" in logical[-1].split(":", 1)[0].upper()
              and not re.match(r"(?i)(BEGIN|END):", line)):
            logical[-1] = logical[-1][:-1] + line
        else:
            logical.append(line)
    cards, card, depth = [], None, 0
    for line in logical:
        if ":" not in line:
            continue
        head, value = line.split(":", 1)
        parts = head.split(";")
        name = parts[0].split(".")[-1].upper().strip()
        params = [p.upper() for p in parts[1:]]
        if name == "BEGIN" and value.strip().upper() == "VCARD":
            if card is not None and depth == 0:
                cards.append(card)   # a card without its END
            card = [] if card is None or depth == 0 else card
            depth = 1
            continue
        if name == "END" and value.strip().upper() == "VCARD":
            if card is not None:
                cards.append(card)
            card, depth = None, 0
            continue
        if card is None or name in SKIP or name.startswith("X-") and name in SKIP:
            continue
        if any("QUOTED-PRINTABLE" in p for p in params):
            charset = next((p.split("=", 1)[1] for p in params if p.startswith("CHARSET=")), None)
            raw_value = qp(value)
            try:
                value = raw_value.decode(charset.lower() if charset else "utf-8")
            except (LookupError, UnicodeDecodeError):
                lenient = raw_value.decode("utf-8", errors="replace")
                mostly_utf8 = sum(1 for c in lenient if ord(c) > 0x7F and c != "\ufffd") > lenient.count("\ufffd")
                value = lenient if mostly_utf8 else raw_value.decode("cp1252", errors="replace")
        if any(p.startswith("ENCODING=B") or p == "BASE64" or p.startswith("ENCODING=BASE64") for p in params):
            continue
        value = (value.replace("\\n", " ").replace("\\N", " ").replace("\\,", ",").replace("\\;", ";")
                 .replace("\\:", ":"))
        if name in ("N", "ADR", "ORG"):
            pieces = [v for v in re.split(r"(?<!\\);", value) if v.strip()]
        else:
            pieces = [value]
        for p in pieces:
            if p.strip():
                card.append((name, p.strip()))
    if card:
        cards.append(card)
    return cards


def csv_values(raw):
    text = text_of(raw)
    sample = text.split("\n", 1)[0]
    sep = max([",", ";", "\t"], key=sample.count)
    rows = list(csv.reader(io.StringIO(text), delimiter=sep))
    if not rows:
        return []
    header = rows[0]
    out = []
    for row in rows[1:]:
        card = [(header[i] if i < len(header) else "?", v.strip()) for i, v in enumerate(row) if v.strip()]
        if card:
            out.append(card)
    return out


def words(s):
    s = unicodedata.normalize("NFC", s)
    return [w for w in re.split(r"[\s,;:()]+", s.casefold()) if w]


def cp1252_view(s):
    return "".join(c if c.encode("cp1252", errors="ignore") else "?" for c in s)


def found(value, haystack):
    hay = " ".join(words(haystack))
    for v in (value, cp1252_view(value)):
        ws = words(v)
        if ws and all(w in hay for w in ws):
            return True
        # tel: URIs and the like are stored as what they mean
        if ws and all(w.replace("tel:", "") in hay for w in ws):
            return True
    return False


FIELD_WIDTHS = (20, 20, 27, 33, 60, 120, 160)   # the record's fields, in order


def shown(record):
    """A record's text as the window shows it: each field up to a NUL or its first two spaces."""
    out, at = [], 0
    for width in FIELD_WIDTHS:
        raw = record[at:at + width].split(b"\0", 1)[0]
        cut = raw.find(b"  ")
        out.append((raw[:cut + 1] if cut >= 0 else raw).decode("cp1252", errors="replace"))
        at += width
    return " ".join(out)


def about(said, n, left_text):
    """What the report says of contact n (its lines), and the left-out file."""
    lines = [l for l in said.splitlines() if re.search(r"\bcontacts? %d\b|\bcontact %d \(" % (n, n), l)]
    return "\n".join(lines) + "\n" + left_text


def main():
    tool, folder = sys.argv[1], sys.argv[2]
    verbose = "--verbose" in sys.argv
    rows = []
    totals = [0, 0, 0, 0]
    for name in sorted(os.listdir(folder)):
        if not name.lower().endswith((".vcf", ".csv")):
            continue
        raw = open(os.path.join(folder, name), "rb").read()
        cards = csv_values(raw) if name.lower().endswith(".csv") else vcard_values(raw)
        with tempfile.TemporaryDirectory() as tmp:
            src = os.path.join(tmp, name)
            with open(src, "wb") as f:
                f.write(raw)
            env = dict(os.environ, LC_ALL="C.UTF-8", XDG_CONFIG_HOME=os.path.join(tmp, "config"),
                       XDG_DATA_HOME=os.path.join(tmp, "data"))
            p = subprocess.run([os.path.abspath(tool), "import", name, "--new"], cwd=tmp, env=env, stdout=subprocess.PIPE,
                               stderr=subprocess.PIPE, timeout=120)
            said = (p.stdout + p.stderr).decode("utf-8", errors="replace")
            book = b""
            bpath = os.path.join(tmp, "DravikBase.z8B")
            if os.path.exists(bpath):
                book = open(bpath, "rb").read()
            left = os.path.join(tmp, name.rsplit(".", 1)[0] + "-left-out.vcf")
            left_text = ""
            if os.path.exists(left):
                left_text = open(left, "rb").read().decode("utf-8", errors="replace")
        book_text = book.replace(b"\0", b" ").decode("cp1252", errors="replace")
        records = [shown(book[i:i + 440]) for i in range(0, len(book), 440)]
        per_contact = len(records) == len(cards)
        stored = named = lost = 0
        for n, card in enumerate(cards, start=1):
            record = records[n - 1] if per_contact else book_text
            told = about(said, n, left_text) if per_contact else said + left_text
            for prop, value in card:
                if found(value, record):
                    stored += 1
                elif found(value, told) or (prop not in FIELDS and re.search(r"\b%s\b" % re.escape(prop), told)):
                    named += 1   # the value, or (for data a record has no place for) its property
                else:
                    lost += 1
                    if verbose:
                        print("  lost in %s, contact %d: %s %r" % (name, n, prop, value[:80]))
        rows.append((name + ("" if per_contact else " (whole book)"), len(cards), stored, named, lost))
        for i, v in enumerate((len(cards), stored, named, lost)):
            totals[i] += v
    print("| file | contacts | values stored | values named | values lost |")
    print("|---|---|---|---|---|")
    for r in rows:
        print("| %s | %d | %d | %d | %d |" % r)
    print("| **all %d files** | %d | %d | %d | %d |" % (len(rows), *totals))
    return 1 if totals[3] else 0


if __name__ == "__main__":
    sys.exit(main())
