#!/usr/bin/env python3
"""strofix-follow as built, driven by the player stand-in on a block of the test's own:
lines in order at their seconds with nothing repeated, --once, JSON read back with a real
JSON parser, invalid UTF-8, the ways it ends, bad usage.

usage: test_follow_cli.py STROFIX_FOLLOW STROFIX_PLAYER STROFIX_CHECK [STROFIX]
"""
import json
import os
import signal
import subprocess
import sys
import tempfile
import threading
import time
import unittest

FOLLOW, PLAYER, CHECK = sys.argv[1:4]
WINDOW = sys.argv[4] if len(sys.argv) > 4 else None
NO_LYRICS = "Unable to Locate Lyrics File"
SONG = "C:\\Music\\Song.mp3"
LYRICS = (b"[00:01]One\n"
          b"[00:02]Two \xe2\x82\xac\n"
          b"[00:03]Bad \xff byte\n"
          b"[00:04][00:02]Four\n")

_count = 0


class Follow(unittest.TestCase):
    def setUp(self):
        global _count
        _count += 1
        self.tmp = tempfile.TemporaryDirectory(prefix="strofix-follow-test-")
        self.dir = os.path.join(self.tmp.name, "lyrics")
        os.mkdir(self.dir)
        with open(os.path.join(self.dir, "Song.txt"), "wb") as f:
            f.write(LYRICS)
        self.block = "/strofix-follow-test-%d-%d" % (os.getpid(), _count)
        self.env = dict(os.environ, XDG_CONFIG_HOME=os.path.join(self.tmp.name, "config"))
        self.procs = []

    def tearDown(self):
        for p in self.procs:
            if p.poll() is None:
                p.kill()
                p.wait()
            for pipe in (p.stdout, p.stderr):
                if pipe is not None:
                    pipe.close()
        name = self.block.lstrip("/")
        for leftover in ("/dev/shm/" + name, "/dev/shm/sem." + name + "Event"):
            if os.path.exists(leftover):
                os.unlink(leftover)
        self.tmp.cleanup()

    def follow_args(self, *extra):
        return [FOLLOW, "--block", self.block, "--dir", self.dir, *extra]

    def run_tool(self, args, check=True):
        r = subprocess.run(args, env=self.env, capture_output=True, timeout=60)
        if check:
            self.assertEqual(r.returncode, 0, r.stderr)
        return r

    def player(self, *args):
        return self.run_tool([PLAYER, "--block", self.block, *args])

    def start_follow(self, *extra):
        p = subprocess.Popen(self.follow_args(*extra), env=self.env, stdout=subprocess.PIPE,
                             stderr=subprocess.PIPE)
        self.procs.append(p)
        lines = []

        def read():
            for raw in p.stdout:
                lines.append((time.monotonic(), raw))
        t = threading.Thread(target=read, daemon=True)
        t.start()
        return p, lines, t

    def wait_for(self, what, limit=20.0):
        end = time.monotonic() + limit
        while time.monotonic() < end:
            if what():
                return True
            time.sleep(0.05)
        return False

    def once(self, *extra):
        return self.run_tool(self.follow_args("--once", *extra)).stdout

    def test_lines_come_in_order_at_their_seconds_and_never_repeat(self):
        p, lines, reader = self.start_follow("--format", "json")
        self.assertTrue(self.wait_for(lambda: lines), "no first line")
        player = subprocess.Popen([PLAYER, "--block", self.block, "play", "--for", "5", SONG],
                                  env=self.env, stdout=subprocess.PIPE, text=True)
        self.procs.append(player)
        self.assertTrue(player.stdout.readline().startswith("playing"))
        started = time.monotonic()
        player.stdout.read()
        self.assertEqual(player.wait(timeout=30), 0)
        self.assertTrue(self.wait_for(lambda: json.loads(lines[-1][1])["class"] == "idle"
                                      and len(lines) > 1), lines)
        p.send_signal(signal.SIGINT)
        self.assertEqual(p.wait(timeout=10), 0)
        reader.join(5)
        self.assertEqual(p.stderr.read(), b"")

        objects = [json.loads(raw) for _, raw in lines]  # every line is one JSON object
        for o in objects:
            self.assertEqual(sorted(o), ["class", "text", "tooltip"])
        got = [(o["text"], o["tooltip"], o["class"]) for o in objects]
        self.assertEqual(got, [
            ("", "", "idle"),
            ("One", "Song.mp3", "lyric"),  # the table's first line shows from the start
            ("Two \u20ac", "Song.mp3", "lyric"),
            ("Bad \ufffd byte", "Song.mp3", "lyric"),
            ("Four", "Song.mp3", "lyric"),
            (NO_LYRICS, "", "idle"),  # the path cleared: the window says so too
        ])
        # No line before its second (the player's clock starts a little before it said so).
        for (at, _), second in zip(lines[2:5], (2, 3, 4)):
            self.assertGreaterEqual(at - started, second - 0.3, got)
        self.assertTrue(all(raw.endswith(b"\n") for _, raw in lines))

    def test_once_prints_the_line_that_shows_now(self):
        cases = [
            ({}, b"\n"),  # no song in the block
            ({"--path": SONG, "--position": "0"}, b"One\n"),
            ({"--position": "2400"}, "Two \u20ac\n".encode()),
            # Bytes as the file holds them in plain text.
            ({"--position": "3999"}, b"Bad \xff byte\n"),
            ({"--position": "9000"}, b"Four\n"),
            ({"--path": "C:\\Music\\Other.mp3"}, NO_LYRICS.encode() + b"\n"),
        ]
        for setting, expected in cases:
            if setting:
                args = [a for kv in setting.items() for a in kv]
                self.player("set", *args)
            self.assertEqual(self.once(), expected, setting)

    def test_json_is_valid_whatever_bytes_the_file_holds(self):
        with open(os.path.join(self.dir, "Odd.txt"), "wb") as f:
            f.write(b"[00:00]\"q\" \\ \x01\x1b[2J \xc0\xaf \xed\xa0\x80 \xf0\x9f\x8e\n")
        # A song path that is not UTF-8 either (and names no lyrics file).
        self.player("set", "--path", b"C:\\M\\Odd\xff.mp3", "--position", "500")
        out = self.once("--format", "json")
        self.assertEqual(out.count(b"\n"), 1)
        o = json.loads(out.decode("utf-8"))  # strict: fails on invalid UTF-8
        self.assertEqual(o, {"text": NO_LYRICS, "tooltip": "Odd\ufffd.mp3", "class": "no-lyrics"})
        self.player("set", "--path", "C:\\M\\Odd.mp3")
        o = json.loads(self.once("--format", "json").decode("utf-8"))
        self.assertEqual(o, {"text": "\"q\" \\ \x01\x1b[2J \ufffd\ufffd \ufffd\ufffd\ufffd \ufffd",
                             "tooltip": "Odd.mp3", "class": "lyric"})

    def test_reads_the_configured_directory_and_leaves_the_setting_alone(self):
        config = self.env["XDG_CONFIG_HOME"]
        os.mkdir(config)
        ini = os.path.join(config, "Strofix.ini")
        text = b"; mine\r\n[Strofix 1.0]\r\nLyricsPath=" + self.dir.encode() + b"/\r\n"
        with open(ini, "wb") as f:
            f.write(text)
        self.player("set", "--path", SONG, "--position", "2000")
        r = self.run_tool([FOLLOW, "--block", self.block, "--once"])
        self.assertEqual(r.stdout, "Two \u20ac\n".encode())
        with open(ini, "rb") as f:
            self.assertEqual(f.read(), text)

    def test_signals_and_a_closed_output_end_it_quietly(self):
        self.player("set", "--path", SONG, "--position", "1000")
        for sig in (signal.SIGTERM, signal.SIGINT):
            p, lines, _ = self.start_follow()
            self.assertTrue(self.wait_for(lambda: lines), "no line")
            p.send_signal(sig)
            self.assertEqual(p.wait(timeout=10), 0, sig)
            self.assertEqual(p.stderr.read(), b"")
        # The bar goes away: its end of the pipe closes; the next line ends the follower.
        r, w = os.pipe()
        p = subprocess.Popen(self.follow_args(), env=self.env, stdout=w, stderr=subprocess.PIPE)
        self.procs.append(p)
        os.close(w)
        with os.fdopen(r, "rb") as out:
            self.assertEqual(out.readline(), b"One\n")
        self.player("set", "--position", "3000")
        self.assertEqual(p.wait(timeout=10), 0)
        self.assertEqual(p.stderr.read(), b"")

    def test_bad_usage_and_version(self):
        for args, code, message in [
            (["--format", "xml"], 2, b"--format is plain or json"),
            (["--dir"], 2, b"--dir wants a value"),
            (["--once", "extra"], 2, b"unexpected 'extra'"),
            (["--dir", "x" * 100], 2, b"at most 99 characters"),
            (["--dir", os.path.join(self.tmp.name, "nowhere")], 1, b"no such directory"),
            (["--block", ""], 2, b"--block wants a name"),
        ]:
            r = self.run_tool([FOLLOW, *args], check=False)
            self.assertEqual(r.returncode, code, args)
            self.assertIn(message, r.stderr, args)
            self.assertEqual(r.stdout, b"", args)
        r = self.run_tool([FOLLOW, "--help"])
        self.assertTrue(r.stdout.startswith(b"usage: strofix-follow"))
        # One version for every program, the window included (it prints before any window).
        env = {k: v for k, v in self.env.items() if k not in ("DISPLAY", "QT_QPA_PLATFORM")}
        programs = [FOLLOW, PLAYER, CHECK] + ([WINDOW] if WINDOW else [])
        versions = set()
        for exe in programs:
            r = subprocess.run([exe, "--version"], env=env, capture_output=True, timeout=30)
            self.assertEqual(r.returncode, 0, exe)
            name, version = r.stdout.decode().split()
            self.assertEqual(name, os.path.basename(exe))
            versions.add(version)
            r = subprocess.run([exe, "--help"], env=env, capture_output=True, timeout=30)
            self.assertEqual(r.returncode, 0, exe)
            self.assertIn(b"usage: " + os.path.basename(exe).encode(), r.stdout)
        self.assertEqual(len(versions), 1, versions)


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], verbosity=2)
