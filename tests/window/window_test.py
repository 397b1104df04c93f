#!/usr/bin/env python3
"""sponge-cross and sponge-quad, and sponge-render's live view, in a real X server, watched
from outside.

Every test starts its own Xvfb and runs the real program on it. Xvfb has no window
manager, so the program's window is a plain child of the root with no frame: its outer
window and its client area are the same rectangle, and the position and size xwininfo
reports are the client area's. Keys are real key events from xdotool (through the XTEST
extension, to the focused window), the close request is the WM_DELETE_WINDOW message a
window manager's close button sends, and the picture is read back with xwd.

Usage: window_test.py --program PATH --close-request PATH [unittest arguments]
       window_test.py --render PATH --close-request PATH [unittest arguments]
The first runs WindowTest on a window program, the second LiveViewTest on sponge-render.
"""

import argparse
import array
import os
import re
import signal
import struct
import subprocess
import sys
import tempfile
import threading
import time
import unittest

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


class Program:
    """The program under test, with its standard output collected line by line (or closed,
    as a launcher may start it)."""

    def __init__(self, env, args=(), close_stdout=False, program=None):
        self.proc = subprocess.Popen([program or PROGRAM, *args], env=env, stdin=subprocess.DEVNULL,
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
        self.err = self.proc.stderr.read()

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

    def live_view(self, env, *args):
        return Program(env, ["--window", *args], program=RENDER)

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
                view.wait_for_lines(4)
                for line in view.lines:
                    self.assertRegex(line, FPS_LINE)
                # The first second includes the start; the ones after it are paced.
                rates = [float(line.split()[0]) for line in view.lines[1:4]]
                for rate in rates:
                    self.assertGreaterEqual(rate, 58.0, rates)
                    self.assertLessEqual(rate, 62.0, rates)
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
    parser.add_argument("--render")
    parser.add_argument("--close-request", required=True)
    args, rest = parser.parse_known_args()
    PROGRAM = os.path.abspath(args.program) if args.program else ""
    RENDER = os.path.abspath(args.render) if args.render else ""
    CLOSE_REQUEST = os.path.abspath(args.close_request)
    suite = "WindowTest" if PROGRAM else "LiveViewTest"
    unittest.main(argv=[sys.argv[0]] + (rest or [suite]), verbosity=2)
