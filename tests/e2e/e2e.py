#!/usr/bin/env python3
"""End-to-end cases: python3 e2e.py BUILD-FOLDER CASE

Every case starts its own X server and the real program, drives it with
real key and pointer events and reads back what a user would see.
"""

import http.server
import os
import re
import subprocess
import socketserver
import sys
import threading
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from harness import AccessibilityBus, Failure, Keyring, Program, Session, book, check, record, wait_until  # noqa: E402

# Places in the main window (pixels from its top left corner at 96 dpi):
# the centre of the record box, the first-name box and the comments box.
RECORD_BOX = (271, 155)
FIRST_BOX = (129, 158)
COMMENTS_BOX = (183, 432)
NEW_RECORD_BUTTON = (19, 38)
FIRST_BUTTON = (258, 213)


def title_of(s, w):
    return s.desk.title(w)


def case_enter_and_esc_close_a_record_message(build):
    # An empty book: any number typed is past the count. Enter or Esc
    # closes the message, and the key's release raises nothing more.
    with Session(build) as s:
        w = s.main_window()
        for closing_key in ("Return", "Escape"):
            s.desk.glide(*s.at(w, RECORD_BOX[0] - 40, RECORD_BOX[1] + 60), *s.at(w, *RECORD_BOX))
            s.desk.key("5")
            box = s.desk.wait_window("^X$")
            check(s.desk.windows("^X$") == [box], "one message")
            s.desk.focus(box)
            s.desk.key(closing_key)
            s.desk.wait_no_window("^X$")
            time.sleep(1.0)
            check(not s.desk.windows("^X$"), "the message came back after " + closing_key)
            check(title_of(s, w) == "PhoneBook Record: 1 of 0", "title " + title_of(s, w))
            s.desk.focus(w)


def case_hover_selects_the_number(build):
    # Record 3 of 7: the pointer glides onto the record box (many moves),
    # 5 typed replaces the whole number.
    with Session(build, book_bytes=book(*"ABCDEFG"), settings={"RecordNumber": "3"}) as s:
        w = s.main_window()
        check(title_of(s, w) == "PhoneBook Record: 3 of 7", "starts on record 3")
        s.desk.glide(*s.at(w, RECORD_BOX[0] - 60, RECORD_BOX[1] - 50), *s.at(w, *RECORD_BOX), steps=12)
        s.desk.glide(*s.at(w, *RECORD_BOX), *s.at(w, RECORD_BOX[0] + 8, RECORD_BOX[1] + 3), steps=4)
        s.desk.key("5")
        wait_until("record 5", lambda: title_of(s, w) == "PhoneBook Record: 5 of 7")
        time.sleep(0.5)
        check(not s.desk.windows("^X$"), "no message")


def case_tab_keeps_what_was_typed(build):
    # Text typed into Comments survives a Tab into the record box, and
    # Ctrl+S saves it.
    with Session(build, book_bytes=book("Ann", "Bob"), settings={"RecordNumber": "2"}) as s:
        w = s.main_window()
        s.desk.click(*s.at(w, *COMMENTS_BOX))
        s.desk.type("call after six")
        s.desk.key("Tab")   # Comments -> the record box
        time.sleep(0.5)
        s.desk.key("shift+Tab")
        s.desk.key("ctrl+s")
        wait_until("the comment in the book", lambda: b"call after six" in s.app.read("DravikBase.z8B")[440:])
        data = s.app.read("DravikBase.z8B")
        check(len(data) == 880, "two records")
        check(data[440:460].rstrip() == b"Bob", "record 2 kept its name")


def case_add_edit_find_and_list(build):
    with Session(build, book_bytes=book("Ann", "Bob")) as s:
        w = s.main_window()
        # Add: the toolbar's New Record, a name and a phone typed, Ctrl+S.
        s.desk.click(*s.at(w, *NEW_RECORD_BUTTON))
        wait_until("the new slot", lambda: title_of(s, w) == "PhoneBook Record: 3 of 2")
        s.desk.click(*s.at(w, *FIRST_BOX))
        s.desk.type("Zoe")
        s.desk.key("Tab", "Tab")
        s.desk.type("555 0100")
        s.desk.key("ctrl+s")
        wait_until("record 3", lambda: s.app.read("DravikBase.z8B")[880:] == record(first="Zoe", phone="555 0100"))
        # Edit: the first name changed and saved.
        s.desk.click(*s.at(w, *FIRST_BOX))
        s.desk.key("End", "BackSpace")   # the shown name ends in one space
        s.desk.type("y")
        s.desk.key("ctrl+s")
        wait_until("the edit", lambda: s.app.read("DravikBase.z8B")[880:900] == b"Zoey".ljust(20))
        check(s.app.read("DravikBase.z8B")[:880] == book("Ann", "Bob"), "the other records")
        # Back to the first record, then Find through Tools > Search.
        s.desk.click(*s.at(w, *FIRST_BUTTON))
        wait_until("record 1", lambda: title_of(s, w) == "PhoneBook Record: 1 of 3")
        s.desk.key("alt+t", "s", "Return")
        f = s.desk.wait_window("^Search for")
        s.desk.focus(f)
        s.desk.type("Zo")
        s.desk.key("Return")
        wait_until("the hit", lambda: title_of(s, w) == "PhoneBook Record: 3 of 3")
        # The list: Tools > Search > Show All Records...
        s.desk.focus(w)
        s.desk.key("alt+t", "s", "Down", "Return")
        s.desk.wait_window("^Available records$")


def case_new_record_takes_what_is_typed_next(build):
    # The caret in Comments, the toolbar's New Record: a name typed at once
    # is the new contact's first name, and Ctrl+S adds it.
    with Session(build, book_bytes=book("Ann", "Bob")) as s:
        w = s.main_window()
        s.desk.click(*s.at(w, *COMMENTS_BOX))
        s.desk.type("x")
        s.desk.click(*s.at(w, *NEW_RECORD_BUTTON))
        wait_until("the new slot", lambda: title_of(s, w) == "PhoneBook Record: 3 of 2")
        s.desk.type("Bernd")
        s.desk.key("ctrl+s")
        wait_until("record 3", lambda: s.app.read("DravikBase.z8B")[880:] == record(first="Bernd"), timeout=5)
        check(not s.desk.windows("^z8P Phonebook$"), "no message")


def open_import_report(s, name):
    """Tools > Contacts In and Out > Import Contacts... with keys only: the
    file's name typed into the file dialog and Enter; the report's window."""
    s.desk.key("alt+t", "c", "i")
    d = s.desk.wait_window("^Import Contacts$")
    time.sleep(0.5)
    s.desk.focus(d)
    s.desk.type(s.app.file(name))
    s.desk.key("Return")
    return wait_until("the report", lambda: [x for x in s.desk.windows("^Import Contacts$") if x != d])[0]


def case_import_contacts_from_the_keyboard(build):
    # Tools > Contacts In and Out > Import Contacts... with keys only: the
    # file's name typed into the file dialog, the report answered with
    # Enter; the cards arrive after the book's records and the title
    # counts them at once.
    cards = (b"BEGIN:VCARD\r\nVERSION:3.0\r\nN:Lee;Cy;;;\r\nTEL;TYPE=cell:+1 555 0100\r\nEND:VCARD\r\n"
             b"BEGIN:VCARD\r\nVERSION:2.1\r\nN:Moe;Dee\r\nTEL;CELL:555 0101\r\nTEL;WORK:555 0102\r\nEND:VCARD\r\n"
             b"BEGIN:VCARD\r\nFN:Eve Poe\r\nEMAIL:eve@example.org\r\nEND:VCARD\r\n")
    with Session(build, book_bytes=book("Ann", "Bob")) as s:
        with open(s.app.file("friends.vcf"), "wb") as f:
            f.write(cards)
        w = s.main_window()
        report = open_import_report(s, "friends.vcf")
        time.sleep(0.5)
        s.desk.focus(report)
        s.desk.key("Return")   # Yes, add them
        wait_until("three more records", lambda: len(s.app.read("DravikBase.z8B")) == 5 * 440)
        data = s.app.read("DravikBase.z8B")
        check(data[:880] == book("Ann", "Bob"), "the book's own records")
        check(data[880:1320] == record(first="Cy", last="Lee", phone="+1 555 0100"), "the first card")
        check(data[1320:1340].rstrip() == b"Dee" and b"555 0102" in data[1320 + 280:1760], "the second phone in Comments")
        check(data[1760:1780].rstrip() == b"Eve" and data[1780:1800].rstrip() == b"Poe", "the name from FN")
        wait_until("the new count", lambda: title_of(s, w) == "PhoneBook Record: 3 of 5")


def case_the_import_details_grow_with_their_text(build):
    # A contact with many values the book has no room for: the report's
    # Show Details (reached with Tab, pressed with Space) shows them all at
    # once instead of a few lines that scroll.
    extras = b"".join(b"TEL;TYPE=cell:+1 555 01%02d\r\nEMAIL;TYPE=home:friend%d@home.example\r\n" % (i, i)
                      for i in range(12))
    card = (b"BEGIN:VCARD\r\nVERSION:3.0\r\nN:Lee;Ann;;;\r\n" + extras + b"NOTE:" + b"n" * 150 +
            b"\r\nKEY:MIIB\r\nX-FOO:bar\r\nEND:VCARD\r\n")
    with Session(build, book_bytes=book("Ann", "Bob")) as s:
        with open(s.app.file("many.vcf"), "wb") as f:
            f.write(card)
        s.main_window()
        report = open_import_report(s, "many.vcf")
        time.sleep(0.5)
        s.desk.focus(report)
        before = s.desk.geometry(report)[3]
        s.desk.key("Tab", "Tab", "space")   # Yes, No, Show Details...
        wait_until("the details", lambda: s.desk.geometry(report)[3] > before + 60)
        time.sleep(0.5)
        grown = s.desk.geometry(report)[3] - before
        # About 20 lines of details: far more than the toolkit's fixed box.
        check(grown >= 20 * 13, "the details grew by %d pixels only" % grown)
        s.desk.key("Escape")


def case_a_screen_reader_hears_every_control(build):
    # Through AT-SPI, as Orca reads it: every box and button of the main
    # window and of the search window says what it is.
    with Session(build, book_bytes=book("Ann", "Bob")) as s, AccessibilityBus(s.x.display) as bus:
        s.app.env.update(bus.env)
        s.main_window()
        s.desk.key("alt+t", "s", "Return")
        f = s.desk.wait_window("^Search for")
        s.desk.focus(f)
        nodes = wait_until("the program on the accessibility bus",
                           lambda: [n for n in bus.tree("z8P Phonebook") if n[1] == "radio button"] and
                           bus.tree("z8P Phonebook"))
        controls = [n for n in nodes if n[3] and n[4] and n[1] in ("text", "push button", "radio button", "check box",
                                                                    "combo box", "list", "spin button")]
        check(len(controls) >= 20, "the controls are on the bus: %r" % controls)
        nameless = [n for n in controls if not n[2].strip()]
        check(not nameless, "every control has a name: %r" % nameless)
        boxes = [n[2] for n in nodes if n[1] == "text" and n[4]]
        for name in ("FirstName", "LastName", "Phone", "E-mail", "Company", "Address", "Comments", "Record number",
                     "Search for"):
            check(name in boxes, "%r among the boxes %r" % (name, boxes))


def case_escape_closes_the_search_window(build):
    with Session(build, book_bytes=book("Ann", "Bob")) as s:
        w = s.main_window()
        s.desk.key("alt+t", "s", "Return")
        f = s.desk.wait_window("^Search for")
        s.desk.focus(f)
        s.desk.type("Bo")
        s.desk.key("Escape")
        s.desk.wait_no_window("^Search for")
        check(title_of(s, w).startswith("PhoneBook Record: "), "the main window stays")


def case_escape_closes_the_print_window_and_the_records_list(build):
    # Esc from the real keyboard closes each as its Exit button does; the
    # main window stays.
    with Session(build, book_bytes=book("Ann", "Bob")) as s:
        w = s.main_window()
        s.desk.key("alt+f", "p")
        p = s.desk.wait_window("^Print$")
        s.desk.focus(p)
        s.desk.key("Escape")
        s.desk.wait_no_window("^Print$")
        s.desk.focus(w)
        s.desk.key("alt+t", "s", "Down", "Return")
        r = s.desk.wait_window("^Available records$")
        s.desk.focus(r)
        s.desk.key("Escape")
        s.desk.wait_no_window("^Available records$")
        check(title_of(s, w).startswith("PhoneBook Record: "), "the main window stays")


def case_triple_click_in_the_viewer_takes_one_line(build):
    # All Records to a File fills the viewer; a triple click takes one line.
    with Session(build, book_bytes=book(*["N%d" % i for i in range(1, 200)])) as s:
        w = s.main_window()
        s.desk.key("alt+f", "p")
        p = s.desk.wait_window("^Print$")
        # Print window, in pixels: "All Records", "To a File", then Print.
        s.desk.click(*s.at(p, 20, 99))
        s.desk.click(*s.at(p, 140, 75))
        s.desk.click(*s.at(p, 100, 21))
        v = s.desk.wait_window("^Info\\.\\.\\.$")
        time.sleep(1.0)
        vx, vy, vw, vh = s.desk.geometry(v)
        s.desk.click(vx + 60, vy + 80, repeat=3)
        s.desk.focus(v)
        s.desk.key("ctrl+c")
        text = wait_until("the clipboard", lambda: s.desk.clipboard())
        check("\n" not in text.strip("\n") and "\u2028" not in text, "one line, not %r" % text[:200])
        check(text.strip() != "", "a line")


def case_names_planted_beside_the_book_are_not_followed(build):
    # While the window is open, a link is planted at the journal's name and
    # a pipe at the print file's: Add writes nothing through the link (and
    # says why), All Records to a File does not hang on the pipe.
    with Session(build, book_bytes=book("Ann", "Bob")) as s:
        w = s.main_window()
        victim = os.path.join(s.tmp, "victim")
        with open(victim, "wb") as f:
            f.write(b"precious")
        os.symlink(victim, s.app.file("DravikBase.z8B-journal"))
        os.mkfifo(s.app.file("PhonePrint.z8P"))
        s.desk.click(*s.at(w, *NEW_RECORD_BUTTON))
        wait_until("the new slot", lambda: title_of(s, w) == "PhoneBook Record: 3 of 2")
        s.desk.type("Zed")
        s.desk.key("ctrl+s")
        box = s.desk.wait_window("^ERROR")
        check(open(victim, "rb").read() == b"precious", "the link's target was written")
        check(s.app.read("DravikBase.z8B") == book("Ann", "Bob"), "the book changed")
        s.desk.focus(box)
        s.desk.key("Return")
        s.desk.wait_no_window("^ERROR")
        s.desk.focus(w)
        s.desk.key("alt+f", "p")
        p = s.desk.wait_window("^Print$")
        s.desk.click(*s.at(p, 20, 99))     # All Records
        s.desk.click(*s.at(p, 140, 75))    # To a File
        s.desk.click(*s.at(p, 100, 21))    # Print
        s.desk.wait_window("^Info\\.\\.\\.$", timeout=10)
        check(os.path.isfile(s.app.file("PhonePrint.z8P")) and b"Bob" in s.app.read("PhonePrint.z8P"),
              "the print file")
        check(open(victim, "rb").read() == b"precious", "the link's target was written")


def case_two_windows_never_overwrite_each_others_diaries(build):
    # Two runs on one folder, each with its diaries open on the same entry:
    # the first saves; the second's save would write over what it never
    # read, and is refused with a word instead.
    with Session(build, book_bytes=book("Ann")) as s:
        w1 = s.main_window()
        other = Program(build, s.tmp, s.x.display).start()
        try:
            w2 = wait_until("the second main window",
                            lambda: [x for x in s.desk.windows("^PhoneBook Record: ") if x != w1], timeout=20)[0]
            time.sleep(0.5)
            diaries = []
            for w in (w1, w2):
                s.desk.focus(w)
                s.desk.key("alt+f", "o", "Down", "Return")   # File > Open > DiariesBook...
                diaries.append(wait_until("its diaries", lambda: [x for x in s.desk.windows("^DiariesBook")
                                                                  if x not in diaries])[0])
            time.sleep(0.5)
            s.desk.focus(diaries[0])
            s.desk.type("first window")
            s.desk.key("ctrl+s")
            wait_until("the first save", lambda: b"first window" in s.app.read("Diaries.z8D"))
            s.desk.focus(diaries[1])
            s.desk.type("second window")
            s.desk.key("ctrl+s")
            s.desk.wait_window("^ERROR")
            data = s.app.read("Diaries.z8D")
            check(b"first window" in data and b"second window" not in data, "the first save was overwritten")
        finally:
            other.stop()


def full_book():
    """32767 contacts of realistic length."""
    return b"".join(record(first="Given%d" % i, last="Family%d" % i, phone="+44 20 7946 %05d" % i,
                           email="given%d@example.org" % i, company="Company %d; Sales, North" % i,
                           address="%d High Street\r\nBath BA1 1AA\r\nUnited Kingdom" % i,
                           comments="Met at the conference, table %d.\r\nPrefers e-mail." % i)
                    for i in range(1, 32768))


def print_all_to_pdf(s):
    """Print > All Records > To a Printer, and the printer dialog's Print to
    File (PDF) into the home folder, answered with Enter."""
    s.desk.key("alt+f", "p")
    p = s.desk.wait_window("^Print$")
    s.desk.click(*s.at(p, 20, 99))     # All Records
    s.desk.click(*s.at(p, 140, 99))    # To a Printer
    s.desk.click(*s.at(p, 100, 21))    # Print
    d = wait_until("the printer dialog", lambda: ([x for x in s.desk.windows("^Print$") if x != p] or [None])[0],
                   timeout=60)
    time.sleep(0.5)
    s.desk.focus(d)
    s.desk.key("Return")


def case_print_a_full_book_to_pdf(build):
    # All Records to a Printer on a full book: the printer dialog's "Print
    # to File (PDF)" answered with Enter; the progress shows; the PDF holds
    # the last record.
    with Session(build, book_bytes=full_book()) as s:
        w = s.main_window()
        check(title_of(s, w) == "PhoneBook Record: 1 of 32767", "a full book")
        print_all_to_pdf(s)
        s.desk.wait_window("^Printing$", timeout=10)
        pdf = os.path.join(s.app.home, "print.pdf")
        wait_until("the whole print", lambda: not s.desk.windows("^Printing$") and os.path.exists(pdf), timeout=200)
        last_page = subprocess.run(["pdfinfo", pdf], stdout=subprocess.PIPE, text=True).stdout
        pages = int(re.search(r"Pages:\s+(\d+)", last_page).group(1))
        text = subprocess.run(["pdftotext", "-f", str(pages), "-l", str(pages), pdf, "-"], stdout=subprocess.PIPE,
                              text=True).stdout
        check("Given32767" in text and "United Kingdom" in text, "the last record on the last page")
        s.desk.wait_window("^Info\\.\\.\\.$")


def resident_kb(pid):
    with open("/proc/%d/status" % pid) as f:
        return int(re.search(r"VmRSS:\s+(\d+)", f.read()).group(1))


def case_a_cancelled_print_leaves_nothing_behind(build):
    # All Records to a Printer on a full book, Print to File (PDF), then
    # Escape in the progress window at once: no PDF stays, and once the
    # viewer is closed the memory the print took is given back.
    with Session(build, book_bytes=full_book()) as s:
        w = s.main_window()
        time.sleep(1.0)
        before = resident_kb(s.app.proc.pid)
        print_all_to_pdf(s)
        progress = s.desk.wait_window("^Printing$", timeout=10)
        s.desk.focus(progress)
        s.desk.key("Escape")
        s.desk.wait_no_window("^Printing$", timeout=20)
        v = s.desk.wait_window("^Info\\.\\.\\.$")
        pdf = os.path.join(s.app.home, "print.pdf")
        time.sleep(1.0)
        check(not os.path.exists(pdf), "the cancelled print left %s" % pdf)
        s.desk.focus(v)
        s.desk.key("Escape")   # the viewer closes, and the text it held goes
        s.desk.wait_no_window("^Info\\.\\.\\.$")
        time.sleep(1.0)
        after = resident_kb(s.app.proc.pid)
        check(after - before <= 10 * 1024, "%d KiB more resident after the print than before" % (after - before))


class Site(http.server.BaseHTTPRequestHandler):
    """A loopback web site; every request goes to the log."""

    log = []
    pages = {}

    def do_GET(self):
        Site.log.append(self.path)
        if self.path == "/broken.bin":
            self.send_response(200)
            self.send_header("Content-Type", "application/octet-stream")
            self.send_header("Content-Disposition", "attachment; filename=broken.bin")
            self.send_header("Content-Length", "1000000")
            self.end_headers()
            self.wfile.write(b"x" * 1000)
            self.wfile.flush()
            self.connection.shutdown(2)
            return
        body = Site.pages.get(self.path, b"<title>Page %s</title>" % self.path[1:].encode())
        self.send_response(200)
        self.send_header("Content-Type", "text/html")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def log_message(self, *args):
        pass


def serve():
    server = socketserver.ThreadingTCPServer(("127.0.0.1", 0), Site)
    server.daemon_threads = True
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return server


def open_browser(s, w):
    s.desk.focus(w)
    s.desk.key("alt+f", "o", "Return")   # File > Open > z8P Surfer...
    # The web engine may make the window anew once it sets up its drawing:
    # the window is taken once it has kept its identity for a while.
    last = None
    for _ in range(20):
        b = s.desk.wait_window("^z8P Surfer")
        if b == last:
            break
        last = b
        time.sleep(1.0)
    s.desk.focus(b)
    return b


ADDRESS_BOX = (420, 40)   # in the browser window, right of its toolbar


def go_to(s, b, address):
    """Types an address into the browser's address box and presses Enter."""
    s.desk.click(*s.at(b, *ADDRESS_BOX), repeat=3)
    s.desk.key("ctrl+a")
    s.desk.type(address)
    s.desk.key("Return")


class LoopbackSite:
    """The loopback site for one case, shut down after it."""

    def __enter__(self):
        self.server = serve()
        self.port = self.server.server_address[1]
        return self

    def __exit__(self, *exc):
        self.server.shutdown()


def case_closing_after_the_browser_ends_the_program(build):
    # The browser opened and closed, then File > Close z8P Phonebook: the
    # program ends, with the web engine's processes, as it does without.
    with Session(build) as s:
        w = s.main_window()
        open_browser(s, w)
        engines = wait_until("the web engine's processes", lambda: subprocess.run(
            ["pgrep", "-P", str(s.app.proc.pid)], stdout=subprocess.PIPE, text=True).stdout.split())
        s.desk.key("alt+f", "c")   # the browser's File > Close z8P Surfer
        s.desk.wait_no_window("^z8P Surfer")
        s.desk.focus(w)
        s.desk.key("alt+f", "c")   # the main window's File > Close z8P Phonebook
        s.desk.wait_no_window("^PhoneBook Record: ")
        wait_until("the program's end", lambda: s.app.proc.poll() is not None, timeout=20)
        check(s.app.proc.returncode == 0, "exit status %r" % s.app.proc.returncode)
        wait_until("the web engine's end", lambda: not [p for p in engines if os.path.exists("/proc/" + p)], timeout=10)


def case_browser_enter_navigates(build):
    with LoopbackSite() as site, Session(build) as s:
        b = open_browser(s, s.main_window())
        go_to(s, b, "127.0.0.1:%d/typed.htm" % site.port)   # no scheme: a web address
        wait_until("the request", lambda: "/typed.htm" in Site.log)
        wait_until("the page's title", lambda: "Page typed.htm" in s.desk.title(b))


def case_browser_blank_links_open_here(build):
    Site.pages["/links.htm"] = (b"<html><head><title>Links</title><style>a{display:block;position:fixed;left:0;top:0;"
                                b"right:0;bottom:0}</style></head><body><a href='/target.htm' target='_blank'>go</a>"
                                b"</body></html>")
    with LoopbackSite() as site, Session(build) as s:
        b = open_browser(s, s.main_window())
        go_to(s, b, "http://127.0.0.1:%d/links.htm" % site.port)
        wait_until("the links page", lambda: "Links" in s.desk.title(b))
        x, y, width, height = s.desk.geometry(b)
        s.desk.glide(x + width // 2 - 30, y + height // 2 - 30, x + width // 2, y + height // 2)
        s.desk.click(x + width // 2, y + height // 2)
        wait_until("the target", lambda: "/target.htm" in Site.log)
        wait_until("the target in this window", lambda: "Page target.htm" in s.desk.title(b))


def case_browser_broken_download_is_told_once(build):
    with LoopbackSite() as site, Session(build) as s:
        b = open_browser(s, s.main_window())
        go_to(s, b, "http://127.0.0.1:%d/broken.bin" % site.port)
        d = s.desk.wait_window("^Save download$")
        s.desk.focus(d)
        s.desk.key("ctrl+a")
        s.desk.type(os.path.join(s.tmp, "broken.bin"))
        s.desk.key("Return")
        m = s.desk.wait_window("^Download$")
        time.sleep(3.0)
        check(len(s.desk.windows("^Save download$")) == 0, "asked once")
        check(len(s.desk.windows("^Download$")) == 1, "told once")
        s.desk.focus(m)
        s.desk.key("Return")
        s.desk.wait_no_window("^Download$")
        time.sleep(2.0)
        check(not s.desk.windows("^Save download$") and not s.desk.windows("^Download$"), "nothing more")


class CardDav(http.server.BaseHTTPRequestHandler):
    """A loopback CardDAV address book (/anna/contacts/, user anna, password
    secret), answering as plain servers do: HTTP/1.0, Basic sign-in, no
    sync-collection (the client lists everything). Every request goes to
    the log."""

    cards = {}
    log = []
    etags = [0]
    BOOK = "/anna/contacts/"

    def _body(self):
        return self.rfile.read(int(self.headers.get("Content-Length") or 0))

    def _send(self, status, body=b"", headers=()):
        self.send_response(status)
        for k, v in headers:
            self.send_header(k, v)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def _signed_in(self):
        import base64
        if self.headers.get("Authorization") == "Basic " + base64.b64encode(b"anna:secret").decode():
            return True
        self._send(401, b"", [("WWW-Authenticate", 'Basic realm="dav"')])
        return False

    def _multistatus(self, inner):
        body = (b'<?xml version="1.0"?><d:multistatus xmlns:d="DAV:" xmlns:c="urn:ietf:params:xml:ns:carddav">' +
                inner + b"</d:multistatus>")
        self._send(207, body, [("Content-Type", "application/xml")])

    def do_PROPFIND(self):
        self._body()
        CardDav.log.append("PROPFIND " + self.path)
        if not self._signed_in():
            return
        if self.path != CardDav.BOOK:
            return self._send(404)
        inner = (b"<d:response><d:href>" + CardDav.BOOK.encode() + b"</d:href><d:propstat><d:prop><d:resourcetype>"
                 b"<d:collection/><c:addressbook/></d:resourcetype><d:displayname>Contacts</d:displayname></d:prop>"
                 b"<d:status>HTTP/1.1 200 OK</d:status></d:propstat></d:response>")
        for path, (etag, _) in sorted(CardDav.cards.items()):
            inner += (b"<d:response><d:href>" + path.encode() + b"</d:href><d:propstat><d:prop><d:getetag>" + etag +
                      b"</d:getetag></d:prop><d:status>HTTP/1.1 200 OK</d:status></d:propstat></d:response>")
        self._multistatus(inner)

    def do_REPORT(self):
        body = self._body()
        CardDav.log.append("REPORT " + self.path)
        if not self._signed_in():
            return
        if b"sync-collection" in body:
            return self._send(403)
        inner = b""
        for href in re.findall(rb"<d:href>([^<]*)</d:href>", body):
            etag, card = CardDav.cards[href.decode()]
            inner += (b"<d:response><d:href>" + href + b"</d:href><d:propstat><d:prop><d:getetag>" + etag +
                      b"</d:getetag><c:address-data>" + card.replace(b"&", b"&amp;").replace(b"<", b"&lt;") +
                      b"</c:address-data></d:prop><d:status>HTTP/1.1 200 OK</d:status></d:propstat></d:response>")
        self._multistatus(inner)

    def do_PUT(self):
        body = self._body()
        CardDav.log.append("PUT " + self.path)
        if not self._signed_in():
            return
        if self.headers.get("If-None-Match") == "*" and self.path in CardDav.cards:
            return self._send(412)
        CardDav.etags[0] += 1
        etag = b'"%d"' % CardDav.etags[0]
        CardDav.cards[self.path] = (etag, body)
        self._send(201, b"", [("ETag", etag.decode())])

    def log_message(self, *args):
        pass


def case_sync_from_the_keyboard(build):
    # Sync > Account... with keys only: the server's address, the user and
    # the password typed, Remember ticked, Test Connection pressed with its
    # mnemonic, OK with Enter; Sync > Sync Now: the address book's contacts
    # arrive in the book, the book's own go there, and the report says so.
    # Started again, the program syncs with the password the desktop's
    # keyring kept.
    CardDav.cards = {CardDav.BOOK + "ann.vcf": (b'"a1"', b"BEGIN:VCARD\r\nVERSION:3.0\r\nN:Lee;Ann;;;\r\nFN:Ann Lee\r\n"
                                                b"TEL;TYPE=CELL:+1 555 0100\r\nEND:VCARD\r\n")}
    server = socketserver.ThreadingTCPServer(("127.0.0.1", 0), CardDav)
    server.daemon_threads = True
    threading.Thread(target=server.serve_forever, daemon=True).start()
    try:
        with Session(build, book_bytes=book("Bob")) as s, Keyring(s.app.home) as keyring:
            s.app.env.update(keyring.env)
            w = s.main_window()
            s.desk.focus(w)
            s.desk.key("alt+y", "a")
            d = s.desk.wait_window("^Sync Account$")
            time.sleep(0.5)
            s.desk.focus(d)
            s.desk.type("http://127.0.0.1:%d%s" % (server.server_address[1], CardDav.BOOK))
            s.desk.key("Tab")
            s.desk.type("anna")
            s.desk.key("Tab")
            s.desk.type("secret")
            s.desk.key("alt+r")
            s.desk.key("alt+t")
            wait_until("the address book found", lambda: "PROPFIND " + CardDav.BOOK in CardDav.log)
            time.sleep(0.5)
            s.desk.key("Return")
            s.desk.wait_no_window("^Sync Account$")
            s.desk.focus(w)
            s.desk.key("alt+y", "s")
            # Both sides hold contacts: the first sync asks how to join them;
            # Enter merges.
            question = s.desk.wait_window("^Sync$")
            time.sleep(0.5)
            s.desk.focus(question)
            s.desk.key("Return")
            report = wait_until("the report", lambda: [x for x in s.desk.windows("^Sync$") if x != question])[0]
            data = s.app.read("DravikBase.z8B")
            check(data[:440] == book("Bob"), "the book's own record")
            check(data[440:460].rstrip() == b"Ann" and b"+1 555 0100" in data[440:880], "the address book's contact")
            sent = [p for p in CardDav.cards if not p.endswith("ann.vcf")]
            check(len(sent) == 1 and b"FN:Bob" in CardDav.cards[sent[0]][1], "the book's record went there")
            wait_until("the new count", lambda: title_of(s, w).endswith(" of 2"))
            s.desk.focus(report)
            s.desk.key("Return")
            s.desk.wait_no_window("^Sync$")
            check(not os.stat(s.app.file("DravikBase.z8B-sync")).st_mode & 0o077, "the sync state is private")
            settings = open(os.path.join(s.app.home, "config", "RiveVozuDezi.ini"), "rb").read()
            check(b"secret" not in settings, "no password in the settings")

            s.app.stop()
            s.app = Program(build, s.tmp, s.x.display, env=keyring.env)
            w = s.main_window()
            before = len(CardDav.log)
            s.desk.key("alt+y", "s")
            report = s.desk.wait_window("^Sync$")
            check(not s.desk.windows("^Sync Account$"), "no password asked for")
            check(any(e.startswith("PROPFIND") for e in CardDav.log[before:]), "signed in with the kept password")
            s.desk.focus(report)
            s.desk.key("Return")
            s.desk.wait_no_window("^Sync$")
    finally:
        server.shutdown()


def case_sync_conflict_chosen_from_the_keyboard(build):
    # A number changed here and on the server: Sync > Sync Now shows the
    # conflicts window, the keyboard on the first row's choice; Down to "Take there",
    # Alt+A applies it: the server's number is in the book, this book's in
    # the file of versions not kept.
    CardDav.cards = {CardDav.BOOK + "ann.vcf": (b'"a1"', b"BEGIN:VCARD\r\nVERSION:3.0\r\nN:Lee;Ann;;;\r\nFN:Ann Lee\r\n"
                                                b"TEL;TYPE=CELL:+1 555 0100\r\nEND:VCARD\r\n")}
    server = socketserver.ThreadingTCPServer(("127.0.0.1", 0), CardDav)
    server.daemon_threads = True
    threading.Thread(target=server.serve_forever, daemon=True).start()
    try:
        with Session(build) as s, Keyring(s.app.home) as keyring:
            s.app.env.update(keyring.env)
            # Linked once by the tool, the password kept in the keyring.
            with open(s.app.file("DravikBase.z8B"), "wb") as f:
                f.write(b"")
            fd = os.open(s.app.file("password"), os.O_WRONLY | os.O_CREAT, 0o600)
            os.write(fd, b"secret")
            os.close(fd)
            url = "http://127.0.0.1:%d%s" % (server.server_address[1], CardDav.BOOK)
            for args in (["--account", url, "--user", "anna", "--remember"], []):
                p = subprocess.run([os.path.join(build, "z8p-phonebook-tool"), "sync", "--password-file", "password"] + args,
                                   cwd=s.app.folder, env=s.app.env, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
                check(p.returncode == 0, "the tool's sync: %s" % p.stdout.decode(errors="replace"))
            # Changed on both sides.
            data = bytearray(s.app.read("DravikBase.z8B"))
            data[40:67] = b"+1 555 0199".ljust(27)
            with open(s.app.file("DravikBase.z8B"), "wb") as f:
                f.write(data)
            card = CardDav.cards[CardDav.BOOK + "ann.vcf"][1].replace(b"0100", b"0111")
            CardDav.cards[CardDav.BOOK + "ann.vcf"] = (b'"a2"', card)

            w = s.main_window()
            s.desk.key("alt+y", "s")
            d = s.desk.wait_window("^Sync Conflicts$")
            time.sleep(0.5)
            s.desk.focus(d)
            s.desk.key("Down")
            s.desk.key("alt+a")
            report = s.desk.wait_window("^Sync$")
            wait_until("the server's number", lambda: b"+1 555 0111" in s.app.read("DravikBase.z8B")[40:67])
            kept = [n for n in os.listdir(s.app.folder) if n.endswith(".not-kept.vcf")]
            check(len(kept) == 1 and b"+1 555 0199" in s.app.read(kept[0]), "this book's number kept aside")
            s.desk.focus(report)
            s.desk.key("Return")
            s.desk.wait_no_window("^Sync$")
    finally:
        server.shutdown()


def main():
    build, name = sys.argv[1], sys.argv[2]
    case = globals().get("case_" + name)
    if not case:
        print("no such case: " + name)
        return 2
    try:
        case(os.path.abspath(build))
    except Failure as e:
        print("FAIL %s: %s" % (name, e))
        return 1
    print("PASS " + name)
    return 0


if __name__ == "__main__":
    sys.exit(main())
