"""The program on desktops other than a light X11 one, and without a mouse.

The card is paper: the printed page, the PDF and the quick-preview card come
out the same under a dark and a high-contrast palette, at a doubled scale and
on Wayland as on a light X11 desktop. The window's captions read on every
palette, with and without the skin. Every command is within reach of the
keyboard and of a screen reader.
"""

import glob
import os
import shutil
import subprocess
import tempfile
import unittest

import harness as h

DARK_SCHEME = "/usr/share/qt6ct/colors/darker.conf"
# White and yellow on black, in QPalette's role order, as qt6ct stores a scheme.
HIGH_CONTRAST_COLOURS = [
    "#ffffffff", "#ff000000", "#ffffffff", "#ff404040", "#ffc0c0c0", "#ff808080", "#ffffffff",
    "#ffffffff", "#ffffff00", "#ff000000", "#ff000000", "#ffffffff", "#ff00ffff", "#ff000000",
    "#ffffff00", "#ffff00ff", "#ff202020", "#ff000000", "#ff000000", "#ffffffff", "#ffc0c0c0"]

TAGLINE = "Paper on every desktop"
SAMPLE_COMPANY = "Darnovi Print Works"
LOGO_CAPTION = "Company Logo"

# Where a program start, a window and a printed page may take their time on
# a busy machine.
START = 60
WINDOW = 30
PAGE = 60


# ---------------------------------------------------------------- desktops

def use_palette(app, scheme):
    """Has qt6ct hand the program the colour scheme `scheme` (a file path),
    as KDE or qt6ct would on a desktop of that colour."""
    folder = os.path.join(app.config_home, "qt6ct")
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, "qt6ct.conf"), "w") as f:
        f.write("[Appearance]\n"
                f"color_scheme_path={scheme}\n"
                "custom_palette=true\n"
                "style=Fusion\n")
    app.env["QT_QPA_PLATFORMTHEME"] = "qt6ct"


def high_contrast_scheme(folder):
    path = os.path.join(folder, "high-contrast.conf")
    colours = ", ".join(HIGH_CONTRAST_COLOURS)
    with open(path, "w") as f:
        f.write("[ColorScheme]\n"
                f"active_colors={colours}\n"
                f"inactive_colors={colours}\n"
                f"disabled_colors={colours}\n")
    return path


class Weston:
    """A Wayland desktop without a screen: weston's headless backend with a
    runtime folder of its own."""

    SOCKET = "tessary-e2e"

    def __init__(self):
        self.proc = None
        self.runtime = None

    def start(self):
        if shutil.which("weston") is None:
            raise unittest.SkipTest("weston is not installed; run tools/setup.sh --test")
        self.runtime = tempfile.mkdtemp(prefix="weston-", dir=h.session().tmp)
        os.chmod(self.runtime, 0o700)
        env = dict(os.environ, XDG_RUNTIME_DIR=self.runtime)
        env.pop("DISPLAY", None)
        env.pop("WAYLAND_DISPLAY", None)
        self.log = os.path.join(self.runtime, "weston.log")
        self.proc = subprocess.Popen(
            ["weston", "--backend=headless-backend.so", f"--socket={self.SOCKET}", "--use-pixman",
             "--idle-time=0"],
            env=env, stdin=subprocess.DEVNULL, stdout=open(self.log, "ab"), stderr=subprocess.STDOUT,
            start_new_session=True)

        def listening():
            if self.proc.poll() is not None:
                raise h.HarnessError(f"weston ended: {open(self.log, errors='replace').read()[-1500:]}")
            return os.path.exists(os.path.join(self.runtime, self.SOCKET))
        h.wait_until(listening, "weston's socket", START)
        return self

    def env(self):
        """What makes a Qt program a native client of this desktop."""
        return {"QT_QPA_PLATFORM": "wayland", "WAYLAND_DISPLAY": self.SOCKET,
                "XDG_RUNTIME_DIR": self.runtime, "DISPLAY": None}

    def stop(self):
        if self.proc is not None:
            h.stop_process(self.proc)
            self.proc = None


# ---------------------------------------------------------------- printing

class PrivateQueue:
    """A CUPS PDF queue of this test's own, so the pages it reads are its own
    and the shared default printer is left as it is."""

    PPD = "lsb/usr/cups-pdf/CUPS-PDF_opt.ppd"

    def __init__(self):
        self.name = f"TessaryDesktopE2E{os.getpid()}"
        self.created = False

    def create(self):
        if shutil.which("lpadmin") is None or subprocess.run(
                ["lpstat", "-r"], capture_output=True, text=True, timeout=10).stdout.strip() != \
                "scheduler is running":
            return False
        result = subprocess.run(["lpadmin", "-p", self.name, "-E", "-v", "cups-pdf:/", "-m", self.PPD],
                                capture_output=True, text=True, timeout=60)
        if result.returncode != 0:
            return False
        self.created = True
        return True

    def remove(self):
        if self.created:
            subprocess.run(["lpadmin", "-x", self.name], capture_output=True, timeout=60)
            self.created = False

    def env(self):
        # libcups takes the default destination from these.
        return {"PRINTER": self.name, "LPDEST": self.name}

    def jobs(self, which="all"):
        out = subprocess.run(["lpstat", "-W", which, "-o", self.name], capture_output=True, text=True,
                             timeout=10).stdout
        ids = set()
        for line in out.splitlines():
            first = line.split()[0] if line.split() else ""
            if first.startswith(self.name + "-"):
                ids.add(int(first.rsplit("-", 1)[1]))
        return ids

    def next_page(self, before):
        """The PDF of the first job sent after `before` (a set of job ids),
        once CUPS has finished it."""
        job = h.wait_until(lambda: sorted(self.jobs() - before), f"a job on {self.name}", PAGE)[0]
        outdir = os.environ.get("TESSARY_PRINT_OUTDIR") or os.path.expanduser("~/PDF")
        sizes = {}

        def finished():
            if job not in self.jobs("completed"):
                return None
            files = glob.glob(os.path.join(outdir, f"*-job_{job}.pdf"))
            if len(files) != 1:
                return None
            size = os.path.getsize(files[0])
            settled = size > 0 and sizes.get(files[0]) == size
            sizes[files[0]] = size
            return files[0] if settled else None
        return h.wait_until(finished, f"job {job} as a PDF in {outdir}", PAGE, interval=0.5)


def raster(pdf, folder):
    """The page at 300 dots per inch in grey, as (width, height, bytes)."""
    prefix = os.path.join(folder, os.path.basename(pdf) + "-300dpi")
    subprocess.run(["pdftoppm", "-r", "300", "-gray", "-singlefile", pdf, prefix], check=True,
                   timeout=120)
    with open(prefix + ".pgm", "rb") as f:
        data = f.read()
    fields, pos = [], 0
    while len(fields) < 4:
        while data[pos:pos + 1].isspace():
            pos += 1
        end = pos
        while not data[end:end + 1].isspace():
            end += 1
        fields.append(data[pos:end])
        pos = end
    if fields[0] != b"P5" or int(fields[3]) != 255:
        raise h.HarnessError(f"unexpected raster format from {pdf}")
    width, height = int(fields[1]), int(fields[2])
    return width, height, data[pos + 1:pos + 1 + width * height]


_INK = bytes(1 if value < 128 else 0 for value in range(256))


def ink(page):
    """The page's dark pixels as one bit each (eight bits a pixel apart)."""
    return int.from_bytes(page[2].translate(_INK), "big")


def strays(a, b, width):
    """How many dark pixels of `a` lie more than one pixel from any dark
    pixel of `b`."""
    near = b | (b << 8) | (b >> 8)
    near |= (near << (8 * width)) | (near >> (8 * width))
    return (a & ~near).bit_count()


# ---------------------------------------------------------------- the program

def fill_card(app):
    """The same card in every run: the sample data, then a tagline typed in
    through the accessibility interface."""
    h.press(app.button("Load Sample Data"))
    h.wait_until(lambda: app.field_text("d") != "", "the sample data", WINDOW)
    app.set_field("b", TAGLINE)
    h.wait_until(lambda: app.preview_text("b") == TAGLINE, "the tagline on the preview card", WINDOW)


def choose_in_dialog(app, wid, path):
    """Types `path` into the open file dialog and takes it with Return."""
    name_box = h.wait_until(app.dialog_name_box, "the dialog's file name box", WINDOW)
    h.wait_until(lambda: name_box.getState().contains(h.atspi().STATE_FOCUSED), "the file name box to take the focus",
                 WINDOW)
    h.type_text(path, delay_ms=8)
    h.wait_until(lambda: h.text_of(app.dialog_name_box()) == path, "the typed path", WINDOW)
    h.key("Return")
    h.wait_until(lambda: wid not in app.windows(h.DIALOG_TITLE), "the dialog to close", WINDOW)


def crop(shot, box):
    x0, y0, w, hgt = box
    rows = []
    for y in range(y0 - shot.y0, y0 - shot.y0 + hgt):
        start = (y * shot.width + x0 - shot.x0) * 3
        rows.append(shot.rgb[start:start + w * 3])
    return b"".join(rows)


def differing(a, b, tolerance=8):
    if len(a) != len(b):
        return max(len(a), len(b))
    return sum(1 for i in range(0, len(a), 3)
               if max(abs(a[i] - b[i]), abs(a[i + 1] - b[i + 1]), abs(a[i + 2] - b[i + 2])) > tolerance)


def luminance(pixel):
    def linear(c):
        c /= 255
        return c / 12.92 if c <= 0.04045 else ((c + 0.055) / 1.055) ** 2.4
    r, g, b = pixel
    return 0.2126 * linear(r) + 0.7152 * linear(g) + 0.0722 * linear(b)


def contrast(p, q):
    lp, lq = luminance(p), luminance(q)
    return (max(lp, lq) + 0.05) / (min(lp, lq) + 0.05)


def painted_contrast(shot, box):
    """How well the text in `box` reads from the painted pixels alone: the
    box's commonest colour is what lies behind the text, and the text's colour
    is the one that stands out most from it (WCAG 2 contrast)."""
    counts = {}
    x0, y0, w, hgt = box
    for y in range(y0, y0 + hgt):
        for x in range(x0, x0 + w):
            p = shot.pixel(x, y)
            counts[p] = counts.get(p, 0) + 1
    background = max(counts, key=counts.get)
    return max(contrast(p, background) for p in counts), background


def window_size(wid):
    out = h.xdotool("getwindowgeometry", "--shell", wid)
    values = dict(line.split("=", 1) for line in out.split() if "=" in line)
    return int(values["WIDTH"]), int(values["HEIGHT"])


class DesktopTestCase(h.AppTestCase):

    @classmethod
    def setUpClass(cls):
        cls.folder = tempfile.mkdtemp(prefix="tessary-desktop-", dir=h.session().tmp)
        cls.logo = os.path.join(cls.folder, "logo.jpg")
        subprocess.run(["convert", "-size", "60x40", "gradient:red-blue", "-quality", "95", cls.logo],
                       check=True, timeout=30)
        cls.high_contrast = high_contrast_scheme(cls.folder)
        cls.queue = PrivateQueue()
        cls.weston = None

    @classmethod
    def tearDownClass(cls):
        if cls.weston is not None:
            cls.weston.stop()
        cls.queue.remove()
        shutil.rmtree(cls.folder, ignore_errors=True)

    def need_printer(self):
        if self.queue.created or self.queue.create():
            return
        if os.environ.get("TESSARY_REQUIRE_PRINTER") == "1":
            self.fail("no CUPS scheduler to add a PDF queue to, though TESSARY_REQUIRE_PRINTER=1")
        self.skipTest("no CUPS scheduler to add a PDF queue to")

    def need_weston(self):
        if type(self).weston is None:
            type(self).weston = Weston().start()
        return type(self).weston

    def new_app(self, desktop="light", env=None, logo=True, **kwargs):
        """A program on the desktop named: "light", "dark", "high contrast",
        "scale 2" or "wayland", with this test's logo stored unless `logo` is
        false."""
        app = super().new_app(env=dict(env or {}), **kwargs)
        if logo:
            app.write_settings({"Logo": self.logo, "Fit": "Use Full Size"})
        if desktop == "dark":
            use_palette(app, DARK_SCHEME)
        elif desktop == "high contrast":
            use_palette(app, self.high_contrast)
        elif desktop == "scale 2":
            app.env["QT_SCALE_FACTOR"] = "2"
        elif desktop == "wayland":
            app.env.update(self.need_weston().env())
        return app

    def start(self, app, desktop):
        app.start()
        if desktop != "wayland":
            # xdotool cannot see a Wayland window; the accessibility bus can.
            app.wait_main()
        app.wait_accessible()
        return app


class PaperOnEveryDesktop(DesktopTestCase):
    """What is printed and exported never depends on the desktop."""

    VARIANTS = ("dark", "high contrast", "scale 2", "wayland")

    def print_card(self, desktop):
        app = self.new_app(desktop, env=self.queue.env())
        self.start(app, desktop)
        fill_card(app)
        before = self.queue.jobs()
        h.press(app.button("Print Card"))
        pdf = self.queue.next_page(before)
        app.assert_running()
        self.assertEqual(app.windows(h.ERROR_TITLE) if desktop != "wayland" else [], [])
        app.stop()
        return raster(pdf, self.folder)

    def export_pdf(self, desktop):
        app = self.new_app(desktop)
        values = dict(app.settings()) if os.path.exists(app.settings_path) else {}
        values.update({"a": SAMPLE_COMPANY, "b": TAGLINE, "c": "12 Quay Street", "h": "hello@darnovi.example",
                       "i": "+44 20 7946 0000", "j": "darnovi.example"})
        app.write_settings(values)
        env = dict(os.environ, XDG_CONFIG_HOME=app.config_home, HOME=app.home, LC_ALL="C.UTF-8")
        env.pop("QT_QPA_PLATFORM", None)
        env.pop("DISPLAY", None)
        for name, value in app.env.items():
            if value is None:
                env.pop(name, None)
            else:
                env[name] = value
        pdf = os.path.join(app.root, "cards.pdf")
        result = subprocess.run([h.BINARY, "--pdf", pdf], env=env, capture_output=True, text=True,
                                timeout=START)
        self.assertEqual(result.returncode, 0, result.stderr)
        return raster(pdf, self.folder)

    def assertSamePage(self, page, reference, what):
        self.assertEqual(page[:2], reference[:2], f"{what}: page size")
        width = reference[0]
        a, b = ink(page), ink(reference)
        missing, extra = strays(b, a, width), strays(a, b, width)
        self.assertEqual((missing, extra), (0, 0),
                         f"{what}: {missing} dark pixels of the light page are missing, "
                         f"{extra} are more than a pixel from where the light page has them")

    def check_variants(self, make):
        reference = make("light")
        # Six cards' worth of text, rules and borders: a blank page would not do.
        self.assertGreater(ink(reference).bit_count(), 100000)
        for desktop in self.VARIANTS:
            with self.subTest(desktop=desktop):
                self.assertSamePage(make(desktop), reference, desktop)

    def test_printed_page_is_the_light_page_on_every_desktop(self):
        self.need_printer()
        self.check_variants(self.print_card)

    def test_pdf_export_is_the_light_page_on_every_desktop(self):
        self.check_variants(self.export_pdf)

    def test_preview_card_is_the_same_under_every_palette(self):
        def card(desktop):
            app = self.start(self.new_app(desktop), desktop)
            fill_card(app)
            box = h.extents(app.preview_card())
            pixels = crop(h.Shot(app.main_wid), box)
            # Every window opens in the same place; one at a time is seen.
            app.stop()
            return pixels
        reference = card("light")
        for desktop in ("dark", "high contrast"):
            with self.subTest(desktop=desktop):
                self.assertEqual(differing(card(desktop), reference), 0)


class ReadableWindow(DesktopTestCase):
    """Every caption, frame title and button reads at 4.5:1 or better against
    what is painted behind it, the logo hint at 3:1, skinned or not."""

    def bare_binary(self):
        """The program in a folder of its own without the skin beside it."""
        folder = os.path.join(self.folder, "bare")
        if not os.path.exists(os.path.join(folder, "tessary")):
            os.makedirs(folder, exist_ok=True)
            shutil.copy2(h.BINARY, os.path.join(folder, "tessary"))
        return os.path.join(folder, "tessary")

    def figures(self, app):
        """Each caption's contrast figure, from a screenshot of the window."""
        shot = h.Shot(app.main_wid)
        boxes = {}
        for caption in h.FIELD_CAPTIONS.values():
            boxes[caption] = h.extents(app.one("label", caption))
        boxes[h.HINT_CAPTION] = h.extents(app.one("label", h.HINT_CAPTION))
        for title in (" Business Information ", "Quick Preview"):
            x, y, w, _ = h.extents(app.one("panel", title))
            # The caption line, as far as the caption surely reaches.
            boxes[title.strip()] = (x + 4, y, min(w - 8, len(title.strip()) * 6), 14)
        for caption in ("Fit Image to Box", "Load Sample Data", "Print Preview", "Print Card"):
            x, y, w, hgt = h.extents(app.button(caption))
            # Inside the border and its rounded corners.
            boxes[caption] = (x + 4, y + 4, w - 8, hgt - 8)
        return {caption: painted_contrast(shot, box) for caption, box in boxes.items()}

    def test_captions_read_on_every_palette_skinned_and_unskinned(self):
        for desktop in ("light", "dark", "high contrast"):
            for skinned in (True, False):
                with self.subTest(desktop=desktop, skinned=skinned):
                    binary = h.BINARY if skinned else self.bare_binary()
                    # The pointer rests away from the window, so no button is
                    # painted as hovered.
                    h.xdotool("mousemove", 1279, 1023)
                    # No logo, so the hint shows.
                    app = self.start(self.new_app(desktop, logo=False, binary=binary), desktop)
                    figures = self.figures(app)
                    app.stop()
                    low = {caption: f"{figure:.2f}:1 on {background}"
                           for caption, (figure, background) in figures.items()
                           if figure < (3.0 if caption == h.HINT_CAPTION else 4.5)}
                    self.assertEqual(low, {})
                    if desktop == "dark" and skinned:
                        # The window did follow the dark palette.
                        self.assertLess(luminance(figures["Print Card"][1]), 0.2)
                    if not skinned:
                        # Without the skin the window stays white whatever the desktop.
                        self.assertGreater(luminance(figures["Company Name :"][1]), 0.9)


class KeyboardAndScreenReader(DesktopTestCase):
    """Choosing a logo, previewing, printing and quitting without a mouse."""

    def test_windows_are_a_frame_and_a_modal_dialog(self):
        app = self.start(self.new_app(), "light")
        main = app.main_window()
        self.assertEqual((main.getRoleName(), main.name), ("frame", h.MAIN_TITLE))
        h.press(app.button("Print Preview"))
        wid = app.wait_window(h.PREVIEW_TITLE)
        sheet = h.wait_until(app.preview_window, "the sheet on the accessibility bus", WINDOW)
        self.assertEqual(sheet.getRoleName(), "dialog")
        self.assertTrue(sheet.getState().contains(h.atspi().STATE_MODAL))
        h.close_window(wid, h.PREVIEW_TITLE, app.proc.pid)
        app.assert_running()

    def test_shortcuts_choose_print_and_quit(self):
        self.need_printer()
        app = self.start(self.new_app(env=self.queue.env()), "light")
        app.click_field("b")
        h.type_text("Keys")
        h.wait_until(lambda: app.field_text("b") == "Keys", "the typed tagline", WINDOW)

        h.key("ctrl+o")
        choose_in_dialog(app, app.wait_window(h.DIALOG_TITLE), self.logo)
        self.assertEqual(app.settings().get("Logo"), self.logo)
        self.assertEqual(app.field_text("b"), "Keys")

        app.focus_main()
        before = self.queue.jobs()
        h.key("ctrl+p")
        self.queue.next_page(before)
        self.assertEqual(app.windows(h.ERROR_TITLE), [])

        app.focus_main()
        h.key("ctrl+q")
        h.wait_until(lambda: not app.running(), "the program to end on Ctrl+Q", WINDOW)
        self.assertEqual(app.proc.returncode, 0)

    def test_hint_and_logo_box_can_be_pressed(self):
        app = self.start(self.new_app(), "light")
        # The stored logo is there: the hint has gone and the box shows it.
        self.assertFalse(app.hint_shown())
        box = app.logo_box()
        self.assertEqual(box.name, LOGO_CAPTION)
        h.press(box)
        dialog = app.wait_window(h.DIALOG_TITLE)
        h.wait_until(app.dialog_name_box, "the dialog's file name box", WINDOW)
        h.xdotool("windowfocus", "--sync", dialog, check=False)
        h.key("Escape")
        h.wait_until(lambda: dialog not in app.windows(h.DIALOG_TITLE), "the dialog to close", WINDOW)
        # Cancelled: the logo is cleared and the hint is back, and pressable.
        h.wait_until(app.hint_shown, "the hint", WINDOW)
        h.press(app.one("label", h.HINT_CAPTION))
        choose_in_dialog(app, app.wait_window(h.DIALOG_TITLE), self.logo)
        h.wait_until(lambda: not app.hint_shown(), "the chosen logo", WINDOW)
        self.assertEqual(app.settings().get("Logo"), self.logo)

    def test_scale_two_doubles_both_windows(self):
        sizes = {}
        for desktop in ("light", "scale 2"):
            app = self.start(self.new_app(desktop), desktop)
            main = window_size(app.main_wid)
            h.press(app.button("Print Preview"))
            wid = app.wait_window(h.PREVIEW_TITLE)
            sizes[desktop] = (main, window_size(wid))
            h.close_window(wid, h.PREVIEW_TITLE, app.proc.pid)
            app.stop()
        (main, preview), (main2, preview2) = sizes["light"], sizes["scale 2"]
        self.assertEqual(main2, (2 * main[0], 2 * main[1]))
        self.assertEqual(preview2, (2 * preview[0], 2 * preview[1]))
