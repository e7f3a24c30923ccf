"""What happens to the stored card when things go wrong: the program killed
mid-keystroke, a damaged or unwritable settings file, a full disk, and two
instances at once. In every case nothing the user had is lost."""

import os
import random
import re
import shutil
import subprocess
import tempfile
import time

import harness as h

# Starts killed: every sixth during start-up, the others while typing. A count,
# not a time, so a slow machine tests as much as a fast one.
KILL_ROUNDS = 25

CARD = {
    "a": "Acme Cards", "b": "Cards that last", "c": "12 Main Street",
    "d": "Springfield, IL 62704", "e": "Suite 5", "f": "Floor 2", "g": "Back door",
    "h": "info@acme.example", "i": "555-123-4567", "j": "acme.example",
}


def card_file(values):
    """The settings file as the program writes it for simple values (a comma
    needs quotes)."""
    lines = ["[General]"]
    for key, value in values.items():
        lines.append(f'{key}="{value}"' if "," in value else f"{key}={value}")
    return ("\n".join(lines) + "\n").encode()


def report_lines(texts):
    lines = []
    for text in texts:
        match = re.search(r"at line (\d+)", text)
        lines.append(int(match.group(1)) if match else None)
    return lines


def fill_disk(path):
    """Fills the file system that holds `path` with one file of that name."""
    fd = os.open(path, os.O_WRONLY | os.O_CREAT)
    try:
        while os.write(fd, b"\0" * 4096) > 0:
            pass
    except OSError:
        pass
    finally:
        os.close(fd)


def run_quiet(*args):
    return subprocess.run(args, capture_output=True, text=True, timeout=h.ceiling(h.WINDOW))


class StoreFaults(h.AppTestCase):

    def setUp(self):
        super().setUp()
        self.tmp = tempfile.mkdtemp(prefix="store-", dir=h.session().tmp)

    # -- helpers

    def start_unsaveable(self, app):
        """Starts a program whose store cannot be written. The restore's own
        writes fail first (fields a and j, and any other stored field), and are
        reported before the main window shows: once it shows, every report
        has been made."""
        app.start()
        app.wait_first_window()
        texts = app.dismiss_boxes(h.ERROR_TITLE, over=lambda: app.windows(h.MAIN_TITLE))
        app.wait_main()
        app.wait_accessible()
        return texts

    def assert_told_once_while_typing(self, app, letter="b"):
        """Typing goes on; the first keystroke that cannot be kept says so in
        a box titled "Tessary", and no later keystroke says it again."""
        before = app.field_text(letter)
        app.click_field(letter)
        h.key("End")
        h.type_text("x")
        wid, text = app.wait_box(h.MAIN_TITLE)
        self.assertIn("cannot be saved", text)
        app.dismiss_box(wid, h.MAIN_TITLE)
        app.click_field(letter)
        h.key("End")
        h.type_text("yz")
        # Both keys read back: a box either of them asked for shows by now.
        typed = app.dismiss_boxes(h.MAIN_TITLE, over=lambda: app.field_text(letter) == before + "xyz")
        self.assertEqual(typed, [], "told only once")
        self.assertEqual(app.preview_text(letter), before + "xyz")

    def assert_sample_data_reports_each_field(self, app):
        """Load Sample Data still fills every field; each field whose text
        changes fails to store and is reported at its own line."""
        before = {letter: app.field_text(letter) for letter in "abcdefghij"}
        app.click(app.button("Load Sample Data"))
        # The fields fill from a to j, each report shown as its field fails:
        # once j holds its sample web address, the step is at its end.
        texts = app.dismiss_boxes(
            h.ERROR_TITLE, over=lambda: re.match(r"https?://", app.field_text("j")))
        after = {letter: app.field_text(letter) for letter in "abcdefghij"}
        expected = [100 + 2 * n for n, letter in enumerate("abcdefghij")
                    if before[letter] != after[letter]]
        self.assertEqual(report_lines(texts), expected)
        self.assertTrue(all("PushButton4_Click" in text for text in texts))
        self.assertEqual(after["e"], " ")
        self.assertRegex(after["i"], r"^\d{3}-\d{3}-\d{4}$")
        self.assertEqual(app.message_boxes(h.MAIN_TITLE), [], "no second 'cannot be saved'")
        return expected

    # -- tests

    def test_killed_while_typing_never_tears_the_store(self):
        seed = int(os.environ.get("TESSARY_E2E_SEED", "0")) or random.randrange(1, 10**6)
        rng = random.Random(seed)
        app = self.new_app()
        kept = ""
        for rounds in range(KILL_ROUNDS):
            # Unshifted keys only: a shift that lands late would change the
            # text typed, not what is under test.
            text = f"r{rounds:02d}" + "abcdefghijklmnopqrstuvwxyz"[: rng.randint(6, 16)]
            app.start()
            if rounds % 6 == 5:
                # Now and then the kill comes during start-up, when the
                # restore writes the fields back.
                time.sleep(rng.uniform(0, 0.4))
                app.kill()
                typed = ""
            else:
                app.wait_main()
                app.wait_accessible()
                self.assertEqual(app.field_text("b"), kept, f"seed {seed}, round {rounds}")
                app.click_field("b")
                h.key("End")
                typist = subprocess.Popen(["xdotool", "type", "--delay", "15", text],
                                          stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
                time.sleep(rng.uniform(0.0, 0.025 * len(text)))
                app.kill()
                typist.kill()
                typist.wait(h.ceiling(h.WINDOW))
                h.release_all_keys()
                typed = text
            try:
                stored = app.settings()
            except FileNotFoundError:
                stored = {}
            except h.SettingsFormatError as error:
                self.fail(f"seed {seed}, round {rounds}: the store does not parse: {error}")
            value = stored.get("b", "")
            prefixes = {kept + typed[:n] for n in range(len(typed) + 1)}
            self.assertIn(value, prefixes, f"seed {seed}, round {rounds}")
            self.assertLessEqual(set(stored), {"a", "b", "j"}, f"seed {seed}, round {rounds}")
            if stored:
                self.assertEqual(stored.get("a"), "Darnovi")
                self.assertEqual(stored.get("j"), "www.darnovi.example")
            kept = value
        # The card typed so far comes back whole.
        app.launch()
        self.assertEqual(app.field_text("b"), kept)

    def test_damaged_settings_files(self):
        rng = random.Random(7)
        full = card_file(CARD)
        cut = full.index(b"Springf") + 4
        huge_notes = b"".join(b"note%06d=%s\n" % (n, b"n" * 100) for n in range(280000))
        cases = {
            "truncated": (full[:cut], "abc"),
            "random bytes": (bytes(rng.randrange(256) for _ in range(65536)), ""),
            "not UTF-8": (b"[General]\na=Caf\xe9 \xff\xfe Ltd\nb=Cards that last\n"
                          b"c=\xc3\x28 broken\nh=info@acme.example\n", "bh"),
            "30 MB": (card_file(CARD) + b"[Notes]\n" + huge_notes, "abcdefghij"),
        }
        for name, (data, intact) in cases.items():
            with self.subTest(name):
                app = self.new_app()
                os.makedirs(os.path.dirname(app.settings_path))
                with open(app.settings_path, "wb") as f:
                    f.write(data)
                app.launch()
                for letter in intact:
                    self.assertEqual(app.field_text(letter), CARD[letter], f"field {letter}")
                # Typing still works and is kept.
                letter = "g"
                before = app.field_text(letter)
                app.click_field(letter)
                h.key("End")
                h.type_text("ok")
                h.wait_until(lambda: app.field_text(letter) == before + "ok", "typed text")
                h.wait_until(lambda: app.settings().get(letter) == before + "ok",
                             "the typed text in the store")
                stored = app.settings()
                for key in intact:
                    if key != letter:
                        self.assertEqual(stored[key], CARD[key], f"stored {key}")
                if name == "not UTF-8":
                    with open(app.settings_path, "rb") as f:
                        # The restore adds j, the typing g, after the lines kept.
                        self.assertEqual(f.read(), data + b"j=www.darnovi.example\ng=ok\n")
                if name == "30 MB":
                    notes = [k for k in stored if k.startswith("Notes/")]
                    self.assertEqual(len(notes), 280000, "other entries are kept")
                app.responsive()
                self.assertEqual(app.message_boxes(h.MAIN_TITLE), [])
                app.stop()

    def test_settings_file_is_a_directory(self):
        app = self.new_app()
        os.makedirs(app.settings_path)
        texts = self.start_unsaveable(app)
        # The restore writes a and j back (lines 128 and 146) and cannot.
        self.assertEqual(report_lines(texts), [128, 146])
        self.assertEqual(app.field_text("a"), "Darnovi")
        self.assert_told_once_while_typing(app)
        self.assertTrue(os.path.isdir(app.settings_path))
        self.assertEqual(os.listdir(app.settings_path), [])

    def test_read_only_configuration_folder(self):
        config = os.path.join(self.tmp, "config")
        os.makedirs(os.path.join(config, "Darnovi"))
        original = card_file({"a": "Old Name", "j": "old.example"})
        settings = os.path.join(config, "Darnovi", "Tessary.conf")
        with open(settings, "wb") as f:
            f.write(original)
        if self.mount("--bind", config, config) and \
                run_quiet("mount", "-o", "remount,ro,bind", config).returncode == 0:
            app = self.new_app(config_home=config)
            self.assertEqual(report_lines(self.start_unsaveable(app)), [128, 146])
            self.assertEqual(app.field_text("a"), "Old Name")
        else:
            # Without mounts: the folder cannot be made where a file stands.
            shutil.rmtree(config)
            os.makedirs(config)
            open(os.path.join(config, "Darnovi"), "w").close()
            app = self.new_app(config_home=config)
            self.assertEqual(report_lines(self.start_unsaveable(app)), [128, 146])
            original = None
        self.assert_told_once_while_typing(app)
        self.assert_sample_data_reports_each_field(app)
        if original is not None:
            with open(settings, "rb") as f:
                self.assertEqual(f.read(), original, "the stored card is untouched")
        app.assert_running()

    def test_full_disk(self):
        config = os.path.join(self.tmp, "small")
        os.makedirs(config)
        if not self.mount("-t", "tmpfs", "-o", "size=64k", "tessary-e2e", config):
            self.skipTest("cannot mount a small file system here")
        os.makedirs(os.path.join(config, "Darnovi"))
        original = card_file({"a": "Old Name", "c": "Old Street", "j": "old.example"})
        settings = os.path.join(config, "Darnovi", "Tessary.conf")
        with open(settings, "wb") as f:
            f.write(original)
        fill_disk(os.path.join(config, "filler"))
        app = self.new_app(config_home=config)
        self.assertEqual(report_lines(self.start_unsaveable(app)), [128, 132, 146])
        self.assert_told_once_while_typing(app)
        lines = self.assert_sample_data_reports_each_field(app)
        self.assertEqual(lines, list(range(100, 120, 2)))
        with open(settings, "rb") as f:
            self.assertEqual(f.read(), original, "the stored card is untouched")
        self.assertEqual(sorted(os.listdir(os.path.join(config, "Darnovi"))), ["Tessary.conf"],
                         "no half-written files are left")

    def test_edit_made_while_the_disk_is_full_is_saved_at_close(self):
        """The disk fills, an edit cannot be saved and the user is told; the
        disk frees up, and closing the window without typing again saves it."""
        config = os.path.join(self.tmp, "small")
        os.makedirs(config)
        if not self.mount("-t", "tmpfs", "-o", "size=64k", "tessary-e2e", config):
            self.skipTest("cannot mount a small file system here")
        app = self.launch(config_home=config)
        filler = os.path.join(config, "filler")
        fill_disk(filler)
        app.click_field("c")
        h.type_text("x")
        wid, text = app.wait_box(h.MAIN_TITLE)
        self.assertIn("No space left on device", text)
        app.dismiss_box(wid, h.MAIN_TITLE)
        self.assertNotIn("c", app.settings())
        os.remove(filler)
        self.assertEqual(app.close(), 0)
        self.assertEqual(app.settings().get("c"), "x")

    def test_two_instances_typing_at_once(self):
        first = self.launch()
        second = self.launch(config_home=first.config_home)
        # Side by side, so each click lands on the window it is meant for.
        h.xdotool("windowmove", first.main_wid, 0, 0)
        h.xdotool("windowmove", second.main_wid, 640, 0)
        h.wait_until(lambda: h.window_origin(first.main_wid) == (0, 0)
                     and h.window_origin(second.main_wid)[0] == 640, "the windows to move")

        typed = {"c": [""], "d": [""], "b": [""]}

        def check_store():
            values = first.settings()
            for key, seen in typed.items():
                self.assertIn(values.get(key, ""), seen, f"stored {key}")
            return values

        # Turn about, one key each: everything each one typed is kept.
        for n, char in enumerate("abcdef"):
            for app, letter in ((first, "c"), (second, "d")):
                app.click_field(letter)
                h.key("End")
                h.type_text(char)
                expected = typed[letter][-1] + char
                typed[letter].append(expected)
                h.wait_until(lambda: app.field_text(letter) == expected, "typed text")
                check_store()
        values = check_store()
        self.assertEqual(values["c"], "abcdef")
        self.assertEqual(values["d"], "abcdef")

        # At the same time: one types into b, the other pastes into b.
        pasted = [f"paste {n}" for n in range(1, 30)]
        typed["b"] += pasted
        text = "typed-by-first"
        typed["b"] += [text[:n] for n in range(len(text) + 1)]
        first.click_field("b")
        typist = subprocess.Popen(["xdotool", "type", "--delay", "25", text],
                                  stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        try:
            for value in pasted:
                second.set_field("b", value)
                check_store()
        finally:
            typist.wait(h.ceiling(h.WINDOW))
        h.wait_until(lambda: first.field_text("b") == text, "the typed text")
        values = check_store()
        self.assertEqual(values["c"], "abcdef")
        self.assertEqual(values["d"], "abcdef")
        self.assertEqual(values["a"], "Darnovi")
        first.assert_running()
        second.assert_running()

    def test_two_windows_on_a_stored_card_keep_every_edit(self):
        """Two windows opened on one complete stored card edit different
        fields in turn, and one of them the fit mode: the file ends with every
        edit of both, though each window restored every field at its start."""
        first = self.new_app()
        stored = dict(CARD, Fit=h.FULL_CAPTION)
        os.makedirs(os.path.dirname(first.settings_path))
        with open(first.settings_path, "wb") as f:
            f.write(card_file(stored))
        first.launch()
        second = self.launch(config_home=first.config_home)

        expected = dict(stored)
        for n in range(3):
            for app, letter in ((first, "c"), (second, "i")):
                expected[letter] = f"{CARD[letter]} {n}"
                app.set_field(letter, expected[letter])
                h.wait_until(lambda: first.settings() == expected, f"field {letter} stored beside the other's")
            if n == 0:
                # The first press stores the caption it shows, the second the
                # one the first switched to. A press is a short animation that
                # swallows a second press made during it.
                for caption, then in ((h.FULL_CAPTION, h.FIT_CAPTION), (h.FIT_CAPTION, h.FULL_CAPTION)):
                    h.press(first.button(caption))
                    h.wait_until(lambda: first.fit_caption() == then, "the fit button to switch")
                expected["Fit"] = h.FIT_CAPTION
                h.wait_until(lambda: first.settings() == expected, "the fit mode stored")
        first.assert_running()
        second.assert_running()
