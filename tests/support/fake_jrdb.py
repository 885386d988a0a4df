#!/usr/bin/env python3
"""A fake JRDB member area for the tests: serves a folder tree over HTTP or HTTPS on 127.0.0.1.

    fake_jrdb.py --root DIR --id ID [--password PW] [--tls CERTDIR] [--fault PATH=MODE]...
                 [--faults JSON] [--log FILE] [--url-file FILE]

The first line on stdout is the server's base URL, "http://127.0.0.1:PORT/" (https with --tls);
the member area of the tree DIR/member/... is that URL followed by "member/". --url-file writes
the same line to a file as well.

Login: HTTP basic authentication with --id and the password (--password, or the environment
variable FAKE_JRDB_PASSWORD so that it is on no command line); anything else gets 401. ID and
password are compared as UTF-8.

Index pages: a folder's index.html is served as it is when the tree holds one; otherwise it is
made on the fly, as Shift-JIS HTML with relative links to every file and subfolder of the folder.
A request for a folder itself ("/member/data/Paci/") gets the same page.

TLS: --tls CERTDIR serves HTTPS with CERTDIR/server.pem and server.key, made first (with the
openssl command) when missing, together with the CA that signed them, CERTDIR/ca.pem. Clients
trust that CA through VELT_TEST_CA_FILE. The server certificate names 127.0.0.1 and localhost.

Faults, for named request paths (the path without the query), by --fault PATH=MODE or --faults
with a JSON object {"PATH": "MODE", ...}. MODE is one of
    401, 404, 500, 503 ...   that status, with a short HTML body
    stall                    headers (with Content-Length) and then nothing, until the client goes
    short                    Content-Length larger than the body sent, then the connection closes
    html                     an HTML page, 200, where an archive is expected
    huge:BYTES               a body of BYTES made on the fly, Content-Length declared
    stream:BYTES             the same without Content-Length (ended by closing the connection)
    redirect:URL             302 to URL
A MODE prefixed "once:" applies to the first request of the path only; later ones are served
normally (a download cut short and then retried).

--faults @FILE reads the JSON object from FILE. --run COMMAND... (last) starts the server, runs
COMMAND with VELT_TEST_JRDB_URL set to the base URL, stops the server and exits with COMMAND's
status: CTest's way to give a Windows program under Wine a server outside it.

--log FILE appends one line per request, written when it arrives:
    <unix time, 6 decimals> TAB <path> TAB <status or fault>
"""

import argparse
import base64
import html
import http.server
import json
import os
import shutil
import socket
import ssl
import subprocess
import sys
import threading
import time
import urllib.parse

CHUNK = 1 << 16


def make_certificates(folder):
    """Makes a CA and a server certificate signed by it in `folder`, unless they are there."""
    paths = {name: os.path.join(folder, name) for name in
             ("ca.pem", "ca.key", "server.pem", "server.key", "server.csr", "san.ext")}
    if all(os.path.exists(paths[n]) for n in ("ca.pem", "server.pem", "server.key")):
        return paths
    os.makedirs(folder, exist_ok=True)
    openssl = shutil.which("openssl")
    if not openssl:
        sys.exit("fake_jrdb: --tls needs the openssl command")

    def run(*args):
        subprocess.run([openssl, *args], check=True, stdout=subprocess.DEVNULL,
                       stderr=subprocess.PIPE)

    run("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj",
        "/CN=Velt test CA", "-keyout", paths["ca.key"], "-out", paths["ca.pem"])
    run("req", "-newkey", "rsa:2048", "-nodes", "-subj", "/CN=127.0.0.1", "-keyout",
        paths["server.key"], "-out", paths["server.csr"])
    with open(paths["san.ext"], "w", encoding="ascii") as ext:
        ext.write("subjectAltName=IP:127.0.0.1,DNS:localhost\n")
    run("x509", "-req", "-in", paths["server.csr"], "-CA", paths["ca.pem"], "-CAkey",
        paths["ca.key"], "-CAcreateserial", "-days", "2", "-extfile", paths["san.ext"],
        "-out", paths["server.pem"])
    return paths


def index_page(folder, url_path):
    """A Shift-JIS index page linking every entry of `folder` by a relative link."""
    rows = []
    for name in sorted(os.listdir(folder)):
        if name == "index.html":
            continue
        link = name + "/" if os.path.isdir(os.path.join(folder, name)) else name
        rows.append('<tr><td><a href="%s">%s</a></td><td>ダウンロード</td></tr>' %
                    (urllib.parse.quote(link), html.escape(link)))
    page = ("<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; "
            "charset=Shift_JIS\"><title>JRDBデータ %s</title></head><body>\n"
            "<h1>会員向けデータ</h1>\n<table>\n%s\n</table>\n</body></html>\n" %
            (html.escape(url_path), "\n".join(rows)))
    return page.encode("cp932")


class Server(http.server.ThreadingHTTPServer):
    daemon_threads = True
    allow_reuse_address = True

    def __init__(self, args, faults):
        super().__init__(("127.0.0.1", 0), Handler)
        self.root = os.path.abspath(args.root)
        password = args.password if args.password is not None else os.environ.get(
            "FAKE_JRDB_PASSWORD", "")
        token = (args.id + ":" + password).encode("utf-8")
        self.expected_auth = "Basic " + base64.b64encode(token).decode("ascii")
        self.faults = faults
        self.fault_used = set()
        self.lock = threading.Lock()
        self.log_file = open(args.log, "a", encoding="utf-8") if args.log else None

    def take_fault(self, path):
        with self.lock:
            mode = self.faults.get(path)
            if mode is None:
                return None
            if mode.startswith("once:"):
                if path in self.fault_used:
                    return None
                self.fault_used.add(path)
                return mode[len("once:"):]
            return mode

    def log(self, when, path, outcome):
        if not self.log_file:
            return
        with self.lock:
            self.log_file.write("%.6f\t%s\t%s\n" % (when, path, outcome))
            self.log_file.flush()


class Handler(http.server.BaseHTTPRequestHandler):
    server_version = "FakeJRDB/1.0"
    protocol_version = "HTTP/1.0"  # one request per connection; a body may end at the close

    def log_message(self, format, *args):  # quiet: the tests read --log instead
        pass

    def do_GET(self):
        arrived = time.time()
        path = urllib.parse.unquote(urllib.parse.urlsplit(self.path).path)
        if self.headers.get("Authorization") != self.server.expected_auth:
            self.server.log(arrived, path, "401")
            self.send_page(401, "認証が必要です", {"WWW-Authenticate": 'Basic realm="JRDB"'})
            return
        fault = self.server.take_fault(path)
        self.server.log(arrived, path, fault or self.outcome(path))
        try:
            if fault:
                self.serve_fault(path, fault)
            else:
                self.serve_file(path)
        except (BrokenPipeError, ConnectionResetError, ssl.SSLError):
            pass  # the client went away: a cancel or a limit, which the tests look at

    def outcome(self, path):
        return "200" if self.resolve(path) else "404"

    def resolve(self, path):
        """(file, None) for a file of the tree, (None, folder) for a made index, else None."""
        local = self.local_path(path)
        if local is None:
            return None
        if os.path.isdir(local):
            local = os.path.join(local, "index.html")
        if os.path.isfile(local):
            return (local, None)
        if os.path.basename(local) == "index.html" and os.path.isdir(os.path.dirname(local)):
            return (None, os.path.dirname(local))
        return None

    def local_path(self, path):
        parts = [p for p in path.split("/") if p]
        if any(p in (".", "..") or "\\" in p for p in parts):
            return None
        return os.path.join(self.server.root, *parts)

    def send_page(self, status, text, headers=None):
        body = ("<html><body><p>%s</p></body></html>\n" % html.escape(text)).encode("cp932")
        self.send_response(status)
        self.send_header("Content-Type", "text/html; charset=Shift_JIS")
        self.send_header("Content-Length", str(len(body)))
        for key, value in (headers or {}).items():
            self.send_header(key, value)
        self.end_headers()
        self.wfile.write(body)

    def send_body(self, body, content_type):
        self.send_response(200)
        self.send_header("Content-Type", content_type)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def serve_file(self, path):
        found = self.resolve(path)
        if found is None:
            self.send_page(404, "見つかりません")
        elif found[0] is None:
            self.send_body(index_page(found[1], path), "text/html; charset=Shift_JIS")
        else:
            with open(found[0], "rb") as f:
                body = f.read()
            self.send_body(body, "text/html; charset=Shift_JIS" if found[0].endswith(".html")
                           else "application/octet-stream")

    def serve_fault(self, path, fault):
        mode, _, arg = fault.partition(":")
        if mode.isdigit():
            self.send_page(int(mode), "エラー %s" % mode)
        elif mode == "stall":
            self.send_response(200)
            self.send_header("Content-Type", "application/octet-stream")
            self.send_header("Content-Length", "1000")
            self.end_headers()
            self.wfile.flush()
            self.wait_for_close(600)
        elif mode == "short":
            body = self.file_or_filler(path, 1000)
            self.send_response(200)
            self.send_header("Content-Type", "application/octet-stream")
            self.send_header("Content-Length", str(len(body) * 2 + 100))
            self.end_headers()
            self.wfile.write(body)
            self.wfile.flush()
            self.close_connection = True
        elif mode == "html":
            self.send_page(200, "ログインしてください")
        elif mode in ("huge", "stream"):
            self.stream_filler(path, int(arg), declared=(mode == "huge"))
        elif mode == "redirect":
            self.send_response(302)
            self.send_header("Location", arg)
            self.send_header("Content-Length", "0")
            self.end_headers()
        else:
            self.send_page(500, "unknown fault mode " + fault)

    def file_or_filler(self, path, size):
        local = self.local_path(path)
        if local and os.path.isfile(local):
            with open(local, "rb") as f:
                data = f.read()
            return data[: max(1, len(data) // 2)]
        return b"x" * size

    def stream_filler(self, path, total, declared):
        piece = (b"<p>" + "データ".encode("cp932") + b"</p>\n") if path.endswith(".html") \
            else bytes(range(256))
        block = piece * (CHUNK // len(piece) + 1)
        self.send_response(200)
        self.send_header("Content-Type", "text/html; charset=Shift_JIS" if path.endswith(".html")
                         else "application/octet-stream")
        if declared:
            self.send_header("Content-Length", str(total))
        self.end_headers()
        sent = 0
        while sent < total:
            n = min(len(block), total - sent)
            self.wfile.write(block[:n])
            sent += n

    def wait_for_close(self, limit):
        """Holds the connection open without sending until the client closes it or `limit` s."""
        self.connection.settimeout(1.0)
        deadline = time.time() + limit
        while time.time() < deadline:
            try:
                if not self.connection.recv(4096):
                    return
            except socket.timeout:
                continue
            except OSError:
                return


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--root", required=True, help="the tree served (holding member/...)")
    parser.add_argument("--id", required=True, help="the member ID accepted")
    parser.add_argument("--password", help="the password (else $FAKE_JRDB_PASSWORD)")
    parser.add_argument("--tls", metavar="CERTDIR", help="serve HTTPS with the CA in CERTDIR")
    parser.add_argument("--fault", action="append", default=[], metavar="PATH=MODE")
    parser.add_argument("--faults", metavar="JSON", help='{"PATH": "MODE", ...}')
    parser.add_argument("--log", metavar="FILE", help="append one line per request")
    parser.add_argument("--url-file", metavar="FILE", help="write the base URL here too")
    parser.add_argument("--run", nargs=argparse.REMAINDER, help="run this, then stop")
    args = parser.parse_args()

    faults = {}
    if args.faults and args.faults.startswith("@"):
        with open(args.faults[1:], encoding="utf-8") as f:
            faults = json.load(f)
    elif args.faults:
        faults = json.loads(args.faults)
    for item in args.fault:
        path, sep, mode = item.partition("=")
        if not sep:
            parser.error("--fault wants PATH=MODE: " + item)
        faults[path] = mode

    server = Server(args, faults)
    scheme = "http"
    if args.tls:
        paths = make_certificates(args.tls)
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(paths["server.pem"], paths["server.key"])
        server.socket = context.wrap_socket(server.socket, server_side=True)
        scheme = "https"
    url = "%s://127.0.0.1:%d/" % (scheme, server.server_address[1])
    if args.url_file:
        with open(args.url_file + ".tmp", "w", encoding="ascii") as f:
            f.write(url + "\n")
        os.replace(args.url_file + ".tmp", args.url_file)
    print(url, flush=True)
    if args.run:
        threading.Thread(target=server.serve_forever, daemon=True).start()
        status = subprocess.run(args.run, env=dict(os.environ, VELT_TEST_JRDB_URL=url)).returncode
        server.shutdown()
        sys.exit(status)
    try:
        server.serve_forever()
    except KeyboardInterrupt:
        pass


if __name__ == "__main__":
    main()
