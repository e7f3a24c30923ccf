"""Files in and out as on a desktop: the sheet saved as a PDF from the
window, a picture dragged from a file manager onto the logo box, and a
contact file dropped on a card field."""

import os
import subprocess
import tempfile
import time

import harness as h
from test_logo import make_jpeg

SAVE_TITLE = "Save Sheet as PDF"
SAVE_CAPTION = "Save Sheet as PDF..."
CARD = {"a": "Darnovi Print Works", "b": "Paper that opens doors", "c": "12 Quay Street",
        "h": "hello@darnovi.example", "i": "+44 20 7946 0000", "j": "darnovi.example",
        "Fit": h.FULL_CAPTION}

# An address book's export of one contact, with a three-line work address.
CONTACT = (b"BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Anna Berg\r\nORG:Berg Print Works;Sales\r\n"
           b"EMAIL;TYPE=INTERNET:anna@home.example\r\nitem1.EMAIL;TYPE=INTERNET,WORK:anna@berg.example\r\n"
           b"TEL;TYPE=WORK,VOICE:+44 20 7946 0018\r\n"
           b"ADR;TYPE=WORK:;;12 Quay Street;London;;EC1A 1BB;United Kingdom\r\n"
           b"URL:https://berg.example\r\nEND:VCARD\r\n")


def page_at_150_dpi(pdf):
    """The page as pdftoppm draws it at 150 dots per inch, in grey."""
    return subprocess.run(["pdftoppm", "-r", "150", "-gray", "-singlefile", pdf], check=True,
                          capture_output=True, timeout=h.ceiling(h.START)).stdout


class DragSource:
    """The tests' stand-in for a file manager: a window in the screen's
    bottom-right corner that drags `files` when a button goes down on it."""

    def __init__(self, files, folder):
        self.out = os.path.join(folder, "drag-source.out")
        env = dict(os.environ, DISPLAY=h.session().display, QT_QPA_PLATFORM="xcb")
        self.proc = subprocess.Popen([h.DRAG_SOURCE, *files], env=env, stdin=subprocess.DEVNULL,
                                     stdout=open(self.out, "wb"), stderr=subprocess.STDOUT,
                                     start_new_session=True)
        self.wid = h.wait_until(lambda: self.running() and h.visible_windows("Drag Source", self.proc.pid),
                                "the drag source's window", h.START)[0]

    def running(self):
        if self.proc.poll() is not None:
            raise h.HarnessError(f"the drag source ended: {open(self.out, errors='replace').read()}")
        return True

    def drag_to(self, x, y, steps=20):
        """Presses the button on the source, moves in steps to (x, y) and lets
        go there; returns how the source says the drag ended."""
        x0, y0 = h.window_origin(self.wid)
        h.xdotool("mousemove", "--sync", x0 + 80, y0 + 60)
        h.xdotool("mousedown", 1)
        try:
            for n in range(1, steps + 1):
                h.xdotool("mousemove", "--sync", x0 + 80 + (x - x0 - 80) * n // steps,
                          y0 + 60 + (y - y0 - 60) * n // steps)
                time.sleep(0.05)  # a pace a hand could keep, for the drag protocol
        finally:
            h.xdotool("mouseup", 1)
        return h.wait_until(lambda: self.running() and open(self.out).read().split(),
                            "the drag source to say how the drag ended")[-1]

    def stop(self):
        h.stop_process(self.proc)


class FilesInAndOut(h.AppTestCase):

    def setUp(self):
        super().setUp()
        self.tmp = tempfile.mkdtemp(prefix="files-", dir=h.session().tmp)

    def open_save_dialog(self, app, open_it):
        before = set(app.windows(SAVE_TITLE))
        open_it()
        wid = h.wait_until(lambda: [w for w in app.windows(SAVE_TITLE) if w not in before],
                           f"the dialog {SAVE_TITLE!r}")[0]
        name_box = h.wait_until(lambda: app.dialog_name_box(SAVE_TITLE), "the dialog's file name box")
        h.wait_until(lambda: name_box.getState().contains(h.atspi().STATE_FOCUSED),
                     "the file name box to take the focus")
        return wid, name_box

    def save_as(self, app, path, replace=False):
        """Ctrl+Shift+S from a card field, `path` typed over the suggested
        name, and Return; with `replace`, the dialog's question whether to
        replace the file is answered yes."""
        app.click_field("b")
        wid, name_box = self.open_save_dialog(app, lambda: h.key("ctrl+shift+s"))
        h.key("ctrl+a")
        h.type_text(path, delay_ms=8)
        h.wait_until(lambda: h.text_of(app.dialog_name_box(SAVE_TITLE)) == path, "the typed path")
        h.key("Return")
        if replace:
            question = h.wait_until(lambda: [w for w in app.top_windows()
                                             if w.name == SAVE_TITLE and w.getRoleName() == "alert"],
                                    "the question whether to replace the file")[0]
            self.assertIn("already exists", " ".join(n.name for n in app.find("label", root=question)))
            app.click(app.one("push button", "Yes", root=question))
        h.wait_until(lambda: wid not in app.windows(SAVE_TITLE), "the dialog to close")

    def test_sheet_saved_from_the_window_is_the_command_lines_pdf(self):
        app = self.new_app()
        app.write_settings(dict(CARD, Logo=make_jpeg(os.path.join(self.tmp, "logo.jpg"), 40, 30)))
        app.launch()

        # The preview card's menu has the command as its one entry. (Qt keeps
        # popup menus off the accessibility tree; the menu is found as a window.)
        h.click_at(*self.middle(h.extents(app.preview_card())), button=3)
        menu = h.wait_until(lambda: [int(w) for w in h.xdotool("search", "--onlyvisible", "--pid", app.proc.pid).split()
                                     if int(w) != app.main_wid], "the preview card's menu")[0]
        x, y = h.window_origin(menu)
        wid, name_box = self.open_save_dialog(app, lambda: h.click_at(x + 20, y + 10))
        self.assertEqual(h.text_of(name_box), "cards.pdf")
        h.key("Escape")
        h.wait_until(lambda: wid not in app.windows(SAVE_TITLE), "the dialog to close")

        # Typed without its ending, the name gets ".pdf".
        out = os.path.join(self.tmp, "out")
        os.mkdir(out)
        self.save_as(app, os.path.join(out, "sheet"))
        saved = h.wait_until(lambda: os.listdir(out) == ["sheet.pdf"] and os.path.join(out, "sheet.pdf"),
                             "the saved sheet")
        self.assertEqual(app.message_boxes(h.MAIN_TITLE), [])
        self.assertEqual(app.field_text("b"), CARD["b"])

        env = dict(os.environ, XDG_CONFIG_HOME=app.config_home, HOME=app.home)
        for name in ("QT_QPA_PLATFORM", "DISPLAY"):
            env.pop(name, None)
        reference = os.path.join(self.tmp, "reference.pdf")
        result = subprocess.run([h.BINARY, "--pdf", reference], env=env, capture_output=True, text=True,
                                timeout=h.ceiling(h.START))
        self.assertEqual(result.returncode, 0, result.stderr)
        page = page_at_150_dpi(saved)
        # Six cards' text, rules, outlines and logos, not a blank page.
        self.assertGreater(len(page) - len(page.translate(None, bytes(range(128)))), 20000)
        self.assertTrue(page == page_at_150_dpi(reference),
                        "the saved sheet differs from tessary --pdf at 150 dpi")

        # A folder that does not exist: a box names the file, and nothing is made.
        missing = os.path.join(self.tmp, "missing", "sheet.pdf")
        self.save_as(app, missing)
        self.assert_refused(app, missing, "does not exist")
        self.assertFalse(os.path.exists(os.path.dirname(missing)))
        self.assertEqual(os.listdir(out), ["sheet.pdf"])

        with self.subTest("full disk"):
            full = os.path.join(self.tmp, "full")
            os.mkdir(full)
            if not self.mount("-t", "tmpfs", "-o", "size=32k", "tessary-e2e", full):
                self.skipTest("cannot mount a small file system here")
            earlier = os.path.join(full, "cards.pdf")
            with open(earlier, "wb") as f:
                f.write(b"an earlier sheet")
            self.save_as(app, earlier, replace=True)
            self.assert_refused(app, earlier, "No space left on device")
            self.assertEqual(os.listdir(full), ["cards.pdf"])
            with open(earlier, "rb") as f:
                self.assertEqual(f.read(), b"an earlier sheet")
        app.responsive()

    def assert_refused(self, app, path, reason):
        wid, text = app.wait_box(h.MAIN_TITLE)
        self.assertIn(path, text)
        self.assertIn(reason, text)
        app.dismiss_box(wid, h.MAIN_TITLE)

    def test_picture_dropped_on_the_logo_box(self):
        logo = make_jpeg(os.path.join(self.tmp, "dropped logo.jpg"), 40, 30)
        app = self.launch()
        self.assertTrue(app.hint_shown())
        source = DragSource([logo], self.tmp)
        try:
            self.assertEqual(source.drag_to(*self.middle(h.extents(app.logo_box()))), "copied")
        finally:
            source.stop()
        h.wait_until(lambda: not app.hint_shown(), "the hint to go")
        self.assertEqual(app.settings().get("Logo"), logo)

        def red_on_preview():
            x, y, _, _ = app.preview_logo_box()
            return h.Shot(app.main_wid).fraction((x + 2, y + 2, 36, 26), h.is_red) > 0.95
        h.wait_until(red_on_preview, "the dropped logo on the preview card", interval=0.2)
        self.assertEqual(app.message_boxes(h.MAIN_TITLE), [])
        app.responsive()

    def drag(self, path, to):
        """One drag of `path` from a fresh drag source to the middle of `to`."""
        source = DragSource([path], self.tmp)
        try:
            return source.drag_to(*self.middle(h.extents(to)))
        finally:
            source.stop()

    def test_contact_dropped_on_a_field_fills_the_card(self):
        contact = os.path.join(self.tmp, "Anna Berg.vcf")
        with open(contact, "wb") as f:
            f.write(CONTACT)
        app = self.new_app()
        app.write_settings({"a": "Typed name", "b": CARD["b"]})
        app.launch()

        # The logo box takes pictures alone.
        self.assertEqual(self.drag(contact, app.logo_box()), "refused")
        self.assertEqual(app.field_text("a"), "Typed name")

        # Over a field, the card is filled instead of the file's name pasted.
        self.assertEqual(self.drag(contact, app.field("b")), "copied")
        card = {"a": "Berg Print Works", "c": "12 Quay Street", "d": "London EC1A 1BB", "e": "United Kingdom",
                "f": " ", "g": " ", "h": "anna@berg.example", "i": "+44 20 7946 0018", "j": "https://berg.example"}
        h.wait_until(lambda: all(app.settings().get(k) == v for k, v in card.items()),
                     "the contact in the settings file")
        for letter, text in card.items():
            self.assertEqual(app.field_text(letter), text)
        self.assertEqual(app.field_text("b"), CARD["b"])
        self.assertEqual(app.settings()["b"], CARD["b"])
        self.assertEqual(app.message_boxes(h.MAIN_TITLE), [])
        app.responsive()

    @staticmethod
    def middle(box):
        x, y, w, hgt = box
        return x + w // 2, y + hgt // 2
