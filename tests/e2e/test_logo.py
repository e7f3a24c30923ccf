"""The logo: choosing it through the real file dialog, the fit toggle on the
preview and the sheet, its restore, and files that are not pictures."""

import os
import random
import struct
import subprocess
import tempfile

import harness as h

NON_ASCII_FOLDER = "Logo Ordner ü"
NON_ASCII_NAME = "Firmen logo ñ é.jpg"


def make_jpeg(path, width, height, colour="red", noise=False):
    args = ["convert", "-size", f"{width}x{height}", f"xc:{colour}"]
    if noise:
        args += ["+noise", "Random"]
    subprocess.run(args + ["-quality", "92", path], check=True, timeout=h.ceiling(h.WINDOW))
    return path


def jpeg_claiming(path, source, width, height):
    """A real JPEG whose frame header claims width x height pixels."""
    data = bytearray(open(source, "rb").read())
    sof = data.index(b"\xff\xc0")
    struct.pack_into(">HH", data, sof + 5, height, width)
    open(path, "wb").write(data)
    return path


def bmp_claiming(path, width, height, pixel_bytes):
    """A 24-bit BMP whose header claims width x height but that carries only
    `pixel_bytes` bytes of pixels."""
    size = min((width * 3 + 3) // 4 * 4 * height, 0xFFFFFFFF - 54)
    header = struct.pack("<2sIHHI", b"BM", 54 + size, 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, size, 2835, 2835, 0, 0)
    open(path, "wb").write(header + info + b"\x7f" * pixel_bytes)
    return path


def motion_photo(path, width, height, trailer_size=2 * 1024 * 1024):
    """A small red JPEG as a phone saves a motion photo: the picture, then a
    short video after its end marker, with no end marker near the file's end."""
    make_jpeg(path, width, height)
    rng = random.Random(13)
    video = bytearray(b"\0\0\0\x18ftypmp42\0\0\0\0isommp42")
    video += rng.randbytes(trailer_size - len(video))
    video = video.replace(b"\xff\xd9", b"\xff\x00")
    with open(path, "ab") as f:
        f.write(video)
    return path


class BadLogos:
    """Logo files that are not pictures the program can show, and one good
    one behind an awkward path."""

    def __init__(self, folder):
        self.folder = folder
        good = make_jpeg(os.path.join(folder, "good.jpg"), 40, 30)
        noise = make_jpeg(os.path.join(folder, "noise.jpg"), 400, 300, noise=True)
        data = open(noise, "rb").read()
        self.files = {}
        self.files["zero bytes"] = self._write("zero.jpg", b"")
        self.files["truncated JPEG"] = self._write("truncated.jpg", data[: len(data) // 2])
        self.files["BMP with a lying header"] = bmp_claiming(
            os.path.join(folder, "lying.bmp"), 2000, 2000, 300)
        self.files["60000 x 60000 JPEG header"] = jpeg_claiming(
            os.path.join(folder, "huge.jpg"), good, 60000, 60000)
        self.files["60000 x 60000 BMP header"] = bmp_claiming(
            os.path.join(folder, "huge.bmp"), 60000, 60000, 3000)
        self.files["not a picture"] = self._write("garbage.jpg", b"garbage\n" * 200)
        fifo = os.path.join(folder, "fifo.jpg")
        os.mkfifo(fifo)
        self.fifo = fifo
        self.directory = os.path.join(folder, "folder.jpg")
        os.mkdir(self.directory)
        self.loop = os.path.join(folder, "loop.jpg")
        os.symlink(os.path.join(folder, "loop2.jpg"), self.loop)
        os.symlink(self.loop, os.path.join(folder, "loop2.jpg"))
        self.unreadable = make_jpeg(os.path.join(folder, "unreadable.jpg"), 20, 20)
        os.chmod(self.unreadable, 0)
        awkward = os.path.join(folder, NON_ASCII_FOLDER)
        os.mkdir(awkward)
        self.awkward = make_jpeg(os.path.join(awkward, NON_ASCII_NAME), 40, 30)

    def _write(self, name, data):
        path = os.path.join(self.folder, name)
        open(path, "wb").write(data)
        return path


def text_of_name_box(app):
    return h.text_of(app.dialog_name_box())


class LogoAndFit(h.AppTestCase):

    def setUp(self):
        super().setUp()
        self.tmp = tempfile.mkdtemp(prefix="logos-", dir=h.session().tmp)

    def assert_full_size(self, shot, box, what):
        """A 40 x 30 red logo at natural size: red in the top-left corner,
        white beside and below it."""
        x, y, w, hgt = box
        self.assertGreater(shot.fraction((x + 2, y + 2, 36, 26), h.is_red), 0.95, what)
        self.assertGreater(shot.fraction((x + 45, y + 35, w - 50, hgt - 40), h.is_white), 0.95, what)

    def assert_fitted(self, shot, box, what):
        x, y, w, hgt = box
        self.assertGreater(shot.fraction((x + 2, y + 2, w - 4, hgt - 4), h.is_red), 0.95, what)

    def wait_picture(self, wid, boxes, assertion, what):
        """Takes screenshots of the window until `assertion` holds for every
        box in it: the window repaints a moment after the change that asks
        for it."""
        def shows():
            shot = h.Shot(wid)
            for n, box in enumerate(boxes):
                assertion(shot, box, f"{what} {n}" if len(boxes) > 1 else what)
            return True
        h.wait_until(shows, what, interval=0.2)

    def wait_preview(self, app, assertion, what="preview"):
        self.wait_picture(app.main_wid, [app.preview_logo_box()], assertion, what)

    def assert_cancel_reloads(self, app, name):
        """A cancelled dialog gives back the name chosen before, which is
        loaded again and reported once more: one box, and no second."""
        wid, text = app.wait_box(h.MAIN_TITLE)
        self.assertIn(name, text)
        app.dismiss_box(wid, h.MAIN_TITLE)
        self.assertEqual(app.dismiss_boxes(h.MAIN_TITLE), [], "reported once")

    def check_sheet(self, app, assertion):
        app.click(app.button("Print Preview"))
        wid = app.wait_window(h.PREVIEW_TITLE)
        self.assertEqual(h.window_title(wid), h.PREVIEW_TITLE)
        boxes = h.wait_until(lambda: app.shown_logo_boxes(app.preview_window(), 6),
                             "six logo boxes on the sheet")
        self.wait_picture(wid, boxes, assertion, "card of the sheet")
        h.close_window(wid, h.PREVIEW_TITLE, app.proc.pid)

    def test_motion_photo_shows_on_preview_and_sheet(self):
        """A phone's motion photo: the picture, then a video after its end
        marker. It is a logo like any other."""
        photo = motion_photo(os.path.join(self.tmp, "PXL_motion.jpg"), 40, 30)
        app = self.launch()
        app.choose_logo(photo)
        h.wait_until(lambda: app.message_boxes(h.MAIN_TITLE) or not app.hint_shown(),
                     "the logo to show or a box to refuse it")
        self.assertEqual(app.message_boxes(h.MAIN_TITLE), [], "the photo was refused")
        self.assertEqual(app.settings().get("Logo"), photo)
        self.wait_preview(app, self.assert_full_size)
        self.check_sheet(app, self.assert_full_size)
        app.assert_running()

    def test_logo_chosen_in_the_dialog_and_the_fit_toggle(self):
        logo = make_jpeg(os.path.join(self.tmp, "logo.jpg"), 40, 30)
        app = self.launch()
        self.assertTrue(app.hint_shown())
        app.choose_logo(logo)
        h.wait_until(lambda: not app.windows(h.DIALOG_TITLE), "the dialog to close")
        h.wait_until(lambda: not app.hint_shown(), "the hint to go")
        self.assertEqual(app.settings().get("Logo"), logo)
        self.assertNotIn("Fit", app.settings())

        # Full size first: the logo sits in the corner of the preview box.
        self.assertEqual(app.fit_caption(), h.FIT_CAPTION)
        self.wait_preview(app, self.assert_full_size)

        app.click(app.button(h.FIT_CAPTION))
        h.wait_until(lambda: app.fit_caption() == h.FULL_CAPTION, "the fit caption")
        self.assertEqual(app.settings()["Fit"], h.FIT_CAPTION)
        self.wait_preview(app, self.assert_fitted, "fitted preview")
        self.check_sheet(app, self.assert_fitted)

        app.click(app.button(h.FULL_CAPTION))
        h.wait_until(lambda: app.fit_caption() == h.FIT_CAPTION, "the fit caption")
        self.assertEqual(app.settings()["Fit"], h.FULL_CAPTION)
        self.wait_preview(app, self.assert_full_size)
        self.check_sheet(app, self.assert_full_size)

        # The restore presses the toggle once, into the mode last chosen.
        app.restart()
        self.assertFalse(app.hint_shown())
        self.assertEqual(app.fit_caption(), h.FIT_CAPTION)
        self.assertEqual(app.settings()["Fit"], h.FULL_CAPTION)
        self.assertEqual(app.settings()["Logo"], logo)
        self.wait_preview(app, self.assert_full_size, "restored preview")

    def test_undecodable_stored_logo_reports_line_154_then_opens(self):
        garbage = os.path.join(self.tmp, "garbage.jpg")
        open(garbage, "wb").write(os.urandom(3000))
        app = self.new_app()
        app.write_settings({"Logo": garbage})
        app.start()
        app.wait_first_window()
        wid, text = app.wait_box(h.ERROR_TITLE)
        self.assertEqual(h.window_title(wid), h.ERROR_TITLE)
        self.assertIn("at line 154", text)
        self.assertIn("Form1.Form_Load", text)
        self.assertIn("garbage.jpg", text)
        # The main window comes only after the report.
        self.assertEqual(app.windows(h.MAIN_TITLE), [])
        app.dismiss_box(wid, h.ERROR_TITLE)
        app.wait_main()
        app.wait_accessible()
        self.assertEqual(h.window_title(app.main_wid), h.MAIN_TITLE)
        self.assertEqual(app.settings()["Logo"], garbage)
        # The restore went on: the hint is hidden and the toggle was pressed.
        self.assertFalse(app.hint_shown())
        self.assertEqual(app.fit_caption(), h.FULL_CAPTION)
        app.responsive()

    def test_bad_logo_files_through_the_chooser(self):
        files = BadLogos(self.tmp)
        app = self.launch()
        for kind, path in files.files.items():
            if kind == "not a picture":
                continue  # the restore test below meets it
            with self.subTest(kind):
                app.choose_logo(path)
                wid, text = app.wait_box(h.MAIN_TITLE)
                self.assertIn(os.path.basename(path), text)
                app.dismiss_box(wid, h.MAIN_TITLE)
                self.assertEqual(app.settings().get("Logo"), path)
                self.assertTrue(app.hint_shown(), "the logo box is cleared")
                app.responsive()

        with self.subTest("FIFO"):
            app.choose_logo(files.fifo)
            wid, text = app.wait_box(h.MAIN_TITLE)
            self.assertIn("fifo.jpg", text)
            app.dismiss_box(wid, h.MAIN_TITLE)
            app.responsive()

        # The dialog does not hand back a folder or a looping link: it opens
        # the folder, and says itself that the link names no file.
        with self.subTest("folder"):
            dialog = app.choose_logo(files.directory)
            # It has opened the folder once it has emptied the name box.
            h.wait_until(lambda: text_of_name_box(app) == "", "the dialog to open the folder")
            self.assertIn(dialog, app.windows(h.DIALOG_TITLE))
            h.close_window(dialog, h.DIALOG_TITLE, app.proc.pid)
            self.assert_cancel_reloads(app, "fifo.jpg")
            self.assertEqual(app.settings()["Logo"], files.fifo)
            app.responsive()

        with self.subTest("symbolic-link loop"):
            dialog = app.choose_logo(files.loop)
            refusal = app.wait_window(h.DIALOG_TITLE, exclude=(dialog,))
            app.dismiss_box(refusal, h.DIALOG_TITLE)
            h.close_window(dialog, h.DIALOG_TITLE, app.proc.pid)
            self.assert_cancel_reloads(app, "fifo.jpg")
            self.assertEqual(app.settings()["Logo"], files.fifo)
            app.responsive()

        with self.subTest("path with spaces and non-ASCII letters"):
            app.choose_logo(files.awkward)
            h.wait_until(lambda: not app.hint_shown(), "the logo to load")
            self.assertEqual(app.dismiss_boxes(h.MAIN_TITLE), [])
            self.assertEqual(app.settings()["Logo"], files.awkward)
            self.wait_preview(app, self.assert_full_size)
        app.assert_running()

    def test_unreadable_logo_file_through_the_chooser(self):
        if os.geteuid() == 0:
            self.skipTest("root reads every file")
        files = BadLogos(self.tmp)
        app = self.launch()
        app.choose_logo(files.unreadable)
        wid, text = app.wait_box(h.MAIN_TITLE)
        self.assertIn("unreadable.jpg", text)
        app.dismiss_box(wid, h.MAIN_TITLE)
        self.assertTrue(app.hint_shown())
        app.responsive()

    def test_bad_logo_files_through_the_restore(self):
        files = BadLogos(self.tmp)
        # Files that exist but are no picture are reported at the restore's
        # load step; what is not a normal file counts as missing.
        for kind, path in files.files.items():
            with self.subTest(kind):
                app = self.new_app()
                app.write_settings({"Logo": path})
                app.start()
                app.wait_first_window()
                wid, text = app.wait_box(h.ERROR_TITLE)
                self.assertIn("at line 154", text)
                self.assertIn(os.path.basename(path), text)
                app.dismiss_box(wid, h.ERROR_TITLE)
                app.wait_main()
                app.wait_accessible()
                self.assertEqual(app.fit_caption(), h.FULL_CAPTION)
                self.assertEqual(app.settings()["Logo"], path)
                app.responsive()
                app.stop()

        missing = {"folder": files.directory, "FIFO": files.fifo, "symbolic-link loop": files.loop,
                   "deleted file": os.path.join(self.tmp, "gone.jpg")}
        for kind, path in missing.items():
            with self.subTest(kind):
                app = self.new_app()
                app.write_settings({"Logo": path})
                app.launch()
                # A report would have come before the main window.
                self.assertEqual(app.windows(h.ERROR_TITLE), [])
                self.assertEqual(app.message_boxes(h.MAIN_TITLE), [])
                self.assertTrue(app.hint_shown())
                self.assertEqual(app.fit_caption(), h.FULL_CAPTION)
                self.assertEqual(app.settings()["Logo"], path)
                app.responsive()
                app.stop()

        with self.subTest("path with spaces and non-ASCII letters"):
            app = self.new_app()
            app.write_settings({"Logo": files.awkward, "Fit": h.FULL_CAPTION})
            app.launch()
            self.assertEqual(app.windows(h.ERROR_TITLE), [])
            self.assertFalse(app.hint_shown())
            self.assertEqual(app.fit_caption(), h.FIT_CAPTION)
            self.wait_preview(app, self.assert_full_size)
