"""The two output commands: the modal print preview and Print Card."""

import glob
import os
import re
import subprocess

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
