"""The two output commands: the modal print preview and Print Card."""

import glob
import os
import subprocess
import time

import harness as h


def lpstat(*args):
    return subprocess.run(["lpstat", *args], capture_output=True, text=True,
                          timeout=h.ceiling(h.WINDOW))


def default_printer():
    result = lpstat("-d")
    line = result.stdout.strip()
    return line.split(":", 1)[1].strip() if result.returncode == 0 and ":" in line else None


def print_outdir():
    return os.environ.get("TESSARY_PRINT_OUTDIR") or os.path.expanduser("~/PDF")


def pdf_pages(path):
    out = subprocess.run(["pdfinfo", path], capture_output=True, text=True,
                         timeout=h.ceiling(h.WINDOW)).stdout
    for line in out.splitlines():
        if line.startswith("Pages:"):
            return int(line.split()[1])
    return None


class PrintCommands(h.AppTestCase):

    def test_print_preview_is_modal_and_closes(self):
        app = self.launch()
        app.click_field("b")
        h.type_text("Preview me")
        h.wait_until(lambda: app.field_text("b") == "Preview me", "the typed tagline")

        app.click(app.button("Print Preview"))
        wid = app.wait_window(h.PREVIEW_TITLE)
        self.assertEqual(h.window_title(wid), h.PREVIEW_TITLE)
        sheet = h.wait_until(app.preview_window, "the sheet on the accessibility bus")
        self.assertEqual(len(app.find("label", "Preview me", root=sheet)), 6)
        self.assertEqual(len(app.find("label", "Darnovi", root=sheet)), 6)

        # Side by side, so the clicks below land on the main window.
        h.xdotool("windowmove", app.main_wid, 0, 0)
        h.xdotool("windowmove", wid, 540, 0)
        h.wait_until(lambda: h.window_origin(app.main_wid) == (0, 0)
                     and h.window_origin(wid) == (540, 0), "the windows to move")
        for node in (app.button("Load Sample Data"), app.field("c")):
            x, y, w, _ = h.extents(node)
            self.assertLess(x + w, 540, "the main window's controls are uncovered")
        fields = {letter: app.field_text(letter) for letter in "abcdefghij"}
        stored = app.settings()
        app.click(app.button("Load Sample Data"))
        app.click(app.field("c"))
        h.type_text("zz")
        self.assertIn(wid, app.windows(h.PREVIEW_TITLE))

        # The request to close the sheet reaches the program through the X
        # server after those clicks and keys, so once the sheet is gone the
        # program has handled them, and they must have changed nothing.
        h.close_window(wid, h.PREVIEW_TITLE, app.proc.pid)
        app.assert_running()
        self.assertEqual({letter: app.field_text(letter) for letter in "abcdefghij"}, fields)
        self.assertEqual(app.settings(), stored)
        self.assertEqual(app.windows(h.MAIN_TITLE), [app.main_wid])
        # With the sheet closed the main window takes clicks again.
        app.click(app.button("Load Sample Data"))
        h.wait_until(lambda: app.field_text("d") != "", "the sample data")

    def test_print_card_prints_one_page(self):
        printer = default_printer()
        if printer is None:
            if os.environ.get("TESSARY_REQUIRE_PRINTER") == "1":
                self.fail("no default printer, though TESSARY_REQUIRE_PRINTER=1")
            self.skipTest("no default printer")
        outdir = print_outdir()
        before = set(glob.glob(os.path.join(outdir, "*.pdf")))

        app = self.launch()
        app.click(app.button("Load Sample Data"))
        h.wait_until(lambda: app.field_text("d") != "", "the sample data")
        app.click(app.button("Print Card"))

        def new_pdfs():
            return sorted(set(glob.glob(os.path.join(outdir, "*.pdf"))) - before)
        pdfs = h.wait_until(new_pdfs, f"a printed page in {outdir}", interval=0.3)

        # The file grows while Ghostscript writes it: wait for the queue to
        # empty and the size to settle.
        def settled():
            queue = lpstat("-o", printer).stdout.strip()
            sizes = [os.path.getsize(p) for p in pdfs]
            time.sleep(0.5)
            return not queue and sizes == [os.path.getsize(p) for p in pdfs] and all(sizes)
        h.wait_until(settled, "the print job to finish", interval=0.3)

        for pdf in pdfs:
            self.assertEqual(pdf_pages(pdf), 1, pdf)
        # Printing shows no window and reports no error.
        self.assertEqual(app.windows(h.PREVIEW_TITLE), [])
        self.assertEqual(app.windows(h.ERROR_TITLE), [])
        self.assertEqual(app.message_boxes(h.MAIN_TITLE), [])
        app.responsive()
