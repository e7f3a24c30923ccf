"""The two output commands: the modal print preview and Print Card."""

import glob
import os
import shutil
import subprocess
import tempfile
import time

import harness as h


def default_printer():
    env = dict(os.environ)
    result = subprocess.run(["lpstat", "-d"], capture_output=True, text=True, timeout=10, env=env)
    line = result.stdout.strip()
    return line.split(":", 1)[1].strip() if result.returncode == 0 and ":" in line else None


def print_outdir():
    return os.environ.get("TESSARY_PRINT_OUTDIR") or os.path.expanduser("~/PDF")


def pdf_page_size(path):
    """The first page's width and height in points."""
    out = subprocess.run(["pdfinfo", path], capture_output=True, text=True, timeout=30).stdout
    for line in out.splitlines():
        if line.startswith("Page size:"):
            fields = line.split()
            return float(fields[2]), float(fields[4])
    return None


def as_root(*command, stdin=None):
    """Runs a command as root (through sudo when the test is not root);
    True when it succeeded."""
    if os.geteuid() != 0:
        command = ("sudo", "-n") + command
    try:
        return subprocess.run(command, input=stdin, capture_output=True, timeout=60).returncode == 0
    except (OSError, subprocess.TimeoutExpired):
        return False


class PrivateQueue:
    """A print queue of the test's own on the CUPS PDF printer, with the
    defaults given, writing its pages into a folder of its own. The shared
    default printer and its options are left alone; the program is pointed at
    this queue through LPDEST, which libcups reads for the default destination."""

    def __init__(self, *defaults):
        self.name = f"TessaryE2E{os.getpid()}x{int(time.monotonic() * 1000) % 100000}"
        self.config = f"/etc/cups/cups-pdf-{self.name}.conf"
        self.outdir = tempfile.mkdtemp(prefix="tessary-queue-")
        self.made = False
        running = subprocess.run(["lpstat", "-r"], capture_output=True, text=True, timeout=10)
        if running.stdout.strip() != "scheduler is running" \
                or not os.path.exists("/usr/lib/cups/backend/cups-pdf"):
            return
        # The PDF printer reads a configuration named after the queue.
        if not as_root("tee", self.config, stdin=f"Out {self.outdir}\n".encode()):
            return
        command = ["lpadmin", "-p", self.name, "-E", "-v", f"cups-pdf:/{self.name}",
                   "-m", "lsb/usr/cups-pdf/CUPS-PDF_opt.ppd"]
        for option in defaults:
            command += ["-o", option]
        self.made = as_root(*command)

    def jobs(self):
        """Every job the queue was given, finished or not."""
        return subprocess.run(["lpstat", "-W", "all", "-o", self.name], capture_output=True,
                              text=True, timeout=10).stdout.strip()

    def remove(self):
        if self.made:
            as_root("lpadmin", "-x", self.name)
        as_root("rm", "-f", self.config)
        shutil.rmtree(self.outdir, ignore_errors=True)


def pdf_pages(path):
    out = subprocess.run(["pdfinfo", path], capture_output=True, text=True, timeout=30).stdout
    for line in out.splitlines():
        if line.startswith("Pages:"):
            return int(line.split()[1])
    return None


class PrintCommands(h.AppTestCase):

    def test_print_preview_is_modal_and_closes(self):
        app = self.launch()
        app.click_field("b")
        h.type_text("Preview me")
        h.wait_until(lambda: app.field_text("b") == "Preview me", 5, "the typed tagline")

        app.click(app.button("Print Preview"))
        wid = app.wait_window(h.PREVIEW_TITLE)
        self.assertEqual(h.window_title(wid), h.PREVIEW_TITLE)
        sheet = h.wait_until(app.preview_window, 5, "the sheet on the accessibility bus")
        self.assertEqual(len(app.find("label", "Preview me", root=sheet)), 6)
        self.assertEqual(len(app.find("label", "Darnovi", root=sheet)), 6)

        # Side by side, so the clicks below land on the main window.
        h.xdotool("windowmove", app.main_wid, 0, 0)
        h.xdotool("windowmove", wid, 540, 0)
        h.wait_until(lambda: h.window_origin(app.main_wid) == (0, 0)
                     and h.window_origin(wid) == (540, 0), 5, "the windows to move")
        for node in (app.button("Load Sample Data"), app.field("c")):
            x, y, w, _ = h.extents(node)
            self.assertLess(x + w, 540, "the main window's controls are uncovered")
        fields = {letter: app.field_text(letter) for letter in "abcdefghij"}
        stored = app.settings()
        app.click(app.button("Load Sample Data"))
        app.click(app.field("c"))
        h.type_text("zz")
        time.sleep(1.0)
        self.assertEqual({letter: app.field_text(letter) for letter in "abcdefghij"}, fields)
        self.assertEqual(app.settings(), stored)
        self.assertIn(wid, app.windows(h.PREVIEW_TITLE))

        h.close_window(wid, h.PREVIEW_TITLE, app.proc.pid)
        app.assert_running()
        self.assertEqual(app.windows(h.MAIN_TITLE), [app.main_wid])
        # With the sheet closed the main window takes clicks again.
        app.click(app.button("Load Sample Data"))
        h.wait_until(lambda: app.field_text("d") != "", 5, "the sample data")

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
        h.wait_until(lambda: app.field_text("d") != "", 5, "the sample data")
        app.click(app.button("Print Card"))

        def new_pdfs():
            return sorted(set(glob.glob(os.path.join(outdir, "*.pdf"))) - before)
        pdfs = h.wait_until(new_pdfs, 60, f"a printed page in {outdir}", interval=0.3)

        # The file grows while Ghostscript writes it: wait for the queue to
        # empty and the size to settle.
        def settled():
            queue = subprocess.run(["lpstat", "-o", printer], capture_output=True, text=True,
                                   timeout=10).stdout.strip()
            sizes = [os.path.getsize(p) for p in pdfs]
            time.sleep(0.5)
            return not queue and sizes == [os.path.getsize(p) for p in pdfs] and all(sizes)
        h.wait_until(settled, 60, "the print job to finish", interval=0.3)

        for pdf in pdfs:
            self.assertEqual(pdf_pages(pdf), 1, pdf)
        # Printing shows no window and reports no error.
        self.assertEqual(app.windows(h.PREVIEW_TITLE), [])
        self.assertEqual(app.windows(h.ERROR_TITLE), [])
        self.assertEqual(app.message_boxes(h.MAIN_TITLE), [])
        app.responsive()

    def private_queue(self, *defaults):
        """A queue of the test's own, the default destination of every
        program the test starts from here on."""
        queue = PrivateQueue(*defaults)
        self.addCleanup(queue.remove)
        if not queue.made:
            if os.environ.get("TESSARY_REQUIRE_PRINTER") == "1":
                self.fail("could not add a print queue on the CUPS PDF printer")
            self.skipTest("no CUPS scheduler with the PDF printer to add a queue to, or no right to add one")
        previous = os.environ.get("LPDEST")
        os.environ["LPDEST"] = queue.name

        def restore():
            if previous is None:
                os.environ.pop("LPDEST", None)
            else:
                os.environ["LPDEST"] = previous
        self.addCleanup(restore)
        return queue

    def test_print_card_uses_the_default_paper_of_the_queue(self):
        queue = self.private_queue("PageSize=Letter")
        app = self.launch()
        app.click(app.button("Load Sample Data"))
        h.wait_until(lambda: app.field_text("d") != "", 30, "the sample data")
        app.click(app.button("Print Card"))

        def settled_pdf():
            pdfs = glob.glob(os.path.join(queue.outdir, "*.pdf"))
            queued = subprocess.run(["lpstat", "-o", queue.name], capture_output=True,
                                    text=True, timeout=10).stdout.strip()
            if len(pdfs) != 1 or queued:
                return None
            size = os.path.getsize(pdfs[0])
            time.sleep(0.5)
            return pdfs[0] if size and size == os.path.getsize(pdfs[0]) else None
        pdf = h.wait_until(settled_pdf, 30, f"the printed page in {queue.outdir}", interval=0.3)
        self.assertEqual(pdf_pages(pdf), 1)
        width, height = pdf_page_size(pdf)
        self.assertAlmostEqual(width, 612, delta=1)
        self.assertAlmostEqual(height, 792, delta=1)
        self.assertEqual(app.windows(h.ERROR_TITLE), [])
        app.responsive()

    def test_print_card_reports_paper_too_small_for_the_sheet(self):
        queue = self.private_queue("PageSize=A5")
        app = self.launch()
        app.click(app.button("Print Card"))
        wid, text = app.wait_box(h.ERROR_TITLE)
        self.assertIn("default paper, A5.", text)
        self.assertIn(f'"{queue.name}"', text)
        self.assertIn("PushButton3_Click at line 102", text)
        app.dismiss_box(wid, h.ERROR_TITLE)
        # Printing hands the job over before the command ends: had there been
        # one, the queue would list it now.
        self.assertEqual(queue.jobs(), "")
        self.assertEqual(os.listdir(queue.outdir), [])
        self.assertEqual(app.windows(h.PREVIEW_TITLE), [])
        app.responsive()
