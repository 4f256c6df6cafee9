"""Real CardDAV servers for the sync's tests, each on a free loopback port
with a storage folder of its own, started by a test and stopped after it;
vdirsyncer syncing a folder of cards as the user's phone; a small proxy
between the program and a server that logs each request and can fail any
of them; and the program's book seen as records.
"""

import base64
import http.client
import http.server
import json
import os
import re
import signal
import socket
import socketserver
import subprocess
import threading
import time
import urllib.parse

FIELDS = [("first", 20), ("last", 20), ("phone", 27), ("email", 33), ("company", 60), ("address", 120),
          ("comments", 160)]
RECORD = 440


class Failure(AssertionError):
    pass


def check(condition, what):
    if not condition:
        raise Failure(what)


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def wait_for_port(port, proc, timeout=20):
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        if proc.poll() is not None:
            raise Failure("the server ended at start (%d)" % proc.returncode)
        try:
            socket.create_connection(("127.0.0.1", port), 0.2).close()
            return
        except OSError:
            time.sleep(0.05)
    raise Failure("the server did not start")


def record(**fields):
    out = b""
    for name, width in FIELDS:
        value = fields.get(name, "").encode("cp1252", "replace")[:width]
        out += value + b" " * (width - len(value))
    return out


def fields_of(data):
    out, at = {}, 0
    for name, width in FIELDS:
        out[name] = data[at:at + width].decode("cp1252").rstrip()
        at += width
    return out


class Server:
    """What both servers share: requests of the test's own, straight to the
    server (never through the proxy)."""

    user = password = None

    def request(self, method, path, body=None, headers=None):
        c = http.client.HTTPConnection("127.0.0.1", self.port, timeout=30)
        h = dict(headers or {})
        if self.user:
            h["Authorization"] = "Basic " + base64.b64encode(("%s:%s" % (self.user, self.password)).encode()).decode()
        c.request(method, path, body=body, headers=h)
        r = c.getresponse()
        out = (r.status, dict(r.getheaders()), r.read())
        c.close()
        return out

    def cards(self, path=None):
        """href -> (etag, card bytes) of every card of the address book."""
        path = path or self.path
        status, _, body = self.request("PROPFIND", path, b'<?xml version="1.0"?><d:propfind xmlns:d="DAV:"><d:prop>'
                                       b'<d:getetag/></d:prop></d:propfind>',
                                       {"Depth": "1", "Content-Type": "application/xml"})
        check(status == 207, "listing answered %d" % status)
        out = {}
        for href in re.findall(rb"<[^>]*href>([^<]+)</", body):
            href = urllib.parse.urlparse(href.decode()).path
            if href.rstrip("/") == path.rstrip("/"):
                continue
            status, headers, card = self.request("GET", href)
            if status == 200:
                out[href] = (headers.get("ETag") or headers.get("Etag"), card)
        return out

    def put(self, href, card, etag=None):
        headers = {"Content-Type": "text/vcard; charset=utf-8"}
        if etag:
            headers["If-Match"] = etag
        status, _, _ = self.request("PUT", href, card, headers)
        check(status in (200, 201, 204), "PUT %s answered %d" % (href, status))

    def url(self, path=None):
        return "http://127.0.0.1:%d%s" % (self.port, path or self.path)


class Radicale(Server):
    """Radicale with a user (anna, password secret) and her address book."""

    user, password = "anna", "secret"
    path = "/anna/contacts/"

    def __init__(self, folder, tls=None):
        self.folder = folder
        self.tls = tls   # (certificate, key) files
        self.port = free_port()
        self.store = os.path.join(folder, "store")
        self.proc = None

    def make_book(self, name, display):
        book = os.path.join(self.store, "collection-root", "anna", name)
        os.makedirs(book, exist_ok=True)
        with open(os.path.join(book, ".Radicale.props"), "w") as f:
            json.dump({"tag": "VADDRESSBOOK", "D:displayname": display}, f)
        return "/anna/%s/" % name

    def __enter__(self):
        os.makedirs(self.folder, exist_ok=True)
        with open(os.path.join(self.folder, "users"), "w") as f:
            f.write("anna:secret\n")
        config = os.path.join(self.folder, "config")
        with open(config, "w") as f:
            f.write("[server]\nhosts = 127.0.0.1:%d\n" % self.port)
            if self.tls:
                f.write("ssl = True\ncertificate = %s\nkey = %s\n" % self.tls)
            f.write("[auth]\ntype = htpasswd\nhtpasswd_filename = %s\nhtpasswd_encryption = plain\ndelay = 0\n"
                    "[rights]\ntype = owner_only\n[storage]\nfilesystem_folder = %s\n[logging]\nlevel = warning\n"
                    % (os.path.join(self.folder, "users"), self.store))
        self.make_book("contacts", "Contacts")
        self.proc = subprocess.Popen(["/usr/bin/radicale", "--config", config], stdout=subprocess.DEVNULL,
                                     stderr=open(os.path.join(self.folder, "log"), "w"))
        wait_for_port(self.port, self.proc)
        return self

    def __exit__(self, *exc):
        stop(self.proc)


class Xandikos(Server):
    """Xandikos with its default address book; no sign-in."""

    path = "/user/contacts/addressbook/"

    def __init__(self, folder):
        self.folder = folder
        self.port = free_port()

    def __enter__(self):
        os.makedirs(self.folder, exist_ok=True)
        self.proc = subprocess.Popen(["/usr/bin/xandikos", "-d", os.path.join(self.folder, "store"), "-l", "127.0.0.1",
                                      "-p", str(self.port), "--defaults"], stdout=subprocess.DEVNULL,
                                     stderr=open(os.path.join(self.folder, "log"), "w"))
        wait_for_port(self.port, self.proc)
        # Ready once the address book answers.
        end = time.monotonic() + 20
        while self.request("PROPFIND", self.path, b"", {"Depth": "0"})[0] != 207:
            check(time.monotonic() < end, "xandikos made no address book")
            time.sleep(0.1)
        return self

    def __exit__(self, *exc):
        stop(self.proc)


def stop(proc):
    if proc and proc.poll() is None:
        proc.terminate()
        try:
            proc.wait(10)
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.wait()


class Phone:
    """vdirsyncer keeping a folder of cards (the phone's contacts) in step
    with the address book."""

    def __init__(self, folder, server):
        self.folder = folder
        self.cards = os.path.join(folder, "cards")
        os.makedirs(self.cards, exist_ok=True)
        os.makedirs(os.path.join(folder, "status"), exist_ok=True)
        self.config = os.path.join(folder, "config")
        with open(self.config, "w") as f:
            f.write('[general]\nstatus_path = "%s/status/"\n\n[pair phone]\na = "phone_local"\nb = "phone_remote"\n'
                    'collections = null\n\n[storage phone_local]\ntype = "filesystem"\npath = "%s/"\nfileext = ".vcf"\n\n'
                    '[storage phone_remote]\ntype = "carddav"\nurl = "%s"\n' % (folder, self.cards, server.url()))
            if server.user:
                f.write('username = "%s"\npassword = "%s"\n' % (server.user, server.password))

        self.discovered = False

    def run(self, *args):
        p = subprocess.run(["/usr/bin/vdirsyncer", "-c", self.config] + list(args), stdout=subprocess.PIPE,
                           stderr=subprocess.STDOUT, text=True, timeout=120, env=dict(os.environ, LC_ALL="C.UTF-8"))
        check(p.returncode == 0 and "onflict" not in p.stdout, "the phone's %s: %s" % (args[0], p.stdout[-2000:]))

    def sync(self):
        """Syncs; a conflict or an error fails the test."""
        if not self.discovered:
            self.run("discover", "phone")
            self.discovered = True
        self.run("sync")

    def write(self, name, card):
        with open(os.path.join(self.cards, name), "wb") as f:
            f.write(card)

    def read(self, name):
        with open(os.path.join(self.cards, name), "rb") as f:
            return f.read()

    def find(self, text):
        """The file name of the phone's card holding `text`."""
        for name in sorted(os.listdir(self.cards)):
            if text.encode() in self.read(name):
                return name
        raise Failure("no card on the phone holds " + text)

    def remove(self, name):
        os.remove(os.path.join(self.cards, name))


class Book:
    """The program's book in a folder of its own, and the tool run there."""

    def __init__(self, build, folder, records=()):
        self.tool = os.path.join(build, "z8p-phonebook-tool")
        self.folder = folder
        home = os.path.join(folder, "home")
        os.makedirs(os.path.join(home, "config"), exist_ok=True)
        self.env = dict(os.environ, HOME=home, XDG_CONFIG_HOME=os.path.join(home, "config"),
                        XDG_DATA_HOME=os.path.join(home, "data"), LC_ALL="C.UTF-8")
        self.env.pop("DBUS_SESSION_BUS_ADDRESS", None)   # no keyring unless a test gives one
        self.password_file = os.path.join(folder, "password")
        if records:
            self.write(records)
        self.proc = None

    def path(self, name="DravikBase.z8B"):
        return os.path.join(self.folder, name)

    def run(self, *args, password=None, timeout=300):
        """Runs the tool: (exit status, output)."""
        extra = []
        if password is not None:
            fd = os.open(self.password_file, os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o600)
            os.write(fd, password.encode())
            os.close(fd)
            extra = ["--password-file", self.password_file]
        self.proc = subprocess.Popen([self.tool] + list(args) + extra, cwd=self.folder, env=self.env,
                                     stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                                     text=True)
        out, _ = self.proc.communicate(timeout=timeout)
        return self.proc.returncode, out

    def kill(self):
        if self.proc and self.proc.poll() is None:
            self.proc.send_signal(signal.SIGKILL)

    def records(self):
        with open(self.path(), "rb") as f:
            data = f.read()
        check(len(data) % RECORD == 0, "the book is whole records")
        return [fields_of(data[i:i + RECORD]) for i in range(0, len(data), RECORD)]

    def write(self, records):
        """The book rewritten as another program writing it would, whole."""
        with open(self.path(), "wb") as f:
            f.write(b"".join(record(**r) for r in records))
        os.chmod(self.path(), 0o600)

    def edit(self, first, **fields):
        records = self.records()
        hits = [r for r in records if r["first"] == first]
        check(len(hits) == 1, "one record of %s in the book" % first)
        hits[0].update(fields)
        self.write(records)

    def delete(self, first):
        self.write([r for r in self.records() if r["first"] != first])

    def set_setting(self, key, value):
        path = os.path.join(self.env["XDG_CONFIG_HOME"], "RiveVozuDezi.ini")
        text = open(path).read() if os.path.exists(path) else ""
        if "[Sync]" not in text:
            text += "\n[Sync]\n"
        text = text.replace("[Sync]\n", "[Sync]\n%s=%s\n" % (key, value), 1)
        with open(path, "w") as f:
            f.write(text)


class Proxy:
    """Between the program and the server: each request forwarded whole and
    logged ("METHOD path status"); `fault(n, method, path, headers, body)`,
    called before the n-th request (from 1), may answer instead: a status,
    "cut" (the connection closed unanswered), or a number of seconds to wait
    first. `before` runs before a request is forwarded."""

    def __init__(self, server):
        self.server = server
        self.log = []
        self.fault = None
        self.lock = threading.Lock()
        proxy = self

        class Handler(http.server.BaseHTTPRequestHandler):
            protocol_version = "HTTP/1.1"

            def log_message(self, *args):
                pass

            def handle_one(self):
                body = self.rfile.read(int(self.headers.get("Content-Length") or 0))
                with proxy.lock:
                    n = len(proxy.log) + 1
                    proxy.log.append("%s %s" % (self.command, self.path))
                answer = proxy.fault(n, self.command, self.path, self.headers, body) if proxy.fault else None
                if answer == "cut":
                    proxy.log[n - 1] += " cut"
                    self.close_connection = True
                    self.connection.shutdown(socket.SHUT_RDWR)
                    return
                if isinstance(answer, float):
                    time.sleep(answer)
                    answer = None
                if isinstance(answer, int):
                    proxy.log[n - 1] += " %d" % answer
                    self.send_response(answer)
                    self.send_header("Content-Length", "0")
                    self.end_headers()
                    return
                c = http.client.HTTPConnection("127.0.0.1", proxy.server.port, timeout=60)
                headers = {k: v for k, v in self.headers.items() if k.lower() not in ("host", "connection")}
                c.request(self.command, self.path, body=body, headers=headers)
                r = c.getresponse()
                data = r.read()
                proxy.log[n - 1] += " %d" % r.status
                self.send_response(r.status)
                for k, v in r.getheaders():
                    if k.lower() not in ("content-length", "connection", "transfer-encoding", "date", "server"):
                        self.send_header(k, v)
                self.send_header("Content-Length", str(len(data)))
                self.end_headers()
                try:
                    self.wfile.write(data)
                except OSError:
                    pass   # the program gone (killed by the test)
                c.close()

            do_GET = do_PUT = do_DELETE = do_PROPFIND = do_REPORT = do_OPTIONS = handle_one

        self.httpd = socketserver.ThreadingTCPServer(("127.0.0.1", 0), Handler)
        self.httpd.daemon_threads = True
        self.port = self.httpd.server_address[1]
        self.user, self.password, self.path = server.user, server.password, server.path

    def url(self, path=None):
        return "http://127.0.0.1:%d%s" % (self.port, path or self.server.path)

    def __enter__(self):
        threading.Thread(target=self.httpd.serve_forever, daemon=True).start()
        return self

    def __exit__(self, *exc):
        self.httpd.shutdown()
        self.httpd.server_close()

    def methods(self, since=0):
        return [e.split(" ")[0] for e in self.log[since:]]


def card(uid, first, last, tel=None, email=None, extra=b""):
    lines = [b"BEGIN:VCARD", b"VERSION:3.0", b"UID:" + uid.encode(), ("N:%s;%s;;;" % (last, first)).encode(),
             ("FN:%s %s" % (first, last)).encode()]
    if tel:
        lines.append(("TEL;TYPE=CELL:%s" % tel).encode())
    if email:
        lines.append(("EMAIL:%s" % email).encode())
    if extra:
        lines.extend(extra.strip(b"\r\n").split(b"\r\n"))
    lines.append(b"END:VCARD")
    return b"\r\n".join(lines) + b"\r\n"


def uids(cards):
    """The UIDs of the cards, checked to be on the server once each."""
    found = [re.search(rb"\nUID:([^\r\n]+)", c).group(1) for _, c in cards.values()]
    check(len(found) == len(set(found)), "each UID once on the server: %r" % found)
    return found
