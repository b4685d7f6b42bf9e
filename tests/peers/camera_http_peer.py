"""An HTTP(S) camera on loopback for the network camera tests and benchmark.

Usage (run with /usr/bin/python3):

    camera_http_peer.py CONTROL [--port N] [--cert CERT --key KEY] [--user U --password P]
                        [--fps N] [--size WxH] [--color RRGGBB] [--pattern NAME]

GET /mjpeg: an endless multipart/x-mixed-replace stream of JPEG pictures at --fps (default 15);
GET /snapshot.jpg: one JPEG picture. Both show a solid colour; the colour follows the file
CONTROL as in rtsp_peer.py ("COLOR RRGGBB" is printed once pictures of it are being served).
With --cert and --key it speaks HTTPS; with --user only that basic-auth log-in is served (401
otherwise). --port N listens there again after a restart (0 or none: a free port). Prints
"READY <port>".
"""
import argparse
import base64
import http.server
import socket
import ssl
import sys
import threading
import time

import gi

gi.require_version("Gst", "1.0")
from gi.repository import Gst  # noqa: E402

ARGS = None
LOCK = threading.Lock()
STATE = {"color": None, "jpeg": b""}


def encode(color, size):
    width, height = size.split("x")
    pipeline = Gst.parse_launch(
        "videotestsrc num-buffers=1 pattern=%s foreground-color=%d ! "
        "video/x-raw,width=%s,height=%s ! jpegenc quality=90 ! appsink name=sink"
        % (ARGS.pattern, 0xFF000000 | int(color, 16), width, height))
    sink = pipeline.get_by_name("sink")
    pipeline.set_state(Gst.State.PLAYING)
    sample = sink.emit("pull-sample")
    buffer = sample.get_buffer()
    data = buffer.extract_dup(0, buffer.get_size())
    pipeline.set_state(Gst.State.NULL)
    return data


def set_color(color):
    jpeg = encode(color, ARGS.size)
    with LOCK:
        STATE["color"], STATE["jpeg"] = color, jpeg


def current_jpeg():
    with LOCK:
        return STATE["jpeg"]


def poll_control():
    while True:
        try:
            with open(ARGS.control, encoding="ascii") as f:
                wanted = f.read().strip().lower()
            if len(wanted) == 6 and wanted != STATE["color"]:
                set_color(wanted)
                print("COLOR %s" % wanted, flush=True)
        except OSError:
            pass
        time.sleep(0.02)


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def authorised(self):
        if not ARGS.user:
            return True
        expected = "Basic " + base64.b64encode(
            ("%s:%s" % (ARGS.user, ARGS.password)).encode()).decode()
        if self.headers.get("Authorization") == expected:
            return True
        self.send_response(401)
        self.send_header("WWW-Authenticate", 'Basic realm="camera"')
        self.send_header("Content-Length", "0")
        self.end_headers()
        return False

    def do_GET(self):
        if not self.authorised():
            return
        if self.path == "/snapshot.jpg":
            jpeg = current_jpeg()
            self.send_response(200)
            self.send_header("Content-Type", "image/jpeg")
            self.send_header("Content-Length", str(len(jpeg)))
            self.end_headers()
            self.wfile.write(jpeg)
        elif self.path == "/mjpeg":
            self.send_response(200)
            self.send_header("Content-Type", "multipart/x-mixed-replace; boundary=frame")
            self.send_header("Connection", "close")
            self.end_headers()
            try:
                while True:
                    jpeg = current_jpeg()
                    self.wfile.write(b"--frame\r\nContent-Type: image/jpeg\r\nContent-Length: "
                                     + str(len(jpeg)).encode() + b"\r\n\r\n" + jpeg + b"\r\n")
                    self.wfile.flush()
                    time.sleep(1.0 / ARGS.fps)
            except (OSError, ssl.SSLError):
                pass
            self.close_connection = True
        else:
            self.send_response(404)
            self.send_header("Content-Length", "0")
            self.end_headers()


class Server(http.server.ThreadingHTTPServer):
    daemon_threads = True
    allow_reuse_address = True


def main():
    global ARGS
    parser = argparse.ArgumentParser()
    parser.add_argument("control")
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--cert")
    parser.add_argument("--key")
    parser.add_argument("--user")
    parser.add_argument("--password", default="")
    parser.add_argument("--fps", type=int, default=15)
    parser.add_argument("--size", default="320x240")
    parser.add_argument("--color", default="0000ff")
    parser.add_argument("--pattern", default="solid-color",
                        help="another videotestsrc pattern (snow: pictures of a camera's size)")
    ARGS = parser.parse_args()
    Gst.init(None)
    set_color(ARGS.color.lower())
    server = Server(("127.0.0.1", ARGS.port), Handler)
    if ARGS.cert:
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(ARGS.cert, ARGS.key)
        server.socket = context.wrap_socket(server.socket, server_side=True)
    threading.Thread(target=poll_control, daemon=True).start()
    print("READY %d" % server.server_address[1], flush=True)
    server.serve_forever()


if __name__ == "__main__":
    main()
