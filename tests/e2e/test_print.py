"""The two output commands: the modal print preview and Print Card."""

import glob
import os
import re
import shutil
import subprocess
import tempfile
import time

import harness as h


def lpstat(*args):
    return subprocess.run(["lpstat", *args], capture_output=True, text=True,
                          timeout=h.ceiling(h.WINDOW))


def default_printer():
    result = lpstat("-d")
    line = result.stdout.strip()
    return line.split(":", 1)[1].strip() if result.returncode == 0 and ":" in line else None


def job_ids(queue, which="all"):
    """Numbers of the jobs of that queue: "all" or "not-completed" ones."""
    ids = set()
    for line in lpstat("-W", which, "-o", queue).stdout.splitlines():
        match = re.match(re.escape(queue) + r"-(\d+)\s", line)
        if match:
            ids.add(int(match.group(1)))
    return ids


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


def job_pdfs(outdir, job):
    """The PDF printer names each file after its job: "job_N-title.pdf" or
    "title-job_N.pdf"."""
    pattern = re.compile(rf"(^job_{job}-.*|.*-job_{job})\.pdf$")
    return [p for p in glob.glob(os.path.join(outdir, "*.pdf"))
            if pattern.match(os.path.basename(p))]


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

        # Others may print to the same printer meanwhile. A queue of this
        # test's own, made the program's default through the environment
        # (as libcups reads it), tells its job from theirs; where no queue
        # can be added, the job is the one new job on the shared queue.
        queue = f"TessaryE2E-{os.getpid()}"
        if h.add_print_queue(queue, like=printer):
            self.addCleanup(h.drop_print_queue, queue)
            env = {"PRINTER": queue, "LPDEST": queue}
        else:
            queue, env = printer, {}
        before = job_ids(queue)

        app = self.new_app(env=env).launch()
        app.click(app.button("Load Sample Data"))
        h.wait_until(lambda: app.field_text("d") != "", "the sample data")
        app.click(app.button("Print Card"))

        new = h.wait_until(lambda: job_ids(queue) - before, f"a print job on {queue}",
                           interval=0.3)
        self.assertEqual(len(new), 1, f"jobs {sorted(new)} reached {queue} at once")
        job = new.pop()
        # The page is written whole once the job is done.
        h.wait_until(lambda: job not in job_ids(queue, "not-completed"),
                     f"print job {job} to finish", interval=0.3)
        pdfs = h.wait_until(lambda: [p for p in job_pdfs(outdir, job) if os.path.getsize(p)],
                            f"the page of job {job} in {outdir}", interval=0.3)

        self.addCleanup(os.remove, pdfs[0])
        self.assertEqual(len(pdfs), 1, pdfs)
        self.assertEqual(pdf_pages(pdfs[0]), 1, pdfs[0])
        # Printing shows no window and reports no error.
        self.assertEqual(app.windows(h.PREVIEW_TITLE), [])
        self.assertEqual(app.dismiss_boxes(h.ERROR_TITLE), [])
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
        h.wait_until(lambda: app.field_text("d") != "", "the sample data", 30)
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
        pdf = h.wait_until(settled_pdf, f"the printed page in {queue.outdir}", 30, interval=0.3)
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
