#!/usr/bin/env python3
"""A small web site for the crawl tests, served on 127.0.0.1.

Usage: site_server.py [--log FILE] [--static DIR] [--pages N] [--slow S] [--page-delay S]
                      [--tls DIR] [--port N] [--version 1|2]

Binds a free port (or --port), prints "PORT <n>" on standard output and serves until it is killed or its
standard input closes. Every request is appended to the log as "METHOD PATH CLIENT-PORT".

  /robots.txt          forbids /site/private/ to every crawler
  /site/...            the test site: pages, images, a 404, a 500, a slow page, redirects (within
                       the folder, a loop, to another host), pages over the size cap, an HTML page
                       served as text/plain, a non-HTML resource with an .html name, a page
                       sent without a type
  /outside/page.html   a page outside the start folder /site/
  /unsafe/             references and redirects to file: and gopher: addresses
  /static/...          the files of --static DIR as they are (for comparing with the directory
                       importer)
  /audit/...           a site in two versions (--version, default 1): pages added, removed and
                       relinked, a redirect chain, a redirect loop, a 404, a 410, a 500, a page
                       robots.txt forbids, a sitemap (also /sitemap.xml) with a page no link
                       reaches, and a sitemap index (index.xml) naming it twice
  /gen/N.html          a generated site of --pages pages (N from 0), ten links down per page and
                       a link back to the start, for the benchmark (each answered after
                       --page-delay seconds)

With --tls DIR it speaks HTTPS only, with a self-signed certificate for 127.0.0.1 made in DIR.
"""

import argparse
import gzip
import http.server
import os
import ssl
import subprocess
import sys
import threading
import time

BIG = 9 * 1024 * 1024  # past the crawl's 8 MiB cap

PAGES = {
    "/site/": """<!doctype html><html><head><title>Start</title>
<link rel="stylesheet" href="style.css"></head><body>
<a href="about.html">About</a>
<a href="about.html?session=1#team">About again, with a query and a fragment</a>
<img src="img/logo.png">
<a href="docs/">Docs</a>
<a href="missing.html">Gone</a>
<a href="error.html">Broken</a>
<a href="slow.html">Slow</a>
<a href="moved.html">Moved</a>
<a href="loop1.html">Loop</a>
<a href="away.html">Away</a>
<a href="../outside/page.html">Outside the folder</a>
<a href="private/secret.html">Private</a>
<a href="big.html">Big</a>
<a href="big-stream.html">Big, without a length</a>
<a href="plain.html">Plain</a>
<a href="report.html">Report</a>
<a href="https://other.invalid/x.html">External</a>
<a href="mailto:someone@other.invalid">Mail</a>
<a href="ftp://127.0.0.1/file.txt">FTP</a>
<a href="zipped.html">Compressed</a>
<a href="untyped.html">Sent without a type</a>
</body></html>""",
    "/site/about.html": """<html><body><a href="./">Home</a>
<a href="img/logo.png"><img src="img/team.jpg"></a> <a href="~team.html">Team</a>
</body></html>""",
    "/site/docs/": """<html><body><a href="../">Home</a> <a href="../about.html">About</a>
<a href="guide.html">Guide</a></body></html>""",
    "/site/docs/guide.html": """<html><body><a href="/site/docs/">Docs</a>
<a href="../%7Eteam.html">The team, with an escaped tilde</a></body></html>""",
    "/site/~team.html": """<html><body><a href="docs/../about.html#x">About</a></body></html>""",
    "/site/renamed.html": """<html><body><a href="about.html">About</a></body></html>""",
    "/site/loop2.html": None,  # answered by the redirect table
    "/site/private/secret.html": """<html><body><a href="../hidden.html">x</a></body></html>""",
    "/site/zipped.html": """<html><body><a href="unzipped.html">Found only when decoded</a>
</body></html>""",
    "/site/unzipped.html": "<html><body>Plain again</body></html>",
    "/outside/page.html": "<html><body>Outside</body></html>",
    # Not linked from /site/: references and redirects to schemes that are never fetched.
    "/unsafe/": """<html><body><a href="to-file.html">x</a> <a href="to-gopher.html">x</a>
<a href="file:///etc/passwd">x</a> <a href="safe.html">x</a></body></html>""",
    "/unsafe/safe.html": "<html><body>Safe</body></html>",
}

REDIRECTS = {
    "/site/moved.html": "/site/renamed.html",
    "/site/loop1.html": "loop2.html",
    "/site/loop2.html": "/site/loop1.html",
    "/site/away.html": "http://other.invalid/landing.html",
    "/unsafe/to-file.html": "file:///etc/hostname",
    "/unsafe/to-gopher.html": "gopher://127.0.0.1/1",
}


def audit_pages(version):
    """The pages of /audit/ in the version: path -> body, or a redirect target after "->"."""
    def page(*links):
        return "<html><body>%s</body></html>" % " ".join(f'<a href="{l}">x</a>' for l in links)
    pages = {
        "/audit/": page("a.html", "b.html", "chain1.html", "loop1.html", "gone.html",
                        "removed.html", "broken.html", "private/x.html",
                        "https://other.invalid/", "new.html" if version == 2 else "old.html"),
        "/audit/a.html": page("c.html") if version == 2 else page("b.html"),
        "/audit/b.html": page("./"),
        "/audit/c.html": page("a.html"),
        "/audit/old.html": page("a.html", "older.html"),
        "/audit/older.html": page(),
        "/audit/new.html": page("b.html"),
        "/audit/listed-only.html": page("a.html"),
        "/audit/chain1.html": "-> chain2.html",
        "/audit/chain2.html": "-> chain3.html",
        "/audit/chain3.html": "-> end.html",
        "/audit/end.html": page(),
        "/audit/loop1.html": "-> loop2.html",
        "/audit/loop2.html": "-> loop1.html",
        "/audit/sitemap.xml": "<urlset>%s</urlset>" % "".join(
            f"<url><loc>{{ORIGIN}}/audit/{p}</loc></url>"
            for p in ("", "a.html", "b.html", "listed-only.html")),
        # An index naming itself, the sitemap above, one of another site and one not there.
        "/audit/index.xml": "<sitemapindex>%s</sitemapindex>" % "".join(
            f"<sitemap><loc>{l}</loc></sitemap>"
            for l in ("{ORIGIN}/audit/index.xml", "{ORIGIN}/audit/sitemap.xml?part=1",
                      "{ORIGIN}/audit/sitemap.xml?part=2", "https://other.invalid/sitemap.xml",
                      "{ORIGIN}/audit/none.xml")),
    }
    for path in ("/audit/old.html", "/audit/older.html") if version == 2 else ("/audit/new.html",):
        del pages[path]
    return pages


AUDIT_STATUSES = {"/audit/gone.html": 404, "/audit/removed.html": 410, "/audit/broken.html": 500}

PNG = bytes.fromhex("89504e470d0a1a0a0000000d4948445200000001000000010806000000"
                    "1f15c4890000000d49444154789c6360000002000100ffff03000006000557bfab"
                    "d40000000049454e44ae426082")


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"  # keep-alive
    disable_nagle_algorithm = True  # headers and body go out at once, not an ACK apart
    server_version = "SiteServer/1"

    def log_message(self, format, *args):  # quiet; the request log is written separately
        pass

    def note(self):
        path = self.path
        with self.server.log_lock:
            if self.server.log:
                port = self.client_address[1]
                self.server.log.write(f"{self.command} {path} {port}\n")
                self.server.log.flush()

    def send(self, status, body=b"", content_type="text/html; charset=utf-8", headers=()):
        self.send_response(status)
        if content_type:
            self.send_header("Content-Type", content_type)
        for name, value in headers:
            self.send_header(name, value)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        if self.command != "HEAD":
            self.wfile.write(body)

    def do_HEAD(self):
        self.do_GET()

    def do_GET(self):
        self.note()
        path = self.path.split("?", 1)[0]
        try:
            self.answer(path)
        except (BrokenPipeError, ConnectionResetError):
            self.close_connection = True

    def answer(self, path):
        if path == "/robots.txt":
            return self.send(200, b"User-agent: *\nDisallow: /site/private/\n"
                             b"Disallow: /audit/private/\n", "text/plain")
        if path.startswith("/audit/"):
            return self.serve_audit(path)
        if path == "/sitemap.xml":
            return self.serve_audit("/audit/sitemap.xml")
        if path in REDIRECTS:
            return self.send(301, b"", headers=[("Location", REDIRECTS[path])])
        if path == "/site/error.html":
            return self.send(500, b"<html>Server error</html>")
        if path == "/site/slow.html":
            time.sleep(self.server.slow_seconds)
            return self.send(200, b"<html><a href='after-slow.html'>x</a></html>")
        if path == "/site/big.html":
            body = b"<html><body><a href='past-the-cap.html'>x</a>" + b" " * BIG + b"</body></html>"
            return self.send(200, body)
        if path == "/site/big-stream.html":
            # No length: the body runs until the connection closes.
            self.send_response(200)
            self.send_header("Content-Type", "text/html")
            self.send_header("Connection", "close")
            self.end_headers()
            self.close_connection = True
            if self.command != "HEAD":
                self.wfile.write(b"<html><body><a href='past-the-cap-2.html'>x</a>")
                chunk = b" " * 65536
                for _ in range(BIG // len(chunk) + 1):
                    self.wfile.write(chunk)
            return
        if path == "/site/plain.html":
            return self.send(200, b"<html><a href='hidden-in-text.html'>x</a></html>",
                             "text/plain; charset=utf-8")
        if path == "/site/report.html":
            return self.send(200, b"%PDF-1.4 <a href='hidden-in-pdf.html'>", "application/pdf")
        if path == "/site/untyped.html":
            return self.send(200, b"<html><a href='about.html'>About</a></html>", None)
        if path == "/site/style.css":
            return self.send(200, b"body { color: black }", "text/css")
        if path in ("/site/img/logo.png", "/site/img/team.jpg"):
            return self.send(200, PNG, "image/png" if path.endswith("png") else "image/jpeg")
        if path == "/site/zipped.html":
            accepted = self.headers.get("Accept-Encoding", "")
            if "gzip" not in accepted:
                return self.send(406, b"<html>gzip only</html>")
            body = gzip.compress(PAGES[path].encode())
            return self.send(200, body, headers=[("Content-Encoding", "gzip")])
        if path in PAGES and PAGES[path] is not None:
            return self.send(200, PAGES[path].encode())
        if path.startswith("/static/") and self.server.static:
            return self.serve_static(path[len("/static/"):])
        if path.startswith("/gen/") and path.endswith(".html"):
            return self.serve_generated(path[len("/gen/"):-len(".html")])
        return self.send(404, b"<html>Not found</html>")

    def serve_audit(self, path):
        if path in AUDIT_STATUSES:
            return self.send(AUDIT_STATUSES[path], b"<html>No</html>")
        body = audit_pages(self.server.version).get(path)
        if body is None:
            return self.send(404, b"<html>Not found</html>")
        if body.startswith("-> "):
            return self.send(301, b"", headers=[("Location", body[3:])])
        if path.endswith(".xml"):
            origin = "http://%s:%d" % self.server.server_address[:2]
            return self.send(200, body.replace("{ORIGIN}", origin).encode(), "application/xml")
        return self.send(200, body.encode())

    def serve_static(self, relative):
        from urllib.parse import unquote
        root = os.path.realpath(self.server.static)
        full = os.path.realpath(os.path.join(root, unquote(relative)))
        if full != root and not full.startswith(root + os.sep):
            return self.send(404)
        if os.path.isdir(full):
            full = os.path.join(full, "index.html")
        if not os.path.isfile(full):
            return self.send(404, b"<html>Not found</html>")
        with open(full, "rb") as f:
            body = f.read()
        kinds = {".html": "text/html", ".png": "image/png", ".jpg": "image/jpeg",
                 ".css": "text/css", ".txt": "text/plain", ".pdf": "application/pdf"}
        kind = kinds.get(os.path.splitext(full)[1], "application/octet-stream")
        return self.send(200, body, kind)

    def serve_generated(self, name):
        try:
            n = int(name)
        except ValueError:
            return self.send(404)
        pages = self.server.pages
        if self.server.page_delay:
            time.sleep(self.server.page_delay)
        if n < 0 or n >= pages:
            return self.send(404, b"<html>Not found</html>")
        links = [f'<a href="{c}.html">page {c}</a>' for c in range(10 * n + 1, 10 * n + 11)
                 if c < pages]
        links.append('<a href="0.html">start</a>')
        body = ("<html><head><title>Page %d</title></head><body>%s</body></html>"
                % (n, "\n".join(links))).encode()
        return self.send(200, body)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--log")
    parser.add_argument("--static")
    parser.add_argument("--pages", type=int, default=1000)
    parser.add_argument("--slow", type=float, default=3.0)
    parser.add_argument("--page-delay", type=float, default=0.0)
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--version", type=int, default=1, choices=(1, 2))
    parser.add_argument("--tls", metavar="DIR",
                        help="serve HTTPS with a self-signed certificate made in DIR")
    args = parser.parse_args()

    server = http.server.ThreadingHTTPServer(("127.0.0.1", args.port), Handler)
    if args.tls:
        cert, key = os.path.join(args.tls, "cert.pem"), os.path.join(args.tls, "key.pem")
        subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "1",
                        "-subj", "/CN=127.0.0.1", "-addext", "subjectAltName=IP:127.0.0.1",
                        "-keyout", key, "-out", cert], check=True, capture_output=True)
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(cert, key)
        server.socket = context.wrap_socket(server.socket, server_side=True)
    server.daemon_threads = True
    # A client that hangs up early (a stopped crawl, a refused certificate) is no error here.
    server.handle_error = lambda request, client_address: None
    server.log = open(args.log, "a") if args.log else None
    server.log_lock = threading.Lock()
    server.static = args.static
    server.pages = args.pages
    server.slow_seconds = args.slow
    server.page_delay = args.page_delay
    server.version = args.version
    threading.Thread(target=server.serve_forever, daemon=True).start()
    print(f"PORT {server.server_address[1]}", flush=True)
    # Serve until the test closes our standard input (or kills us).
    sys.stdin.read()
    os._exit(0)  # handler threads may be sleeping (the slow page): do not wait for them


if __name__ == "__main__":
    main()
