#!/usr/bin/env python3
"""sponge-cross and sponge-quad, and sponge-render's live view, in a real X server, watched
from outside.

Every test starts its own Xvfb and runs the real program on it. Xvfb has no window
manager, so the program's window is a plain child of the root with no frame: its outer
window and its client area are the same rectangle, and the position and size xwininfo
reports are the client area's (the fullscreen test alone runs openbox, since only a window
manager makes a window cover the screen). Keys are real key events from xdotool (through
the XTEST extension, to the focused window), the close request is the WM_DELETE_WINDOW
message a window manager's close button sends, and the picture is read back with xwd.
Frames are compared with sponge-render's, which renders the same pixels offline.

Usage: window_test.py --program PATH --render PATH --close-request PATH [unittest arguments]
       window_test.py --render PATH --close-request PATH [unittest arguments]
The first runs WindowTest on a window program, the second LiveViewTest on sponge-render.
"""

import argparse
import array
import glob
import os
import re
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import threading
import time
import unittest
import zlib

PROGRAM = ""
RENDER = ""
CLOSE_REQUEST = ""

TITLE = "Create DIB"
RENDER_WIDTH, RENDER_HEIGHT = 240, 180
FPS_LINE = re.compile(r"^[0-9]+\.[0-9]{2} fps$")

# Deadlines, not durations: each wait returns as soon as its event happens. They are wide
# because the suite also runs under the sanitizers, where a frame takes many times longer.
START_TIMEOUT = 120  # until the window is mapped, or the first frame-rate lines
END_TIMEOUT = 30    # "within a few seconds" of Escape or a close request

# Screen size, then the client area and its corner that the program must choose.
SCREENS = [
    ((1920, 1080), (1536, 864), (192, 108)),
    ((1366, 767), (1092, 613), (137, 77)),
]


def wait_until(predicate, timeout, what):
    deadline = time.monotonic() + timeout
    while True:
        value = predicate()
        if value:
            return value
        if time.monotonic() > deadline:
            raise AssertionError(f"gave up after {timeout} s waiting for {what}")
        time.sleep(0.05)


class Xvfb:
    """A private X server on the first free display number."""

    def __init__(self, width, height):
        read_end, write_end = os.pipe()
        self.proc = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0", f"{width}x{height}x24",
             "-nolisten", "tcp", "-noreset"],
            pass_fds=(write_end,), stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
            stderr=subprocess.DEVNULL)
        os.close(write_end)
        number = b""
        with os.fdopen(read_end, "rb") as announced:
            number = announced.readline().strip()  # Xvfb writes it once it accepts clients
        if not number:
            self.close()
            raise AssertionError("Xvfb did not start")
        self.display = ":" + number.decode()

    def env(self):
        """The environment of a program run on this server and nothing else."""
        env = {k: v for k, v in os.environ.items() if k not in ("WAYLAND_DISPLAY", "SDL_VIDEODRIVER")}
        env["DISPLAY"] = self.display
        return env

    def tool(self, *args):
        return subprocess.run(list(args), env=self.env(), check=True, capture_output=True, text=True,
                              timeout=START_TIMEOUT).stdout

    def close(self):
        self.proc.terminate()
        self.proc.wait()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()


class WindowManager:
    """openbox on an Xvfb: what makes a fullscreen window cover the screen."""

    def __init__(self, x):
        self.proc = subprocess.Popen(["openbox"], env=x.env(), stdin=subprocess.DEVNULL,
                                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        # Running once it has taken the root window's substructure redirection.
        wait_until(lambda: "_NET_SUPPORTING_WM_CHECK(WINDOW)" in x.tool("xprop", "-root", "_NET_SUPPORTING_WM_CHECK"),
                   START_TIMEOUT, "openbox")

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.proc.terminate()
        self.proc.wait()


class Program:
    """The program under test, with its standard output collected line by line (or closed,
    as a launcher may start it)."""

    def __init__(self, env, args=(), close_stdout=False, program=None, cwd=None):
        self.proc = subprocess.Popen([program or PROGRAM, *args], env=env, stdin=subprocess.DEVNULL, cwd=cwd,
                                     stdout=subprocess.DEVNULL if close_stdout else subprocess.PIPE,
                                     stderr=subprocess.PIPE, text=True,
                                     preexec_fn=(lambda: os.close(1)) if close_stdout else None)
        self.started = time.monotonic()
        self.lines = []
        self.err = ""
        self.readers = [threading.Thread(target=self._read_err)]
        if not close_stdout:
            self.readers.append(threading.Thread(target=self._read_out))
        for r in self.readers:
            r.start()

    def _read_out(self):
        for line in self.proc.stdout:
            self.lines.append(line.rstrip("\n"))

    def _read_err(self):
        for line in self.proc.stderr:
            self.err += line

    def running(self):
        return self.proc.poll() is None

    def wait_for_lines(self, count):
        def enough():
            if not self.running():
                raise AssertionError(f"program ended early with status {self.proc.returncode}: {self.err}")
            return len(self.lines) >= count
        wait_until(enough, START_TIMEOUT, f"{count} frame-rate lines")

    def wait_for_end(self, timeout):
        """Exit status, after standard output and error have been read to the end."""
        try:
            self.proc.wait(timeout)
        except subprocess.TimeoutExpired:
            raise AssertionError(f"program still running {timeout} s after it was asked to end")
        self._finish_reading()
        return self.proc.returncode

    def kill(self):
        if self.running():
            self.proc.kill()
        self.proc.wait()
        self._finish_reading()

    def _finish_reading(self):
        for r in self.readers:
            r.join()
        if self.proc.stdout:
            self.proc.stdout.close()
        self.proc.stderr.close()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.kill()


def find_window(x, program):
    def visible():
        if not program.running():
            raise AssertionError(f"program ended with status {program.proc.returncode}: {program.err}")
        found = subprocess.run(["xdotool", "search", "--onlyvisible", "--pid", str(program.proc.pid)],
                               env=x.env(), capture_output=True, text=True).stdout.split()
        return found[0] if found else None
    return wait_until(visible, START_TIMEOUT, "the program's window")


def press_escape(x, window, held):
    # With a window manager the new window would already have the focus; here the test gives it.
    x.tool("xdotool", "windowfocus", "--sync", window)
    x.tool("xdotool", "keydown" if held else "key", "Escape")


NOT_SHOWN_YET = "sponge-render: F12: no frame has been shown yet\n"


def press_f12(x, window, view, taken):
    """Presses F12 until the live view takes it with a frame on screen, then returns what
    taken() returns. F12 before the first shown frame keeps nothing and says so, and the first
    frame may come well after the window: after the unseen frames of --from, or on a busy
    machine."""
    while True:
        refused = view.err.count(NOT_SHOWN_YET)
        x.tool("xdotool", "windowfocus", "--sync", window)
        x.tool("xdotool", "key", "F12")

        def answered():
            if not view.running():
                raise AssertionError(f"program ended with status {view.proc.returncode}: {view.err}")
            return taken() or view.err.count(NOT_SHOWN_YET) > refused
        wait_until(answered, START_TIMEOUT, "an answer to F12")
        if view.err.count(NOT_SHOWN_YET) == refused:
            return taken()
        time.sleep(0.1)


def flight_lines(path):
    with open(path, encoding="utf-8") as flight:
        return [line for line in flight if not line.startswith("#")]


def screenshot(x, program, window):
    """(width, height, rows) of the window's picture, taken while the program is stopped so
    that it cannot present half a frame while xwd reads the window."""
    os.kill(program.proc.pid, signal.SIGSTOP)
    try:
        dump = subprocess.run(["xwd", "-silent", "-id", window], env=x.env(), check=True,
                              capture_output=True, timeout=START_TIMEOUT).stdout
    finally:
        os.kill(program.proc.pid, signal.SIGCONT)
    return read_xwd(dump)


def render_frame(shot, width, height):
    """The frame as rendered, read back from a screen pixel inside each render pixel."""
    xs = [centre_pixel(i, width, RENDER_WIDTH) for i in range(RENDER_WIDTH)]
    return [[shot[centre_pixel(j, height, RENDER_HEIGHT)][x] for x in xs] for j in range(RENDER_HEIGHT)]


def sharp_neighbours(frame):
    """Neighbouring render pixels with a colour byte more than 16 apart. A raw frame has 10,000
    to 23,000 of them; the trail filters smooth all but at most 5,000 away."""
    def apart(p, q):
        return any(abs(((p >> s) & 255) - ((q >> s) & 255)) > 16 for s in (0, 8, 16))
    across = sum(apart(row[i], row[i + 1]) for row in frame for i in range(RENDER_WIDTH - 1))
    down = sum(apart(frame[j][i], frame[j + 1][i]) for j in range(RENDER_HEIGHT - 1) for i in range(RENDER_WIDTH))
    return across + down


def read_png(path):
    """(width, height, RGB bytes) of an 8-bit RGB PNG without interlacing, as sponge-render
    writes them."""
    with open(path, "rb") as f:
        data = f.read()
    assert data[:8] == b"\x89PNG\r\n\x1a\n", f"{path} is not a PNG"
    at, idat, width, height = 8, b"", 0, 0
    while at < len(data):
        length, kind = struct.unpack(">I4s", data[at:at + 8])
        body = data[at + 8:at + 8 + length]
        if kind == b"IHDR":
            width, height, depth, colour, _, _, interlace = struct.unpack(">IIBBBBB", body)
            assert (depth, colour, interlace) == (8, 2, 0), f"{path}: not 8-bit RGB without interlacing"
        elif kind == b"IDAT":
            idat += body
        at += 12 + length
    raw, stride, rows, previous = zlib.decompress(idat), 3 * width, [], bytearray(3 * width)
    for y in range(height):
        kind, line = raw[y * (stride + 1)], bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            a = line[i - 3] if i >= 3 else 0
            b, c = previous[i], previous[i - 3] if i >= 3 else 0
            if kind == 1:
                line[i] = (line[i] + a) & 255
            elif kind == 2:
                line[i] = (line[i] + b) & 255
            elif kind == 3:
                line[i] = (line[i] + (a + b) // 2) & 255
            elif kind == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                line[i] = (line[i] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
        rows.append(bytes(line))
        previous = line
    return width, height, b"".join(rows)


def read_ppm(path):
    """(width, height, RGB bytes) of a binary PPM as sponge-render writes it."""
    with open(path, "rb") as f:
        data = f.read()
    # Exactly one blank after the 255: the pixels may begin with bytes that read as blanks
    # (a dark frame's 9, 10 or 32), which a split on whitespace would swallow.
    header = re.match(rb"P6\s+(\d+)\s+(\d+)\s+255\s", data)
    assert header, f"{path} is not an 8-bit PPM"
    return int(header.group(1)), int(header.group(2)), data[header.end():]


def offline_frame(args, frame):
    """The RGB bytes of sponge-render's frame number frame, rendered with args."""
    with tempfile.TemporaryDirectory() as folder:
        out = os.path.join(folder, "frame.png")
        subprocess.run([RENDER, *args, "--frames", str(frame), "--quiet", "--output", out], check=True,
                       timeout=START_TIMEOUT)
        return read_png(out)


def frame_bytes(frame):
    """A frame read back from the screen, as RGB bytes."""
    return b"".join(struct.pack(">I", p)[1:] for row in frame for p in row)


def find_offline_frame(args, rgb, last):
    """The number of the frame among sponge-render's frames 1 to last (rendered with args at
    the window programs' size) whose pixels are rgb, or None. In chunks, so that the folder
    never holds more than a few hundred frames."""
    chunk = 400
    with tempfile.TemporaryDirectory() as folder:
        for first in range(1, last + 1, chunk):
            end = min(last, first + chunk - 1)
            subprocess.run([RENDER, *args, "--from", str(first), "--frames", str(end), "--quiet",
                            "--output", os.path.join(folder, "f-%d.ppm")], check=True, timeout=START_TIMEOUT)
            for n in range(first, end + 1):
                path = os.path.join(folder, f"f-{n}.ppm")
                found = read_ppm(path)[2] == rgb
                os.remove(path)
                if found:
                    return n
    return None


def window_geometry(x, window):
    info = x.tool("xwininfo", "-id", window)
    field = lambda name: int(re.search(rf"^\s*{name}:\s*(-?\d+)$", info, re.M).group(1))
    return {"x": field("Absolute upper-left X"), "y": field("Absolute upper-left Y"),
            "width": field("Width"), "height": field("Height"), "border": field("Border width")}


def read_xwd(data):
    """(width, height, rows of pixel values masked to the colour bits) of an xwd dump."""
    header = struct.unpack(">25I", data[:100])
    (header_size, _version, pixmap_format, _depth, width, height, _xoffset, byte_order, _unit,
     _bit_order, _pad, bits_per_pixel, bytes_per_line, _visual, red, green, blue, _bits_rgb,
     _map_entries, ncolors) = header[:20]
    assert pixmap_format == 2 and bits_per_pixel == 32, "expected a 32-bit ZPixmap"
    start = header_size + 12 * ncolors
    mask = red | green | blue
    rows = []
    for y in range(height):
        row = array.array("I", data[start + y * bytes_per_line: start + y * bytes_per_line + 4 * width])
        if (byte_order == 1) != (sys.byteorder == "big"):
            row.byteswap()
        rows.append([p & mask for p in row])
    return width, height, rows


def under_centres(screen_size, render_size):
    """For each screen pixel along one axis, the render pixel under its centre:
    floor((s + 0.5) * render_size / screen_size)."""
    return [(2 * s + 1) * render_size // (2 * screen_size) for s in range(screen_size)]


def centre_pixel(index, screen_size, render_size):
    """A screen pixel inside render pixel index's extent and no other's (the extent is wider than 2)."""
    return (2 * index + 1) * screen_size // (2 * render_size)


class WindowTest(unittest.TestCase):

    def test_window_place_size_title_and_fixed_size(self):
        for (screen, size, corner) in SCREENS:
            with self.subTest(screen=screen), Xvfb(*screen) as x, Program(x.env()) as program:
                window = find_window(x, program)
                g = window_geometry(x, window)
                # No frame: this is both the outer window and the client area.
                self.assertEqual((g["width"], g["height"]), size)
                self.assertEqual((g["x"], g["y"]), corner)
                self.assertEqual(g["border"], 0)

                props = x.tool("xprop", "-id", window, "WM_NAME", "_NET_WM_NAME", "WM_NORMAL_HINTS")
                self.assertIn(f'WM_NAME(STRING) = "{TITLE}"', props)
                self.assertIn(f'_NET_WM_NAME(UTF8_STRING) = "{TITLE}"', props)
                # Equal minimum and maximum sizes are how X tells a window manager that the
                # window can be neither resized nor maximised.
                self.assertIn(f"program specified minimum size: {size[0]} by {size[1]}", props)
                self.assertIn(f"program specified maximum size: {size[0]} by {size[1]}", props)

                press_escape(x, window, held=False)
                self.assertEqual(program.wait_for_end(END_TIMEOUT), 0, program.err)

    def test_frame_rate_lines_and_ending_requests(self):
        requests = [
            ("Escape pressed and released", lambda x, w: press_escape(x, w, held=False)),
            ("Escape held down", lambda x, w: press_escape(x, w, held=True)),
            ("WM_DELETE_WINDOW", lambda x, w: close_request(self, x, w)),
        ]
        for name, request in requests:
            with self.subTest(request=name), Xvfb(1366, 767) as x, Program(x.env()) as program:
                window = find_window(x, program)
                program.wait_for_lines(2)
                asked = time.monotonic()
                request(x, window)
                status = program.wait_for_end(END_TIMEOUT)
                self.assertEqual(status, 0, program.err)
                self.assertLess(time.monotonic() - asked, END_TIMEOUT)
                self.assertGreaterEqual(len(program.lines), 2)
                for line in program.lines:
                    self.assertRegex(line, FPS_LINE)
                # At most one line per second, plus one for the interval in progress.
                self.assertLessEqual(len(program.lines), time.monotonic() - program.started + 1)

    def test_screenshot_is_the_frame_enlarged_by_pixel_replication(self):
        # The window's own surface, and the texture the host falls back to elsewhere.
        for (screen, size, _corner), present in [(s, p) for s in SCREENS for p in ("surface", "texture")]:
            env_present = {"SPONGE_PRESENT": "texture"} if present == "texture" else {}
            with self.subTest(screen=screen, present=present), Xvfb(*screen) as x, \
                    Program(dict(x.env(), **env_present)) as program:
                window = find_window(x, program)
                program.wait_for_lines(1)  # a second of frames: blended, filtered, full of detail
                width, height, shot = screenshot(x, program, window)
                self.assertEqual((width, height), size)
                self.check_pixel_replication(shot, width, height)
                press_escape(x, window, held=False)
                self.assertEqual(program.wait_for_end(END_TIMEOUT), 0, program.err)

    def check_pixel_replication(self, shot, width, height):
        frame = render_frame(shot, width, height)

        # Without detail in the frame a smoothed or shifted enlargement would pass unseen.
        # A frame has tens of thousands of differing neighbours; a few thousand suffice.
        colours = {p for row in frame for p in row}
        across = sum(row[i] != row[i + 1] for row in frame for i in range(RENDER_WIDTH - 1))
        down = sum(frame[j][i] != frame[j + 1][i] for j in range(RENDER_HEIGHT - 1) for i in range(RENDER_WIDTH))
        self.assertGreater(len(colours), 50)
        self.assertGreater(across, 2000)
        self.assertGreater(down, 2000)

        # Every screen pixel is the render pixel under its centre: no blended colour, no
        # border, no shift.
        cols, rows = under_centres(width, RENDER_WIDTH), under_centres(height, RENDER_HEIGHT)
        wrong = []
        for y in range(height):
            source, line = frame[rows[y]], shot[y]
            wrong.extend((x, y) for x in range(width) if line[x] != source[cols[x]])
        self.assertEqual(wrong[:10], [], f"{len(wrong)} screen pixels are not the render pixel under their centre")

    def test_the_window_shows_the_frames_of_its_own_trail_filter(self):
        # Each window program binds one trail filter. The frame on screen, read back, must be
        # one of sponge-render's frames with that filter, and none of the other's: swapped
        # bindings, or a window that drew other pixels, fail here.
        own = {"sponge-cross": "cross", "sponge-quad": "quad"}[os.path.basename(PROGRAM)]
        with Xvfb(1366, 767) as x, Program(x.env()) as program:
            window = find_window(x, program)
            # The first frame shown, or soon after: the programs draw hundreds a second.
            def shown():
                width, height, shot = screenshot(x, program, window)
                frame = render_frame(shot, width, height)
                return frame_bytes(frame) if any(p for row in frame for p in row) else None
            rgb = wait_until(shown, START_TIMEOUT, "a frame on screen")
        size = ["--size", f"{RENDER_WIDTH}x{RENDER_HEIGHT}"]
        last = 2400
        number = find_offline_frame([*size, "--filter", own], rgb, last)
        self.assertIsNotNone(number, f"the window shows none of frames 1-{last} with the {own} trail")
        for other in {"cross", "quad", "none"} - {own}:
            self.assertIsNone(find_offline_frame([*size, "--filter", other], rgb, number),
                              f"the window's frame is also one of the {other} trail's")

    def test_with_standard_output_closed_it_runs_and_ends_as_usual(self):
        # Without care, the display connection would become descriptor 1 and receive the
        # frame-rate lines, and the window would freeze for good.
        with Xvfb(1366, 767) as x, Program(x.env(), close_stdout=True) as program:
            window = find_window(x, program)
            time.sleep(2)  # frame-rate lines would have been due
            self.assertTrue(program.running(), program.err)
            press_escape(x, window, held=False)
            self.assertEqual(program.wait_for_end(END_TIMEOUT), 0, program.err)
            self.assertEqual(program.err, "")

    def test_space_held_shows_raw_frames_and_release_brings_the_trail_back(self):
        with Xvfb(1366, 767) as x, Program(x.env()) as program:
            check_space_shows_raw_frames(self, x, program)

    def test_without_a_display_it_says_so_and_fails(self):
        unused = next(n for n in range(4000, 5000)
                      if not os.path.exists(f"/tmp/.X11-unix/X{n}") and not os.path.exists(f"/tmp/.X{n}-lock"))
        no_display = {k: v for k, v in os.environ.items()
                      if k not in ("DISPLAY", "WAYLAND_DISPLAY", "WAYLAND_SOCKET", "SDL_VIDEODRIVER")}
        with tempfile.TemporaryDirectory() as runtime_dir:
            cases = [
                ("DISPLAY not set", {k: v for k, v in no_display.items() if k != "XDG_RUNTIME_DIR"}),
                ("DISPLAY not set, no Wayland socket in XDG_RUNTIME_DIR",
                 dict(no_display, XDG_RUNTIME_DIR=runtime_dir)),
                ("DISPLAY names no server", dict(no_display, DISPLAY=f":{unused}")),
                # SDL takes an empty driver name as none and would fall back to an invisible one.
                ("SDL_VIDEODRIVER empty", dict(no_display, SDL_VIDEODRIVER="")),
            ]
            for name, env in cases:
                with self.subTest(case=name), Program(env) as program:
                    status = program.wait_for_end(START_TIMEOUT)
                    self.assertEqual(status, 1)
                    self.assertEqual(program.lines, [])
                    program_name = os.path.basename(PROGRAM)
                    self.assertRegex(program.err, rf"^{re.escape(program_name)}: cannot open a display[^\n]*"
                                                  rf"x11 not available[^\n]*\n\Z")

    def test_a_driver_named_by_the_user_is_used_even_if_invisible(self):
        env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
        env["SDL_VIDEODRIVER"] = "offscreen"
        with Program(env) as program:
            program.wait_for_lines(1)
            # SDL turns SIGTERM into a quit request, which ends the loop like a closed window.
            program.proc.send_signal(signal.SIGTERM)
            self.assertEqual(program.wait_for_end(END_TIMEOUT), 0, program.err)
            for line in program.lines:
                self.assertRegex(line, FPS_LINE)


def check_space_shows_raw_frames(test, x, program):
    """Space held through real key events gives raw frames: several times the sharp
    neighbours of the frames with the trail, before and after; releasing it brings the trail
    back. Then Escape ends the program with status 0."""
    window = find_window(x, program)
    x.tool("xdotool", "windowfocus", "--sync", window)

    def sharpness():
        width, height, shot = screenshot(x, program, window)
        return sharp_neighbours(render_frame(shot, width, height))

    # Each wait for a frame-rate line is a second of frames in the new state. The trail
    # needs a few seconds to build up from the black first frame.
    program.wait_for_lines(3)
    trail = sharpness()
    x.tool("xdotool", "keydown", "space")
    program.wait_for_lines(len(program.lines) + 1)
    raw = sharpness()
    x.tool("xdotool", "keyup", "space")
    program.wait_for_lines(len(program.lines) + 2)
    trail_again = sharpness()
    test.assertGreater(raw, 2 * trail, "Space held must show raw frames, without blend or trail")
    test.assertGreater(raw, 2 * trail_again, "releasing Space must bring the trail back")
    press_escape(x, window, held=False)
    test.assertEqual(program.wait_for_end(END_TIMEOUT), 0, program.err)


def close_request(test, x, window):
    protocols = x.tool("xprop", "-id", window, "WM_PROTOCOLS")
    test.assertIn("WM_DELETE_WINDOW", protocols)  # a window manager checks this first
    x.tool(CLOSE_REQUEST, window)


class LiveViewTest(unittest.TestCase):
    """sponge-render --window: the same host, paced, at any size."""

    def live_view(self, env, *args, cwd=None):
        return Program(env, ["--window", *args], program=RENDER, cwd=cwd)

    def test_window_size_paced_lines_and_ending_requests(self):
        requests = [
            ("Escape", lambda x, w: press_escape(x, w, held=False)),
            ("WM_DELETE_WINDOW", lambda x, w: close_request(self, x, w)),
        ]
        for name, request in requests:
            # 80 % of 1366 x 767 is 1092 x 613, which holds 64 x 48 at most twelve times
            # (1092 / 64 = 17, 613 / 48 = 12): 768 x 576, centred.
            with self.subTest(request=name), Xvfb(1366, 767) as x, self.live_view(x.env(), "--size", "64x48") as view:
                window = find_window(x, view)
                g = window_geometry(x, window)
                self.assertEqual((g["width"], g["height"]), (768, 576))
                self.assertEqual((g["x"], g["y"]), ((1366 - 768) // 2, (767 - 576) // 2))
                props = x.tool("xprop", "-id", window, "WM_NAME")
                self.assertIn('WM_NAME(STRING) = "sponge-render"', props)
                view.wait_for_lines(7)
                for line in view.lines:
                    self.assertRegex(line, FPS_LINE)
                # The first second includes the start; the six after it are paced. Judged on
                # their mean: a busy machine may stall a frame now and then, after which the
                # schedule starts afresh and that second falls a little short.
                rates = [float(line.split()[0]) for line in view.lines[1:7]]
                self.assertGreaterEqual(sum(rates) / len(rates), 56.0, rates)
                self.assertLessEqual(sum(rates) / len(rates), 61.0, rates)
                self.assertLessEqual(max(rates), 62.0, rates)
                request(x, window)
                self.assertEqual(view.wait_for_end(END_TIMEOUT), 0, view.err)

    def test_space_held_shows_raw_frames_and_release_brings_the_trail_back(self):
        with Xvfb(1366, 767) as x, self.live_view(x.env(), "--pace", "0") as view:
            check_space_shows_raw_frames(self, x, view)

    def test_quiet_prints_no_frame_rate_lines(self):
        with Xvfb(1366, 767) as x, self.live_view(x.env(), "--size", "32x24", "--quiet") as view:
            window = find_window(x, view)
            time.sleep(1.5)
            press_escape(x, window, held=False)
            self.assertEqual(view.wait_for_end(END_TIMEOUT), 0, view.err)
            self.assertEqual(view.lines, [])

    def test_f11_fills_the_screen_at_the_frames_aspect_and_f11_again_brings_the_window_back(self):
        screen, size = (1366, 767), (64, 48)
        # 767 / 48 is the smaller ratio: the height decides, 767 x 64 / 48 = 1022.67 wide.
        fit, corner = (1022, 767), ((1366 - 1022) // 2, 0)
        with Xvfb(*screen) as x, WindowManager(x), \
                self.live_view(x.env(), "--size", f"{size[0]}x{size[1]}", "--pace", "30") as view:
            window = find_window(x, view)
            size_of = lambda: (lambda g: (g["width"], g["height"]))(window_geometry(x, window))
            windowed = wait_until(lambda: size_of() == (768, 576) and size_of(), START_TIMEOUT, "the window's size")
            x.tool("xdotool", "windowfocus", "--sync", window)
            x.tool("xdotool", "key", "F11")
            wait_until(lambda: size_of() == screen, END_TIMEOUT, "the window to cover the screen")
            g = window_geometry(x, window)
            self.assertEqual((g["x"], g["y"]), (0, 0))
            time.sleep(0.5)  # frames drawn at the new size
            width, height, shot = screenshot(x, view, window)
            self.assertEqual((width, height), screen)
            self.check_letterbox(shot, screen, size, fit, corner)
            x.tool("xdotool", "key", "F11")
            wait_until(lambda: size_of() == windowed, END_TIMEOUT, "the window to come back at its size")
            press_escape(x, window, held=False)
            self.assertEqual(view.wait_for_end(END_TIMEOUT), 0, view.err)

    def check_letterbox(self, shot, screen, size, fit, corner):
        """Black beside the frame; inside, every screen pixel the frame pixel under its centre."""
        (x0, y0), (w, h) = corner, fit
        frame = [[shot[y0 + centre_pixel(j, h, size[1])][x0 + centre_pixel(i, w, size[0])] for i in range(size[0])]
                 for j in range(size[1])]
        self.assertGreater(len({p for row in frame for p in row}), 20, "a frame with detail")
        cols, rows = under_centres(w, size[0]), under_centres(h, size[1])
        wrong = []
        for y in range(screen[1]):
            for x in range(screen[0]):
                inside = x0 <= x < x0 + w and y0 <= y < y0 + h
                expected = frame[rows[y - y0]][cols[x - x0]] if inside else 0
                if shot[y][x] != expected:
                    wrong.append((x, y))
        self.assertEqual(wrong[:10], [], f"{len(wrong)} screen pixels are neither black bars nor the frame")

    def test_a_stopping_signal_ends_it_in_order_with_the_signals_status(self):
        for sig in (signal.SIGINT, signal.SIGTERM, signal.SIGHUP):
            with self.subTest(signal=sig.name), Xvfb(1366, 767) as x, \
                    self.live_view(x.env(), "--size", "32x24") as view:
                find_window(x, view)
                view.wait_for_lines(1)
                view.proc.send_signal(sig)
                self.assertEqual(view.wait_for_end(END_TIMEOUT), 128 + sig, view.err)
                self.assertEqual(view.err, "")

    def test_free_flight_recorded_renders_again_exactly(self):
        # Free flight steered by real keys and a drag, recorded; the frame F12 keeps must be the
        # frame sponge-render draws offline from the recording, and the flight must have left
        # the fixed path.
        size = ["--size", "64x48"]
        with tempfile.TemporaryDirectory() as folder:
            with Xvfb(1366, 767) as x, self.live_view(x.env(), *size, "--explore", "--pace", "30", "--record",
                                                      "flown.flight", cwd=folder) as view:
                window = find_window(x, view)
                x.tool("xdotool", "windowfocus", "--sync", window)
                view.wait_for_lines(1)
                x.tool("xdotool", "keydown", "w", "sleep", "0.6", "keydown", "Right", "sleep", "0.4", "keyup", "Right")
                x.tool("xdotool", "mousemove", "--window", window, "300", "300", "mousedown", "1",
                       "mousemove_relative", "--", "40", "-25", "sleep", "0.2", "mouseup", "1")
                x.tool("xdotool", "keydown", "shift", "keydown", "e", "sleep", "0.4", "keyup", "e", "keyup", "shift",
                       "keyup", "w", "key", "x")
                time.sleep(0.3)
                x.tool("xdotool", "key", "F12")
                png = wait_until(lambda: glob.glob(os.path.join(folder, "sponge-*.png")), START_TIMEOUT, "F12's PNG")[0]
                press_escape(x, window, held=False)
                self.assertEqual(view.wait_for_end(END_TIMEOUT), 0, view.err)
            frame = int(re.search(r"(\d{8})\.png$", png).group(1))
            flown = os.path.join(folder, "flown.flight")
            lines = flight_lines(flown)
            self.assertGreater(len(lines), frame)
            self.assertEqual([int(l.split()[0]) for l in lines], list(range(1, len(lines) + 1)))
            self.assertEqual(read_png(png), offline_frame([*size, "--flight", flown], frame))
            fixed = os.path.join(folder, "fixed.flight")
            subprocess.run([RENDER, *size, "--bench", "--frames", str(frame), "--record", fixed], check=True,
                           capture_output=True, timeout=START_TIMEOUT)
            fixed_lines = flight_lines(fixed)
            self.assertNotEqual(lines[frame - 1].split()[1:], fixed_lines[frame - 1].split()[1:])
            # Steered: the angles apart, the single-axis flag toggled by X from the fixed path's 0.
            fields = lines[frame - 1].split()
            self.assertNotEqual(fields[4], fields[5])
            self.assertEqual(fields[6], "1")

    def test_frames_ends_the_live_view(self):
        with Xvfb(1366, 767) as x, self.live_view(x.env(), "--size", "32x24", "--pace", "0", "--frames",
                                                  "40") as view:
            self.assertEqual(view.wait_for_end(START_TIMEOUT), 0, view.err)
            self.assertEqual(view.err, "")

    def test_f12_keeps_the_frame_on_screen_as_sponge_render_writes_it(self):
        # F12 writes the frame as rendered, whole, at the render size, named by its number.
        # With --from the first frames are drawn but never shown: until frame 155 is on screen
        # F12 keeps nothing, so a --from that did not hold would give a frame before it.
        cases = [
            ("a trail filter", ["--size", "64x48", "--filter", "quad"], ["--pace", "0"], 1),
            ("raw frames", ["--size", "50x30", "--raw", "1-100000"], ["--pace", "0"], 1),
            ("--from", ["--size", "48x40", "--raw", "150-160"], ["--pace", "1", "--from", "155"], 155),
        ]
        for name, args, live, first_shown in cases:
            with self.subTest(case=name), tempfile.TemporaryDirectory() as folder, Xvfb(1366, 767) as x, \
                    self.live_view(x.env(), *args, *live, cwd=folder) as view:
                window = find_window(x, view)
                files = press_f12(x, window, view, lambda: glob.glob(os.path.join(folder, "sponge-*.png")))
                self.assertEqual(len(files), 1, files)
                name_match = re.fullmatch(r"sponge-(\d{8})\.png", os.path.basename(files[0]))
                self.assertIsNotNone(name_match, files[0])
                frame = int(name_match.group(1))
                self.assertGreaterEqual(frame, first_shown)
                wait_until(lambda: "wrote" in view.err or not view.running(), END_TIMEOUT, "the line naming the file")
                press_escape(x, window, held=False)
                self.assertEqual(view.wait_for_end(END_TIMEOUT), 0, view.err)
                self.assertEqual(view.err.replace(NOT_SHOWN_YET, ""),
                                 f"sponge-render: wrote {os.path.basename(files[0])}\n")
                self.assertEqual(read_png(files[0]), offline_frame(args, frame))
                self.assertEqual(sorted(os.listdir(folder)), [os.path.basename(files[0])])

    def test_f12_failure_is_said_and_the_view_goes_on(self):
        # Frame 7 is the first shown, and F12 is taken at one frame a second soon after it:
        # folders stand where the files of the first ten shown frames would go.
        folders = [f"sponge-{frame:08d}.png" for frame in range(7, 17)]
        with tempfile.TemporaryDirectory() as folder, Xvfb(1366, 767) as x, \
                self.live_view(x.env(), "--size", "32x24", "--pace", "1", "--from", "7", cwd=folder) as view:
            for name in folders:
                os.mkdir(os.path.join(folder, name))
            window = find_window(x, view)
            press_f12(x, window, view, lambda: "cannot write" in view.err)
            self.assertRegex(view.err.replace(NOT_SHOWN_YET, ""),
                             r"^sponge-render: F12: cannot write 'sponge-000000(0[7-9]|1[0-6])\.png': it is a folder\n\Z")
            self.assertTrue(view.running())
            press_escape(x, window, held=False)
            self.assertEqual(view.wait_for_end(END_TIMEOUT), 0, view.err)
            self.assertEqual(sorted(os.listdir(folder)), folders)

    def test_without_a_display_it_says_so_and_fails(self):
        env = {k: v for k, v in os.environ.items()
               if k not in ("DISPLAY", "WAYLAND_DISPLAY", "WAYLAND_SOCKET", "SDL_VIDEODRIVER", "XDG_RUNTIME_DIR")}
        with self.live_view(env) as view:
            self.assertEqual(view.wait_for_end(START_TIMEOUT), 1)
            self.assertEqual(view.lines, [])
            self.assertRegex(view.err, r"^sponge-render: cannot open a display[^\n]*x11 not available[^\n]*\n\Z")


if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    parser.add_argument("--program")
    parser.add_argument("--render", required=True)
    parser.add_argument("--close-request", required=True)
    args, rest = parser.parse_known_args()
    PROGRAM = os.path.abspath(args.program) if args.program else ""
    RENDER = os.path.abspath(args.render)
    CLOSE_REQUEST = os.path.abspath(args.close_request)
    suite = "WindowTest" if PROGRAM else "LiveViewTest"
    unittest.main(argv=[sys.argv[0]] + (rest or [suite]), verbosity=2)
