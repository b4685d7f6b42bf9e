"""An RTSP camera on loopback for the network camera tests and benchmark (gst-rtsp-server).

Usage (run with /usr/bin/python3):

    rtsp_peer.py CONTROL [--port N] [--user U --password P] [--keyint N] [--fps N]
                 [--size WxH] [--color RRGGBB] [--pattern NAME]

Serves a solid colour at /h264 (x264enc) and /h265 (x265enc) over RTSP, one shared stream per
mount, a key frame every --keyint frames (default 30). With --user, only that basic-auth log-in
is let in. Prints "READY <port>" (port 0 or none: a free one). The colour follows the file
CONTROL: whenever it holds a new RRGGBB the picture turns that colour, and the peer prints
"COLOR RRGGBB" once the source shows it.
"""
import argparse
import os
import sys

import gi

gi.require_version("Gst", "1.0")
gi.require_version("GstRtspServer", "1.0")
from gi.repository import GLib, Gst, GstRtspServer  # noqa: E402


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("control")
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--user")
    parser.add_argument("--password", default="")
    parser.add_argument("--keyint", type=int, default=30)
    parser.add_argument("--fps", type=int, default=15)
    parser.add_argument("--size", default="320x240")
    parser.add_argument("--color", default="0000ff")
    parser.add_argument("--pattern", default="solid-color",
                        help="another videotestsrc pattern (snow: a busy picture at the "
                             "encoder's full bit rate, for the benchmark)")
    args = parser.parse_args()
    Gst.init(None)
    width, height = args.size.split("x")
    sources = []
    state = {"color": args.color.lower()}

    def argb(color):
        return 0xFF000000 | int(color, 16)

    server = GstRtspServer.RTSPServer()
    server.set_address("127.0.0.1")
    server.set_service(str(args.port))
    encoders = {
        "h264": "x264enc tune=zerolatency speed-preset=ultrafast bitrate=2000 key-int-max=%d ! "
                "rtph264pay name=pay0 pt=96 config-interval=-1" % args.keyint,
        "h265": "x265enc tune=zerolatency speed-preset=ultrafast bitrate=2000 key-int-max=%d ! "
                "rtph265pay name=pay0 pt=96 config-interval=-1" % args.keyint,
    }
    for mount, encoder in encoders.items():
        factory = GstRtspServer.RTSPMediaFactory()
        factory.set_launch(
            "( videotestsrc name=src is-live=true pattern=%s foreground-color=%d ! "
            "video/x-raw,width=%s,height=%s,framerate=%d/1 ! videoconvert ! %s )"
            % (args.pattern, argb(state["color"]), width, height, args.fps, encoder))
        factory.set_shared(True)

        def configured(_factory, media):
            src = media.get_element().get_by_name("src")
            src.set_property("foreground-color", argb(state["color"]))
            sources.append(src)

        factory.connect("media-configure", configured)
        if args.user:
            factory.add_role_from_structure(Gst.Structure.from_string(
                "user, media.factory.access=(boolean)true, "
                "media.factory.construct=(boolean)true")[0])
        server.get_mount_points().add_factory("/" + mount, factory)
    if args.user:
        auth = GstRtspServer.RTSPAuth()
        token = GstRtspServer.RTSPToken()
        token.set_string("media.factory.role", "user")
        auth.add_basic(GstRtspServer.RTSPAuth.make_basic(args.user, args.password), token)
        server.set_auth(auth)
    if server.attach(None) == 0:
        sys.exit("cannot listen")

    def poll_control():
        try:
            with open(args.control, encoding="ascii") as f:
                wanted = f.read().strip().lower()
        except OSError:
            return True
        if len(wanted) == 6 and wanted != state["color"]:
            state["color"] = wanted
            for src in sources:
                src.set_property("foreground-color", argb(wanted))
            print("COLOR %s" % wanted, flush=True)
        return True

    GLib.timeout_add(20, poll_control)
    print("READY %d" % server.get_bound_port(), flush=True)
    GLib.MainLoop().run()


if __name__ == "__main__":
    main()
