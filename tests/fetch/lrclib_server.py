#!/usr/bin/env python3
"""A local stand-in for LRCLIB's API, for the tests: it answers GET /api/get in LRCLIB's
shapes, in the one mode it was started with, and records every request it gets.

    lrclib_server.py --mode MODE --port-file FILE --log FILE [--delay S] [--cert PEM --key PEM]

It listens on 127.0.0.1 on a free port and writes that port to FILE once it listens.
Each request is one JSON line in the log: method, path, the raw query, the query decoded
as a web server decodes it, and the User-Agent.
"""
import argparse
import json
import os
import socket
import ssl
import sys
import threading
import time
import urllib.parse
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

MODES = ["synced", "plain", "instrumental", "notfound", "error", "hang", "mute", "malformed",
         "big", "bigstream", "redirect", "redirect-away"]


def synced_lyrics(title):
    # One line every 4 s for four minutes, with hundredths as LRC files have them.
    return "\n".join("[%02d:%02d.%02d]Line %d of %s" % (s // 60, s % 60, 50 if s else 0, s, title)
                     for s in range(0, 240, 4))


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.0"  # the body ends with the connection

    def log_message(self, fmt, *args):
        pass

    def record(self, url):
        entry = {
            "method": self.command,
            "path": url.path,
            "query": url.query,
            "params": {k: v for k, v in urllib.parse.parse_qsl(url.query, keep_blank_values=True)},
            "user_agent": self.headers.get("User-Agent", ""),
            "time": time.time(),
        }
        with self.server.log_lock, open(self.server.log_path, "a", encoding="utf-8") as log:
            log.write(json.dumps(entry, ensure_ascii=False) + "\n")
        return entry["params"]

    def answer(self, status, body, content_type="application/json", length=True):
        data = body.encode("utf-8") if isinstance(body, str) else body
        self.send_response(status)
        self.send_header("Content-Type", content_type)
        if length:
            self.send_header("Content-Length", str(len(data)))
        self.end_headers()
        self.wfile.write(data)

    def track(self, params, **fields):
        duration = params.get("duration", "")
        obj = {
            "id": 4242,
            "trackName": params.get("track_name", ""),
            "artistName": params.get("artist_name", ""),
            "albumName": params.get("album_name", ""),
            "duration": float(duration) if duration.isdigit() else 201.0,
            "instrumental": False,
            "plainLyrics": None,
            "syncedLyrics": None,
        }
        obj.update(fields)
        return json.dumps(obj, ensure_ascii=False)

    def do_GET(self):
        url = urllib.parse.urlsplit(self.path)  # a full URL when asked as a proxy
        params = self.record(url)
        mode = self.server.mode
        time.sleep(self.server.delay)  # a slow server
        title = params.get("track_name", "")
        if url.path not in ("/api/get", "/api/get-redirected"):
            return self.answer(404, json.dumps({"code": 404, "name": "NotFound",
                                                "message": "No such route"}))
        if mode in ("redirect", "redirect-away") and url.path == "/api/get":
            host = "127.0.0.1" if mode == "redirect" else "localhost"
            port = self.server.server_address[1]
            self.send_response(302)
            self.send_header("Location", "http://%s:%d/api/get-redirected?%s" % (host, port, url.query))
            self.send_header("Content-Length", "0")
            self.end_headers()
            return
        try:
            if mode in ("synced", "redirect", "redirect-away"):
                self.answer(200, self.track(params, syncedLyrics=synced_lyrics(title),
                                            plainLyrics="Plain words of %s" % title))
            elif mode == "plain":
                self.answer(200, self.track(params, plainLyrics="Words without times\nof %s" % title))
            elif mode == "instrumental":
                self.answer(200, self.track(params, instrumental=True))
            elif mode == "notfound":
                self.answer(404, json.dumps({"code": 404, "name": "TrackNotFound",
                                             "message": "Failed to find specified track"}))
            elif mode == "error":
                self.answer(500, json.dumps({"code": 500, "name": "InternalError",
                                             "message": "Something went wrong"}))
            elif mode == "hang":
                time.sleep(120)
            elif mode == "malformed":
                self.answer(200, '{"id": 4242, "trackName": "x", "syncedLyrics": "[00:01.00]cut sho')
            elif mode in ("big", "bigstream"):
                # 5 MB of a valid answer: a JSON string padded with lyrics lines.
                pad = ("[00:01.00]" + "la " * 30 + "\\n") * 55000
                body = ('{"id":1,"instrumental":false,"syncedLyrics":"' + pad + '"}').encode()
                self.send_response(200)
                self.send_header("Content-Type", "application/json")
                if mode == "big":
                    self.send_header("Content-Length", str(len(body)))
                self.end_headers()
                for i in range(0, len(body), 65536):
                    self.wfile.write(body[i:i + 65536])
        except (BrokenPipeError, ConnectionResetError, ssl.SSLError):
            pass  # the client hung up, as it should on a body it refuses


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--mode", choices=MODES, required=True)
    ap.add_argument("--port-file", required=True)
    ap.add_argument("--log", required=True)
    ap.add_argument("--delay", type=float, default=0)
    ap.add_argument("--cert")
    ap.add_argument("--key")
    args = ap.parse_args()

    if args.mode == "mute":
        # Listens but never accepts: the kernel completes the TCP handshake and then
        # nothing ever answers, not even a TLS handshake.
        sock = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        sock.bind(("127.0.0.1", 0))
        sock.listen(16)
        port = sock.getsockname()[1]
        open(args.log, "a").close()
        write_port(args.port_file, port)
        while True:
            time.sleep(3600)

    server = ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    server.daemon_threads = True
    server.mode = args.mode
    server.delay = args.delay
    server.log_path = args.log
    server.log_lock = threading.Lock()
    open(args.log, "a").close()
    if args.cert:
        ctx = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        ctx.load_cert_chain(args.cert, args.key)
        server.socket = ctx.wrap_socket(server.socket, server_side=True)
    write_port(args.port_file, server.server_address[1])
    server.serve_forever()


def write_port(path, port):
    tmp = path + ".tmp"
    with open(tmp, "w") as f:
        f.write("%d\n" % port)
    os.replace(tmp, path)


if __name__ == "__main__":
    sys.exit(main())
